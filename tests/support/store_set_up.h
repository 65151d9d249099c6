// A fresh named-array store over a scratch directory, as the operations set
// it up: a captured console, RAFLIB with a fixed clock, the output file
// out.txt open on unit 17, and the name list of the operations.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <string_view>

#include "dms/dms.h"
#include "io/units.h"
#include "raflib/raflib.h"
#include "store/store.h"
#include "support/scratch.h"

namespace test_support {

// The name list of the operations.
inline constexpr std::array<std::string_view, 30> kNames{
    "",      "",       "",      "",       "",       "",      "",       "",      "",   "",
    "MSTRU", "MPDYNR", "MDYNR", "DYNRES", "ICDYNR", "MSCRA", "ALL_TS", "TSCRA", "WR", "FMX",
    "SMX",   "CON",    "WC",    "TSCRA2", "TS",     "AUX_1", "AUX_2",  "TIMES", "",   ""};

inline constexpr std::int32_t kFile = 22;
inline constexpr std::int32_t kOut = 17;

class StoreSetUp : public ::testing::Test {
  protected:
    StoreSetUp(std::string_view prefix, std::int32_t words) : scratch(prefix), w(words) {}

    void SetUp() override {
        units = std::make_unique<io::Units>(keyboard, console, dir);
        raf = std::make_unique<raflib::Raflib>(
            *units, [] { return raflib::LocalTime{2026, 12, 8, 9, 30, 0}; });
        st = std::make_unique<store::Store>(*units, *raf);
        ASSERT_EQ(units->open_text(kOut, "out.txt", io::OpenStatus::Unknown), 0);
    }

    void TearDown() override {
        st.reset();
        raf.reset();
        units.reset();
    }

    // INIRAF and INIDMS on a file of the directory; IERR.
    std::int32_t open(std::string_view name, std::span<const std::string_view> names = kNames) {
        std::int32_t ierr = 0;
        store::INIRAF(*st, "OLD", name, 1, kFile, 6, 23, ierr);
        if (ierr != 0) return ierr;
        store::INIDMS(*st, w, w.size(), names, static_cast<std::int32_t>(names.size()), 8, kFile,
                      kOut, ierr);
        return ierr;
    }

    // The three recall groups of an operation at step 1; IERR.
    std::int32_t recall_all() {
        std::int32_t ierr = 0;
        store::ARRECL(*st, w, "**Recall structure data**", 1, kFile, kOut, ierr);
        store::ARRECL(*st, w, "**Recall control data  **", 1, kFile, kOut, ierr);
        store::ARRECL(*st, w, "**Recall result data   **", 1, kFile, kOut, ierr);
        return ierr;
    }

    // The words of the structure array MSTRU.
    std::span<std::int32_t> mstru() {
        std::int32_t ierr = 0;
        const std::int32_t p = store::ARGTIP(*st, w, "MSTRU", kOut, ierr);
        EXPECT_EQ(ierr, 0);
        return w.words(p, dms::DMSINQ(w, "MSTRU", 1));
    }

    // Closes the output unit; the content of out.txt.
    std::string output() {
        units->close(kOut);
        return read_file(dir / "out.txt");
    }

    ScratchDir scratch;
    std::istringstream keyboard;
    std::ostringstream console;
    fs::path dir = scratch.path();
    dms::WorkArray w;
    std::unique_ptr<io::Units> units;
    std::unique_ptr<raflib::Raflib> raf;
    std::unique_ptr<store::Store> st;
};

}  // namespace test_support
