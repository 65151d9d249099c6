// Shared pieces of the dialogue tests: a recording stand-in for the
// operations and the file name field.
#pragma once

#include <cstdint>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "io/fmt.h"
#include "io/units.h"
#include "ops/operations.h"

namespace pektor_test {

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

// A 256-character field holding s.
inline std::string field(const std::string& s) {
    std::string f = s.substr(0, 256);
    f.resize(256, ' ');
    return f;
}

}  // namespace pektor_test
