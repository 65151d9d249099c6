// Statistics kernels, the statistics block printer and the DynRes labels.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "io/units.h"
#include "ops/extract.h"
#include "ops/stats.h"
#include "series_support.h"

namespace {

using series_test::Captured;
using series_test::kOut;

// The six kernels of a local series: max, min, mean, stdev, skew, kurt.
std::array<double, 6> kernels(const std::vector<double>& x) {
    const auto v = ops::sview(x);
    const auto n = static_cast<std::int32_t>(x.size());
    return {ops::VMAX(v, n),   ops::VMIN(v, n),  ops::VMEAN(v, n),
            ops::VSTDEV(v, n), ops::VSKEW(v, n), ops::VKURT(v, n)};
}

TEST(Kernels, WorkedExamplesUseTheDivisorNMinusOneForEveryMoment) {
    // 1, 2, 3, 4: S2 = 5/3, S3 = 0, S4 = 41/12.
    const auto a = kernels({1, 2, 3, 4});
    EXPECT_EQ(a[0], 4.0);
    EXPECT_EQ(a[1], 1.0);
    EXPECT_EQ(a[2], 2.5);
    EXPECT_NEAR(a[3], std::sqrt(5.0 / 3.0), 1e-15);
    EXPECT_EQ(a[4], 0.0);
    EXPECT_NEAR(a[5], (41.0 / 12.0) / (25.0 / 9.0), 1e-14);
    // 1, 2, 3, 10: S2 = 50/3, S3 = 180/3, S4 = 1394/3.
    const auto b = kernels({1, 2, 3, 10});
    EXPECT_EQ(b[2], 4.0);
    EXPECT_NEAR(b[3], std::sqrt(50.0 / 3.0), 1e-14);
    EXPECT_NEAR(b[4], 60.0 / std::pow(50.0 / 3.0, 1.5), 1e-14);
    EXPECT_NEAR(b[5], (1394.0 / 3.0) / ((50.0 / 3.0) * (50.0 / 3.0)), 1e-14);
}

TEST(Kernels, EmptySingleAndConstantSeries) {
    EXPECT_EQ(kernels({}), (std::array<double, 6>{-1.0E35, 1.0E35, 0, 0, 0, 0}));
    EXPECT_EQ(kernels({-7.25}), (std::array<double, 6>{-7.25, -7.25, -7.25, 0, 0, 0}));
    const auto flat = kernels({42.5, 42.5, 42.5, 42.5});
    EXPECT_EQ(flat[2], 42.5);
    EXPECT_EQ(flat[3], 0.0);
    EXPECT_TRUE(std::isnan(flat[4]));
    EXPECT_TRUE(std::isnan(flat[5]));
}

TEST(Kernels, BoundsOfMaximumAndMinimumAndTheReciprocalOfTheMean) {
    // Values beyond the start values do not replace them.
    EXPECT_EQ(kernels({-2.0E35, -3.0E35})[0], -1.0E35);
    EXPECT_EQ(kernels({2.0E35, 3.0E35})[1], 1.0E35);
    // The mean multiplies each sample by 1/3 (rounded once) instead of
    // dividing the sum by 3; here the two differ in the last bit.
    EXPECT_EQ(kernels({0.1, 0.1, 0.1})[2], 0.1);
    EXPECT_NE(kernels({0.1, 0.1, 0.1})[2], (0.1 + 0.1 + 0.1) / 3.0);
}

std::string stat_block(const std::vector<double>& x, double first, double last,
                       const std::string& header, std::string* file) {
    Captured c;
    dms::WorkArray w(64);
    for (std::size_t i = 0; i < x.size(); ++i) w.set_d(static_cast<std::int64_t>(i) + 3, x[i]);
    std::int32_t ierr = 0;
    ops::PRSTAT(c.units, w, 3, static_cast<std::int32_t>(x.size()), first, last, header, kOut,
                ierr);
    EXPECT_EQ(ierr, 0);
    *file = c.output();
    return c.console.str();
}

TEST(Prstat, BlockOfTheWorkedExamplesOnConsoleAndFile) {
    std::string file;
    std::string header = " Result no    7 :   Shear X";
    header.resize(256, ' ');
    const std::string console = stat_block({1, 2, 3, 4}, 0.0, 4.0, header, &file);
    EXPECT_EQ(console,
              "\n"
              " Result no    7 :   Shear X\n"
              " First TS time  :        0.000\n"
              " Last  TS time  :        4.000\n"
              " nTS found      :            4\n"
              " Maximum        :   4.0000E+00 (Relative to mean:   1.5000E+00 )\n"
              " Minimum        :   1.0000E+00 (Relative to mean:  -1.5000E+00 )\n"
              " Mean           :   2.5000E+00\n"
              " Std Dev        :   1.2910E+00\n"
              " Skewness       :   0.0000E+00\n"
              " Kurtosis       :   1.2300E+00\n");
    EXPECT_EQ(file, console);

    EXPECT_EQ(stat_block({1, 2, 3, 10}, -0.5, 12.25, "H", &file),
              "\nH\n"
              " First TS time  :       -0.500\n"
              " Last  TS time  :       12.250\n"
              " nTS found      :            4\n"
              " Maximum        :   1.0000E+01 (Relative to mean:   6.0000E+00 )\n"
              " Minimum        :   1.0000E+00 (Relative to mean:  -3.0000E+00 )\n"
              " Mean           :   4.0000E+00\n"
              " Std Dev        :   4.0825E+00\n"
              " Skewness       :   8.8182E-01\n"
              " Kurtosis       :   1.6728E+00\n");
}

TEST(Prstat, EmptyWindowSingleSampleAndConstantSeries) {
    std::string file;
    EXPECT_EQ(stat_block({}, 0.0, 0.0, "E", &file),
              "\nE\n"
              " First TS time  :        0.000\n"
              " Last  TS time  :        0.000\n"
              " nTS found      :            0\n"
              " Maximum        :  -1.0000E+35 (Relative to mean:  -1.0000E+35 )\n"
              " Minimum        :   1.0000E+35 (Relative to mean:   1.0000E+35 )\n"
              " Mean           :   0.0000E+00\n"
              " Std Dev        :   0.0000E+00\n"
              " Skewness       :   0.0000E+00\n"
              " Kurtosis       :   0.0000E+00\n");
    EXPECT_EQ(stat_block({3.5}, 1.0, 2.0, "S", &file),
              "\nS\n"
              " First TS time  :        1.000\n"
              " Last  TS time  :        2.000\n"
              " nTS found      :            1\n"
              " Maximum        :   3.5000E+00 (Relative to mean:   0.0000E+00 )\n"
              " Minimum        :   3.5000E+00 (Relative to mean:   0.0000E+00 )\n"
              " Mean           :   3.5000E+00\n"
              " Std Dev        :   0.0000E+00\n"
              " Skewness       :   0.0000E+00\n"
              " Kurtosis       :   0.0000E+00\n");
    const std::string flat = stat_block({42.5, 42.5, 42.5}, 0.0, 1.0E35, "C", &file);
    EXPECT_NE(flat.find(" Last  TS time  : ************\n"), std::string::npos) << flat;
    EXPECT_NE(flat.find(" Skewness       :          NaN\n"
                        " Kurtosis       :          NaN\n"),
              std::string::npos)
        << flat;
}

TEST(Prstat, LongHeaderIsCutToTheLineBuffer) {
    std::string file;
    const std::string header(300, 'x');
    const std::string console = stat_block({1.0}, 0.0, 0.0, header, &file);
    // The line feed takes the first place of the 256-character buffer.
    EXPECT_TRUE(console.starts_with("\n" + std::string(255, 'x') + "\n")) << console;
}

// ---- labels ----

TEST(Int2ch, ConvertsUntilAWordZeroAndReportsAnIllegalLength) {
    Captured c;
    std::string text = "previous";
    std::int32_t ierr = 0;
    const std::vector<std::int32_t> words{72, 105, 0, 74};
    ops::INT2CH(c.units, text, words, 4, kOut, ierr, 6);
    EXPECT_EQ(text, "Hi    ");
    EXPECT_EQ(ierr, 0);
    // The text length limits the conversion.
    ops::INT2CH(c.units, text, std::vector<std::int32_t>{65, 66, 67}, 3, kOut, ierr, 2);
    EXPECT_EQ(text.substr(0, 2), "AB");

    ops::INT2CH(c.units, text, words, 0, kOut, ierr, 6);
    EXPECT_EQ(ierr, -1);
    EXPECT_EQ(text, "      ");
    EXPECT_EQ(c.output(),
              "\n\n   Error in routine *INT2CH*              \n"
              "\n\n   Inpus string has illegal length            :         0\n");
}

TEST(Xwri04c, CollapsesBlankRunsAndKeepsTheRestOfTheLabel) {
    Captured c;
    // Label 2 of three 10-word labels.
    std::vector<std::int32_t> icdynr(30, 32);
    const std::vector<std::int32_t> label2{65, 66, 32, 32, 32, 67, 0, 0, 0, 0};
    std::copy(label2.begin(), label2.end(), icdynr.begin() + 10);
    std::string label(256, '#');
    std::int32_t ierr = 0;
    ops::XWRI04_C(c.units, icdynr, 10, 2, label, kOut, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(label.substr(0, 6), "AB C##");
    EXPECT_EQ(label.size(), 256u);
    EXPECT_EQ(icdynr[12], 32);  // ICDYNR itself is not changed
    EXPECT_EQ(icdynr[13], 32);

    // A message unit below 6 leaves the label alone.
    std::string untouched(256, '#');
    ops::XWRI04_C(c.units, icdynr, 10, 2, untouched, 5, ierr);
    EXPECT_EQ(untouched, std::string(256, '#'));
    EXPECT_EQ(c.output(), "");
}

TEST(Xwri04c, WidthZeroReportsTheInt2chError) {
    Captured c;
    std::vector<std::int32_t> icdynr(20, 65);
    std::string label(256, ' ');
    std::int32_t ierr = 0;
    ops::XWRI04_C(c.units, icdynr, 0, 1, label, kOut, ierr);
    EXPECT_EQ(ierr, -1);
    EXPECT_EQ(c.output(),
              "\n\n   Error in routine *INT2CH*              \n"
              "\n\n   Inpus string has illegal length            :         0\n"
              "\n  *** ERROR IN XWRI04_C ***\n");
}

TEST(Xwri04c, LabelsBeyondTheBufferOrTheArrayAreRefused) {
    Captured c;
    std::vector<std::int32_t> icdynr(600, 65);
    std::string label(256, ' ');
    std::int32_t ierr = 0;
    ops::XWRI04_C(c.units, icdynr, 300, 1, label, kOut, ierr);
    EXPECT_EQ(ierr, -1);
    ops::XWRI04_C(c.units, icdynr, 200, 4, label, kOut, ierr);
    EXPECT_EQ(ierr, -2);
    ops::XWRI04_C(c.units, icdynr, 10, 0, label, kOut, ierr);
    EXPECT_EQ(ierr, -3);
    EXPECT_EQ(label, std::string(256, ' '));
    EXPECT_EQ(c.output(),
              "\n  *** ERROR IN XWRI04_C ***\n"
              "      Label width nCol above 256 words       :       300\n"
              "\n  *** ERROR IN XWRI04_C ***\n"
              "      Labels need more words than ICDYNR has :       800\n"
              "      Words in ICDYNR                        :       600\n"
              "\n  *** ERROR IN XWRI04_C ***\n"
              "      Illegal DynRes number                  :         0\n");
}

std::vector<std::int32_t> codes(const std::string& s, std::size_t width, std::int32_t pad) {
    std::vector<std::int32_t> out(width, pad);
    for (std::size_t i = 0; i < s.size() && i < width; ++i) {
        out[i] = static_cast<unsigned char>(s[i]);
    }
    return out;
}

TEST(Xwri04b, TableOfAllLabelsWithBlankRunsCollapsedInPlace) {
    Captured c;
    std::vector<std::int32_t> icdynr;
    for (const char* s : {"Shear X", "  Axial  F", "Overturn M"}) {
        const auto w = codes(s, 10, 32);
        icdynr.insert(icdynr.end(), w.begin(), w.end());
    }
    std::int32_t ierr = 0;
    ops::XWRI04_B(c.units, icdynr, 10, 3, kOut, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(c.output(),
              "     1 :  Shear X\n"
              "     2 :   Axial F\n"
              "     3 :  Overturn M\n");
    const std::vector<std::int32_t> collapsed = codes(" Axial F", 10, 32);
    EXPECT_EQ(std::vector<std::int32_t>(icdynr.begin() + 10, icdynr.begin() + 20), collapsed);
}

TEST(Xwri04b, FailuresEndTheTable) {
    Captured c;
    std::vector<std::int32_t> icdynr(40, 65);
    std::int32_t ierr = 0;
    ops::XWRI04_B(c.units, icdynr, 0, 4, kOut, ierr);
    EXPECT_EQ(ierr, -1);
    ops::XWRI04_B(c.units, icdynr, 300, 1, kOut, ierr);
    EXPECT_EQ(ierr, -2);
    ops::XWRI04_B(c.units, icdynr, 10, 5, kOut, ierr);
    EXPECT_EQ(ierr, -3);
    // Below unit 6 nothing happens.
    ops::XWRI04_B(c.units, icdynr, 10, 5, 5, ierr);
    EXPECT_EQ(ierr, -3);
    EXPECT_EQ(c.output(),
              "\n\n   Error in routine *INT2CH*              \n"
              "\n\n   Inpus string has illegal length            :         0\n"
              "\n  *** ERROR IN XWRI04_B ***\n"
              "\n  *** ERROR IN XWRI04_B ***\n"
              "      Label width nCol above 256 words       :       300\n"
              "\n  *** ERROR IN XWRI04_B ***\n"
              "      Labels need more words than ICDYNR has :        50\n"
              "      Words in ICDYNR                        :        40\n");
}

}  // namespace
