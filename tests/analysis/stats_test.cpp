// The statistics of the analysis library: the streamed passes give the
// figures of the whole-series function to the bit, for any expected count,
// with samples left out and for constant series; the peak conventions.
#include "analysis/stats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "analysis/classic_moments.h"

namespace {

using analysis::Moments;
using analysis::SeriesStats;
using analysis::Sign;

// The streamed figures of the columns of `rows` (sample i: rows[i][j]).
std::vector<SeriesStats> streamed(const std::vector<std::vector<float>>& rows,
                                  const std::vector<float>& t, std::int64_t guess, Moments m,
                                  std::vector<analysis::StatsTimes>& times) {
    const std::size_t width = rows.empty() ? 0 : rows[0].size();
    analysis::StreamingStats s(width, guess, m);
    for (std::size_t i = 0; i < rows.size(); ++i) s.first(rows[i].data(), t[i]);
    if (s.end_first())
        for (const auto& r : rows) s.mean_again(r.data());
    if (s.begin_second())
        for (const auto& r : rows) s.second(r.data());
    std::vector<SeriesStats> out;
    s.finish(out, times);
    return out;
}

bool same(const std::optional<double>& a, const std::optional<double>& b) {
    return a.has_value() == b.has_value() && (!a || *a == *b);
}

TEST(StreamingStats, EqualsTheWholeSeriesToTheBit) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::mt19937 gen(7);
    std::normal_distribution<float> normal(3.0f, 2.0f);
    for (const std::size_t n : {1u, 2u, 3u, 17u, 500u}) {
        // Columns: noise, noise with NaN and infinity, constant, all NaN.
        std::vector<std::vector<float>> rows(n, std::vector<float>(4));
        std::vector<float> t(n);
        for (std::size_t i = 0; i < n; ++i) {
            t[i] = 0.05f * static_cast<float>(i) - 1.0f;
            rows[i][0] = normal(gen);
            rows[i][1] = i % 5 == 1 ? nan : (i % 7 == 3 ? INFINITY : normal(gen));
            rows[i][2] = 0.3f;
            rows[i][3] = nan;
        }
        for (const Moments m : {Moments::sample, Moments::population}) {
            for (const std::int64_t guess : {std::int64_t{0}, static_cast<std::int64_t>(n),
                                             static_cast<std::int64_t>(n + 3)}) {
                std::vector<analysis::StatsTimes> times;
                const auto s = streamed(rows, t, guess, m, times);
                for (std::size_t j = 0; j < 4; ++j) {
                    SCOPED_TRACE(testing::Message()
                                 << "n " << n << " column " << j << " guess " << guess);
                    std::vector<double> x;
                    for (const auto& r : rows) x.push_back(r[j]);
                    const SeriesStats w = analysis::series_stats(x, t, m);
                    EXPECT_EQ(s[j].n, w.n);
                    EXPECT_EQ(times[j].samples, static_cast<std::int64_t>(n));
                    if (w.n == 0) continue;
                    EXPECT_EQ(s[j].max, w.max);
                    EXPECT_EQ(s[j].min, w.min);
                    EXPECT_EQ(times[j].max, t[w.i_max]);
                    EXPECT_EQ(times[j].min, t[w.i_min]);
                    EXPECT_EQ(s[j].mean, w.mean);
                    EXPECT_TRUE(same(s[j].std, w.std));
                    EXPECT_TRUE(same(s[j].skew, w.skew));
                    EXPECT_TRUE(same(s[j].kurt, w.kurt));
                    EXPECT_TRUE(same(s[j].tz, w.tz));
                }
                // The constant column: std 0, no shape.
                if (n >= 2) {
                    EXPECT_EQ(s[2].std, 0.0);
                    EXPECT_FALSE(s[2].skew);
                }
            }
        }
    }
}

// The sample moments are the classic kernels' to the bit.
TEST(SeriesStats, SampleMomentsAreTheClassicKernels) {
    const std::vector<double> x = {1, 2, 3, 10, -4, 0.1, 7.5, 7.5, -4, 2};
    const std::vector<float> t = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    const SeriesStats s = analysis::series_stats(x, t, Moments::sample);
    const auto xs = analysis::sview(x);
    const auto n = static_cast<std::int32_t>(x.size());
    EXPECT_EQ(s.mean, analysis::VMEAN(xs, n));
    EXPECT_EQ(*s.std, analysis::VSTDEV(xs, n));
    EXPECT_EQ(*s.skew, analysis::VSKEW(xs, n));
    EXPECT_EQ(*s.kurt, analysis::VKURT(xs, n));
    EXPECT_EQ(s.i_max, 3u);
    EXPECT_EQ(s.i_min, 4u);  // the first of two equal minima
    // The mean is 2.51: it is crossed upwards from 2 to 3 and from 0.1 to
    // 7.5 (not from -4 to 0.1 or to 2), twice in 9 s.
    EXPECT_EQ(*s.tz, 4.5);
}

TEST(Peak, EachConventionTakesTheEarliestFiniteSample) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> x = {nan, 3.0f, -5.0f, 5.0f, -1.0f, -5.0f, INFINITY};
    struct Case {
        Sign sign;
        std::size_t index;
        float value;
    };
    for (const Case& c : {Case{Sign::max, 3, 5.0f}, Case{Sign::min, 2, -5.0f},
                          Case{Sign::abs, 2, 5.0f}, Case{Sign::signed_, 2, -5.0f}}) {
        const auto i = analysis::finite_peak_index(x, c.sign);
        ASSERT_TRUE(i);
        EXPECT_EQ(*i, c.index);
        EXPECT_EQ(analysis::peak_value(x[*i], c.sign), c.value);
    }
    EXPECT_EQ(analysis::finite_count(x), 5);
    EXPECT_FALSE(analysis::finite_peak_index(std::vector<float>{nan}, Sign::max));
}

}  // namespace
