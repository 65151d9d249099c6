// Reading written dyn files back through the named-array store, as the
// operations do: a fresh store over a temporary directory, INIRAF, INIDMS
// with a name list, the recall groups and single recalls.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "dms/dms.h"
#include "io/units.h"
#include "raflib/raflib.h"
#include "store/store.h"

namespace tools_test {

namespace fs = std::filesystem;

// The name list of the operations.
inline constexpr std::array<std::string_view, 30> kNames{
    "",      "",       "",      "",       "",       "",      "",       "",      "",   "",
    "MSTRU", "MPDYNR", "MDYNR", "DYNRES", "ICDYNR", "MSCRA", "ALL_TS", "TSCRA", "WR", "FMX",
    "SMX",   "CON",    "WC",    "TSCRA2", "TS",     "AUX_1", "AUX_2",  "TIMES", "",   ""};

inline constexpr std::int32_t kFile = 22;
inline constexpr std::int32_t kOut = 17;

inline std::vector<char> file_bytes(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

class ReadBack : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() /
              (std::string("pektor_tools_") + info->test_suite_name() + "_" + info->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
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
        fs::remove_all(dir);
    }

    fs::path path(std::string_view name) const { return dir / name; }

    // INIRAF and INIDMS on a file of the temporary directory; IERR.
    std::int32_t open(std::string_view name, std::span<const std::string_view> names = kNames) {
        std::int32_t ierr = 0;
        store::INIRAF(*st, "OLD", name, 1, kFile, 6, 23, ierr);
        if (ierr != 0) return ierr;
        store::INIDMS(*st, w, w.size(), names, static_cast<std::int32_t>(names.size()), 8, kFile,
                      kOut, ierr);
        return ierr;
    }

    // The three recall groups of an operation at step 1; IERR.
    std::int32_t recall() {
        std::int32_t ierr = 0;
        store::ARRECL(*st, w, "**Recall structure data**", 1, kFile, kOut, ierr);
        store::ARRECL(*st, w, "**Recall control data  **", 1, kFile, kOut, ierr);
        store::ARRECL(*st, w, "**Recall result data   **", 1, kFile, kOut, ierr);
        return ierr;
    }

    // The words of an allocated array.
    std::vector<std::int32_t> words(std::string_view name) {
        std::int32_t ierr = 0;
        const std::int32_t p = store::ARGTIP(*st, w, name, kOut, ierr);
        EXPECT_EQ(ierr, 0) << name;
        if (ierr != 0) return {};
        const std::int64_t n =
            static_cast<std::int64_t>(dms::DMSINQ(w, name, 1)) * dms::DMSINQ(w, name, 2);
        const auto s = w.words(p, n);
        return {s.begin(), s.end()};
    }

    std::span<std::int32_t> mstru() {
        std::int32_t ierr = 0;
        const std::int32_t p = store::ARGTIP(*st, w, "MSTRU", kOut, ierr);
        EXPECT_EQ(ierr, 0);
        return w.words(p, dms::DMSINQ(w, "MSTRU", 1));
    }

    std::int32_t param(std::string_view name) {
        std::int32_t ierr = 0;
        const std::int32_t v = store::GTSTRU(*units, mstru(), name, kOut, ierr);
        EXPECT_EQ(ierr, 0) << name;
        return v;
    }

    // The single reals of an SP array recalled for a step (ARREC1).
    std::vector<float> record(std::string_view name, std::int32_t step) {
        std::int32_t ierr = 0;
        std::int32_t p = 0;
        store::ARREC1(*st, w, name, p, step, kFile, kOut, ierr);
        EXPECT_EQ(ierr, 0) << name << " step " << step;
        if (ierr != 0) return {};
        std::vector<float> v;
        for (std::int32_t k = 0; k < dms::DMSINQ(w, name, 1); ++k) v.push_back(w.f(p + k));
        return v;
    }

    store::Keys keys(std::string_view name, std::int32_t step) {
        store::Keys k;
        std::int32_t ierr = 0;
        store::ARKEYS(*st, w, name, step, k, kOut, ierr);
        EXPECT_EQ(ierr, 0) << name;
        return k;
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
    dms::WorkArray w{400000};
    std::unique_ptr<io::Units> units;
    std::unique_ptr<raflib::Raflib> raf;
    std::unique_ptr<store::Store> st;
};

}  // namespace tools_test
