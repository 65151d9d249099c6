// Shared pieces of the dialogue tests: a scratch directory per test and a
// recording stand-in for the operations.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "io/fmt.h"
#include "io/units.h"
#include "ops/operations.h"

namespace pektor_test {

namespace fs = std::filesystem;

// A fresh, empty directory for the running test, removed afterwards.
class ScratchDir {
  public:
    ScratchDir() {
        // Unique per process and per instance: several builds may run the
        // same test at once, and a test may hold several directories.
        static int serial = 0;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = fs::temp_directory_path() /
                (std::string("pektor_app_") + info->test_suite_name() + "_" + info->name() + "_" +
                 std::to_string(::getpid()) + "_" + std::to_string(++serial));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const fs::path& path() const { return path_; }

    std::string read(const std::string& name) const {
        std::ifstream f(path_ / name, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    void write(const std::string& name, const std::string& content) const {
        std::ofstream f(path_ / name, std::ios::binary);
        f << content;
    }
    bool exists(const std::string& name) const { return fs::exists(path_ / name); }

  private:
    fs::path path_;
};

struct Call {
    std::string routine;
    std::string file;  // as received: the 256-character field
    double first = 0;
    double last = 0;
    std::int32_t idr = 0;
    std::int32_t isign = 0;
    std::int32_t iout = 0;
};

// Records every call. The listing call writes "<listing>" to the console and
// Pektor3/4/5 write "<PektorN idr>" to their output unit, so that tests see
// where in the transcripts the calls happen. Peaks are taken in order from
// `peaks` (0.0 when it runs out); the call with index `fail_at` fails.
class FakeOperations : public ops::Operations {
  public:
    explicit FakeOperations(io::Units& units) : units_(units) {}

    std::vector<Call> calls;
    std::deque<double> peaks;
    int fail_at = -1;
    bool throw_out_of_range_at_listing = false;
    bool throw_runtime_error_at_listing = false;

    double PEKTOR0(dms::WorkArray& w, const std::string& file, double first, double last,
                   std::int32_t idr, std::int32_t isign, std::int32_t iout,
                   std::int32_t& ierr) override {
        if (record({"PEKTOR0", file, first, last, idr, isign, iout}, ierr)) return 0.0;
        if (idr == 0) {
            if (throw_out_of_range_at_listing) (void)w.i(w.size() + 1);
            if (throw_runtime_error_at_listing) throw std::runtime_error("listing broke");
            units_.write(6, "<listing>");
            return 0.0;
        }
        if (peaks.empty()) return 0.0;
        const double p = peaks.front();
        peaks.pop_front();
        return p;
    }
    void Pektor3(dms::WorkArray& /*w*/, const std::string& file, double first, double last,
                 std::int32_t idr, std::int32_t iout, std::int32_t& ierr) override {
        if (record({"Pektor3", file, first, last, idr, 0, iout}, ierr)) return;
        units_.write(iout, "<Pektor3 " + std::to_string(idr) + ">");
    }
    void Pektor4(dms::WorkArray& /*w*/, const std::string& file, double first, double last,
                 std::int32_t iout, std::int32_t& ierr) override {
        if (record({"Pektor4", file, first, last, 0, 0, iout}, ierr)) return;
        units_.write(iout, "<Pektor4>");
    }
    void Pektor5(dms::WorkArray& /*w*/, const std::string& file, double first, double last,
                 std::int32_t iout, std::int32_t& ierr) override {
        if (record({"Pektor5", file, first, last, 0, 0, iout}, ierr)) return;
        units_.write(iout, "<Pektor5>");
    }

  private:
    // True when this call is the one that fails.
    bool record(Call c, std::int32_t& ierr) {
        calls.push_back(std::move(c));
        if (static_cast<int>(calls.size()) - 1 == fail_at) {
            units_.write(6, "<failed>");
            ierr = -1;
            return true;
        }
        return false;
    }

    io::Units& units_;
};

// The start-up banner, the operations menu and the first prompt.
inline const std::string kStartAndMenu =
    "\n\n\n\n"
    "---------------------------------------------\n"
    "---------------------------------------------\n"
    "----                                     ----\n"
    "----             P E K T O R             ----\n"
    "----                                     ----\n"
    "----      Finds maxima of Plot Data      ----\n"
    "----             extracted from          ----\n"
    "----           TAVRO dyn  files.         ----\n"
    "----                                     ----\n"
    "----             Version 1.4-01          ----\n"
    "----     PEKTOR team,  December 2026     ----\n"
    "----                                     ----\n"
    "---------------------------------------------\n"
    "---------------------------------------------\n"
    "\n\n"
    "---------------------------------------------\n"
    "----       Available Operations.         ----\n"
    "----                                     ----\n"
    "----       Maximum of for one file   :1  ----\n"
    "----       Maxima     for two files      ----\n"
    "----       and compute ratio         :2  ----\n"
    "----       Statistics for one TS     :3  ----\n"
    "----       Combination of several TS :4  ----\n"
    "----       Vector length of two   TS :5  ----\n"
    "---------------------------------------------\n"
    " Select  Operation (see above)     :  ";

// A 256-character field holding s.
inline std::string field(const std::string& s) {
    std::string f = s.substr(0, 256);
    f.resize(256, ' ');
    return f;
}

}  // namespace pektor_test
