// Resultants, components and vector lengths worked by hand.
#include "analysis/combination.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

TEST(Combination, ResultantsTurnEachGroupByTheTransposeAndSum) {
    // Group 1: the identity. Group 2: T = [0 -1 0; 1 0 0; 0 0 1] (columns
    // (0,1,0), (-1,0,0), (0,0,1)), so T' v = (v2, -v1, v3) for each triple.
    const std::vector<double> t = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0, -1, 0, 0, 0, 0, 1};
    struct Case {
        std::int32_t nr, nc;
        std::vector<double> values;
        std::array<double, 6> r;
    };
    for (const Case& c : {
             Case{1, 6, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}},
             Case{2, 6, {1, 2, 3, 4, 5, 6, 10, 20, 30, 40, 50, 60}, {21, -8, 33, 54, -35, 66}},
             Case{2, 3, {1, 2, 3, 10, 20, 30}, {21, -8, 33, 0, 0, 0}},  // moments stay 0
             Case{1, 2, {7, 8}, {7, 8, 0, 0, 0, 0}},
         }) {
        const analysis::CombinationGroups g{c.nr, c.nc, t};
        EXPECT_EQ(analysis::resultants(g, c.values), c.r);
    }
    EXPECT_THROW(analysis::resultants({2, 6, t}, std::vector<double>(11)), std::invalid_argument);
}

TEST(Combination, ComponentsAndLengths) {
    const std::array<double, 6> r = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(analysis::component({1, 0, 0, 0, 0, 0}, r), 1.0);
    EXPECT_EQ(analysis::component({0, 0.5, 0, 0, -2, 0}, r), -9.0);
    EXPECT_EQ(analysis::vector_length(3, 4), 5.0);
    EXPECT_EQ(analysis::vector_length(-3, 0), 3.0);
}

}  // namespace
