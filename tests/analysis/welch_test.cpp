#include "analysis/welch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "expected_data.h"

namespace {

using analysis::ArgumentError;
using welch_test::load_cases;
using welch_test::test_series;

double largest(const std::vector<double>& v) {
    return *std::max_element(v.begin(), v.end());
}

TEST(Welch, MatchesScipyForOddAndEvenLengthsAndSegments) {
    double worst = 0.0;
    for (const auto& c : load_cases("welch")) {
        SCOPED_TRACE(c.name);
        const auto n = static_cast<std::size_t>(c.param("n"));
        const auto nperseg = static_cast<std::size_t>(c.param("nperseg"));
        const auto noverlap = static_cast<std::size_t>(c.param("noverlap"));
        const auto x = test_series(n, static_cast<std::uint64_t>(c.param("seed")));
        analysis::WelchOptions options;
        // The default case lets the segment length be chosen.
        options.nperseg = c.name == "default_nperseg" ? 0 : nperseg;
        options.overlap = noverlap == nperseg / 2
                              ? 0.5
                              : static_cast<double>(noverlap) / static_cast<double>(nperseg);
        const auto r = analysis::welch(x, c.param("fs"), options);

        ASSERT_EQ(r.nperseg, nperseg);
        ASSERT_EQ(r.noverlap, noverlap);
        const std::size_t step = nperseg - noverlap;
        EXPECT_EQ(r.segments, (n - noverlap) / step);
        EXPECT_EQ(r.samples_used, (r.segments - 1) * step + nperseg);
        EXPECT_LE(r.samples_used, n);
        EXPECT_GT(r.samples_used + step, n);
        EXPECT_DOUBLE_EQ(r.df, c.param("fs") / static_cast<double>(nperseg));

        const auto& f = c.array("f");
        const auto& psd = c.array("psd");
        ASSERT_EQ(r.freqs.size(), f.size());
        ASSERT_EQ(r.psd.size(), psd.size());
        const double tol = 1e-9 * largest(psd);
        for (std::size_t j = 0; j < f.size(); ++j) {
            EXPECT_NEAR(r.freqs[j], f[j], 1e-12 * f.back()) << j;
            EXPECT_NEAR(r.psd[j], psd[j], tol) << j;
            worst = std::max(worst, std::fabs(r.psd[j] - psd[j]) / largest(psd));
        }

        // The moments of scipy's own density, as scipy integrates them.
        const auto m = analysis::spectral_moments(f, psd);
        EXPECT_NEAR(m.m0, c.param("m0"), 1e-12 * c.param("m0"));
        EXPECT_NEAR(m.m1, c.param("m1"), 1e-12 * c.param("m1"));
        EXPECT_NEAR(m.m2, c.param("m2"), 1e-12 * c.param("m2"));
        EXPECT_NEAR(m.m4, c.param("m4"), 1e-12 * c.param("m4"));
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", worst);
    RecordProperty("largest_relative_deviation", text);
}

TEST(Welch, SineGivesItsVarianceAndPeakAtItsBin) {
    const double fs = 100.0, amplitude = 2.0;
    const std::size_t nperseg = 1024;
    for (const std::size_t bin : {std::size_t{40}, std::size_t{100}, std::size_t{400}}) {
        const double f0 = static_cast<double>(bin) * fs / static_cast<double>(nperseg);
        std::vector<double> x(16384);
        for (std::size_t i = 0; i < x.size(); ++i) {
            x[i] =
                0.7 + amplitude *
                          std::sin(2.0 * std::numbers::pi * f0 * static_cast<double>(i) / fs + 0.4);
        }
        const auto r = analysis::welch(x, fs, {nperseg, 0.5});
        const auto m = analysis::spectral_moments(r.freqs, r.psd);
        SCOPED_TRACE(f0);
        EXPECT_NEAR(m.m0, amplitude * amplitude / 2.0, 0.01 * amplitude * amplitude / 2.0);
        EXPECT_DOUBLE_EQ(m.fp, f0);
        ASSERT_TRUE(m.tp && m.tz_spec && m.t01 && m.bandwidth);
        EXPECT_DOUBLE_EQ(*m.tp, 1.0 / f0);
        EXPECT_NEAR(*m.tz_spec, 1.0 / f0, 0.01 / f0);
        EXPECT_NEAR(*m.t01, 1.0 / f0, 0.01 / f0);
        EXPECT_LT(*m.bandwidth, 0.1);
    }
}

TEST(Welch, WhiteNoiseIsFlatAtVarianceOverNyquist) {
    const double fs = 50.0, sd = 3.0;
    const double half_width = sd * std::sqrt(3.0);  // uniform on [-a, a]: variance a^2 / 3
    std::vector<double> x(1 << 17);
    std::uint64_t s = 12345;
    for (double& v : x) {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        v = half_width * (2.0 * static_cast<double>(s >> 11) / 9007199254740992.0 - 1.0);
    }
    const auto r = analysis::welch(x, fs, {512, 0.5});
    double mean = 0.0;
    for (std::size_t j = 1; j + 1 < r.psd.size(); ++j) mean += r.psd[j];
    mean /= static_cast<double>(r.psd.size() - 2);
    EXPECT_NEAR(mean, sd * sd / (fs / 2.0), 0.02 * sd * sd / (fs / 2.0));
    // Flat: the lower and the upper half of the band agree.
    double lower = 0.0, upper = 0.0;
    const std::size_t mid = r.psd.size() / 2;
    for (std::size_t j = 1; j < mid; ++j) lower += r.psd[j];
    for (std::size_t j = mid; j + 1 < r.psd.size(); ++j) upper += r.psd[j];
    lower /= static_cast<double>(mid - 1);
    upper /= static_cast<double>(r.psd.size() - 1 - mid);
    EXPECT_NEAR(lower / upper, 1.0, 0.03);
}

TEST(Welch, ReusedEstimatorGivesTheSameAsAFreshOne) {
    const auto a = test_series(3000, 1);
    const auto b = test_series(2000, 2);
    analysis::WelchEstimator e(200);
    analysis::WelchResult r;
    e.estimate(a, 10.0, r);
    e.estimate(b, 20.0, r);
    const auto fresh = analysis::welch(b, 20.0, {200, 0.5});
    EXPECT_EQ(r.psd, fresh.psd);
    EXPECT_EQ(r.freqs, fresh.freqs);
    EXPECT_EQ(r.segments, fresh.segments);
    EXPECT_EQ(r.samples_used, fresh.samples_used);
}

TEST(Welch, DefaultSegmentIsAQuarterOfTheSeriesAtLeast16) {
    struct Row {
        std::size_t n, nperseg, expected;
    };
    for (const Row& row : {Row{16, 0, 16}, Row{63, 0, 16}, Row{64, 0, 16}, Row{100, 0, 25},
                           Row{100001, 0, 25000}, Row{100, 30, 30}}) {
        EXPECT_EQ(analysis::welch_segment_length(row.n, row.nperseg), row.expected) << row.n;
    }
}

TEST(Welch, BadArgumentsGiveOneClearLine) {
    const auto x = test_series(100, 3);
    std::vector<double> with_nan = x;
    with_nan[42] = std::numeric_limits<double>::quiet_NaN();
    struct Row {
        std::vector<double> x;
        double fs;
        analysis::WelchOptions options;
        const char* message;
    };
    const std::vector<Row> rows = {
        {std::vector<double>(15, 1.0),
         1.0,
         {},
         "series of 15 samples is too short for a spectrum (at least 16)"},
        {x, 1.0, {8, 0.5}, "segment of 8 samples is shorter than 16"},
        {x, 1.0, {101, 0.5}, "segment of 101 samples is longer than the series of 100"},
        // Refused before a segment's buffers are allocated.
        {x,
         1.0,
         {std::size_t{1} << 50, 0.5},
         "segment of 1125899906842624 samples is longer than the series of 100"},
        {x, 1.0, {32, 1.0}, "overlap 1 is not a fraction from 0 to below 1"},
        {x, 1.0, {32, -0.1}, "overlap -0.1 is not a fraction from 0 to below 1"},
        {x, 0.0, {}, "sampling frequency 0 Hz is not a positive number"},
        {x,
         std::numeric_limits<double>::infinity(),
         {},
         "sampling frequency inf Hz is not a positive number"},
        {with_nan, 1.0, {}, "sample 42 is not a finite number"},
    };
    for (const Row& row : rows) {
        try {
            analysis::welch(row.x, row.fs, row.options);
            ADD_FAILURE() << "no error for: " << row.message;
        } catch (const ArgumentError& e) {
            EXPECT_EQ(std::string(e.what()), row.message);
        }
    }
}

TEST(SpectralMoments, UndefinedRatiosAreAbsentAndBadSpansRefused) {
    const std::vector<double> f = {0.0, 1.0, 2.0};
    const auto zero = analysis::spectral_moments(f, std::vector<double>{0.0, 0.0, 0.0});
    EXPECT_EQ(zero.m0, 0.0);
    EXPECT_FALSE(zero.tz_spec || zero.t01 || zero.tp || zero.bandwidth);
    // All the power at f = 0: no period.
    const auto dc = analysis::spectral_moments(f, std::vector<double>{4.0, 0.0, 0.0});
    EXPECT_EQ(dc.m0, 2.0);
    EXPECT_EQ(dc.fp, 0.0);
    EXPECT_FALSE(dc.tp || dc.tz_spec || dc.t01);
    // A triangle at 1 Hz: every moment is 1 by the trapezoidal rule.
    const auto tri = analysis::spectral_moments(f, std::vector<double>{0.0, 1.0, 0.0});
    EXPECT_DOUBLE_EQ(tri.m0, 1.0);
    EXPECT_DOUBLE_EQ(tri.m1, 1.0);
    EXPECT_DOUBLE_EQ(tri.m2, 1.0);
    EXPECT_DOUBLE_EQ(tri.m4, 1.0);
    EXPECT_EQ(tri.fp, 1.0);
    EXPECT_EQ(*tri.bandwidth, 0.0);

    for (const auto& [freqs, psd, message] :
         std::vector<std::tuple<std::vector<double>, std::vector<double>, std::string>>{
             {{}, {}, "spectrum is empty"},
             {{0.0, 1.0}, {1.0}, "spectrum has 2 frequencies but 1 densities"},
         }) {
        try {
            analysis::spectral_moments(freqs, psd);
            ADD_FAILURE() << message;
        } catch (const ArgumentError& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
}

TEST(TimeStep, ConstantWithinOnePercentElseTheLargestDeviationIsNamed) {
    std::vector<double> t(101);
    for (std::size_t i = 0; i < t.size(); ++i) t[i] = 5.0 + 0.1 * static_cast<double>(i);
    const auto ok = analysis::constant_time_step(t);
    EXPECT_NEAR(ok.mean_step, 0.1, 1e-12);
    EXPECT_NEAR(ok.sampling_frequency, 10.0, 1e-9);
    EXPECT_LT(ok.largest_deviation, 1e-12);

    t[50] += 0.0009;  // steps 0.1009 and 0.0991: 0.9 % off
    EXPECT_NEAR(analysis::constant_time_step(t).relative_deviation, 0.009, 1e-9);
    t[50] += 0.0002;  // 1.1 % off
    const auto measured = analysis::measure_time_step(t);
    EXPECT_NEAR(measured.largest_deviation, 0.0011, 1e-9);

    struct Row {
        std::vector<double> t;
        const char* message;
    };
    const std::vector<Row> rows = {
        {t, "time step varies by 0.0011 s (1.1 % of the mean step 0.1 s, at most 1 % allowed)"},
        {{1.0}, "fewer than two samples: no time step"},
        {{2.0, 1.0, 0.0}, "mean time step -1 s is not positive"},
        {{0.0, std::numeric_limits<double>::quiet_NaN(), 2.0}, "time of sample 1 is not finite"},
    };
    for (const Row& row : rows) {
        try {
            analysis::constant_time_step(row.t);
            ADD_FAILURE() << row.message;
        } catch (const ArgumentError& e) {
            EXPECT_EQ(std::string(e.what()), row.message);
        }
    }
}

}  // namespace
