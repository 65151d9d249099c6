// Peaks between mean up-crossings, the Weibull fits, the Gumbel of the largest
// peak and the Gumbel fits of sets of maxima. Expected values are worked by
// hand from the written series and formulas; the maximum-likelihood
// references come from tests/data/extremes_mle.py (scipy.stats.gumbel_r.fit).
#include "analysis/extremes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace {

using analysis::GumbelMethod;
using analysis::Tail;
using analysis::WeibullMethod;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Mean 0. Up-crossings of 0 after samples 0, 2, 7, 9 and 11; down-crossings
// after 1, 6, 8, 10 and 12.
const std::vector<double> kSeries{-1, 3, -2, 5, 2, 7, 1, -4, 4, -3, 6, -6, 1, -13};

std::vector<double> collect(const std::vector<double>& x, double mean, Tail tail,
                            std::size_t block) {
    analysis::PeakCollector c(mean, tail);
    for (std::size_t i = 0; i < x.size(); i += block) {
        const std::size_t n = std::min(block, x.size() - i);
        c.push(std::span<const double>(x.data() + i, n));
    }
    return c.take();
}

TEST(Peaks, LargestBetweenUpCrossingsOfTheMean) {
    struct Case {
        const char* name;
        std::vector<double> x;
        double mean;
        Tail tail;
        std::vector<double> peaks;
    };
    const std::vector<Case> cases{
        {"maxima", kSeries, 0.0, Tail::max, {3, 7, 4, 6}},
        {"minima", kSeries, 0.0, Tail::min, {-2, -4, -3, -6}},
        {"non-finite left out",
         {-1, 3, kNan, -2, kInf, 5, 2, 7, 1, -4, -kInf, 4, -3, 6, -6, 1, -13},
         0.0,
         Tail::max,
         {3, 7, 4, 6}},
        // A sample equal to the mean ends an up-crossing; one below it starts it.
        {"at the mean", {-1, 0, -1, 0, 2, -1, 0}, 0.0, Tail::max, {0, 2}},
        {"one crossing", {-1, 5, 9, -3}, 0.0, Tail::max, {}},
        {"no crossing", {1, 2, 3}, 0.0, Tail::max, {}},
        {"empty", {}, 0.0, Tail::max, {}},
    };
    for (const Case& c : cases) {
        for (const std::size_t block : {std::size_t{1}, std::size_t{3}, std::size_t{100}}) {
            EXPECT_EQ(collect(c.x, c.mean, c.tail, block), c.peaks)
                << c.name << ", blocks of " << block;
        }
    }
}

TEST(Peaks, WholeSeriesAboutTheMeanOfItsFiniteSamples) {
    // The same series shifted by 10 and with non-finite samples: mean 10.
    std::vector<double> x;
    for (const double v : kSeries) x.push_back(v + 10.0);
    x.insert(x.begin() + 4, kNan);
    const std::vector<float> xf(x.begin(), x.end());
    EXPECT_EQ(analysis::peaks(std::span<const double>(x)), (std::vector<double>{13, 17, 14, 16}));
    EXPECT_EQ(analysis::peaks(std::span<const float>(xf)), (std::vector<double>{13, 17, 14, 16}));
    EXPECT_EQ(analysis::peaks(std::span<const float>(xf), Tail::min),
              (std::vector<double>{8, 6, 7, 4}));
    const std::vector<double> none{kNan, kInf};
    EXPECT_TRUE(analysis::peaks(std::span<const double>(none)).empty());

    analysis::PeakCollector c(0.0);
    c.push(std::span<const double>(x));
    EXPECT_EQ(c.skipped(), 1);
}

// Peaks drawn from a Weibull by inverse CDF: x = a + b (-ln(1 - u))^(1/c).
std::vector<double> weibull_sample(double a, double b, double c, std::size_t n,
                                   std::uint64_t seed) {
    std::mt19937_64 gen(seed);
    std::vector<double> out(n);
    for (double& v : out) {
        const double u = static_cast<double>(gen() >> 11) * 0x1.0p-53;  // [0, 1)
        v = a + b * std::pow(-std::log1p(-u), 1.0 / c);
    }
    return out;
}

// With 20,000 peaks one standard deviation of the estimates is about 1 %
// (pwm) to 2 % (msm) of the larger parameter error, so a fixed seed keeps the
// draw repeatable; 400,000 peaks bring both within 1 %.
TEST(WeibullFit, RecoversKnownParametersFromTwentyThousandPeaks) {
    struct Case {
        double a, b, c;
        std::size_t n;
        double tolerance;
    };
    const std::vector<Case> cases{
        {0.0, std::numbers::sqrt2, 2.0, 20000, 0.02},
        {10.0, 2.0, 1.5, 20000, 0.02},
        {2.0, 1.0, 1.2, 20000, 0.02},
        {0.0, std::numbers::sqrt2, 2.0, 400000, 0.01},
    };
    for (const Case& k : cases) {
        const std::vector<double> x = weibull_sample(k.a, k.b, k.c, k.n, 1);
        for (const WeibullMethod m : {WeibullMethod::pwm, WeibullMethod::msm}) {
            const auto name = std::string(m == WeibullMethod::pwm ? "pwm" : "msm") +
                              " a=" + std::to_string(k.a) + " n=" + std::to_string(k.n);
            const analysis::WeibullFit f = analysis::fit_weibull(x, m);
            ASSERT_TRUE(f.weibull) << name << ": " << f.reason;
            // Relative to the value; a location of 0 relative to the scale.
            const double t = k.tolerance;
            EXPECT_NEAR(f.weibull->loc, k.a, t * (k.a == 0.0 ? k.b : std::fabs(k.a))) << name;
            EXPECT_NEAR(f.weibull->scale, k.b, t * k.b) << name;
            EXPECT_NEAR(f.weibull->shape, k.c, t * k.c) << name;

            // Minima: the negated peaks give the negated location.
            std::vector<double> neg(x.size());
            for (std::size_t i = 0; i < x.size(); ++i) neg[i] = -x[i];
            const analysis::WeibullFit g = analysis::fit_weibull(neg, m, Tail::min);
            ASSERT_TRUE(g.weibull) << name;
            EXPECT_EQ(g.weibull->tail, Tail::min);
            EXPECT_DOUBLE_EQ(g.weibull->loc, -f.weibull->loc) << name;
            EXPECT_DOUBLE_EQ(g.weibull->scale, f.weibull->scale) << name;
            EXPECT_DOUBLE_EQ(g.weibull->shape, f.weibull->shape) << name;
        }
    }
}

TEST(WeibullFit, FailsWithAReason) {
    struct Case {
        std::vector<double> peaks;
        WeibullMethod method;
        const char* reason;
    };
    const std::vector<Case> cases{
        {{1, 2}, WeibullMethod::msm, "fewer than 3 peaks"},
        {{1, 2, kNan, 3}, WeibullMethod::pwm, "fewer than 4 peaks for the pwm fit"},
        {{4, 4, 4, 4, 4}, WeibullMethod::msm, "the peaks are all equal"},
        {{4, 4, 4, 4, 4}, WeibullMethod::pwm, "the peaks are all equal"},
        // Skewness about -1.79, below any Weibull's (-1.14 as c grows).
        {{0, 10, 10, 10, 10, 10},
         WeibullMethod::msm,
         "no Weibull shape from 0.1 to 1000 has the skewness of the peaks"},
        // (2 M1 - M0) / (2 (5 M1 - M0 - 6 M2 + 2 M3)) = 25 / -20: no logarithm.
        {{0, 10, 10, 10, 10, 10}, WeibullMethod::pwm, "the pwm fit gives no Weibull"},
    };
    for (const Case& c : cases) {
        const analysis::WeibullFit f = analysis::fit_weibull(c.peaks, c.method);
        EXPECT_FALSE(f.weibull) << c.reason;
        EXPECT_EQ(f.reason, c.reason);
    }
    // Three peaks suffice for msm.
    const std::vector<double> three{1, 2, 4};
    EXPECT_TRUE(analysis::fit_weibull(three, WeibullMethod::msm).weibull);
}

TEST(GumbelOfLargest, WeibullOfAGaussianProcessOverAStorm) {
    // a = 0, b = sqrt(2), c = 2: the peaks of a unit Gaussian process.
    // 60 peaks in 600 s give N = 1080 in 10800 s.
    const std::optional<double> n = analysis::storm_peak_count(10800.0, 100.0, 700.0, 60);
    ASSERT_TRUE(n);
    EXPECT_EQ(*n, 1080.0);
    struct Case {
        Tail tail;
        double sign;
    };
    for (const Case& c : {Case{Tail::max, 1.0}, Case{Tail::min, -1.0}}) {
        const analysis::Weibull w{0.0, std::numbers::sqrt2, 2.0, c.tail};
        const analysis::GumbelFit g = analysis::gumbel_of_largest(w, *n);
        ASSERT_TRUE(g.gumbel) << g.reason;
        EXPECT_NEAR(g.gumbel->loc, c.sign * 3.7376, 5e-5);
        EXPECT_NEAR(g.gumbel->scale, 0.26755, 5e-6);
        const struct {
            double q, p;
        } quantiles[] = {{0.37, 3.7391}, {0.57, 3.8917}, {0.90, 4.3397}};
        for (const auto& q : quantiles) {
            const std::optional<double> p = analysis::gumbel_quantile(*g.gumbel, q.q);
            ASSERT_TRUE(p);
            EXPECT_NEAR(*p, c.sign * q.p, 5e-5) << q.q;
        }
    }
}

TEST(GumbelOfLargest, RefusesWhatHasNoValue) {
    const analysis::Weibull w{0.0, 1.0, 2.0, Tail::max};
    EXPECT_EQ(analysis::gumbel_of_largest(w, 1.0).reason, "the storm holds fewer than 2 peaks");
    EXPECT_FALSE(analysis::gumbel_of_largest(w, kNan).gumbel);
    const analysis::Gumbel g{1.0, 1.0, Tail::max};
    for (const double q : {0.0, 1.0, -0.5, kNan}) EXPECT_FALSE(analysis::gumbel_quantile(g, q));
    EXPECT_FALSE(analysis::storm_peak_count(10800.0, 5.0, 5.0, 10));
    EXPECT_FALSE(analysis::storm_peak_count(0.0, 0.0, 5.0, 10));
    EXPECT_FALSE(analysis::storm_peak_count(10800.0, kNan, 5.0, 10));
    EXPECT_EQ(analysis::storm_peak_count(10800.0, 0.0, 5.0, 0), 0.0);
}

TEST(FitExtremes, MomentsOfTenMaxima) {
    // Ten maxima with mean 1000 and standard deviation 50 (divisor n - 1).
    const double d = 50.0 * std::sqrt(0.9);
    std::vector<double> x;
    for (int i = 0; i < 5; ++i) {
        x.push_back(1000.0 + d);
        x.push_back(1000.0 - d);
    }
    std::vector<double> neg;
    for (const double v : x) neg.push_back(-v);
    struct Case {
        const std::vector<double>* values;
        Tail tail;
        double sign;
    };
    for (const Case& c : {Case{&x, Tail::max, 1.0}, Case{&neg, Tail::min, -1.0}}) {
        const analysis::ExtremesFit f =
            analysis::fit_extremes(*c.values, GumbelMethod::moments, c.tail);
        EXPECT_EQ(f.n, 10u);
        EXPECT_NEAR(*f.mean, c.sign * 1000.0, 1e-9);
        EXPECT_NEAR(*f.std, 50.0, 1e-9);
        ASSERT_TRUE(f.fit.gumbel) << f.fit.reason;
        EXPECT_NEAR(f.fit.gumbel->scale, 38.985, 5e-4);
        EXPECT_NEAR(f.fit.gumbel->loc, c.sign * 977.50, 5e-3);  // mpm
        EXPECT_NEAR(*analysis::gumbel_quantile(*f.fit.gumbel, 0.90), c.sign * 1065.23, 5e-3);
    }
}

TEST(FitExtremes, MaximumLikelihoodAgreesWithScipy) {
    // tests/data/extremes_mle.py (output in extremes_mle.txt).
    struct Case {
        std::vector<double> x;
        double loc, scale;
    };
    const std::vector<Case> cases{
        {{1012.5, 968.25, 1043.0, 990.75, 1101.5, 955.0, 1007.25, 979.5, 1060.0, 1021.75},
         994.00833375171669,
         34.30934200974162},
        {{3.1, 2.7, 4.4, 3.9, 3.3, 5.2}, 3.3664972912674136, 0.67718795556732825},
        {{-12.0, -15.5, -9.25, -11.0, -20.0, -13.75, -10.5},
         -14.974913032926491,
         3.7604765261050055},
        {{1000000.125, 1000000.5, 1000000.25, 1000001.0, 1000000.375},
         1000000.3150784894,
         0.21447732684548318},
        {{0.0, 1.0}, 0.25267498128094268, 0.41677827980048238},
    };
    for (const Case& c : cases) {
        const analysis::ExtremesFit f = analysis::fit_extremes(c.x, GumbelMethod::mle);
        ASSERT_TRUE(f.fit.gumbel) << f.fit.reason;
        EXPECT_NEAR(f.fit.gumbel->loc, c.loc, 1e-9 * c.scale) << c.x.front();
        EXPECT_NEAR(f.fit.gumbel->scale, c.scale, 1e-9 * c.scale) << c.x.front();

        // Minima: the negated values give the negated location.
        std::vector<double> neg;
        for (const double v : c.x) neg.push_back(-v);
        const analysis::ExtremesFit g = analysis::fit_extremes(neg, GumbelMethod::mle, Tail::min);
        ASSERT_TRUE(g.fit.gumbel);
        EXPECT_DOUBLE_EQ(g.fit.gumbel->loc, -f.fit.gumbel->loc);
        EXPECT_DOUBLE_EQ(g.fit.gumbel->scale, f.fit.gumbel->scale);
    }
}

TEST(FitExtremes, FailsWithAReason) {
    struct Case {
        std::vector<double> x;
        std::size_t n;
        const char* reason;
    };
    const std::vector<Case> cases{
        {{}, 0, "no values"},
        {{kNan}, 0, "no values"},
        {{1010.0}, 1, "fewer than 2 values"},
        {{1010.0, kInf}, 1, "fewer than 2 values"},
        {{7.0, 7.0, 7.0}, 3, "the values are all equal"},
    };
    for (const Case& c : cases) {
        for (const GumbelMethod m : {GumbelMethod::moments, GumbelMethod::mle}) {
            const analysis::ExtremesFit f = analysis::fit_extremes(c.x, m);
            EXPECT_EQ(f.n, c.n) << c.reason;
            EXPECT_FALSE(f.fit.gumbel) << c.reason;
            EXPECT_EQ(f.fit.reason, c.reason);
        }
    }
    EXPECT_EQ(analysis::fit_extremes(std::vector<double>{1010.0}, GumbelMethod::moments).mean,
              1010.0);
}

}  // namespace
