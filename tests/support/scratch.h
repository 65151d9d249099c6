// Files of the tests: whole-file reads and writes, the fixtures of
// tests/data, and a fresh scratch directory per test.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace test_support {

namespace fs = std::filesystem;

// The whole file as a string; empty when it cannot be read.
inline std::string read_file(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// The whole file as bytes; empty when it cannot be read.
inline std::vector<char> read_bytes(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Creates or replaces the file with the content.
inline void write_file(const fs::path& p, std::string_view content) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f << content;
}

// The path of a fixture file of tests/data.
inline fs::path fixture_path(std::string_view name) {
    return fs::path(PEKTOR_TEST_DATA) / name;
}

// The content of a fixture file of tests/data.
inline std::string fixture_text(std::string_view name) {
    return read_file(fixture_path(name));
}

// The fixtures are stored read-only; copies are made writable unless asked
// to keep the stored permissions.
enum class Copy { writable, as_stored };

// Copies the fixture to the path `to` (replacing a file there).
inline void copy_fixture(std::string_view fixture, const fs::path& to, Copy mode = Copy::writable) {
    fs::copy_file(fixture_path(fixture), to, fs::copy_options::overwrite_existing);
    if (mode == Copy::writable) {
        fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
    }
}

// A fresh, empty directory for the running test, removed afterwards. The
// name holds the test, the process and a serial number: several builds may
// run the same test at once, and a test may hold several directories.
class ScratchDir {
  public:
    explicit ScratchDir(std::string_view prefix = "pektor_") {
        static int serial = 0;
        std::string name(prefix);
        if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info()) {
            name += std::string(info->test_suite_name()) + "_" + info->name() + "_";
        }
        name += std::to_string(::getpid()) + "_" + std::to_string(++serial);
        // Parameterised suites are named "Prefix/Suite": one directory level.
        std::replace(name.begin(), name.end(), '/', '_');
        path_ = fs::temp_directory_path() / name;
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

    std::string read(const std::string& name) const { return read_file(path_ / name); }
    void write(const std::string& name, const std::string& content) const {
        write_file(path_ / name, content);
    }
    bool exists(const std::string& name) const { return fs::exists(path_ / name); }

    // Copies tests/data/<fixture> into the directory (writable), as `as`.
    void copy_fixture(const std::string& fixture, const std::string& as = {}) const {
        test_support::copy_fixture(fixture, path_ / (as.empty() ? fixture : as));
    }

  private:
    fs::path path_;
};

}  // namespace test_support
