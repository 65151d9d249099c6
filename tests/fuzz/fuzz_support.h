// Shared pieces of the fuzz targets: a private scratch directory per process
// (every file a run names resolves against it, nothing lands in the current
// directory), the fixtures, whole dialogue runs on a small work array, and
// the checks every run must pass.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>

#include "app/entry.h"
#include "app/pektor.h"
#include "dms/work_array.h"
#include "io/units.h"
#include "ops/pektor.h"
#include "raflib/raflib.h"

namespace fuzz_support {

namespace fs = std::filesystem;

// The work array of the runs: 2 million words, a size a user could give.
inline constexpr std::int32_t kWords = 2'000'000;
inline constexpr const char* kWordsArgument = "2";

// Stops the process with a message: libFuzzer (and the replay driver) report
// it as a crash with the input that caused it.
[[noreturn]] inline void fail(std::string_view what, std::string_view detail = {}) {
    std::fprintf(stderr, "\n*** fuzz check failed: %.*s\n%.*s\n", static_cast<int>(what.size()),
                 what.data(), static_cast<int>(detail.size()), detail.data());
    std::abort();
}

// A directory of its own for this process under the temporary directory,
// removed at exit. clear() empties it between runs.
class PrivateDir {
  public:
    PrivateDir() {
        std::string pattern = (fs::temp_directory_path() / "pektor_fuzz_XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) fail("cannot create the scratch directory");
        path_ = pattern;
    }
    ~PrivateDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    PrivateDir(const PrivateDir&) = delete;
    PrivateDir& operator=(const PrivateDir&) = delete;

    const fs::path& path() const { return path_; }

    void clear() const {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(path_, ec)) fs::remove_all(e.path(), ec);
    }

    void write(std::string_view name, std::string_view content) const {
        std::ofstream f(path_ / name, std::ios::binary | std::ios::trunc);
        f.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!f) fail("cannot write a scratch file", name);
    }

  private:
    fs::path path_;
};

inline const PrivateDir& private_dir() {
    static const PrivateDir dir;
    return dir;
}

// The content of a fixture of tests/data.
inline std::string fixture(std::string_view name) {
    std::ifstream f(fs::path(PEKTOR_TEST_DATA) / name, std::ios::binary);
    std::string s{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    if (!f.good() && !f.eof()) fail("cannot read the fixture", name);
    if (s.empty()) fail("empty or missing fixture", name);
    return s;
}

// With PEKTOR_FUZZ_ECHO set in the environment, every console transcript is
// copied to standard error (to look at what a reproducer does).
inline void echo(std::string_view console) {
    static const bool on = std::getenv("PEKTOR_FUZZ_ECHO") != nullptr;
    if (on) std::fprintf(stderr, "%.*s\n", static_cast<int>(console.size()), console.data());
}

// The whole file; empty when it cannot be read.
inline std::string read_file(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// A file of the run that no run may change (a dyn file, an input file).
inline void expect_unchanged(const PrivateDir& dir, std::string_view name,
                             std::string_view content) {
    if (read_file(dir.path() / name) != content) fail("a file of the run changed", name);
}

inline std::string_view bytes(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// One dialogue on a fresh work array in the private directory: the answers
// on the keyboard, the console captured. An exception (a work-array index
// out of range among them) escapes and ends the fuzz run as a crash.
struct Dialogue {
    std::int32_t status = 0;
    std::string console;
};

// The last lines on the console of a completed run.
inline constexpr std::string_view kCompletionBanner =
    "---------------------------------------------\n"
    "----       Successfully  Completed       ----\n"
    "---------------------------------------------\n\n";

inline Dialogue run_dialogue(const PrivateDir& dir, const std::string& answers) {
    std::istringstream keyboard(answers);
    std::ostringstream console;
    Dialogue d;
    {
        io::Units units(keyboard, console, dir.path());
        raflib::Raflib raf(units);
        ops::Pektor ops(units, raf);
        dms::WorkArray w(kWords);
        d.status = app::pektor(w, units, ops);
    }
    d.console = console.str();
    echo(d.console);
    if (d.status != 0 && d.status != -1) fail("dialogue status neither 0 nor -1", d.console);
    const bool completed = d.console.ends_with(kCompletionBanner);
    if ((d.status == 0) != completed) fail("completion banner and status disagree", d.console);
    return d;
}

// Keeps fuzzed answers inside the private directory: a name that starts with
// a slash (after blanks) or climbs with ".." could reach any file of the
// machine. Such a leading slash becomes a comma (both are a null value in
// free-format input) and the second dot of ".." an underscore.
inline std::string confined_answers(std::string_view data) {
    std::string s(data);
    bool line_start = true;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '\n') {
            line_start = true;
            continue;
        }
        if (line_start && c == '/') s[i] = ',';
        if (c == '.' && i + 1 < s.size() && s[i + 1] == '.') s[i + 1] = '_';
        if (c != ' ' && c != '\t' && c != '\r' && c != '\v' && c != '\f') line_start = false;
    }
    return s;
}

}  // namespace fuzz_support
