// Operation 4 run end to end by the pektor program on the fixture combo.dyn:
// the resultants, the components, the output file and the refusals.
#include <set>
#include <string>

#include "combine_run.h"

namespace {

using combine_test::dialogue;
using combine_test::expect_lines;
using combine_test::illegal_number;
using combine_test::kCombinationBanner;
using combine_test::kCompletion;
using combine_test::Outcome;
using combine_test::run_pektor;
using combine_test::ScratchDir;

const std::string kError = "*** ERROR IN Pektor4    ***";
const std::string kDashes42 = "------------------------------------------\n";
const std::string kAskInput = " Give Input  File Name             :  ";
const std::string kAskCount = " Number of Components to compute   :  ";

// Groups of combo_input.txt.
const std::string kSelectedTwoGroups =
    " Comp no   1,  DynRes no    1 :   Leg 1 force X\n"
    " Comp no   2,  DynRes no    2 :   Leg 1 force Y\n"
    " Comp no   3,  DynRes no    3 :   Leg 1 force Z\n"
    " Comp no   4,  DynRes no    7 :   Moment X\n"
    " Comp no   5,  DynRes no    8 :   Moment Y\n"
    " Comp no   6,  DynRes no    9 :   Moment Z\n"
    " Comp no   7,  DynRes no    4 :   Leg 2 force X\n"
    " Comp no   8,  DynRes no    5 :   Leg 2 force Y\n"
    " Comp no   9,  DynRes no    6 :   Leg 2 force Z\n"
    " Comp no  10,  DynRes no    7 :   Moment X\n"
    " Comp no  11,  DynRes no    8 :   Moment Y\n"
    " Comp no  12,  DynRes no    9 :   Moment Z\n";

// Groups of combo_input_nc3.txt.
const std::string kSelectedThreeGroups =
    " Comp no   1,  DynRes no    1 :   Leg 1 force X\n"
    " Comp no   2,  DynRes no    2 :   Leg 1 force Y\n"
    " Comp no   3,  DynRes no    3 :   Leg 1 force Z\n"
    " Comp no   4,  DynRes no    4 :   Leg 2 force X\n"
    " Comp no   5,  DynRes no    5 :   Leg 2 force Y\n"
    " Comp no   6,  DynRes no    6 :   Leg 2 force Z\n"
    " Comp no   7,  DynRes no    7 :   Moment X\n"
    " Comp no   8,  DynRes no    8 :   Moment Y\n"
    " Comp no   9,  DynRes no    9 :   Moment Z\n";

// The header of a component block in the output file.
std::string component_head(const std::string& line, const std::string& factors) {
    return "\n\n" + kDashes42 + line + "\n" + kDashes42 + " \n" + factors + "\n\n=>\n";
}

const std::string kWholeSeries =
    " First TS time  :        0.000\n"
    " Last  TS time  :        1.900\n"
    " nTS found      :           20\n";

const std::string kResultantsTwoGroups =
    "  0.0000E+00 -5.0000E+01  1.2000E+01  3.5000E+02 -1.0000E+02  1.0000E+02  0.0000E+00\n"
    "  1.0000E-01 -4.0250E+01  1.1500E+01  3.4650E+02 -8.0500E+01  9.5500E+01  4.0000E+01\n"
    "  2.0000E-01 -3.1000E+01  1.1000E+01  3.4300E+02 -6.1000E+01  9.1000E+01  8.0000E+01\n"
    "  3.0000E-01 -2.2250E+01  1.0500E+01  3.3950E+02 -4.1500E+01  8.6500E+01  1.2000E+02\n"
    "  4.0000E-01 -1.4000E+01  1.0000E+01  3.3600E+02 -2.2000E+01  8.2000E+01  1.6000E+02\n"
    "  5.0000E-01 -6.2500E+00  9.5000E+00  3.3250E+02 -2.5000E+00  7.7500E+01  0.0000E+00\n"
    "  6.0000E-01  1.0000E+00  9.0000E+00  3.2900E+02  1.7000E+01  7.3000E+01  4.0000E+01\n"
    "  7.0000E-01  7.7500E+00  8.5000E+00  3.2550E+02  3.6500E+01  6.8500E+01  8.0000E+01\n"
    "  8.0000E-01  1.4000E+01  8.0000E+00  3.2200E+02  5.6000E+01  6.4000E+01  1.2000E+02\n"
    "  9.0000E-01  1.9750E+01  7.5000E+00  3.1850E+02  7.5500E+01  5.9500E+01  1.6000E+02\n"
    "  1.0000E+00  2.5000E+01  7.0000E+00  3.1500E+02  9.5000E+01  5.5000E+01  0.0000E+00\n"
    "  1.1000E+00  2.9750E+01  6.5000E+00  3.1150E+02  1.1450E+02  5.0500E+01  4.0000E+01\n"
    "  1.2000E+00  3.4000E+01  6.0000E+00  3.0800E+02  1.3400E+02  4.6000E+01  8.0000E+01\n"
    "  1.3000E+00  3.7750E+01  5.5000E+00  3.0450E+02  1.5350E+02  4.1500E+01  1.2000E+02\n"
    "  1.4000E+00  4.1000E+01  5.0000E+00  3.0100E+02  1.7300E+02  3.7000E+01  1.6000E+02\n"
    "  1.5000E+00  4.3750E+01  4.5000E+00  2.9750E+02  1.9250E+02  3.2500E+01  0.0000E+00\n"
    "  1.6000E+00  4.6000E+01  4.0000E+00  2.9400E+02  2.1200E+02  2.8000E+01  4.0000E+01\n"
    "  1.7000E+00  4.7750E+01  3.5000E+00  2.9050E+02  2.3150E+02  2.3500E+01  8.0000E+01\n"
    "  1.8000E+00  4.9000E+01  3.0000E+00  2.8700E+02  2.5100E+02  1.9000E+01  1.2000E+02\n"
    "  1.9000E+00  4.9750E+01  2.5000E+00  2.8350E+02  2.7050E+02  1.4500E+01  1.6000E+02\n";

TEST(CombineProgram, TwoGroupsThreeComponentsAfterANonexistingInputFile) {
    ScratchDir dir;
    dir.copy_fixture("combo.dyn");
    dir.copy_fixture("combo_input.txt");
    const Outcome r = run_pektor(dir, dialogue(4, "") + "nothere.txt\ncombo_input.txt\n");
    EXPECT_EQ(r.code, 0);
    // R1 = DR1 - DR5, R2 = DR2 + DR4, R3 = DR3 + DR6, R4 = DR7 - DR8,
    // R5 = DR8 + DR7, R6 = 2 DR9: the transpose of the second group's matrix.
    EXPECT_EQ(dir.read("fort.44"), kResultantsTwoGroups);
    EXPECT_EQ(dir.read("fort.45"),
              "#  Component no  1:    Global force X from both legs, taken from the resultants; t\n"
              "  0.0000E+00 -5.0000E+01\n"
              "  1.0000E-01 -4.0250E+01\n"
              "  2.0000E-01 -3.1000E+01\n"
              "  3.0000E-01 -2.2250E+01\n"
              "  4.0000E-01 -1.4000E+01\n"
              "  5.0000E-01 -6.2500E+00\n"
              "  6.0000E-01  1.0000E+00\n"
              "  7.0000E-01  7.7500E+00\n"
              "  8.0000E-01  1.4000E+01\n"
              "  9.0000E-01  1.9750E+01\n"
              "  1.0000E+00  2.5000E+01\n"
              "  1.1000E+00  2.9750E+01\n"
              "  1.2000E+00  3.4000E+01\n"
              "  1.3000E+00  3.7750E+01\n"
              "  1.4000E+00  4.1000E+01\n"
              "  1.5000E+00  4.3750E+01\n"
              "  1.6000E+00  4.6000E+01\n"
              "  1.7000E+00  4.7750E+01\n"
              "  1.8000E+00  4.9000E+01\n"
              "  1.9000E+00  4.9750E+01\n");
    EXPECT_EQ(dir.read("fort.46"),
              "#  Component no  2:    Overturning check\n"
              "  0.0000E+00 -1.9400E+02\n"
              "  1.0000E-01 -1.8525E+02\n"
              "  2.0000E-01 -1.7650E+02\n"
              "  3.0000E-01 -1.6775E+02\n"
              "  4.0000E-01 -1.5900E+02\n"
              "  5.0000E-01 -1.5025E+02\n"
              "  6.0000E-01 -1.4150E+02\n"
              "  7.0000E-01 -1.3275E+02\n"
              "  8.0000E-01 -1.2400E+02\n"
              "  9.0000E-01 -1.1525E+02\n"
              "  1.0000E+00 -1.0650E+02\n"
              "  1.1000E+00 -9.7750E+01\n"
              "  1.2000E+00 -8.9000E+01\n"
              "  1.3000E+00 -8.0250E+01\n"
              "  1.4000E+00 -7.1500E+01\n"
              "  1.5000E+00 -6.2750E+01\n"
              "  1.6000E+00 -5.4000E+01\n"
              "  1.7000E+00 -4.5250E+01\n"
              "  1.8000E+00 -3.6500E+01\n"
              "  1.9000E+00 -2.7750E+01\n");
    EXPECT_EQ(dir.read("fort.47"),
              "#  Component no  3:\n"
              "  0.0000E+00  3.1200E+02\n"
              "  1.0000E-01  3.7275E+02\n"
              "  2.0000E-01  4.3300E+02\n"
              "  3.0000E-01  4.9275E+02\n"
              "  4.0000E-01  5.5200E+02\n"
              "  5.0000E-01  4.1075E+02\n"
              "  6.0000E-01  4.6900E+02\n"
              "  7.0000E-01  5.2675E+02\n"
              "  8.0000E-01  5.8400E+02\n"
              "  9.0000E-01  6.4075E+02\n"
              "  1.0000E+00  4.9700E+02\n"
              "  1.1000E+00  5.5275E+02\n"
              "  1.2000E+00  6.0800E+02\n"
              "  1.3000E+00  6.6275E+02\n"
              "  1.4000E+00  7.1700E+02\n"
              "  1.5000E+00  5.7075E+02\n"
              "  1.6000E+00  6.2400E+02\n"
              "  1.7000E+00  6.7675E+02\n"
              "  1.8000E+00  7.2900E+02\n"
              "  1.9000E+00  7.8075E+02\n");
    EXPECT_FALSE(dir.exists("fort.48"));

    const std::string expected =
        kCombinationBanner + kSelectedTwoGroups +
        component_head(
            " Component no  1:    Global force X from both legs, taken from the resultants; t",
            " Transfer function Dof 1:  1.0000E+00\n"
            " Transfer function Dof 2:  0.0000E+00\n"
            " Transfer function Dof 3:  0.0000E+00\n"
            " Transfer function Dof 4:  0.0000E+00\n"
            " Transfer function Dof 5:  0.0000E+00\n"
            " Transfer function Dof 6:  0.0000E+00") +
        kWholeSeries +
        " Maximum        :   4.9750E+01 (Relative to mean:   3.5625E+01 )\n"
        " Minimum        :  -5.0000E+01 (Relative to mean:  -6.4125E+01 )\n"
        " Mean           :   1.4125E+01\n"
        " Std Dev        :   3.1976E+01\n"
        " Skewness       :  -5.9232E-01\n"
        " Kurtosis       :   1.9943E+00\n" +
        component_head(" Component no  2:    Overturning check",
                       " Transfer function Dof 1:  0.0000E+00\n"
                       " Transfer function Dof 2:  5.0000E-01\n"
                       " Transfer function Dof 3:  0.0000E+00\n"
                       " Transfer function Dof 4:  0.0000E+00\n"
                       " Transfer function Dof 5: -2.0000E+00\n"
                       " Transfer function Dof 6:  0.0000E+00") +
        kWholeSeries +
        " Maximum        :  -2.7750E+01 (Relative to mean:   8.3125E+01 )\n"
        " Minimum        :  -1.9400E+02 (Relative to mean:  -8.3125E+01 )\n"
        " Mean           :  -1.1088E+02\n"
        " Std Dev        :   5.1766E+01\n"
        " Skewness       : ~0\n"
        " Kurtosis       :   1.7043E+00\n" +
        component_head(" Component no  3:",
                       " Transfer function Dof 1:  1.0000E+00\n"
                       " Transfer function Dof 2:  1.0000E+00\n"
                       " Transfer function Dof 3:  1.0000E+00\n"
                       " Transfer function Dof 4:  1.0000E+00\n"
                       " Transfer function Dof 5:  1.0000E+00\n"
                       " Transfer function Dof 6:  1.0000E+00") +
        kWholeSeries +
        " Maximum        :   7.8075E+02 (Relative to mean:   2.2012E+02 )\n"
        " Minimum        :   3.1200E+02 (Relative to mean:  -2.4862E+02 )\n"
        " Mean           :   5.6062E+02\n"
        " Std Dev        :   1.2412E+02\n"
        " Skewness       :  -1.6629E-01\n"
        " Kurtosis       :   2.2286E+00\n" +
        kCompletion;
    expect_lines(r.out, expected, "out.txt");

    // The input file is asked again after the nonexisting one (its name as
    // read, in the whole 256-character answer); the prompts for the items
    // read from the file stay on the console without answers.
    EXPECT_NE(r.console.find(kAskInput + " Nonexisting file :nothere.txt" + std::string(245, ' ') +
                             "\n" + kAskInput + "\n Selected Components : \n" + kSelectedTwoGroups +
                             "\n Reading Actual Time Series .... \n"
                             " Successfully completed.         \n"
                             "\n Starts processing the resultant forces \n  \n" +
                             kAskCount + " Give Descriptive text for       1 : " +
                             "  Transfer function (6 nos) for   1 :  \n=>\n" + kWholeSeries),
              std::string::npos)
        << r.console;
    EXPECT_TRUE(r.console.ends_with(" Kurtosis       :   2.2286E+00\n" + kCompletion));
}

TEST(CombineProgram, ThreePerGroupLeavesTheMomentResultantsZero) {
    ScratchDir dir;
    dir.copy_fixture("combo.dyn");
    dir.copy_fixture("combo_input_nc3.txt");
    const Outcome r = run_pektor(dir, dialogue(4, "") + "combo_input_nc3.txt\n");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(
        dir.read("fort.44"),
        "  0.0000E+00 -5.0000E+01  6.2000E+01  3.5000E+02  0.0000E+00  0.0000E+00  0.0000E+00\n"
        "  1.0000E-01 -2.5250E+01  5.5500E+01  3.2650E+02  0.0000E+00  0.0000E+00  0.0000E+00\n"
        "  2.0000E-01 -1.0000E+00  4.9000E+01  3.0300E+02  0.0000E+00  0.0000E+00  0.0000E+00\n"
        "  3.0000E-01  2.2750E+01  4.2500E+01  2.7950E+02  0.0000E+00  0.0000E+00  0.0000E+00\n"
        "  4.0000E-01  4.6000E+01  3.6000E+01  2.5600E+02  0.0000E+00  0.0000E+00  0.0000E+00\n"
        "  5.0000E-01  6.8750E+01  2.9500E+01  3.3250E+02  0.0000E+00  0.0000E+00  0.0000E+00\n"
        "  6.0000E-01  9.1000E+01  2.3000E+01  3.0900E+02  0.0000E+00  0.0000E+00  0.0000E+00\n"
        "  7.0000E-01  1.1275E+02  1.6500E+01  2.8550E+02  0.0000E+00  0.0000E+00  0.0000E+00\n"
        "  8.0000E-01  1.3400E+02  1.0000E+01  2.6200E+02  0.0000E+00  0.0000E+00  0.0000E+00\n"
        "  9.0000E-01  1.5475E+02  3.5000E+00  2.3850E+02  0.0000E+00  0.0000E+00  0.0000E+00\n"
        "  1.0000E+00  1.7500E+02 -3.0000E+00  3.1500E+02  0.0000E+00  0.0000E+00  0.0000E+00\n"
        "  1.1000E+00  1.9475E+02 -9.5000E+00  2.9150E+02  0.0000E+00  0.0000E+00  0.0000E+00\n"
        "  1.2000E+00  2.1400E+02 -1.6000E+01  2.6800E+02  0.0000E+00  0.0000E+00  0.0000E+00\n"
        "  1.3000E+00  2.3275E+02 -2.2500E+01  2.4450E+02  0.0000E+00  0.0000E+00  0.0000E+00\n"
        "  1.4000E+00  2.5100E+02 -2.9000E+01  2.2100E+02  0.0000E+00  0.0000E+00  0.0000E+00\n"
        "  1.5000E+00  2.6875E+02 -3.5500E+01  2.9750E+02  0.0000E+00  0.0000E+00  0.0000E+00\n"
        "  1.6000E+00  2.8600E+02 -4.2000E+01  2.7400E+02  0.0000E+00  0.0000E+00  0.0000E+00\n"
        "  1.7000E+00  3.0275E+02 -4.8500E+01  2.5050E+02  0.0000E+00  0.0000E+00  0.0000E+00\n"
        "  1.8000E+00  3.1900E+02 -5.5000E+01  2.2700E+02  0.0000E+00  0.0000E+00  0.0000E+00\n"
        "  1.9000E+00  3.3475E+02 -6.1500E+01  2.0350E+02  0.0000E+00  0.0000E+00  0.0000E+00\n");
    EXPECT_EQ(dir.read("fort.45"),
              "#  Component no  1:    All six resultants\n"
              "  0.0000E+00  3.6200E+02\n"
              "  1.0000E-01  3.5675E+02\n"
              "  2.0000E-01  3.5100E+02\n"
              "  3.0000E-01  3.4475E+02\n"
              "  4.0000E-01  3.3800E+02\n"
              "  5.0000E-01  4.3075E+02\n"
              "  6.0000E-01  4.2300E+02\n"
              "  7.0000E-01  4.1475E+02\n"
              "  8.0000E-01  4.0600E+02\n"
              "  9.0000E-01  3.9675E+02\n"
              "  1.0000E+00  4.8700E+02\n"
              "  1.1000E+00  4.7675E+02\n"
              "  1.2000E+00  4.6600E+02\n"
              "  1.3000E+00  4.5475E+02\n"
              "  1.4000E+00  4.4300E+02\n"
              "  1.5000E+00  5.3075E+02\n"
              "  1.6000E+00  5.1800E+02\n"
              "  1.7000E+00  5.0475E+02\n"
              "  1.8000E+00  4.9100E+02\n"
              "  1.9000E+00  4.7675E+02\n");
    EXPECT_FALSE(dir.exists("fort.46"));
    EXPECT_EQ(r.out, kCombinationBanner + kSelectedThreeGroups +
                         component_head(" Component no  1:    All six resultants",
                                        " Transfer function Dof 1:  1.0000E+00\n"
                                        " Transfer function Dof 2:  1.0000E+00\n"
                                        " Transfer function Dof 3:  1.0000E+00\n"
                                        " Transfer function Dof 4:  1.0000E+00\n"
                                        " Transfer function Dof 5:  1.0000E+00\n"
                                        " Transfer function Dof 6:  1.0000E+00") +
                         kWholeSeries +
                         " Maximum        :   5.3075E+02 (Relative to mean:   9.7125E+01 )\n"
                         " Minimum        :   3.3800E+02 (Relative to mean:  -9.5625E+01 )\n"
                         " Mean           :   4.3362E+02\n"
                         " Std Dev        :   6.0942E+01\n"
                         " Skewness       :  -1.4399E-01\n"
                         " Kurtosis       :   1.7128E+00\n" +
                         kCompletion);
}

TEST(CombineProgram, IdentityGroupInAWindowAndNoComponents) {
    ScratchDir dir;
    dir.copy_fixture("combo.dyn");
    dir.write("in.txt", "1\n6\n1 2 3 4 5 6\n1 0 0\n0 1 0\n0 0 1\n0\n");
    const Outcome r = run_pektor(dir, dialogue(4, "0 0.45") + "in.txt\n");
    EXPECT_EQ(r.code, 0);
    // The resultants are the six DynRes; only the window's steps are written.
    EXPECT_EQ(
        dir.read("fort.44"),
        "  0.0000E+00 -5.0000E+01  0.0000E+00  2.0000E+02  1.2000E+01  0.0000E+00  1.5000E+02\n"
        "  1.0000E-01 -4.0000E+01  2.5000E+00  1.9600E+02  9.0000E+00  2.5000E-01  1.5050E+02\n"
        "  2.0000E-01 -3.0000E+01  5.0000E+00  1.9200E+02  6.0000E+00  1.0000E+00  1.5100E+02\n"
        "  3.0000E-01 -2.0000E+01  7.5000E+00  1.8800E+02  3.0000E+00  2.2500E+00  1.5150E+02\n"
        "  4.0000E-01 -1.0000E+01  1.0000E+01  1.8400E+02  0.0000E+00  4.0000E+00  1.5200E+02\n");
    EXPECT_FALSE(dir.exists("fort.45"));
    EXPECT_EQ(r.out, kCombinationBanner +
                         " Comp no   1,  DynRes no    1 :   Leg 1 force X\n"
                         " Comp no   2,  DynRes no    2 :   Leg 1 force Y\n"
                         " Comp no   3,  DynRes no    3 :   Leg 1 force Z\n"
                         " Comp no   4,  DynRes no    4 :   Leg 2 force X\n"
                         " Comp no   5,  DynRes no    5 :   Leg 2 force Y\n"
                         " Comp no   6,  DynRes no    6 :   Leg 2 force Z\n" +
                         kCompletion);
    EXPECT_TRUE(r.console.ends_with(kAskCount + kCompletion));
}

TEST(CombineProgram, BlankComponentCountEndsAfterTheResultants) {
    ScratchDir dir;
    dir.copy_fixture("combo.dyn");
    std::string input = test_support::fixture_text("combo_input.txt");
    input = input.substr(0, input.find("\n3\nGlobal")) + "\n   \n";
    dir.write("in.txt", input);
    const Outcome r = run_pektor(dir, dialogue(4, "") + "in.txt\n");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(dir.read("fort.44"), kResultantsTwoGroups);
    EXPECT_FALSE(dir.exists("fort.45"));
    EXPECT_EQ(r.out, kCombinationBanner + kSelectedTwoGroups + kCompletion);
    EXPECT_TRUE(r.console.ends_with(kAskCount + kCompletion));
}

TEST(CombineProgram, DynResOutsideTheFile) {
    for (const auto& [number, shown] :
         {std::pair{"10", "      10"}, std::pair{"0", "       0"}, std::pair{"-4", "      -4"}}) {
        ScratchDir dir;
        dir.copy_fixture("combo.dyn");
        dir.write("in.txt",
                  std::string("1\n3\n2 ") + number + " 3\n1 0 0 0 1 0 0 0 1\n1\nx\n6*1\n");
        const Outcome r = run_pektor(dir, dialogue(4, "") + "in.txt\n");
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out, kCombinationBanner + " Comp no   1,  DynRes no    2 :   Leg 1 force Y\n" +
                             illegal_number(kError, shown, "       9"));
        EXPECT_TRUE(r.console.ends_with(
            " Comp no   1,  DynRes no    2 :   Leg 1 force Y\n\n  " + kError + "\n" +
            "\n  *** Illegal Dynres Number  \n      Specified  Dynres   : " + shown +
            "\n      Number of  Dynres   :        9\n\n Return value from pektor: -1 \n"))
            << r.console;
        EXPECT_FALSE(dir.exists("fort.44"));
    }
}

TEST(CombineProgram, InputFilesThatAreRefused) {
    const std::string groups = "1\n3\n1 2 3\n1 0 0\n0 1 0\n0 0 1\n";
    const std::string end = "the file ends before this item is complete";
    struct Case {
        std::string content;
        std::string item;
        std::string problem;
        bool resultants;  // fort.44 written before the refusal
    };
    for (const Case& c : {
             Case{"11\n3\n", "number of groups", "11 groups; 1 to 10 allowed", false},
             Case{"0\n3\n", "number of groups", "0 groups; 1 to 10 allowed", false},
             Case{"x\n", "number of groups", "value is not a valid integer", false},
             Case{"2\n7\n", "number of DynRes per group", "7 DynRes per group; 1 to 6 allowed",
                  false},
             Case{"2\n0\n", "number of DynRes per group", "0 DynRes per group; 1 to 6 allowed",
                  false},
             Case{"1\n3\n1 2 3\n1 0 0\n0 1 0\n", "matrix of group  1", end, false},
             Case{groups, "number of components", end, true},
             Case{groups + "56\n", "number of components",
                  "56 components; 0 to 55 allowed (side files on units 45 to 99)", true},
             Case{groups + "-1\n", "number of components",
                  "-1 components; 0 to 55 allowed (side files on units 45 to 99)", true},
             Case{groups + "two\n", "number of components", "value is not a valid integer", true},
             Case{groups + "1\n", "descriptive text of component  1", end, true},
             Case{groups + "1\ntext\n1 2 3\n", "transfer functions of component  1", end, true},
             Case{groups + "1\ntext\n1 2 3 4 5 six\n", "transfer functions of component  1",
                  "value is not a valid real number", true},
         }) {
        ScratchDir dir;
        dir.copy_fixture("combo.dyn");
        dir.write("in.txt", c.content);
        const Outcome r = run_pektor(dir, dialogue(4, "") + "in.txt\n");
        EXPECT_EQ(r.code, 1) << c.content;
        const std::string block =
            "\n  *** Illegal Input File Content\n"
            "      Input file : in.txt\n"
            "      Item       : " +
            c.item + "\n      Problem    : " + c.problem + "\n";
        EXPECT_TRUE(r.out.ends_with("\n  " + kError + "\n" + block)) << c.content << r.out;
        EXPECT_TRUE(r.console.ends_with("\n  " + kError + "\n" + block +
                                        "\n Return value from pektor: -1 \n"))
            << c.content << r.console;
        EXPECT_EQ(dir.exists("fort.44"), c.resultants) << c.content;
        EXPECT_FALSE(dir.exists("fort.45")) << c.content;
    }
}

TEST(CombineProgram, TightWorkArrays) {
    // Every booking and extraction of the operation fails at some size: the
    // run then ends with its report and the error block; the runs that
    // succeed give the same resultants.
    const auto refused = combine_test::sweep_work_array(
        dialogue(4, "") + "combo_input.txt\n", "combo_input.txt", 1600, 2160, 20, kError,
        [](const ScratchDir& dir, const Outcome& r) {
            EXPECT_EQ(dir.read("fort.44"), kResultantsTwoGroups);
            EXPECT_TRUE(r.out.ends_with(kCompletion));
        });
    EXPECT_EQ(refused, (std::set<std::string>{"AUX_1", "AUX_2", "TS", "TIMES", "TSCRA", "TSCRA2"}));
}

TEST(CombineProgram, EndOfInputAtTheInputFilePrompt) {
    for (const std::string& more : {std::string(), std::string("missing.txt\n")}) {
        ScratchDir dir;
        dir.copy_fixture("combo.dyn");
        const Outcome r = run_pektor(dir, dialogue(4, "") + more);
        EXPECT_EQ(r.code, 1);
        const std::string tail = kAskInput +
                                 "\n *** Input error at prompt \"Give Input  File Name\": end of "
                                 "input\n\n Return value from pektor: -1 \n";
        EXPECT_TRUE(r.console.ends_with(tail)) << r.console;
        EXPECT_EQ(r.console.find(" Nonexisting file :missing.txt") != std::string::npos,
                  !more.empty());
        EXPECT_EQ(r.out, kCombinationBanner + "\n  " + kError + "\n");
    }
}

}  // namespace
