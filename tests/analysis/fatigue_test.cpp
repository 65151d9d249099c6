// The fatigue count of a series fed sample by sample: the worked example of
// ASTM E1049-85 (the docs' fatigue page), with both residue rules, the cycle
// table and samples left out.
#include "analysis/fatigue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

analysis::FatigueResult count(const analysis::FatigueSettings& s, const std::vector<float>& x) {
    analysis::FatigueCount c(s);
    for (std::size_t i = 0; i < x.size(); ++i) c.push(static_cast<float>(i), x[i]);
    return c.finish();
}

const std::vector<float> kAstm = {-2, 1, -3, 5, -1, 3, -4, 4, -2};

TEST(FatigueCount, DelsOfTheWorkedExample) {
    struct Case {
        analysis::Residuals residuals;
        double cycles;
        double sum3;  // Σ n S³
    };
    for (const Case& c : {Case{analysis::Residuals::half, 4.0, 1094.0},
                          Case{analysis::Residuals::full, 5.5, 1822.5}}) {
        analysis::FatigueSettings s;
        s.exponents = {3, 4};
        s.residuals = c.residuals;
        const analysis::FatigueResult r = count(s, kAstm);
        EXPECT_EQ(r.samples, 9);
        EXPECT_EQ(r.used, 9);
        EXPECT_EQ(r.cycles, c.cycles);
        EXPECT_EQ(r.neq, 8.0);  // 8 s at 1 Hz
        ASSERT_EQ(r.dels.size(), 2u);
        EXPECT_NEAR(*r.dels[0], std::cbrt(c.sum3 / 8.0), 1e-12);
        if (c.residuals == analysis::Residuals::half) {
            EXPECT_NEAR(*r.dels[1], std::pow(8449.0 / 8.0, 0.25), 1e-12);
        }
    }
}

TEST(FatigueCount, CycleTableAndSamplesLeftOut) {
    analysis::FatigueSettings s;
    s.cycles = true;
    s.bins = 3;
    const analysis::FatigueResult r = count(s, kAstm);
    ASSERT_EQ(r.bins.size(), 3u);
    EXPECT_EQ(r.bins[0].count, 0.0);
    EXPECT_EQ(r.bins[1].count, 2.0);
    EXPECT_EQ(r.bins[2].count, 2.0);
    std::vector<float> with_nan = kAstm;
    with_nan.insert(with_nan.begin() + 3, std::numeric_limits<float>::quiet_NaN());
    analysis::FatigueSettings d;
    d.neq = 8.0;
    const analysis::FatigueResult n = count(d, with_nan);
    EXPECT_EQ(n.samples, 10);
    EXPECT_EQ(n.used, 9);
    EXPECT_EQ(n.cycles, 4.0);
}

}  // namespace
