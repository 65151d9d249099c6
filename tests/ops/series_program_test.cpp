// Operations 1, 2 and 3 end to end: the built program runs in a scratch
// directory with its answers on standard input; the output file is compared
// whole, the console from the DynRes table on.
#include "series_program.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

using namespace series_test;

const std::string kLeTable =
    "     1 :  Shear X\n"
    "     2 :  Shear Y\n"
    "     3 :  Overturn M\n"
    "     4 :  Pressure\n"
    "     5 :  Axial F\n";

// ---- operation 1 ----

TEST(Operation1, EverySignConventionOnBothByteOrders) {
    struct Case {
        const char* sign;
        std::vector<std::string> peaks;  // DynRes 1..5, 13 columns
    };
    const std::vector<Case> cases{
        {"1",
         {"   1.0000E+03", "   7.5000E+02", "   2.5000E+04", "   4.2500E+01", "   2.9500E+01"}},
        {"-1",
         {"  -1.0000E+03", "   2.5000E+02", "   0.0000E+00", "   4.2500E+01", "  -1.2500E+02"}},
        {"0",
         {"   1.0000E+03", "   7.5000E+02", "   2.5000E+04", "   4.2500E+01", "   1.2500E+02"}},
        // Ties: 1000 at step 10 comes before -1000 at step 30.
        {"-2",
         {"   1.0000E+03", "   7.5000E+02", "   2.5000E+04", "   4.2500E+01", "  -1.2500E+02"}},
        // Not in the menu: the largest absolute value.
        {"7",
         {"   1.0000E+03", "   7.5000E+02", "   2.5000E+04", "   4.2500E+01", "   1.2500E+02"}},
    };
    for (const char* file : {"le_basic.dyn", "be_basic.dyn"}) {
        for (const Case& c : cases) {
            const Session r = run_on(
                file, std::string("1\n") + c.sign + "\n" + file + "\nout.txt\n\n1\n2\n3\n4\n5\n\n");
            std::string lines;
            std::string tail = kLeTable;
            for (int k = 1; k <= 5; ++k) {
                lines += peak_line(k, c.peaks[static_cast<std::size_t>(k - 1)]);
                tail += kAskDynRes + peak_line(k, c.peaks[static_cast<std::size_t>(k - 1)]);
            }
            EXPECT_EQ(r.code, 0) << file << " " << c.sign;
            EXPECT_EQ(r.out, lines + kCompletion) << file << " " << c.sign;
            EXPECT_EQ(r.tail, tail + kAskDynRes + kCompletion) << file << " " << c.sign;
        }
    }
}

TEST(Operation1, EarliestSampleWinsTiesOfMagnitude) {
    // Surge = i - 10: -10 at t = 0 and +10 at t = 2.0 are the largest
    // magnitudes inside 0 .. 2; the whole series reaches 19.
    const Session r = run_on("v1.dyn", "1\n-2\nv1.dyn\nout.txt\n0 2\n1\n3\n\n");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, peak_line(1, "  -1.0000E+01") + peak_line(3, "  -1.5000E+01") + kCompletion);
    const Session whole = run_on("v1.dyn", "1\n-2\nv1.dyn\nout.txt\n\n1\n\n");
    EXPECT_EQ(whole.out, peak_line(1, "   1.9000E+01") + kCompletion);
}

TEST(Operation1, WindowsWithoutSamplesGiveTheStartValues) {
    struct Case {
        const char* sign;
        const char* window;
        const char* peak;
    };
    for (const Case& c :
         {Case{"1", "1.0 0.25", "  -1.0000E+30"}, Case{"-1", "1.0 0.25", "   1.0000E+30"},
          Case{"0", "1.0 0.25", "  -1.0000E+30"}, Case{"-2", "1.0 0.25", "   0.0000E+00"},
          Case{"0", "5 6", "  -1.0000E+30"}, Case{"-1", "-3,-1", "   1.0000E+30"}}) {
        const Session r =
            run_on("le_basic.dyn", std::string("1\n") + c.sign + "\nle_basic.dyn\nout.txt\n" +
                                       c.window + "\n5\n\n");
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out, peak_line(5, c.peak) + kCompletion) << c.sign << " " << c.window;
    }
}

TEST(Operation1, WindowEndsAreInside) {
    // Axial F = 10 + 0.5 i; 0.25 (i = 5) and 1.0 (i = 20) are stored exactly.
    const Session hi = run_on("le_basic.dyn", "1\n1\nle_basic.dyn\nout.txt\n0.25 1.0\n5\n\n");
    EXPECT_EQ(hi.out, peak_line(5, "   2.0000E+01") + kCompletion);
    const Session lo = run_on("le_basic.dyn", "1\n-1\nle_basic.dyn\nout.txt\n0.25 1.0\n5\n\n");
    EXPECT_EQ(lo.out, peak_line(5, "   1.2500E+01") + kCompletion);
}

TEST(Operation1, LabelsWithoutStoredWidthAndPackedSteps) {
    const Session r = run_on("ncol0.dyn", "1\n1\nncol0.dyn\nout.txt\n\n3\n4\n\n");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.tail,
              "     1 :  Heave motion\n"
              "     2 :  Pitch\n"
              "     3 :  AB C\n"
              "     4 :  Roll angle\n" +
                  kAskDynRes + peak_line(3, "   1.0000E+02") + kAskDynRes +
                  peak_line(4, "   7.2000E+01") + kAskDynRes + kCompletion);

    // The slots after an empty one and the slots beyond the capacity add
    // nothing: the 999 values of record 2 are never taken.
    for (const char* file : {"packed.dyn", "packed_slack.dyn", "packed_simple.dyn"}) {
        const Session p = run_on(file, std::string("1\n0\n") + file + "\nout.txt\n\n1\n2\n3\n\n");
        EXPECT_EQ(p.out, peak_line(1, "   1.0000E+01") + peak_line(2, "   2.5000E+01") +
                             peak_line(3, "   2.5000E+01") + kCompletion)
            << file;
    }
    const Session cap = run_on("packed_cap.dyn", "1\n0\npacked_cap.dyn\nout.txt\n\n1\n2\n3\n\n");
    EXPECT_EQ(cap.out, peak_line(1, "   7.0000E+00") + peak_line(2, "   1.7500E+01") +
                           peak_line(3, "   1.2250E+01") + kCompletion);
    // LOADST 0: no step is gathered, every window is empty.
    const Session none = run_on("loadst0.dyn", "1\n1\nloadst0.dyn\nout.txt\n\n2\n\n");
    EXPECT_EQ(none.out, peak_line(2, "  -1.0000E+30") + kCompletion);
}

const std::string kPektor0Error = "\n  *** ERROR IN PEKTOR0    ***\n";

std::string illegal(const std::string& specified, const std::string& count) {
    return "\n  *** Illegal Dynres Number  \n"
           "      Specified  Dynres   : " +
           specified +
           "\n"
           "      Number of  Dynres   : " +
           count + "\n";
}

TEST(Operation1, AllAndNumbersAboveTheCountAreIllegal) {
    const Session all = run_on("le_basic.dyn", "1\n1\nle_basic.dyn\nout.txt\n\nall\n");
    EXPECT_EQ(all.code, 1);
    const std::string blocks = kPektor0Error + illegal("     -99", "       5");
    EXPECT_EQ(all.out, blocks);
    EXPECT_EQ(all.tail, kLeTable + kAskDynRes + kPektor0Error + illegal("     -99", "       5") +
                            kFailedReturn);

    // The count itself is legal, one above it is not.
    const Session above = run_on("le_basic.dyn", "1\n1\nle_basic.dyn\nout.txt\n\n5\n6\n");
    EXPECT_EQ(above.code, 1);
    EXPECT_EQ(above.out,
              peak_line(5, "   2.9500E+01") + kPektor0Error + illegal("       6", "       5"));
    EXPECT_EQ(above.tail, kLeTable + kAskDynRes + peak_line(5, "   2.9500E+01") + kAskDynRes +
                              kPektor0Error + illegal("       6", "       5") + kFailedReturn);
}

// ---- operation 2 ----

TEST(Operation2, PeaksOfTwoFilesAndTheirRatio) {
    // Smallest values: le_basic 250, 0, 42.5; ncol0 -23, 76, 0.
    ScratchDir dir;
    dir.copy_fixture("le_basic.dyn");
    dir.copy_fixture("ncol0.dyn");
    const Session daf = run_pektor(dir, "2\n-1\nle_basic.dyn\nncol0.dyn\nout.txt\n\n2\n3\n4\n\n");
    EXPECT_EQ(daf.code, 0);
    const std::string lines =
        " PeakValues and DAF for DynRes    2 :    2.5000E+02  -2.3000E+01      -0.092\n"
        " PeakValues and DAF for DynRes    3 :    0.0000E+00   7.6000E+01       0.000\n"
        " PeakValues and DAF for DynRes    4 :    4.2500E+01   0.0000E+00       0.000\n";
    EXPECT_EQ(daf.out, lines + kCompletion);
    // The listing shows the reference file only.
    EXPECT_TRUE(daf.tail.starts_with(kLeTable + kAskDynRes + " PeakValues")) << daf.tail;

    // A DynRes that only the reference file has fails in the second call.
    ScratchDir dir2;
    dir2.copy_fixture("le_basic.dyn");
    dir2.copy_fixture("ncol0.dyn");
    const Session fifth = run_pektor(dir2, "2\n1\nle_basic.dyn\nncol0.dyn\nout.txt\n\n5\n");
    EXPECT_EQ(fifth.code, 1);
    EXPECT_EQ(fifth.out, kPektor0Error + illegal("       5", "       4"));
}

// ---- operation 3 ----

// Statistics blocks of le_basic.dyn over the whole series.
const std::string kLeStatistics =
    "\n"
    " Result no    1 :   Shear X\n"
    " First TS time  :        0.000\n"
    " Last  TS time  :        1.950\n"
    " nTS found      :           40\n"
    " Maximum        :   1.0000E+03 (Relative to mean:   1.0000E+03 )\n"
    " Minimum        :  -1.0000E+03 (Relative to mean:  -1.0000E+03 )\n"
    " Mean           :   1.4655E-14\n"
    " Std Dev        :   7.1611E+02\n"
    " Skewness       :   1.2102E-16\n"
    " Kurtosis       :   1.4625E+00\n"
    "\n"
    " Result no    2 :   Shear Y\n"
    " First TS time  :        0.000\n"
    " Last  TS time  :        1.950\n"
    " nTS found      :           40\n"
    " Maximum        :   7.5000E+02 (Relative to mean:   2.5000E+02 )\n"
    " Minimum        :   2.5000E+02 (Relative to mean:  -2.5000E+02 )\n"
    " Mean           :   5.0000E+02\n"
    " Std Dev        :   1.7903E+02\n"
    " Skewness       :  -5.1139E-08\n"
    " Kurtosis       :   1.4625E+00\n"
    "\n"
    " Result no    3 :   Overturn M\n"
    " First TS time  :        0.000\n"
    " Last  TS time  :        1.950\n"
    " nTS found      :           40\n"
    " Maximum        :   2.5000E+04 (Relative to mean:   1.2500E+04 )\n"
    " Minimum        :   0.0000E+00 (Relative to mean:  -1.2500E+04 )\n"
    " Mean           :   1.2500E+04\n"
    " Std Dev        :   8.9514E+03\n"
    " Skewness       :   2.6215E-09\n"
    " Kurtosis       :   1.4625E+00\n"
    "\n"
    " Result no    4 :   Pressure\n"
    " First TS time  :        0.000\n"
    " Last  TS time  :        1.950\n"
    " nTS found      :           40\n"
    " Maximum        :   4.2500E+01 (Relative to mean:   0.0000E+00 )\n"
    " Minimum        :   4.2500E+01 (Relative to mean:   0.0000E+00 )\n"
    " Mean           :   4.2500E+01\n"
    " Std Dev        :   0.0000E+00\n"
    " Skewness       :          NaN\n"
    " Kurtosis       :          NaN\n"
    "\n"
    " Result no    5 :   Axial F\n"
    " First TS time  :        0.000\n"
    " Last  TS time  :        1.950\n"
    " nTS found      :           40\n"
    " Maximum        :   2.9500E+01 (Relative to mean:   1.3413E+01 )\n"
    " Minimum        :  -1.2500E+02 (Relative to mean:  -1.4109E+02 )\n"
    " Mean           :   1.6087E+01\n"
    " Std Dev        :   2.3613E+01\n"
    " Skewness       :  -5.4374E+00\n"
    " Kurtosis       :   3.2696E+01\n";

TEST(Operation3, AllInAnyLetterCase) {
    for (const char* answer : {"all", "ALL", "aLl", "Allerlei 3"}) {
        const Session r =
            run_on("le_basic.dyn", std::string("3\nle_basic.dyn\nout.txt\n\n") + answer + "\n");
        EXPECT_EQ(r.code, 0) << answer;
        EXPECT_EQ(r.out, kStatsBanner + kLeStatistics + kCompletion) << answer;
        EXPECT_EQ(r.tail, kLeTable + kAskDynRes + kLeStatistics + kCompletion) << answer;
    }
    // The same file in the other byte order gives the same blocks.
    const Session be = run_on("be_basic.dyn", "3\nbe_basic.dyn\nout.txt\n\nALL\n");
    EXPECT_EQ(be.out, kStatsBanner + kLeStatistics + kCompletion);
}

TEST(Operation3, WorkedExampleSingleSampleAndEmptyWindow) {
    // Ramp = i - 4 at t = 0.2 i: steps 5 .. 8 hold 1, 2, 3, 4.
    const std::string worked =
        stat_block(" Result no    2 :   Ramp", "       0.900       1.600", "           4",
                   " Maximum        :   4.0000E+00 (Relative to mean:   1.5000E+00 )\n"
                   " Minimum        :   1.0000E+00 (Relative to mean:  -1.5000E+00 )\n"
                   " Mean           :   2.5000E+00\n"
                   " Std Dev        :   1.2910E+00\n"
                   " Skewness       :   0.0000E+00\n"
                   " Kurtosis       :   1.2300E+00\n");
    const Session r = run_on("v0_small.dyn", "3\nv0_small.dyn\nout.txt\n0.9 1.7\n2\n\n");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, kStatsBanner + worked + kCompletion);
    EXPECT_EQ(r.tail, "     1 :  Square\n     2 :  Ramp\n     3 :  Eighth\n" + kAskDynRes + worked +
                          kAskDynRes + kCompletion);

    const Session one = run_on("v0_small.dyn", "3\nv0_small.dyn\nout.txt\n1.0 1.0\n2\n\n");
    EXPECT_EQ(one.out,
              kStatsBanner +
                  stat_block(" Result no    2 :   Ramp", "       1.000       1.000", "           1",
                             " Maximum        :   1.0000E+00 (Relative to mean:   "
                             "0.0000E+00 )\n"
                             " Minimum        :   1.0000E+00 (Relative to mean:   "
                             "0.0000E+00 )\n"
                             " Mean           :   1.0000E+00\n"
                             " Std Dev        :   0.0000E+00\n"
                             " Skewness       :   0.0000E+00\n"
                             " Kurtosis       :   0.0000E+00\n") +
                  kCompletion);

    // The first time is the one typed; no sample gives the last time 0.
    const std::string empty_rest =
        " Maximum        :  -1.0000E+35 (Relative to mean:  -1.0000E+35 )\n"
        " Minimum        :   1.0000E+35 (Relative to mean:   1.0000E+35 )\n"
        " Mean           :   0.0000E+00\n"
        " Std Dev        :   0.0000E+00\n"
        " Skewness       :   0.0000E+00\n"
        " Kurtosis       :   0.0000E+00\n";
    const Session none = run_on("v0_small.dyn", "3\nv0_small.dyn\nout.txt\n5 6\n1\n3\n\n");
    EXPECT_EQ(none.out, kStatsBanner +
                            stat_block(" Result no    1 :   Square", "       5.000       0.000",
                                       "           0", empty_rest) +
                            stat_block(" Result no    3 :   Eighth", "       5.000       0.000",
                                       "           0", empty_rest) +
                            kCompletion);
}

TEST(Operation3, PackedRecords) {
    const std::string packed =
        stat_block(" Result no    1 :   Disp X", "       0.000       1.000", "          10",
                   " Maximum        :   1.0000E+01 (Relative to mean:   4.5000E+00 )\n"
                   " Minimum        :   1.0000E+00 (Relative to mean:  -4.5000E+00 )\n"
                   " Mean           :   5.5000E+00\n"
                   " Std Dev        :   3.0277E+00\n"
                   " Skewness       :  -8.3206E-16\n"
                   " Kurtosis       :   1.5982E+00\n") +
        stat_block(" Result no    2 :   Force Y", "       0.000       1.000", "          10",
                   " Maximum        :  -2.5000E+00 (Relative to mean:   1.1250E+01 )\n"
                   " Minimum        :  -2.5000E+01 (Relative to mean:  -1.1250E+01 )\n"
                   " Mean           :  -1.3750E+01\n"
                   " Std Dev        :   7.5691E+00\n"
                   " Skewness       :   0.0000E+00\n"
                   " Kurtosis       :   1.5982E+00\n") +
        stat_block(" Result no    3 :   Energy", "       0.000       1.000", "          10",
                   " Maximum        :   2.5000E+01 (Relative to mean:   1.5375E+01 )\n"
                   " Minimum        :   2.5000E-01 (Relative to mean:  -9.3750E+00 )\n"
                   " Mean           :   9.6250E+00\n"
                   " Std Dev        :   8.5434E+00\n"
                   " Skewness       :   5.3949E-01\n"
                   " Kurtosis       :   1.8285E+00\n");
    for (const char* file : {"packed.dyn", "packed_simple.dyn", "packed_slack.dyn"}) {
        const Session r = run_on(file, std::string("3\n") + file + "\nout.txt\n\nall\n");
        EXPECT_EQ(r.code, 0) << file;
        EXPECT_EQ(r.out, kStatsBanner + packed + kCompletion) << file;
    }
    const Session cap = run_on("packed_cap.dyn", "3\npacked_cap.dyn\nout.txt\n\n3\n");
    EXPECT_NE(cap.out.find(" Last  TS time  :        0.700\n"
                           " nTS found      :            7\n"
                           " Maximum        :   1.2250E+01"),
              std::string::npos)
        << cap.out;
    const Session none = run_on("loadst0.dyn", "3\nloadst0.dyn\nout.txt\n\nall\n");
    EXPECT_EQ(none.code, 0);
    EXPECT_NE(none.out.find(" Result no    2 :   Second\n"
                            " First TS time  :        0.000\n"
                            " Last  TS time  :        0.000\n"
                            " nTS found      :            0\n"),
              std::string::npos)
        << none.out;
}

const std::string kPektor3Error = "\n  *** ERROR IN Pektor3    ***\n";

TEST(Operation3, NumberAboveTheCount) {
    const Session r = run_on("le_basic.dyn", "3\nle_basic.dyn\nout.txt\n\n6\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, kStatsBanner + kPektor3Error + illegal("       6", "       5"));
    EXPECT_EQ(r.tail, kLeTable + kAskDynRes + kPektor3Error + illegal("       6", "       5") +
                          kFailedReturn);
}

// ---- failures ----

TEST(Failures, MissingDynFile) {
    ScratchDir dir;
    const Session r = run_pektor(dir, "1\n1\nnope.dyn\nout.txt\n\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.tail,
              "*** ERROR IN INIRAF ***\nError Opening raf_file   : nope.dyn\n" + kFailedReturn);
    EXPECT_EQ(r.out, kPektor0Error);
    const std::string raf = std::regex_replace(
        dir.read("fort.23"), std::regex(R"(\d\d-\d\d-\d\d \d\d:\d\d:\d\d)"), "YY-MM-DD hh:mm:ss");
    EXPECT_EQ(raf,
              " *** RAFLIB ERROR - YY-MM-DD hh:mm:ss - Routine RFFIOP:                         \n"
              " *** File 0 / Msg_no 1034:                                                      \n"
              " *** Cannot open file - Computer's error flag = 2                          \n"
              "\n"
              " *** Error return from RAFOLD\n");
}

TEST(Failures, OperationOutsideTheMenu) {
    ScratchDir dir;
    const Session r = run_pektor(dir, "9\nout.txt\n\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.tail, "*** ERROR IN INIRAF ***\nNo File name Specified\n" + kFailedReturn);
    EXPECT_EQ(r.out, kPektor0Error);
}

TEST(Failures, FixedLayoutMstruFailsCleanly) {
    const Session r = run_on("fixed_mstru.dyn", "3\nfixed_mstru.dyn\nout.txt\n\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out,
              "\n  *** ERROR IN PTSTRU ***\n"
              "      PARAMETER NOT FOUND:IXACT \n"
              "      LEAVING PTSTRU\n\n\n\n" +
                  kPektor0Error);
}

TEST(Failures, TruncatedFileFailsWhileGathering) {
    ScratchDir dir;
    dir.copy_fixture("truncated.dyn");
    const Session r = run_pektor(dir, "1\n1\ntruncated.dyn\nout.txt\n\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out,
              "*** ERROR IN ARREC1 ***\n"
              "Error During Recallin Array: DYNRES\n"
              "\n  *** ERROR IN DynRes20   ***\n" +
                  kPektor0Error);
    EXPECT_NE(dir.read("fort.23").find("Msg_no 1036"), std::string::npos) << dir.read("fort.23");
}

TEST(Failures, DataAddressAtTheLargestRecordNumber) {
    // The MFP entry of DYNRES step 1 (array 111: page 2 at records 5-6, entry
    // 47) of le_basic.dyn points at record 2147483647.
    ScratchDir dir;
    dir.copy_fixture("le_basic.dyn");
    std::string bytes = dir.read("le_basic.dyn");
    const std::size_t at = 4 * 512 + 46 * 16;
    for (std::size_t b = 0; b < 3; ++b) bytes[at + b] = '\xff';
    bytes[at + 3] = '\x7f';
    dir.write("le_basic.dyn", bytes);
    const Session r = run_pektor(dir, "1\n1\nle_basic.dyn\nout.txt\n\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out,
              "*** ERROR IN ARRECL ***\nOccured during recall  of: DYNRES\n" + kPektor0Error);
    const std::string raf = dir.read("fort.23");
    EXPECT_NE(raf.find(" *** File 22 / Array 111 / Address ******** / Elements 6 / Msg_no 1036:"),
              std::string::npos)
        << raf;
    EXPECT_NE(raf.find(" *** Cannot read from file - Computer's error flag = 5002"),
              std::string::npos)
        << raf;
    EXPECT_EQ(dir.read("le_basic.dyn"), bytes);
}

// ---- damaged files ----

struct DamageCase {
    const char* what;
    Damage damage;
    std::string out;  // what the listing call writes to the output file
};

TEST(DamagedFiles, ParametersTheDataCannotHoldAreRefused) {
    const std::string dynres20 = "\n  *** ERROR IN DynRes20   ***\n";
    const std::vector<DamageCase> cases{
        {"no DynRes",
         {{{"nDynRes", 0}, {"nCol", 0}}, {}},
         dynres20 + "      Number of DynRes (nDynRes) below 1    :         0\n" + kPektor0Error},
        {"negative step count",
         {{{"LOADST", -1}}, {}},
         dynres20 + "      Result steps (LSTSTO) negative         :        -1\n" + kPektor0Error},
        {"negative packing",
         {{{"NDRPACK", -3}}, {}},
         dynres20 + "      Steps per record (nDRpack) negative    :        -3\n" + kPektor0Error},
        {"negative slots",
         {{{"NDRPACK", 1}, {"NDRSTEP", -5}}, {}},
         dynres20 + "      Time-step slots (nDRStep) negative     :        -5\n" + kPektor0Error},
        {"records shorter than the packing",
         {{{"NDRPACK", 2}}, {}},
         dynres20 +
             "      DYNRES record of step                  :         1\n"
             "      holds words                            :         6\n"
             "      needs nDRpack * (nDynRes + 1) words    :        12\n" +
             kPektor0Error},
        // le_basic.dyn has 99 records of 512 bytes; each step needs one.
        {"more steps than the file has records",
         {{{"LOADST", 2000000000}}, {}},
         dynres20 +
             "      Result steps (LSTSTO)                  :2000000000\n"
             "      need 512-byte records per step         :         1\n"
             "      the file holds 512-byte records        :        99\n" +
             kPektor0Error},
        {"one step more than the file has records",
         {{{"LOADST", 100}}, {}},
         dynres20 +
             "      Result steps (LSTSTO)                  :       100\n"
             "      need 512-byte records per step         :         1\n"
             "      the file holds 512-byte records        :        99\n" +
             kPektor0Error},
        {"packed steps need more records than the file has",
         {{{"NDRPACK", 60}, {"NDRSTEP", 2400}}, {}},
         dynres20 +
             "      Result steps (LSTSTO)                  :        40\n"
             "      need 512-byte records per step         :         3\n"
             "      the file holds 512-byte records        :        99\n" +
             kPektor0Error},
        {"more slots than the work array holds",
         {{{"NDRPACK", 1}, {"NDRSTEP", 2147483647}}, {}},
         "*** ERROR IN ARBOOK ***\nInsufficient space for array ALL_TS\n" + dynres20 +
             kPektor0Error},
        {"more steps than the file holds",
         {{{"LOADST", 41}}, {}},
         "*** ERROR IN ARREC1 ***\nError During Recallin Array: DYNRES\n" + dynres20 +
             kPektor0Error},
    };
    for (const DamageCase& c : cases) {
        ScratchDir dir;
        series_test::write_damaged(dir, "damaged.dyn", c.damage);
        const Session r = run_pektor(dir, "1\n1\ndamaged.dyn\nout.txt\n\n");
        EXPECT_EQ(r.code, 1) << c.what;
        EXPECT_EQ(r.out, c.out) << c.what;
        EXPECT_EQ(r.tail, kFailedReturn) << c.what;
    }
}

TEST(DamagedFiles, LabelsTheBufferOrTheArrayCannotHold) {
    const std::string xwri04b = "\n  *** ERROR IN XWRI04_B ***\n";
    struct Case {
        const char* what;
        Damage damage;
        std::string console;
    };
    const std::vector<Case> cases{
        {"label width above the buffer",
         {{{"nCol", 300}}, {}},
         xwri04b + "      Label width nCol above 256 words       :       300\n"},
        {"ICDYNR shorter than the labels",
         {{{"nCol", 20}}, {}},
         xwri04b + "      Labels need more words than ICDYNR has :       100\n"
                   "      Words in ICDYNR                        :        50\n"},
        {"negative label width",
         {{{"nCol", -4}}, {}},
         "\n\n   Error in routine *INT2CH*              \n"
         "\n\n   Inpus string has illegal length            :        -4\n" +
             xwri04b},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        series_test::write_damaged(dir, "damaged.dyn", c.damage);
        const Session r = run_pektor(dir, "1\n1\ndamaged.dyn\nout.txt\n\n");
        EXPECT_EQ(r.code, 1) << c.what;
        EXPECT_EQ(r.tail, c.console + kFailedReturn) << c.what;
        EXPECT_EQ(r.out, kPektor0Error) << c.what;
    }
}

}  // namespace
