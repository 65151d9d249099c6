// Rainflow counting, damage sums and the cycle table. Expected values are
// worked out here from the written series.
#include "analysis/rainflow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <numbers>
#include <optional>
#include <vector>

namespace {

using analysis::RainflowCycle;
using analysis::Residuals;

std::vector<double> turning_points(const std::vector<double>& x) {
    std::vector<double> out;
    analysis::ReversalFilter f;
    const auto emit = [&out](double v) { out.push_back(v); };
    for (const double v : x) f.push(v, emit);
    f.finish(emit);
    return out;
}

std::vector<RainflowCycle> count(const std::vector<double>& x, Residuals r = Residuals::half) {
    return analysis::rainflow(std::span<const double>(x), r);
}

// Total count per range.
std::map<double, double> by_range(const std::vector<RainflowCycle>& cycles) {
    std::map<double, double> out;
    for (const RainflowCycle& c : cycles) out[c.range] += c.count;
    return out;
}

double total(const std::vector<RainflowCycle>& cycles) {
    double n = 0.0;
    for (const RainflowCycle& c : cycles) n += c.count;
    return n;
}

std::vector<std::optional<double>> dels(const std::vector<RainflowCycle>& cycles,
                                        const std::vector<double>& m, double neq) {
    analysis::DamageSum d(m);
    for (const RainflowCycle& c : cycles) d.add(c);
    std::vector<std::optional<double>> out;
    for (std::size_t k = 0; k < m.size(); ++k) out.push_back(d.del(k, neq));
    return out;
}

const std::vector<double> kAstm{-2, 1, -3, 5, -1, 3, -4, 4, -2};

TEST(ReversalFilter, KeepsFirstLastAndEveryReversalOncePerPlateau) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        std::vector<double> in;
        std::vector<double> out;
    };
    const std::vector<Case> cases{
        {{}, {}},
        {{4}, {4}},
        {{4, 4}, {4}},
        {{4, 6}, {4, 6}},
        {{4, 4, 4, 4, 4}, {4}},
        {{1, 2, 3, 4}, {1, 4}},
        {{4, 3, 3, 2}, {4, 2}},
        {{0, 0, 1, 1, 1, 0, 0, 2, 2}, {0, 1, 0, 2}},
        {{0, 1, 2, 2, 3, 1}, {0, 3, 1}},
        {{5, 1, 1, 5, 5, 1}, {5, 1, 5, 1}},
        {{0, nan, 2, inf, 1, -inf, 1}, {0, 2, 1}},
        {{nan, 3, 1}, {3, 1}},
        {kAstm, kAstm},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(turning_points(c.in), c.out) << "series of " << c.in.size() << " samples";
    }
    analysis::ReversalFilter f;
    const auto ignore = [](double) {};
    for (const double v : {1.0, nan, 2.0, nan}) f.push(v, ignore);
    EXPECT_EQ(f.skipped(), 2);
}

TEST(Rainflow, AstmExampleCountsAndRangesExactly) {
    const auto cycles = count(kAstm);
    // Ranges 3 (0.5), 4 (1.5), 6 (0.5), 8 (1.0), 9 (0.5).
    EXPECT_EQ(by_range(cycles), (std::map<double, double>{
                                    {3.0, 0.5}, {4.0, 1.5}, {6.0, 0.5}, {8.0, 1.0}, {9.0, 0.5}}));
    EXPECT_EQ(total(cycles), 4.0);
    // In the order counted, with their means: -2..1, 1..-3, -1..3 (full),
    // -3..5 (starting point), then the residue 5..-4, -4..4, 4..-2.
    const std::vector<std::vector<double>> expected{{3, -0.5, 0.5}, {4, -1, 0.5},  {4, 1, 1},
                                                    {8, 1, 0.5},    {9, 0.5, 0.5}, {8, 0, 0.5},
                                                    {6, 1, 0.5}};
    ASSERT_EQ(cycles.size(), expected.size());
    for (std::size_t i = 0; i < cycles.size(); ++i) {
        EXPECT_EQ(cycles[i].range, expected[i][0]) << i;
        EXPECT_EQ(cycles[i].mean, expected[i][1]) << i;
        EXPECT_EQ(cycles[i].count, expected[i][2]) << i;
    }
}

TEST(Rainflow, AstmExampleDamageEquivalentLoadsByHand) {
    const auto cycles = count(kAstm);
    // m = 3: 0.5*27 + 1.5*64 + 0.5*216 + 1*512 + 0.5*729 = 1094.
    // m = 4: 0.5*81 + 1.5*256 + 0.5*1296 + 1*4096 + 0.5*6561 = 8449.
    // m = 1: 0.5*3 + 1.5*4 + 0.5*6 + 8 + 0.5*9 = 23.
    // m = 3.5 from the table of counts.
    const double s35 = 0.5 * std::pow(3.0, 3.5) + 1.5 * std::pow(4.0, 3.5) +
                       0.5 * std::pow(6.0, 3.5) + std::pow(8.0, 3.5) + 0.5 * std::pow(9.0, 3.5);
    const auto d = dels(cycles, {3, 4, 1, 3.5}, 10.0);
    ASSERT_EQ(d.size(), 4u);
    for (const auto& v : d) ASSERT_TRUE(v.has_value());
    EXPECT_NEAR(*d[0], std::cbrt(109.4), 1e-13);
    EXPECT_NEAR(*d[1], std::pow(844.9, 0.25), 1e-13);
    EXPECT_NEAR(*d[2], 2.3, 1e-14);
    EXPECT_NEAR(*d[3], std::pow(s35 / 10.0, 1.0 / 3.5), 1e-12);
    // N_eq equal to the total count gives the root mean of S^m.
    const auto e = dels(cycles, {3}, 4.0);
    EXPECT_NEAR(*e[0], std::cbrt(1094.0 / 4.0), 1e-13);
}

TEST(Rainflow, HalfAndFullResiduals) {
    // A converging series: 0..10 closes on the starting point as a half cycle
    // in both modes; 10, -9, 8, -7, 6 stay as the residue (19, 17, 15, 13).
    const std::vector<double> x{0, 10, -9, 8, -7, 6};
    const auto half = count(x, Residuals::half);
    const auto full = count(x, Residuals::full);
    EXPECT_EQ(by_range(half),
              (std::map<double, double>{{10, 0.5}, {19, 0.5}, {17, 0.5}, {15, 0.5}, {13, 0.5}}));
    EXPECT_EQ(by_range(full),
              (std::map<double, double>{{10, 0.5}, {19, 1.0}, {17, 1.0}, {15, 1.0}, {13, 1.0}}));
    EXPECT_EQ(total(half), 2.5);
    EXPECT_EQ(total(full), 4.5);
    const double sum_half = 0.5 * (100 + 361 + 289 + 225 + 169);  // m = 2
    const double sum_full = 0.5 * 100 + 361 + 289 + 225 + 169;
    EXPECT_NEAR(*dels(half, {2}, 5.0)[0], std::sqrt(sum_half / 5.0), 1e-13);
    EXPECT_NEAR(*dels(full, {2}, 5.0)[0], std::sqrt(sum_full / 5.0), 1e-13);
    // The standard's example: the residue 9, 8, 6 becomes whole cycles.
    EXPECT_EQ(by_range(count(kAstm, Residuals::full)),
              (std::map<double, double>{{3, 0.5}, {4, 1.5}, {6, 1.0}, {8, 1.5}, {9, 1.0}}));
}

TEST(Rainflow, SineGivesOneCyclePerPeriodAndItsRangeAsLoad) {
    // 12 periods of 40 samples from valley to valley, around a mean of 10.
    const double amplitude = 3.25;
    const double offset = 10.0;
    const int per_period = 40;
    const int periods = 12;
    std::vector<float> x;
    for (int k = 0; k <= periods * per_period; ++k) {
        const double phase = 2.0 * std::numbers::pi * (k + 0.75 * per_period) / per_period;
        x.push_back(static_cast<float>(offset + amplitude * std::sin(phase)));
    }
    float hi = x[0];
    float lo = x[0];
    for (const float v : x) {
        hi = std::max(hi, v);
        lo = std::min(lo, v);
    }
    const double range = static_cast<double>(hi) - static_cast<double>(lo);
    ASSERT_NEAR(range, 2.0 * amplitude, 1e-5);
    const auto cycles = analysis::rainflow(std::span<const float>(x), Residuals::half);
    EXPECT_EQ(total(cycles), static_cast<double>(periods));
    for (const RainflowCycle& c : cycles) {
        EXPECT_NEAR(c.range, range, 1e-5);
        EXPECT_NEAR(c.mean, offset, 1e-5);
    }
    const std::vector<double> m{3, 4, 5, 8, 10, 12};
    const auto d = dels(cycles, m, static_cast<double>(periods));
    for (std::size_t k = 0; k < m.size(); ++k) {
        ASSERT_TRUE(d[k].has_value());
        EXPECT_NEAR(*d[k], range, 1e-5) << "m = " << m[k];
    }
    // Twice the equivalent cycles: the load falls by 2^(1/m).
    const auto d2 = dels(cycles, m, 2.0 * periods);
    for (std::size_t k = 0; k < m.size(); ++k) {
        EXPECT_NEAR(*d2[k], *d[k] / std::pow(2.0, 1.0 / m[k]), 1e-12) << "m = " << m[k];
    }
}

TEST(Rainflow, ShortAndConstantSeriesNeverGiveNaN) {
    struct Case {
        std::vector<double> x;
        std::vector<double> ranges;  // one half cycle each
    };
    const std::vector<Case> cases{
        {{}, {}}, {{7}, {}}, {{7, 7}, {}}, {{7, 7, 7, 7, 7, 7}, {}}, {{7, 4}, {3}}, {{-1, 2}, {3}},
    };
    for (const Case& c : cases) {
        for (const Residuals r : {Residuals::half, Residuals::full}) {
            const auto cycles = count(c.x, r);
            ASSERT_EQ(cycles.size(), c.ranges.size());
            for (std::size_t i = 0; i < cycles.size(); ++i) {
                EXPECT_EQ(cycles[i].range, c.ranges[i]);
                EXPECT_EQ(cycles[i].count, r == Residuals::half ? 0.5 : 1.0);
            }
            for (const double neq : {1.0, 0.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
                const auto d = dels(cycles, {3, 4.5}, neq);
                for (const auto& v : d) {
                    if (cycles.empty()) {
                        // No damage: 0 whatever N_eq.
                        ASSERT_TRUE(v.has_value());
                        EXPECT_EQ(*v, 0.0);
                    } else if (neq > 0.0) {
                        ASSERT_TRUE(v.has_value());
                        EXPECT_FALSE(std::isnan(*v));
                    } else {
                        EXPECT_FALSE(v.has_value());
                    }
                }
            }
        }
    }
    // Two samples, one half cycle of 3, N_eq 0.5: (0.5 * 27 / 0.5)^(1/3).
    EXPECT_NEAR(*dels(count({7, 4}), {3}, 0.5)[0], 3.0, 1e-14);
}

TEST(Rainflow, TotalCountIsHalfTheRangesBetweenTurningPoints) {
    // Every turning point but the last starts one range; each range is
    // counted once as half of a cycle, so the half-residue total is
    // (turning points - 1) / 2, and the largest range is max - min.
    std::uint32_t state = 12345;
    std::vector<double> x;
    for (int i = 0; i < 20000; ++i) {
        state = state * 1664525u + 1013904223u;
        const double noise = static_cast<double>(state >> 8) / 16777216.0 - 0.5;
        x.push_back(std::round(100.0 * (std::sin(i * 0.05) + noise)) / 4.0);  // with plateaus
    }
    std::size_t points = 0;
    int dir = 0;
    double prev = x[0];
    for (std::size_t i = 1; i < x.size(); ++i) {
        if (x[i] == prev) continue;
        const int d = x[i] > prev ? 1 : -1;
        if (d != dir) ++points;
        dir = d;
        prev = x[i];
    }
    ++points;  // the first sample
    const auto cycles = count(x);
    EXPECT_EQ(total(cycles), 0.5 * static_cast<double>(points - 1));
    const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
    double largest = 0.0;
    for (const RainflowCycle& c : cycles) largest = std::max(largest, c.range);
    EXPECT_EQ(largest, *hi - *lo);
}

TEST(Rainflow, StackStaysBoundedOnALongStationarySeries) {
    // A wave with ripples that repeats every 280 samples: the stack holds the
    // same few points whether the series is ten or a hundred times longer.
    const auto peak = [](int samples, double& cycles) {
        analysis::RainflowCounter counter;
        const auto sink = [&cycles](const RainflowCycle& c) { cycles += c.count; };
        for (int i = 0; i < samples; ++i) {
            counter.push(std::sin(2.0 * std::numbers::pi * (i % 40) / 40.0) + 0.01 * (i % 7), sink);
        }
        counter.finish(sink);
        return counter.stack_peak();
    };
    double short_cycles = 0.0;
    double long_cycles = 0.0;
    const std::size_t short_peak = peak(28000, short_cycles);
    const std::size_t long_peak = peak(280000, long_cycles);
    EXPECT_EQ(long_peak, short_peak);
    EXPECT_LE(long_peak, 16u);
    EXPECT_GT(long_cycles, 9.0 * short_cycles);
}

TEST(DamageSum, WideRangesNeitherOverflowNorLoseTheSmallTerms) {
    struct Case {
        std::vector<double> ranges;  // full cycles
        double m;
        double neq;
        double expected;
    };
    const std::vector<Case> cases{
        {{1e30}, 12, 1, 1e30},
        {{1e30, 1e30}, 12.5, 2, 1e30},
        {{1e-30}, 10, 1, 1e-30},
        {{1.0, 1000.0}, 3, 2, std::cbrt((1.0 + 1e9) / 2.0)},
        {{1000.0, 1.0}, 3, 2, std::cbrt((1.0 + 1e9) / 2.0)},
        {{2.0, 3.0, 100.0},
         4.5,
         3,
         std::pow((std::pow(2.0, 4.5) + std::pow(3.0, 4.5) + std::pow(100.0, 4.5)) / 3.0,
                  1.0 / 4.5)},
        {{3.0e38}, 3, 1e-300, 3.0e138},
    };
    for (const Case& c : cases) {
        analysis::DamageSum d(std::vector<double>{c.m});
        for (const double r : c.ranges) d.add({r, 0.0, 1.0});
        const auto v = d.del(0, c.neq);
        ASSERT_TRUE(v.has_value()) << c.m;
        EXPECT_NEAR(*v / c.expected, 1.0, 1e-12) << c.m;
    }
    // Beyond the double range: no value rather than infinity.
    analysis::DamageSum big(std::vector<double>{2});
    big.add({1e300, 0.0, 1.0});
    EXPECT_FALSE(big.del(0, 1e-300).has_value());
    EXPECT_FALSE(big.del(1, 1.0).has_value());  // no such exponent
}

TEST(CycleBins, AstmExampleInThreeBins) {
    const auto bins = analysis::bin_cycles(count(kAstm), 3);
    ASSERT_EQ(bins.size(), 3u);
    // Edges 0, 3, 6, 9; a range on an edge belongs to the bin above it.
    EXPECT_EQ(bins[0].lo, 0.0);
    EXPECT_EQ(bins[0].hi, 3.0);
    EXPECT_EQ(bins[1].lo, 3.0);
    EXPECT_EQ(bins[1].hi, 6.0);
    EXPECT_EQ(bins[2].lo, 6.0);
    EXPECT_EQ(bins[2].hi, 9.0);
    EXPECT_EQ(bins[0].count, 0.0);
    EXPECT_FALSE(bins[0].mean.has_value());
    // 3 (0.5, mean -0.5), 4 (0.5, mean -1), 4 (1, mean 1).
    EXPECT_EQ(bins[1].count, 2.0);
    EXPECT_DOUBLE_EQ(*bins[1].mean, (0.5 * -0.5 + 0.5 * -1.0 + 1.0) / 2.0);
    // 8 (mean 1), 9 (mean 0.5), 8 (mean 0), 6 (mean 1), half cycles each.
    EXPECT_EQ(bins[2].count, 2.0);
    EXPECT_DOUBLE_EQ(*bins[2].mean, 0.5 * (1 + 0.5 + 0 + 1) / 2.0);
}

TEST(CycleBins, EdgesDecideAndEmptySeriesGiveEmptyBins) {
    const auto none = analysis::bin_cycles({}, 4);
    ASSERT_EQ(none.size(), 4u);
    for (const auto& b : none) {
        EXPECT_EQ(b.lo, 0.0);
        EXPECT_EQ(b.hi, 0.0);
        EXPECT_EQ(b.count, 0.0);
        EXPECT_FALSE(b.mean.has_value());
    }
    EXPECT_TRUE(analysis::bin_cycles({}, 0).empty());
    // Ten bins up to 1: 0.3 and 0.7 and every printed edge land where lo <= r < hi.
    std::vector<RainflowCycle> cycles;
    for (int k = 0; k <= 10; ++k) cycles.push_back({k / 10.0, 0.0, 1.0});
    cycles.push_back({0.3, 0.0, 0.5});
    cycles.push_back({0.7, 0.0, 0.5});
    const auto bins = analysis::bin_cycles(cycles, 10);
    double n = 0.0;
    for (std::size_t k = 0; k < bins.size(); ++k) {
        n += bins[k].count;
        if (k > 0) {
            EXPECT_EQ(bins[k].lo, bins[k - 1].hi);
        }
    }
    EXPECT_EQ(n, 12.0);
    EXPECT_EQ(bins.back().hi, 1.0);
    for (std::size_t k = 0; k < bins.size(); ++k) {
        const bool last = k + 1 == bins.size();
        double expected = 0.0;
        for (const RainflowCycle& c : cycles) {
            if (c.range >= bins[k].lo && (c.range < bins[k].hi || (last && c.range == bins[k].hi)))
                expected += c.count;
        }
        EXPECT_EQ(bins[k].count, expected) << k;
    }
    EXPECT_EQ(bins[9].count, 2.0);  // 0.9 and 1.0
}

}  // namespace
