// Shared pieces of the series tests: a scratch directory per test, fixture
// copies, damaged copies of le_basic.dyn, and a captured set of units.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "io/units.h"
#include "raflib/raflib.h"
#include "store/store.h"

namespace series_test {

namespace fs = std::filesystem;

// A fresh, empty directory for the running test, removed afterwards.
class ScratchDir {
  public:
    ScratchDir() {
        static int serial = 0;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = fs::temp_directory_path() /
                (std::string("pektor_series_") + info->test_suite_name() + "_" + info->name() +
                 "_" + std::to_string(::getpid()) + "_" + std::to_string(++serial));
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

    // Copies tests/data/<fixture> into the directory (writable), as `as`.
    void copy_fixture(const std::string& fixture, const std::string& as = {}) const {
        const fs::path to = path_ / (as.empty() ? fixture : as);
        fs::copy_file(fs::path(PEKTOR_TEST_DATA) / fixture, to,
                      fs::copy_options::overwrite_existing);
        fs::permissions(to, fs::perms::owner_write, fs::perm_options::add);
    }

  private:
    fs::path path_;
};

// Changes to a copy of le_basic.dyn: structure parameters stored by name
// (new names join the open identifier table), and catalogue row words
// (row number as in the file, word 1..10).
struct Damage {
    std::vector<std::pair<std::string, std::int32_t>> parameters;
    struct RowWord {
        std::int32_t row;
        std::int32_t word;
        std::int32_t value;
    };
    std::vector<RowWord> rows;
};

// The layout of le_basic.dyn: MSTRU is array 105 (233 words), KEYRAF array
// 102 (25 rows of 10 words).
inline constexpr std::int32_t kMstruKey = 105;
inline constexpr std::int32_t kMstruWords = 233;
inline constexpr std::int32_t kKeyrafKey = 102;
inline constexpr std::int32_t kKeyrafWords = 250;

// Writes a damaged copy of le_basic.dyn as dir/name through RAFLIB.
inline void write_damaged(const ScratchDir& dir, const std::string& name, const Damage& damage) {
    dir.copy_fixture("le_basic.dyn", name);
    std::istringstream keyboard;
    std::ostringstream console;
    io::Units units(keyboard, console, dir.path());
    raflib::Raflib raf(units, [] { return raflib::LocalTime{2026, 1, 2, 3, 4, 5}; });
    std::int32_t ierr = 0;
    raflib::RAFINI(raf, 6);
    std::string file = name;
    raflib::RAFOLD(raf, 22, file, ierr);
    ASSERT_EQ(ierr, 0) << console.str();

    std::vector<std::int32_t> mstru(kMstruWords);
    raflib::RAFGIN(raf, mstru, kMstruWords, kMstruKey, 22, ierr);
    ASSERT_EQ(ierr, 0) << console.str();
    for (const auto& [param, value] : damage.parameters) {
        std::int32_t jerr = 0;
        store::PTSTRU(units, mstru, param, value, 6, jerr);
        ASSERT_EQ(jerr, 0) << console.str();
    }
    raflib::RAFPIN(raf, mstru, kMstruWords, kMstruKey, 22, ierr);
    ASSERT_EQ(ierr, 0) << console.str();

    std::vector<std::int32_t> keyraf(kKeyrafWords);
    raflib::RAFGIN(raf, keyraf, kKeyrafWords, kKeyrafKey, 22, ierr);
    ASSERT_EQ(ierr, 0) << console.str();
    for (const auto& r : damage.rows) {
        keyraf[static_cast<std::size_t>((r.row - 1) * 10 + r.word - 1)] = r.value;
    }
    raflib::RAFPIN(raf, keyraf, kKeyrafWords, kKeyrafKey, 22, ierr);
    ASSERT_EQ(ierr, 0) << console.str();
    raflib::RAFCLS(raf, 22, ierr);
    ASSERT_EQ(ierr, 0) << console.str();
}

// The lines of a text (a last line without its line feed counts).
inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream s(text);
    for (std::string line; std::getline(s, line);) out.push_back(line);
    return out;
}

}  // namespace series_test
