// Running the built program: answers on standard input in a scratch
// directory, the console, the output file "out.txt" and the exit code; and
// the fixed texts of the dialogue that the series tests expect.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "series_support.h"
#include "support/dialogue_texts.h"
#include "support/program.h"

namespace series_test {

using test_support::kAskDynRes;
using test_support::kAskWindow;
using test_support::kCompletion;
using test_support::kFailedReturn;

struct Session {
    int code = -1;
    std::string console;
    std::string tail;  // the console after the time-window prompt
    std::string out;   // the output file
};

inline Session run_pektor(const ScratchDir& dir, const std::string& answers) {
    const test_support::ProgramRun run =
        test_support::run_with_answers(dir, PEKTOR_BIN, "2", answers);
    Session r;
    r.code = run.code;
    r.console = run.console;
    const auto at = r.console.find(kAskWindow);
    if (at != std::string::npos) r.tail = r.console.substr(at + kAskWindow.size());
    r.out = dir.read("out.txt");
    EXPECT_EQ(run.errors, "");
    return r;
}

// Runs on a copy of the fixture.
inline Session run_on(const std::string& fixture, const std::string& answers) {
    ScratchDir dir;
    dir.copy_fixture(fixture);
    return run_pektor(dir, answers);
}

inline const std::string kStatsBanner = test_support::banner(test_support::kTitle3);

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
