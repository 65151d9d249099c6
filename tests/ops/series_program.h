// Running the built program: answers on standard input in a scratch
// directory, the console, the output file "out.txt" and the exit code; and
// the fixed texts of the dialogue that the series tests expect.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "series_support.h"

namespace series_test {

struct Session {
    int code = -1;
    std::string console;
    std::string tail;  // the console after the time-window prompt
    std::string out;   // the output file
};

inline constexpr std::string_view kAskWindow = "Give First/Last time of TS /whole/:  ";

inline Session run_pektor(const ScratchDir& dir, const std::string& answers) {
    dir.write("answers.txt", answers);
    const std::string cmd = "cd '" + dir.path().string() +
                            "' && '" PEKTOR_BIN "' 2 < answers.txt > console.txt 2> errors.txt";
    const int rc = std::system(cmd.c_str());
    Session r;
    if (rc != -1 && WIFEXITED(rc)) r.code = WEXITSTATUS(rc);
    r.console = dir.read("console.txt");
    const auto at = r.console.find(kAskWindow);
    if (at != std::string::npos) r.tail = r.console.substr(at + kAskWindow.size());
    r.out = dir.read("out.txt");
    EXPECT_EQ(dir.read("errors.txt"), "");
    return r;
}

// Runs on a copy of the fixture.
inline Session run_on(const std::string& fixture, const std::string& answers) {
    ScratchDir dir;
    dir.copy_fixture(fixture);
    return run_pektor(dir, answers);
}

inline const std::string kDashes = "---------------------------------------------\n";
inline const std::string kCompletion =
    "\n\n" + kDashes + "----       Successfully  Completed       ----\n" + kDashes + "\n";
inline const std::string kStatsBanner =
    "\n\n" + kDashes + "----       Statistics of Time Series.    ----\n" + kDashes + "\n";
inline const std::string kAskDynRes = "  \n Give Dynres Number                :  ";
inline const std::string kReturn = "\n Return value from pektor: -1 \n";

inline std::string peak_line(int idr, const std::string& peak) {
    std::string number = std::to_string(idr);
    return " PeakValue for DynRes" + std::string(4 - number.size(), ' ') + number + " : " + peak +
           "\n";
}

// A statistics block: header, the two times (12 columns each), n and the
// six statistics lines.
inline std::string stat_block(const std::string& head, const std::string& times,
                              const std::string& n, const std::string& rest) {
    return "\n" + head + "\n First TS time  : " + times.substr(0, 12) +
           "\n Last  TS time  : " + times.substr(12) + "\n nTS found      : " + n + "\n" + rest;
}

}  // namespace series_test
