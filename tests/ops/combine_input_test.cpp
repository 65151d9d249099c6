// The input file of the combination: groups, DynRes numbers, matrices, the
// number of components and the component line.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "ops/combine.h"
#include "support/scratch_units.h"

namespace {

struct Read {
    bool ok = false;
    ops::Groups g;
    ops::InputError e;
};

Read read_text(const std::string& content) {
    test_support::ScratchUnits c;
    c.dir.write("in.txt", content);
    EXPECT_EQ(c.units.open_text(24, "in.txt", io::OpenStatus::Old), 0);
    Read r;
    r.ok = ops::read_groups(c.units, 24, r.g, r.e);
    EXPECT_EQ(c.console.str(), "");
    return r;
}

// T(i, j) of group k.
double t(const ops::Groups& g, int i, int j, int k) {
    return g.t[static_cast<std::size_t>((i - 1) + 3 * (j - 1) + 9 * (k - 1))];
}

TEST(CombineInput, TheFixtureGroupsMatricesKeptColumnByColumn) {
    std::istringstream in;
    std::ostringstream out;
    io::Units units(in, out);
    ASSERT_EQ(units.open_text(24, PEKTOR_TEST_DATA "/combo_input.txt", io::OpenStatus::Old), 0);
    ops::Groups g;
    ops::InputError e;
    ASSERT_TRUE(ops::read_groups(units, 24, g, e));
    EXPECT_EQ(g.nr, 2);
    EXPECT_EQ(g.nc, 6);
    EXPECT_EQ(g.selected(), 12);
    const std::array<std::int32_t, 12> list = {1, 2, 3, 7, 8, 9, 4, 5, 6, 7, 8, 9};
    for (std::size_t i = 0; i < list.size(); ++i) EXPECT_EQ(g.dynres[i], list[i]);
    EXPECT_EQ(g.dynres[12], 0);
    EXPECT_EQ(t(g, 1, 1, 1), 1.0);
    EXPECT_EQ(t(g, 1, 2, 2), 1.0);
    EXPECT_EQ(t(g, 2, 1, 2), -1.0);
    EXPECT_EQ(t(g, 3, 3, 2), 1.0);
    EXPECT_EQ(t(g, 1, 1, 2), 0.0);
    // The rest of the file is left for the components.
    std::string line;
    ASSERT_EQ(units.read_line(24, line), 0);
    EXPECT_EQ(line, "3");
}

TEST(CombineInput, ReadsStartOnNewLinesAndMayContinue) {
    // The rest of a line after a count is not read; numbers and matrices
    // may spread over several lines, with commas and repeat counts.
    const Read r = read_text("2 ignored\n2\n5\n6\n1 2 3, 4 5 6 7 8 9\n3,4\n9*0\n");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.g.nr, 2);
    EXPECT_EQ(r.g.nc, 2);
    EXPECT_EQ(r.g.dynres[0], 5);
    EXPECT_EQ(r.g.dynres[1], 6);
    EXPECT_EQ(t(r.g, 1, 2, 1), 2.0);
    EXPECT_EQ(t(r.g, 2, 1, 1), 4.0);
    EXPECT_EQ(t(r.g, 3, 3, 1), 9.0);
    EXPECT_EQ(r.g.dynres[2], 3);
    EXPECT_EQ(r.g.dynres[3], 4);
    EXPECT_EQ(t(r.g, 3, 3, 2), 0.0);
}

TEST(CombineInput, LimitsAndMalformedContentAreRefused) {
    const std::string one_group = "1\n3\n1 2 3\n";
    struct Case {
        std::string content;
        std::string item;
        std::string problem;
    };
    const std::string end = "the file ends before this item is complete";
    for (const Case& c : {
             Case{"", "number of groups", end},
             Case{"\n\n", "number of groups", end},
             Case{"-3\n", "number of groups", "-3 groups; 1 to 10 allowed"},
             Case{",\n", "number of groups", "0 groups; 1 to 10 allowed"},
             Case{"1\n", "number of DynRes per group", end},
             Case{"1\n1.5\n", "number of DynRes per group", "value is not a valid integer"},
             Case{"1\n3\n1 2\n", "DynRes numbers of group  1", end},
             Case{"1\n3\n1 x 3\n", "DynRes numbers of group  1", "value is not a valid integer"},
             Case{one_group + "1 0 0\n0 1 0\n0 0\n", "matrix of group  1", end},
             Case{one_group + "1 0 0 0 one 0 0 0 1\n", "matrix of group  1",
                  "value is not a valid real number"},
             Case{"2\n3\n1 2 3\n9*1\n", "DynRes numbers of group  2", end},
         }) {
        const Read r = read_text(c.content);
        EXPECT_FALSE(r.ok) << c.content;
        EXPECT_EQ(r.e.item, c.item) << c.content;
        EXPECT_EQ(r.e.problem, c.problem) << c.content;
    }
    // The largest selection the limits allow.
    std::string big = "10\n6\n";
    for (int k = 0; k < 10; ++k) big += "1 2 3 4 5 6\n1 0 0 0 1 0 0 0 1\n";
    const Read r = read_text(big);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.g.selected(), 60);
}

TEST(CombineInput, NumberOfComponents) {
    struct Case {
        const char* line;
        bool ok;
        std::int32_t k;
        const char* problem;
    };
    for (const Case& c : {
             Case{"3", true, 3, ""},
             Case{"  0  ", true, 0, ""},
             Case{"55 components", true, 55, ""},
             Case{"56", false, 0, "56 components; 0 to 55 allowed (side files on units 45 to 99)"},
             Case{"2.0", false, 0, "value is not a valid integer"},
             Case{",", false, 0, "no number given"},
             Case{"\t", false, 0, "no number given"},
         }) {
        std::int32_t k = -5;
        ops::InputError e;
        EXPECT_EQ(ops::component_count(c.line, k, e), c.ok) << c.line;
        if (c.ok) {
            EXPECT_EQ(k, c.k) << c.line;
        } else {
            EXPECT_EQ(k, -5) << c.line;
            EXPECT_EQ(e.item, "number of components");
            EXPECT_EQ(e.problem, c.problem) << c.line;
        }
    }
}

TEST(CombineInput, ComponentLine) {
    const std::string longer =
        "Global force X from both legs, taken from the resultants; this description is longer "
        "than fifty-nine characters";
    EXPECT_EQ(ops::component_line(1, longer),
              " Component no  1:    Global force X from both legs, taken from the resultants; t");
    EXPECT_EQ(ops::component_line(1, longer).size(), 80u);
    EXPECT_EQ(ops::component_line(2, "Overturning check" + std::string(200, ' ')),
              " Component no  2:    Overturning check");
    EXPECT_EQ(ops::component_line(3, std::string(256, ' ')), " Component no  3:");
    EXPECT_EQ(ops::component_line(4, ""), " Component no  4:");
    EXPECT_EQ(ops::component_line(12, "  indented"), " Component no 12:      indented");
    EXPECT_EQ(ops::component_line(55, std::string(58, ' ') + "xy"),
              " Component no 55:" + std::string(62, ' ') + "x");
}

}  // namespace
