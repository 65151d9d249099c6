// Runs the built pektor program with answers on its standard input.
#include <gtest/gtest.h>

#include <string>

#include "support/dialogue_texts.h"
#include "support/program.h"
#include "support/scratch.h"

namespace {

using test_support::banner;
using test_support::kAskDyn;
using test_support::kAskOut;
using test_support::kAskWindow;
using test_support::kFailedReturn;
using test_support::kSign;
using test_support::kStartAndMenu;
using test_support::kTitle1;
using test_support::ProgramRun;
using test_support::ScratchDir;

ProgramRun run_pektor(const ScratchDir& dir, const std::string& args, const std::string& answers) {
    return test_support::run_with_answers(dir, PEKTOR_BIN, args, answers);
}

// The dyn file is missing: the set-up reports on the console, the peak
// operation adds its block to the output file.
const std::string kNoDynFile =
    "*** ERROR IN INIRAF ***\n"
    "Error Opening raf_file   : sample.dyn\n";
const std::string kPektor0Failed =
    "\n"
    "  *** ERROR IN PEKTOR0    ***\n";

TEST(PektorProgram, JobUntilTheListingCall) {
    ScratchDir dir;
    const ProgramRun r = run_pektor(dir, "1", "1\n-1\nsample.dyn\nresult.txt\n\n3\n\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.console, "\n\n 1 million words successfully allocated \n\n" + kStartAndMenu +
                             kSign + banner(kTitle1) + kAskDyn + kAskOut + kAskWindow + kNoDynFile +
                             kFailedReturn);
    EXPECT_EQ(dir.read("result.txt"), kPektor0Failed);
    EXPECT_EQ(r.errors, "");
}

TEST(PektorProgram, SizeArgument) {
    struct Case {
        const char* args;
        const char* console;
    };
    for (const Case& c : {Case{"0", "\n The nwiwa value (0) is zero or negative! \n"},
                          Case{"-3", "\n The nwiwa value (-3000000) is zero or negative! \n"},
                          Case{"2148", "\n The nwiwa value (-2147483648) is zero or negative! \n"},
                          Case{"nan", "\n The nwiwa value (-2147483648) is zero or negative! \n"},
                          Case{"0x10", "\n The nwiwa value (0) is zero or negative! \n"}}) {
        ScratchDir dir;
        const ProgramRun r = run_pektor(dir, c.args, "1\n");
        EXPECT_EQ(r.code, 1) << c.args;
        EXPECT_EQ(r.console, c.console) << c.args;
        EXPECT_EQ(r.errors, "") << c.args;
    }
    // Text that does not begin with a number is no size but a mistyped
    // command: a usage error, no dialogue.
    ScratchDir dir;
    const ProgramRun r = run_pektor(dir, "abc", "1\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.console, "");
    EXPECT_TRUE(r.errors.starts_with("pektor: unknown command \"abc\"\nCommands:\n")) << r.errors;
}

TEST(PektorProgram, FractionalSizeAndEndOfInput) {
    ScratchDir dir;
    const ProgramRun r = run_pektor(dir, "0.5 ignored", "");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.console,
              "\n\n 0.50 million words successfully allocated \n\n" + kStartAndMenu +
                  "\n *** Input error at prompt \"Select  Operation (see above)\": end of "
                  "input\n" +
                  kFailedReturn);
    EXPECT_EQ(r.errors, "");
}

TEST(PektorProgram, OutputFileThatCannotBeOpened) {
    ScratchDir dir;
    const ProgramRun r = run_pektor(dir, "1.5", "3\nx.dyn\nmissing/out.txt\n\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.console.starts_with("\n\n 1 million words successfully allocated \n\n"));
    EXPECT_TRUE(
        r.console.ends_with(" Give Output File Name             :  "
                            "\n *** Output file cannot be opened: \"missing/out.txt\"\n"
                            "\n Return value from pektor: -1 \n"));
    EXPECT_EQ(r.errors, "");
}

}  // namespace
