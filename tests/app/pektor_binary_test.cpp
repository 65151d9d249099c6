// Runs the built pektor program with answers on its standard input.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "test_support.h"

namespace {

using pektor_test::kStartAndMenu;
using pektor_test::ScratchDir;

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

Result run_pektor(const ScratchDir& dir, const std::string& args, const std::string& answers) {
    dir.write("answers.txt", answers);
    const std::string cmd = "cd '" + dir.path().string() + "' && '" PEKTOR_BIN "' " + args +
                            " < answers.txt > console.txt 2> errors.txt";
    const int rc = std::system(cmd.c_str());
    Result r;
    if (rc != -1 && WIFEXITED(rc)) r.code = WEXITSTATUS(rc);
    r.out = dir.read("console.txt");
    r.err = dir.read("errors.txt");
    return r;
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
    const Result r = run_pektor(dir, "1", "1\n-1\nsample.dyn\nresult.txt\n\n3\n\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "\n\n 1 million words successfully allocated \n\n" + kStartAndMenu +
                         "\n\n"
                         "---------------------------------------------\n"
                         "----       Sign Convension.              ----\n"
                         "----                                     ----\n"
                         "----       Peak Maximum            :  1  ----\n"
                         "----       Peak Minimum            : -1  ----\n"
                         "----       Max Peak of Abs(Value)  :  0  ----\n"
                         "----       Peak Abs wiht sign      : -2  ----\n"
                         "---------------------------------------------\n"
                         " Select  Sign Convension           :  "
                         "\n\n"
                         "---------------------------------------------\n"
                         "----       Maximum from one dyn file.    ----\n"
                         "---------------------------------------------\n"
                         "\n"
                         " Give dyn File Name  (incl extens) :  "
                         " Give Output File Name             :  "
                         " Give First/Last time of TS /whole/:  " +
                         kNoDynFile + "\n Return value from pektor: -1 \n");
    EXPECT_EQ(dir.read("result.txt"), kPektor0Failed);
    EXPECT_EQ(r.err, "");
}

TEST(PektorProgram, SizeArgument) {
    struct Case {
        const char* args;
        const char* console;
    };
    for (const Case& c :
         {Case{"0", "\n The nwiwa value (0) is zero or negative! \n"},
          Case{"-3", "\n The nwiwa value (-3000000) is zero or negative! \n"},
          Case{"abc", "\n The nwiwa value (0) is zero or negative! \n"},
          Case{"2148", "\n The nwiwa value (-2147483648) is zero or negative! \n"},
          Case{"nan", "\n The nwiwa value (-2147483648) is zero or negative! \n"}}) {
        ScratchDir dir;
        const Result r = run_pektor(dir, c.args, "1\n");
        EXPECT_EQ(r.code, 1) << c.args;
        EXPECT_EQ(r.out, c.console) << c.args;
        EXPECT_EQ(r.err, "") << c.args;
    }
}

TEST(PektorProgram, FractionalSizeAndEndOfInput) {
    ScratchDir dir;
    const Result r = run_pektor(dir, "0.5 ignored", "");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "\n\n 0.50 million words successfully allocated \n\n" + kStartAndMenu +
                         "\n *** Input error at prompt \"Select  Operation (see above)\": end of "
                         "input\n"
                         "\n Return value from pektor: -1 \n");
    EXPECT_EQ(r.err, "");
}

TEST(PektorProgram, OutputFileThatCannotBeOpened) {
    ScratchDir dir;
    const Result r = run_pektor(dir, "1.5", "3\nx.dyn\nmissing/out.txt\n\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.starts_with("\n\n 1 million words successfully allocated \n\n"));
    EXPECT_TRUE(
        r.out.ends_with(" Give Output File Name             :  "
                        "\n *** Output file cannot be opened: \"missing/out.txt\"\n"
                        "\n Return value from pektor: -1 \n"));
    EXPECT_EQ(r.err, "");
}

}  // namespace
