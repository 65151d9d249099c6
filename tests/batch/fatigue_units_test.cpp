// The fatigue command's option values and the rows of one series.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <variant>
#include <vector>

#include "batch/fatigue.h"
#include "batch/options.h"
#include "batch/source.h"

namespace {

using batch::FatigueOptions;
using batch::Row;

FatigueOptions parse(const std::vector<std::string>& m, const std::string& neq = {},
                     const std::string& feq = {}, const std::string& residuals = {},
                     bool cycles = false, const std::string& bins = {}) {
    return batch::parse_fatigue_options(m, neq, feq, residuals, cycles, bins);
}

TEST(FatigueOptions, DefaultsAndExponentsAsGiven) {
    const FatigueOptions d = parse({});
    EXPECT_EQ(d.exponents, (std::vector<double>{3, 4, 5, 8, 10, 12}));
    EXPECT_FALSE(d.neq.has_value());
    EXPECT_EQ(d.feq, 1.0);
    EXPECT_EQ(d.residuals, analysis::Residuals::half);
    EXPECT_FALSE(d.cycles);
    EXPECT_EQ(batch::fatigue_columns(d),
              (std::vector<std::string>{"file", "dynres", "label", "t_first", "t_last", "n",
                                        "cycles", "neq", "del_m3", "del_m4", "del_m5", "del_m8",
                                        "del_m10", "del_m12"}));

    const FatigueOptions g = parse({" 3.5 ,1e1", "4"}, "1e7", {}, "full");
    EXPECT_EQ(g.exponents, (std::vector<double>{3.5, 10, 4}));
    EXPECT_EQ(g.neq, 1e7);
    EXPECT_EQ(g.residuals, analysis::Residuals::full);
    const auto columns = batch::fatigue_columns(g);
    EXPECT_EQ(std::vector<std::string>(columns.begin() + 8, columns.end()),
              (std::vector<std::string>{"del_m3.5", "del_m1e1", "del_m4"}));

    EXPECT_EQ(parse({}, {}, "0.25").feq, 0.25);
    const FatigueOptions c = parse({}, {}, {}, {}, true, "25");
    EXPECT_EQ(c.bins, 25u);
    EXPECT_EQ(batch::fatigue_columns(c),
              (std::vector<std::string>{"file", "dynres", "label", "range_lo", "range_hi", "mean",
                                        "count"}));
    EXPECT_EQ(parse({}, {}, {}, {}, true).bins, 10u);
}

TEST(FatigueOptions, RefusedValues) {
    struct Case {
        std::vector<std::string> m;
        std::string neq, feq, residuals;
        bool cycles;
        std::string bins;
    };
    const std::vector<Case> cases{
        {{"3,"}, "", "", "", false, ""},       {{"3;4"}, "", "", "", false, ""},
        {{"+3"}, "", "", "", false, ""},       {{"inf"}, "", "", "", false, ""},
        {{"4", "4.0"}, "", "", "", false, ""}, {{"1000.5"}, "", "", "", false, ""},
        {{}, "ten", "", "", false, ""},        {{}, "nan", "", "", false, ""},
        {{}, "", "-1", "", false, ""},         {{}, "", "", "Half", false, ""},
        {{}, "", "1", "", true, ""},           {{}, "", "", "", true, "1000001"},
        {{}, "", "", "", true, "-1"},
    };
    for (const Case& c : cases) {
        EXPECT_THROW(parse(c.m, c.neq, c.feq, c.residuals, c.cycles, c.bins), batch::UsageError)
            << (c.m.empty() ? c.neq + c.feq + c.residuals + c.bins : c.m.front());
    }
    EXPECT_NO_THROW(parse({"1000"}, {}, {}, {}, false, {}));
    EXPECT_NO_THROW(parse({"0.5"}, {}, {}, {}, false, {}));
}

struct Rows {
    std::vector<Row> rows;
    std::vector<std::string> notes;
};

Rows run(const FatigueOptions& o, const std::vector<float>& t, const std::vector<float>& x) {
    Rows r;
    batch::fatigue_rows(o, Row{std::string("f.dyn"), std::int64_t{4}, std::string("L")}, t, x,
                        "DynRes 4", r.rows, r.notes);
    return r;
}

TEST(FatigueRows, SamplesThatAreNotNumbersAreLeftOutAndNamed) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    FatigueOptions o = parse({"3"});
    const Rows r = run(o, {0, 1, 2, 3, 4}, {0, nan, 6, nan, 0});
    ASSERT_EQ(r.rows.size(), 1u);
    const Row& row = r.rows[0];
    ASSERT_EQ(row.size(), 9u);
    EXPECT_EQ(std::get<std::int64_t>(row[5]), 3);  // n counts the samples used
    EXPECT_EQ(std::get<double>(row[6]), 1.0);      // 0, 6, 0: two half cycles of 6
    EXPECT_EQ(std::get<double>(row[7]), 4.0);
    EXPECT_NEAR(std::get<double>(row[8]), std::cbrt(216.0 / 4.0), 1e-13);
    ASSERT_EQ(r.notes.size(), 1u);
    EXPECT_EQ(r.notes[0], "DynRes 4: 2 samples that are not finite numbers left out of the count");
}

TEST(FatigueRows, NoDurationGivesEmptyLoadsWithANote) {
    // Two samples at one time: a half cycle but N_eq = 0.
    const Rows r = run(parse({"3", "4"}), {2, 2}, {1, 5});
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(std::get<double>(r.rows[0][6]), 0.5);
    EXPECT_EQ(std::get<double>(r.rows[0][7]), 0.0);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(r.rows[0][8]));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(r.rows[0][9]));
    ASSERT_EQ(r.notes.size(), 1u);
    EXPECT_NE(r.notes[0].find("give --neq"), std::string::npos) << r.notes[0];
    // With --neq the loads are there.
    const Rows g = run(parse({"3"}, "0.5"), {2, 2}, {1, 5});
    EXPECT_EQ(std::get<double>(g.rows[0][7]), 0.5);
    EXPECT_NEAR(std::get<double>(g.rows[0][8]), 4.0, 1e-14);  // (0.5 * 64 / 0.5)^(1/3)
    EXPECT_TRUE(g.notes.empty());
}

// A source that only reads: the streaming read falls back to it.
class ReadOnlySource final : public batch::SeriesSource {
  public:
    const batch::FileContents& contents() const override { return contents_; }
    bool read(const batch::Window& window, std::span<const std::int32_t> dynres,
              batch::WindowSeries& out, std::string& error) override {
        if (fail_) {
            error = "damaged";
            return false;
        }
        out = {};
        out.values.resize(dynres.size());
        for (std::size_t i = 0; i < 4; ++i) {
            const float t = static_cast<float>(i);
            if (!window.contains(t)) continue;
            out.times.push_back(t);
            for (std::size_t j = 0; j < dynres.size(); ++j)
                out.values[j].push_back(static_cast<float>(10 * dynres[j]) + t);
        }
        return true;
    }
    bool fail_ = false;

  private:
    batch::FileContents contents_;
};

TEST(FatigueSource, StreamingFallsBackToTheRead) {
    ReadOnlySource src;
    std::vector<std::string> seen;
    const auto sink = [&seen](float t, std::span<const float> v) {
        std::string row = std::to_string(static_cast<int>(t));
        for (const float x : v) row += "," + std::to_string(static_cast<int>(x));
        seen.push_back(row);
    };
    std::string error;
    batch::Window w;
    w.first = 1.0f;
    const std::vector<std::int32_t> numbers{3, 1};
    ASSERT_TRUE(src.stream(w, numbers, sink, error));
    EXPECT_EQ(seen, (std::vector<std::string>{"1,31,11", "2,32,12", "3,33,13"}));
    src.fail_ = true;
    EXPECT_FALSE(src.stream(w, numbers, sink, error));
    EXPECT_EQ(error, "damaged");
}

}  // namespace
