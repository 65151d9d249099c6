#include "dms/vutil.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace {

TEST(VutilTest, FillCoversMTimesNWords) {
    std::vector<std::int32_t> a(8, 1);
    dms::VFILLI(a, 2, 3, -4);
    EXPECT_EQ(a, (std::vector<std::int32_t>{-4, -4, -4, -4, -4, -4, 1, 1}));
    dms::VFILLI(a, 0, 5, 9);
    dms::VFILLI(a, -2, 3, 9);
    EXPECT_EQ(a[0], -4);
    EXPECT_THROW(dms::VFILLI(a, 3, 3, 0), std::out_of_range);
}

TEST(VutilTest, CopyRunsUpwardSoALowerOverlappingTargetIsSafe) {
    std::vector<std::int32_t> a{1, 2, 3, 4, 5, 6};
    std::span<std::int32_t> all(a);
    dms::VCOPYI(all.subspan(2, 4), all.subspan(0, 4), 4);
    EXPECT_EQ(a, (std::vector<std::int32_t>{3, 4, 5, 6, 5, 6}));
    dms::VCOPYI(all, all.subspan(1), 0);
    EXPECT_EQ(a[1], 4);
    EXPECT_THROW(dms::VCOPYI(all.subspan(0, 2), all, 3), std::out_of_range);
}

// With exact arithmetic the sum is 4. Products added one at a time give 2
// (1e16 + 1 rounds back to 1e16); summing each group of five before adding
// it would give 3, summing backward 5.
TEST(VutilTest, DotProductSummationOrder) {
    const std::vector<double> x{1.0, 1e16, 1.0, -1e16, 1.0, 1.0};
    const std::vector<double> y(6, 1.0);
    EXPECT_EQ(dms::VDOTD(x, y, 1, 1, 6), 2.0);
    // n mod 5 = 2 products first, then 2 + 1e16 + 1 rounds up to 1e16 + 4: 6 (exact 5,
    // group first 4).
    const std::vector<double> x7{1.0, 1.0, 1e16, 1.0, -1e16, 1.0, 1.0};
    const std::vector<double> y7(7, 1.0);
    EXPECT_EQ(dms::VDOTD(x7, y7, 1, 1, 7), 6.0);
    EXPECT_EQ(dms::VDOTD(x, y, 1, 1, 0), 0.0);
    EXPECT_EQ(dms::VDOTD(x, y, 1, 1, -3), 0.0);
}

TEST(VutilTest, DotProductWithStrides) {
    const std::vector<double> x{1.0, 100.0, 2.0, 100.0, 3.0};
    const std::vector<double> y{4.0, 5.0, 6.0};
    EXPECT_EQ(dms::VDOTD(x, y, 2, 1, 3), 1.0 * 4.0 + 2.0 * 5.0 + 3.0 * 6.0);
    EXPECT_THROW(dms::VDOTD(x, y, 2, 2, 3), std::out_of_range);
    EXPECT_THROW(dms::VDOTD(x, y, 0, 1, 3), std::invalid_argument);
}

TEST(VutilTest, DotProductOverTheWorkArrayDoubleView) {
    dms::WorkArray w(40);
    const double xs[] = {1.0, 1e16, 1.0, -1e16, 1.0, 1.0};
    for (int i = 0; i < 6; ++i) {
        w.set_d(3 + i, xs[i]);
        w.set_d(11 + i, 1.0);
    }
    EXPECT_EQ(dms::VDOTD(dms::dview(w, 3), dms::dview(w, 11), 1, 1, 6), 2.0);
    const std::vector<double> y(6, 2.0);
    EXPECT_EQ(dms::VDOTD(
                  dms::dview(w, 3), [&y](std::int64_t i) { return y[i - 1]; }, 1, 1, 6),
              4.0);
}

}  // namespace
