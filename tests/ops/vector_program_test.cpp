// Operation 5 run end to end by the pektor program: the side file, the
// statistics of the vector length and the answers it refuses.
#include <set>
#include <string>
#include <vector>

#include "combine_run.h"
#include "tools/dynres_writer.h"

namespace {

using combine_test::dialogue;
using combine_test::expect_lines;
using combine_test::illegal_number;
using combine_test::kCompletion;
using combine_test::kVectorBanner;
using combine_test::Outcome;
using combine_test::run_pektor;
using combine_test::ScratchDir;
using test_support::kFailedReturn;

const std::string kError = "*** ERROR IN Pektor5    ***";
const std::string kAskFirst = " Give Dynres Number 1              :  ";
const std::string kAskSecond = " Give Dynres Number 2              :  ";

TEST(VectorProgram, ThreeAndFourGiveFive) {
    ScratchDir dir;
    tools::DynResLayout layout;
    layout.labels = {"North", "East"};
    const std::vector<float> times = {0.0f, 0.5f};
    tools::write_dynres_file(dir.path() / "v.dyn", layout, times, {{3.0f, -6.0f}, {4.0f, 8.0f}});
    const Outcome r = run_pektor(dir, "5\nv.dyn\nout.txt\n\n1\n2\n");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(dir.read("fort.45"),
              "     1   3.000E+00   4.000E+00   5.000E+00\n"
              "     2  -6.000E+00   8.000E+00   1.000E+01\n");
    EXPECT_EQ(r.out, kVectorBanner +
                         "\nVector Length\n"
                         " First TS time  :        0.000\n"
                         " Last  TS time  :        0.500\n"
                         " nTS found      :            2\n"
                         " Maximum        :   1.0000E+01 (Relative to mean:   2.5000E+00 )\n"
                         " Minimum        :   5.0000E+00 (Relative to mean:  -2.5000E+00 )\n"
                         " Mean           :   7.5000E+00\n"
                         " Std Dev        :   3.5355E+00\n"
                         " Skewness       :   0.0000E+00\n"
                         " Kurtosis       :   5.0000E-01\n" +
                         kCompletion);
}

TEST(VectorProgram, SameDynResTwice) {
    ScratchDir dir;
    dir.copy_fixture("combo.dyn");
    const Outcome r = run_pektor(dir, dialogue(5, "") + "7\n7\n");
    EXPECT_EQ(r.code, 0);
    // Every length is the sample times the square root of 2.
    EXPECT_EQ(dir.read("fort.45"),
              "     1   0.000E+00   0.000E+00   0.000E+00\n"
              "     2   7.500E+00   7.500E+00   1.061E+01\n"
              "     3   1.500E+01   1.500E+01   2.121E+01\n"
              "     4   2.250E+01   2.250E+01   3.182E+01\n"
              "     5   3.000E+01   3.000E+01   4.243E+01\n"
              "     6   3.750E+01   3.750E+01   5.303E+01\n"
              "     7   4.500E+01   4.500E+01   6.364E+01\n"
              "     8   5.250E+01   5.250E+01   7.425E+01\n"
              "     9   6.000E+01   6.000E+01   8.485E+01\n"
              "    10   6.750E+01   6.750E+01   9.546E+01\n"
              "    11   7.500E+01   7.500E+01   1.061E+02\n"
              "    12   8.250E+01   8.250E+01   1.167E+02\n"
              "    13   9.000E+01   9.000E+01   1.273E+02\n"
              "    14   9.750E+01   9.750E+01   1.379E+02\n"
              "    15   1.050E+02   1.050E+02   1.485E+02\n"
              "    16   1.125E+02   1.125E+02   1.591E+02\n"
              "    17   1.200E+02   1.200E+02   1.697E+02\n"
              "    18   1.275E+02   1.275E+02   1.803E+02\n"
              "    19   1.350E+02   1.350E+02   1.909E+02\n"
              "    20   1.425E+02   1.425E+02   2.015E+02\n");
    const std::string stats =
        "\nVector Length\n"
        " First TS time  :        0.000\n"
        " Last  TS time  :        1.900\n"
        " nTS found      :           20\n"
        " Maximum        :   2.0153E+02 (Relative to mean:   1.0076E+02 )\n"
        " Minimum        :   0.0000E+00 (Relative to mean:  -1.0076E+02 )\n"
        " Mean           :   1.0076E+02\n"
        " Std Dev        :   6.2750E+01\n"
        " Skewness       : ~0\n"
        " Kurtosis       :   1.7043E+00\n";
    expect_lines(r.out, kVectorBanner + stats + kCompletion, "out.txt");
    const std::string console_tail = "  \n" + kAskFirst + "  \n" + kAskSecond +
                                     "\n Reading Actual Time Series .... \n" + stats +
                                     " Successfully completed.         \n" + kCompletion;
    const std::size_t at = r.console.rfind("  \n" + kAskFirst);
    ASSERT_NE(at, std::string::npos) << r.console;
    expect_lines(r.console.substr(at), console_tail, "console");
}

TEST(VectorProgram, TwoDynResInAWindow) {
    ScratchDir dir;
    dir.copy_fixture("combo.dyn");
    const Outcome r = run_pektor(dir, dialogue(5, "0.35, 0.65") + "7\n8\n");
    EXPECT_EQ(r.code, 0);
    // Steps at 0.4, 0.5 and 0.6: DynRes 7 = 7.5 i, DynRes 8 = 100 - 12 i.
    EXPECT_EQ(dir.read("fort.45"),
              "     1   3.000E+01   5.200E+01   6.003E+01\n"
              "     2   3.750E+01   4.000E+01   5.483E+01\n"
              "     3   4.500E+01   2.800E+01   5.300E+01\n");
    EXPECT_EQ(r.out, kVectorBanner +
                         "\nVector Length\n"
                         " First TS time  :        0.350\n"
                         " Last  TS time  :        0.600\n"
                         " nTS found      :            3\n"
                         " Maximum        :   6.0033E+01 (Relative to mean:   4.0791E+00 )\n"
                         " Minimum        :   5.3000E+01 (Relative to mean:  -2.9542E+00 )\n"
                         " Mean           :   5.5954E+01\n"
                         " Std Dev        :   3.6491E+00\n"
                         " Skewness       :   4.1847E-01\n"
                         " Kurtosis       :   1.0000E+00\n" +
                         kCompletion);
}

TEST(VectorProgram, TightWorkArrays) {
    const auto refused = combine_test::sweep_work_array(
        dialogue(5, "0.35 0.65") + "7\n8\n", "", 1100, 1500, 20, kError,
        [](const ScratchDir& dir, const Outcome& r) {
            EXPECT_EQ(dir.read("fort.45"),
                      "     1   3.000E+01   5.200E+01   6.003E+01\n"
                      "     2   3.750E+01   4.000E+01   5.483E+01\n"
                      "     3   4.500E+01   2.800E+01   5.300E+01\n");
            EXPECT_TRUE(r.out.ends_with(kCompletion));
        });
    EXPECT_EQ(refused, (std::set<std::string>{"AUX_1", "AUX_2", "TS", "TIMES", "TSCRA", "TSCRA2"}));
}

TEST(VectorProgram, WindowWithoutSamplesWritesNoSideFile) {
    ScratchDir dir;
    dir.copy_fixture("combo.dyn");
    const Outcome r = run_pektor(dir, dialogue(5, "5 6") + "1\n2\n");
    EXPECT_EQ(r.code, 0);
    EXPECT_FALSE(dir.exists("fort.45"));
    EXPECT_EQ(r.out, kVectorBanner +
                         "\nVector Length\n"
                         " First TS time  :        5.000\n"
                         " Last  TS time  :        0.000\n"
                         " nTS found      :            0\n"
                         " Maximum        :  -1.0000E+35 (Relative to mean:  -1.0000E+35 )\n"
                         " Minimum        :   1.0000E+35 (Relative to mean:   1.0000E+35 )\n"
                         " Mean           :   0.0000E+00\n"
                         " Std Dev        :   0.0000E+00\n"
                         " Skewness       :   0.0000E+00\n"
                         " Kurtosis       :   0.0000E+00\n" +
                         kCompletion);
}

TEST(VectorProgram, BlankAnswerEndsTheOperation) {
    for (const std::string& answers : {std::string("\n"), std::string("3\n   \n")}) {
        ScratchDir dir;
        dir.copy_fixture("combo.dyn");
        const Outcome r = run_pektor(dir, dialogue(5, "") + answers);
        EXPECT_EQ(r.code, 0);
        EXPECT_FALSE(dir.exists("fort.45"));
        EXPECT_EQ(r.out, kVectorBanner + kCompletion);
        EXPECT_EQ(r.console.find("Reading Actual"), std::string::npos);
        EXPECT_TRUE(r.console.ends_with(" :  " + kCompletion)) << r.console;
    }
}

TEST(VectorProgram, NumbersBelowOneAndAboveTheFileCount) {
    for (const auto& [answers, tail] :
         {std::pair{"0\n", kAskFirst + "\n *** Input error at prompt \"Give Dynres Number 1\": 0 "
                                       "is not a DynRes number (from 1)\n"},
          std::pair{"4\n-2\n", kAskSecond + "\n *** Input error at prompt \"Give Dynres Number "
                                            "2\": -2 is not a DynRes number (from 1)\n"}}) {
        ScratchDir dir;
        dir.copy_fixture("combo.dyn");
        const Outcome r = run_pektor(dir, dialogue(5, "") + answers);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out, kVectorBanner + "\n  " + kError + "\n");
        EXPECT_TRUE(r.console.ends_with(tail + kFailedReturn)) << r.console;
    }
    for (const auto& [answers, shown] :
         {std::pair{"10\n2\n", "      10"}, std::pair{"9\n12\n", "      12"}}) {
        ScratchDir dir;
        dir.copy_fixture("combo.dyn");
        const Outcome r = run_pektor(dir, dialogue(5, "") + answers);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out, kVectorBanner + illegal_number(kError, shown, "       9"));
        EXPECT_TRUE(r.console.ends_with(kAskSecond + "\n  " + kError + "\n" +
                                        "\n  *** Illegal Dynres Number  \n"
                                        "      Specified  Dynres   : " +
                                        shown + "\n      Number of  Dynres   :        9\n" +
                                        kFailedReturn))
            << r.console;
        EXPECT_FALSE(dir.exists("fort.45"));
    }
}

TEST(VectorProgram, AnswersThatCannotBeUsed) {
    struct Case {
        std::string answers;
        std::string tail;
    };
    for (const Case& c : {
             Case{"abc\n", kAskFirst + "\n *** Input error at prompt \"Give Dynres Number 1\": "
                                       "value is not a valid integer\n"},
             Case{"2.5\n", kAskFirst + "\n *** Input error at prompt \"Give Dynres Number 1\": "
                                       "value is not a valid integer\n"},
             Case{"", kAskFirst + "\n *** Input error at prompt \"Give Dynres Number 1\": "
                                  "end of input\n"},
             Case{"3\n", kAskSecond + "\n *** Input error at prompt \"Give Dynres Number 2\": "
                                      "end of input\n"},
         }) {
        ScratchDir dir;
        dir.copy_fixture("combo.dyn");
        const Outcome r = run_pektor(dir, dialogue(5, "") + c.answers);
        EXPECT_EQ(r.code, 1) << c.answers;
        EXPECT_TRUE(r.console.ends_with(c.tail + kFailedReturn)) << r.console;
        EXPECT_EQ(r.out, kVectorBanner + "\n  " + kError + "\n") << c.answers;
        EXPECT_FALSE(dir.exists("fort.45"));
    }
}

}  // namespace
