// A fresh store over a temporary directory, a captured console and a small
// work array, with the name list that the operations use.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

#include "dms/dms.h"
#include "io/units.h"
#include "raflib/raflib.h"
#include "store/store.h"

namespace store_test {

namespace fs = std::filesystem;

inline constexpr std::array<std::string_view, 30> kNames{
    "",      "",       "",      "",       "",       "",      "",       "",      "",   "",
    "MSTRU", "MPDYNR", "MDYNR", "DYNRES", "ICDYNR", "MSCRA", "ALL_TS", "TSCRA", "WR", "FMX",
    "SMX",   "CON",    "WC",    "TSCRA2", "TS",     "AUX_1", "AUX_2",  "TIMES", "",   ""};

inline constexpr std::int32_t kFile = 22;
inline constexpr std::int32_t kOut = 17;

class StoreTest : public ::testing::Test {
  protected:
    explicit StoreTest(std::int32_t words = 200000) : w(words) {}

    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() /
              (std::string("pektor_store_") + info->test_suite_name() + "_" + info->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        units = std::make_unique<io::Units>(keyboard, console, dir);
        raf = std::make_unique<raflib::Raflib>(
            *units, [] { return raflib::LocalTime{2026, 12, 8, 9, 30, 0}; });
        st = std::make_unique<store::Store>(*units, *raf);
        ASSERT_EQ(units->open_text(kOut, "out.txt", io::OpenStatus::Unknown), 0);
    }

    void TearDown() override {
        units.reset();
        fs::remove_all(dir);
    }

    // Opens a dyn file of tests/data (copied) and builds the catalogue.
    std::int32_t open(const std::string& fixture) {
        fs::copy_file(fs::path(PEKTOR_TEST_DATA) / fixture, dir / fixture,
                      fs::copy_options::overwrite_existing);
        std::int32_t ierr = 0;
        store::INIRAF(*st, "OLD", fixture, 1, kFile, 6, 23, ierr);
        if (ierr != 0) return ierr;
        store::INIDMS(*st, w, w.size(), kNames, 30, 8, kFile, kOut, ierr);
        return ierr;
    }

    std::int32_t recall_all() {
        std::int32_t ierr = 0;
        store::ARRECL(*st, w, "**Recall structure data**", 1, kFile, kOut, ierr);
        store::ARRECL(*st, w, "**Recall control data  **", 1, kFile, kOut, ierr);
        store::ARRECL(*st, w, "**Recall result data   **", 1, kFile, kOut, ierr);
        return ierr;
    }

    // Only an operation's DMS and catalogue, without a file.
    void catalogue_only() {
        std::int32_t ierr = 0;
        dms::DMSOPN_32(w, *units, w.size(), -33, 0, kOut, ierr);
        ASSERT_EQ(ierr, 0);
        store::ARINIT(*st, w, kNames, 8, 30, 0, kOut, ierr);
        ASSERT_EQ(ierr, 0);
    }

    std::span<std::int32_t> mstru() {
        std::int32_t ierr = 0;
        const std::int32_t p = store::ARGTIP(*st, w, "MSTRU ", kOut, ierr);
        EXPECT_EQ(ierr, 0);
        return w.words(p, dms::DMSINQ(w, "MSTRU", 1));
    }

    std::string output() {
        units->close(kOut);
        std::ifstream f(dir / "out.txt");
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }

    std::istringstream keyboard;
    std::ostringstream console;
    fs::path dir;
    dms::WorkArray w;
    std::unique_ptr<io::Units> units;
    std::unique_ptr<raflib::Raflib> raf;
    std::unique_ptr<store::Store> st;
};

}  // namespace store_test
