// Shared pieces of the series tests: units with the output file open,
// damaged copies of le_basic.dyn and the lines of a text.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "io/units.h"
#include "raflib/raflib.h"
#include "store/store.h"
#include "support/scratch.h"
#include "support/scratch_units.h"

namespace series_test {

using test_support::ScratchDir;

// The output unit of the operations.
inline constexpr std::int32_t kOut = 17;

// Units over a scratch directory with a captured console and the output file
// out.txt open on unit 17.
class Captured : public test_support::ScratchUnits {
  public:
    Captured() { EXPECT_EQ(units.open_text(kOut, "out.txt", io::OpenStatus::Unknown), 0); }
    std::string output() { return closed_file(kOut, "out.txt"); }
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
