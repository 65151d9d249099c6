// Running a built program of the project from a test: in a directory, with
// its standard streams redirected to files of that directory.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "support/scratch.h"

namespace test_support {

// Runs the shell command in the directory; the exit code, or -1 when the
// command could not run or did not exit.
inline int run_in(const fs::path& dir, const std::string& command) {
    const std::string cmd = "cd '" + dir.string() + "' && " + command;
    const int status = std::system(cmd.c_str());
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct ProgramRun {
    int code = -1;
    std::string console;  // standard output
    std::string errors;   // standard error
};

// Runs `program args` in the directory with the answers on standard input
// (kept as answers.txt; the streams go to console.txt and errors.txt).
inline ProgramRun run_with_answers(const ScratchDir& dir, std::string_view program,
                                   std::string_view args, const std::string& answers) {
    dir.write("answers.txt", answers);
    ProgramRun r;
    r.code = run_in(dir.path(), "'" + std::string(program) + "' " + std::string(args) +
                                    " < answers.txt > console.txt 2> errors.txt");
    r.console = dir.read("console.txt");
    r.errors = dir.read("errors.txt");
    return r;
}

struct CommandRun {
    int code = -1;
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs `program args` in `dir` with an empty standard input; the streams
// are kept in the folder `streams` (out.txt, err.txt), so that `dir` holds
// only what the program writes there.
inline CommandRun run_command(const fs::path& dir, std::string_view program,
                              const std::string& args, const fs::path& streams) {
    CommandRun r;
    const fs::path out = streams / "out.txt";
    const fs::path err = streams / "err.txt";
    r.code = run_in(dir, "'" + std::string(program) + "' " + args + " < /dev/null > '" +
                             out.string() + "' 2> '" + err.string() + "'");
    r.out = read_file(out);
    r.err = read_file(err);
    return r;
}

// The rows of a CSV without quoted fields: lines split at commas (a CRLF
// line end is one).
inline std::vector<std::vector<std::string>> simple_csv(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> fields;
        for (std::size_t start = 0;;) {
            const std::size_t comma = line.find(',', start);
            fields.push_back(line.substr(start, comma - start));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        rows.push_back(std::move(fields));
    }
    return rows;
}

// The number a whole field reads as (a test failure when it is not one).
inline double number(const std::string& field) {
    char* end = nullptr;
    const double v = std::strtod(field.c_str(), &end);
    EXPECT_TRUE(!field.empty() && *end == '\0') << "'" << field << "' is not a number";
    return v;
}

}  // namespace test_support
