// Shared set-up of the RAFLIB tests: a temporary directory with a Units
// table, a fixed clock, fixture copies and byte helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "io/text.h"
#include "io/units.h"
#include "raflib/raflib.h"
#include "support/scratch.h"

namespace rtest {

namespace fs = std::filesystem;

inline raflib::LocalTime fixed_time() {
    return {2024, 3, 11, 14, 25, 36};
}

using test_support::read_bytes;

inline void write_bytes(const fs::path& p, const std::vector<char>& b) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(b.data(), static_cast<std::streamsize>(b.size()));
}

inline std::int32_t word_at(const std::vector<char>& b, std::size_t word_index) {
    std::int32_t v = 0;
    std::memcpy(&v, b.data() + 4 * word_index, 4);
    return v;
}

inline void set_word(std::vector<char>& b, std::size_t word_index, std::int32_t v) {
    std::memcpy(b.data() + 4 * word_index, &v, 4);
}

inline float as_float(std::int32_t w) {
    float f = 0;
    std::memcpy(&f, &w, 4);
    return f;
}

inline std::int32_t float_word(float f) {
    std::int32_t w = 0;
    std::memcpy(&w, &f, 4);
    return w;
}

inline double double_at(const std::vector<std::int32_t>& w, std::size_t p) {
    double d = 0;
    std::memcpy(&d, w.data() + 2 * p, 8);
    return d;
}

// The words of doubles.
inline std::vector<std::int32_t> double_words(const std::vector<double>& v) {
    std::vector<std::int32_t> w(2 * v.size());
    std::memcpy(w.data(), v.data(), 8 * v.size());
    return w;
}

// A temporary directory with a Units table whose console is captured, and a
// RAFLIB state with a fixed clock whose messages go to the console.
class RaflibTest : public ::testing::Test {
  protected:
    void SetUp() override {
        units_ = std::make_unique<io::Units>(in_, out_, dir_);
        raf_ = std::make_unique<raflib::Raflib>(*units_, fixed_time);
        raflib::RAFINI(*raf_, 6);
    }
    void TearDown() override {
        raf_.reset();
        units_.reset();
    }

    // Copies a fixture into the temporary directory (writable); returns its
    // name.
    std::string copy_fixture(const std::string& name) {
        test_support::copy_fixture(name, dir_ / name);
        return name;
    }

    std::vector<char> bytes(const std::string& name) { return read_bytes(dir_ / name); }
    std::vector<char> fixture_bytes(const std::string& name) {
        return read_bytes(test_support::fixture_path(name));
    }

    // The console output so far; clears it.
    std::string take_output() {
        std::string s = out_.str();
        out_.str("");
        return s;
    }

    // Opens a copied fixture on unit; returns the flag.
    std::int32_t open_fixture(const std::string& name, std::int32_t unit = 22) {
        std::string n = copy_fixture(name);
        std::int32_t ierr = 0;
        raflib::RAFOLD(*raf_, unit, n, ierr);
        return ierr;
    }

    // Creates a new file with maxarr array numbers on unit.
    std::int32_t create(const std::string& name, std::int32_t maxarr, std::int32_t unit = 22) {
        std::string n = name;
        std::int32_t ierr = 0;
        raflib::RAFNEW(*raf_, unit, n, "NEW", maxarr, ierr);
        return ierr;
    }

    std::int32_t close(std::int32_t unit = 22) {
        std::int32_t ierr = 0;
        raflib::RAFCLS(*raf_, unit, ierr);
        return ierr;
    }

    test_support::ScratchDir scratch_{"pektor_raflib_"};
    std::istringstream in_;
    std::ostringstream out_;
    fs::path dir_ = scratch_.path();
    std::unique_ptr<io::Units> units_;
    std::unique_ptr<raflib::Raflib> raf_;
};

}  // namespace rtest
