// The extremes command run by the pektor program on files written by the
// writer library and by dyngen: the peaks must be the ones the series was
// built with, and every figure the one the analysis functions give for them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/extremes.h"
#include "support/program.h"
#include "support/scratch.h"
#include "tools/dynres_writer.h"

namespace {

using test_support::ScratchDir;
namespace fs = std::filesystem;
using analysis::Tail;

using Result = test_support::CommandRun;

// Runs `pektor <args>` in `dir`; the streams are kept in a directory of
// their own so that `dir` holds only what the program writes there.
Result pektor(const ScratchDir& dir, const std::string& args) {
    static const ScratchDir streams("pektor_extremes_streams_");
    return test_support::run_command(dir.path(), PEKTOR_BIN, args, streams.path());
}

std::vector<std::vector<std::string>> csv(const std::string& text) {
    return test_support::simple_csv(text);
}

double num(const std::string& field) {
    return test_support::number(field);
}

// A stored single-precision value, as the program holds it.
double stored(const std::string& field) {
    return static_cast<double>(std::strtof(field.c_str(), nullptr));
}

// What the analysis functions give for peaks in a window of t_first ..
// t_last, in the order of the per-file columns from n_target on.
std::vector<std::optional<double>> expected_fit(const std::vector<double>& peaks, double t_first,
                                                double t_last, analysis::WeibullMethod method,
                                                Tail tail, double duration = 10800.0) {
    std::vector<std::optional<double>> e(11);
    const auto n = analysis::storm_peak_count(duration, t_first, t_last, peaks.size());
    e[0] = n;
    const auto w = analysis::fit_weibull(peaks, method, tail);
    if (!w.weibull) return e;
    e[1] = w.weibull->loc;
    e[2] = w.weibull->scale;
    e[3] = w.weibull->shape;
    const auto g = analysis::gumbel_of_largest(*w.weibull, *n).gumbel;
    if (!g) return e;
    e[4] = g->loc;
    e[5] = g->scale;
    e[6] = g->loc;
    e[7] = analysis::gumbel_quantile(*g, 0.37);
    e[8] = analysis::gumbel_quantile(*g, 0.57);
    e[9] = analysis::gumbel_quantile(*g, 0.90);
    return e;
}

// The cells n_target .. p_90 of a per-file row against the expected values,
// to the bit (CSV gives every double in full).
void expect_fit(const std::vector<std::string>& row, const std::vector<std::optional<double>>& e,
                const std::string& what) {
    for (std::size_t k = 0; k < 10; ++k) {
        const std::string& cell = row[8 + k];
        if (e[k]) {
            EXPECT_EQ(num(cell), *e[k]) << what << " column " << 8 + k;
        } else {
            EXPECT_EQ(cell, "") << what << " column " << 8 + k;
        }
    }
}

// peaks.dyn: times 0, 0.5, ...; DynRes 1 waves of (-10, P-1, P, -3), each
// -10 -> P-1 an up-crossing of the mean, closed by one more wave (whose
// peak is not counted); DynRes 2 constant; DynRes 3 DynRes 1 with every
// -3 not a number (the crossings and peaks stay).
struct PeakFile {
    std::vector<float> times;
    std::vector<float> x;
    std::vector<double> peaks;
};

PeakFile write_peaks(const ScratchDir& dir, const std::string& name, float sign = 1.0f) {
    PeakFile f;
    std::vector<float> constant;
    std::vector<float> holes;
    const int n = 40;
    for (int k = 0; k <= n; ++k) {
        // Peaks spread from 5 to 20 without order (a golden-ratio sequence).
        const double u = std::fmod(0.3 + 0.6180339887 * k, 1.0);
        const float p = static_cast<float>(5.0 + 15.0 * u * u);
        for (const float v : {-10.0f, p - 1.0f, p, -3.0f}) {
            f.x.push_back(sign * v);
            holes.push_back(v == -3.0f ? std::numeric_limits<float>::quiet_NaN() : sign * v);
            constant.push_back(2.5f);
            f.times.push_back(0.5f * static_cast<float>(f.times.size()));
        }
        if (k < n) f.peaks.push_back(static_cast<double>(sign * p));
    }
    tools::DynResLayout layout;
    layout.labels = {"Waves", "Constant", "Holes"};
    tools::write_dynres_file(dir.path() / name, layout, f.times, {f.x, constant, holes});
    return f;
}

TEST(ExtremesProgram, KnownPeaksGiveTheFitsOfTheAnalysisFunctions) {
    ScratchDir dir;
    const PeakFile f = write_peaks(dir, "peaks.dyn");
    EXPECT_EQ(analysis::peaks(f.x), f.peaks);
    const double t_last = static_cast<double>(f.times.back());
    for (const std::string method : {"pwm", "msm"}) {
        const Result r = pektor(dir, "extremes -f csv --fit " + method + " peaks.dyn");
        ASSERT_EQ(r.code, 0) << r.err;
        const auto rows = csv(r.out);
        ASSERT_EQ(rows.size(), 4u);
        EXPECT_EQ(rows[0], (std::vector<std::string>{
                               "file",    "dynres", "label",    "sign",       "n_peaks",
                               "t_first", "t_last", "duration", "n_target",   "wloc",
                               "wscale",  "wshape", "gloc",     "gscale",     "mpm",
                               "p_37",    "p_57",   "p_90",     "sample_max", "t_sample_max"}));
        const auto m =
            method == "pwm" ? analysis::WeibullMethod::pwm : analysis::WeibullMethod::msm;
        const auto e = expected_fit(f.peaks, 0.0, t_last, m, Tail::max);
        ASSERT_TRUE(e[4]) << method;
        EXPECT_EQ((std::vector<std::string>(rows[1].begin(), rows[1].begin() + 8)),
                  (std::vector<std::string>{"peaks.dyn", "1", "Waves", "max", "40", "0", "81.5",
                                            "10800"}));
        expect_fit(rows[1], e, method);
        EXPECT_EQ(*e[0], std::round(10800.0 / 81.5 * 40.0));
        const auto top = std::max_element(f.x.begin(), f.x.end()) - f.x.begin();
        EXPECT_EQ(stored(rows[1][18]), static_cast<double>(f.x[static_cast<std::size_t>(top)]));
        EXPECT_EQ(stored(rows[1][19]), static_cast<double>(f.times[static_cast<std::size_t>(top)]));
        // Constant: no peak, no fit; the sample columns still given.
        EXPECT_EQ(rows[2][4], "0");
        expect_fit(rows[2], expected_fit({}, 0.0, t_last, m, Tail::max), method + " constant");
        EXPECT_EQ(rows[2][8], "0");
        EXPECT_EQ(rows[2][18], "2.5");
        EXPECT_EQ(rows[2][19], "0");
        // Samples that are not numbers are left out; the peaks stay.
        EXPECT_EQ(rows[3][4], "40");
        expect_fit(rows[3], e, method + " holes");
        EXPECT_EQ(r.err, "pektor extremes: peaks.dyn: DynRes 2: " +
                             std::string(method == "pwm" ? "fewer than 4 peaks for the pwm fit"
                                                         : "fewer than 3 peaks") +
                             "; fit cells left empty\n"
                             "pektor extremes: peaks.dyn: DynRes 3: 41 samples that are not finite "
                             "numbers left out\n");
    }
}

TEST(ExtremesProgram, MinimaAreTheMaximaOfTheNegatedSeries) {
    ScratchDir dir;
    const PeakFile up = write_peaks(dir, "up.dyn");
    const PeakFile down = write_peaks(dir, "down.dyn", -1.0f);
    const auto max_rows = csv(pektor(dir, "extremes -f csv -c 1 up.dyn").out);
    const Result r = pektor(dir, "extremes -f csv -c 1 --sign min down.dyn");
    ASSERT_EQ(r.code, 0) << r.err;
    const auto min_rows = csv(r.out);
    ASSERT_EQ(max_rows.size(), 2u);
    ASSERT_EQ(min_rows.size(), 2u);
    EXPECT_EQ(min_rows[1][3], "min");
    EXPECT_EQ(min_rows[1][4], "40");
    // Locations and quantiles change sign, scales and shapes do not.
    for (std::size_t c = 8; c < 20; ++c) {
        const bool negated = c == 9 || c == 12 || (c >= 14 && c <= 18);
        EXPECT_EQ(num(min_rows[1][c]), (negated ? -1.0 : 1.0) * num(max_rows[1][c])) << c;
    }
    const auto e = expected_fit(down.peaks, 0.0, static_cast<double>(down.times.back()),
                                analysis::WeibullMethod::pwm, Tail::min);
    expect_fit(min_rows[1], e, "min");
    EXPECT_EQ(analysis::peaks(down.x, Tail::min), down.peaks);
}

TEST(ExtremesProgram, DyngenWindowAgreesWithTheExport) {
    ScratchDir dir;
    ASSERT_EQ(test_support::run_in(dir.path(),
                                   "'" DYNGEN_BIN "' --dynres 4 --steps 6000 -o g.dyn > /dev/null"),
              0);
    const std::string window = "-w 20.5:280 ";
    const Result ex = pektor(dir, "export -f csv -c 4 " + window + "g.dyn");
    ASSERT_EQ(ex.code, 0) << ex.err;
    const auto series = csv(ex.out);
    std::vector<float> x;
    for (std::size_t i = 1; i < series.size(); ++i)
        x.push_back(std::strtof(series[i][1].c_str(), nullptr));
    const double t_first = stored(series[1][0]);
    const double t_last = stored(series.back()[0]);
    for (const std::string sign : {"max", "min"}) {
        const Tail tail = sign == "max" ? Tail::max : Tail::min;
        const std::vector<double> p = analysis::peaks(x, tail);
        const Result r = pektor(
            dir, "extremes -f csv -c 4 --duration 3600 --sign " + sign + " " + window + "g.dyn");
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const auto rows = csv(r.out);
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(num(rows[1][4]), static_cast<double>(p.size()));
        EXPECT_GT(p.size(), 20u);
        EXPECT_EQ(stored(rows[1][5]), t_first);
        EXPECT_EQ(stored(rows[1][6]), t_last);
        EXPECT_EQ(rows[1][7], "3600");
        const auto e = expected_fit(p, t_first, t_last, analysis::WeibullMethod::pwm, tail, 3600.0);
        ASSERT_TRUE(e[4]) << sign;
        expect_fit(rows[1], e, sign);
        const float extreme = sign == "max" ? *std::max_element(x.begin(), x.end())
                                            : *std::min_element(x.begin(), x.end());
        EXPECT_EQ(stored(rows[1][18]), static_cast<double>(extreme));
    }
}

TEST(ExtremesProgram, GroupsAcrossSeeds) {
    ScratchDir dir;
    // Three seeds of one case, two of another, and a file of its own.
    const std::vector<std::pair<std::string, int>> files{
        {"dlc12_seed1.dyn", 1},  {"dlc13_seed1.dyn", 4}, {"dlc12_seed2.dyn", 2},
        {"dlc12_seed13.dyn", 3}, {"dlc13_seed2.dyn", 5}, {"single.dyn", 6}};
    std::string names;
    for (const auto& [name, seed] : files) {
        ASSERT_EQ(test_support::run_in(dir.path(),
                                       "'" DYNGEN_BIN "' --dynres 3 --steps 2000 --seed " +
                                           std::to_string(seed) + " -o " + name + " > /dev/null"),
                  0);
        names += " " + name;
    }
    for (const std::string sign : {"max", "min"}) {
        const Tail tail = sign == "max" ? Tail::max : Tail::min;
        // The sample extremes of each file, from the per-file rows.
        const auto single = csv(pektor(dir, "extremes -f csv -q --sign " + sign + names).out);
        ASSERT_EQ(single.size(), 1u + 3u * files.size());
        const auto extreme = [&](std::size_t file, int dynres) {
            return stored(single[1 + 3 * file + static_cast<std::size_t>(dynres - 1)][18]);
        };
        for (const std::string fit : {"moments", "mle"}) {
            const Result r = pektor(dir, "extremes -f csv --group 'seed[0-9]+' --sign " + sign +
                                             " --fit " + fit + names);
            ASSERT_EQ(r.code, 0) << r.err;
            const auto rows = csv(r.out);
            ASSERT_EQ(rows.size(), 10u) << r.out;
            EXPECT_EQ(rows[0], (std::vector<std::string>{
                                   "group", "dynres", "label", "sign", "n_files", "mean", "std",
                                   "gloc", "gscale", "mpm", "p_57", "p_90", "max", "file_max"}));
            EXPECT_EQ(r.err,
                      "pektor extremes: single.dyn: --group 'seed[0-9]+' does not match the "
                      "name; the file is a group of its own\n"
                      "pektor extremes: single.dyn: a group of one file; fit cells left empty\n");
            struct Group {
                std::string name;
                std::vector<std::size_t> members;
            };
            const std::vector<Group> groups{
                {"dlc12_.dyn", {0, 2, 3}}, {"dlc13_.dyn", {1, 4}}, {"single.dyn", {5}}};
            for (std::size_t g = 0; g < groups.size(); ++g) {
                for (int k = 1; k <= 3; ++k) {
                    const auto& row = rows[1 + 3 * g + static_cast<std::size_t>(k - 1)];
                    const std::string what = sign + " " + fit + " " + groups[g].name;
                    EXPECT_EQ(row[0], groups[g].name);
                    EXPECT_EQ(row[1], std::to_string(k));
                    EXPECT_EQ(row[3], sign);
                    EXPECT_EQ(num(row[4]), static_cast<double>(groups[g].members.size()));
                    std::vector<double> v;
                    for (const std::size_t m : groups[g].members) v.push_back(extreme(m, k));
                    const auto e =
                        analysis::fit_extremes(v,
                                               fit == "mle" ? analysis::GumbelMethod::mle
                                                            : analysis::GumbelMethod::moments,
                                               tail);
                    EXPECT_EQ(num(row[5]), *e.mean) << what;
                    const auto best = tail == Tail::max ? std::max_element(v.begin(), v.end())
                                                        : std::min_element(v.begin(), v.end());
                    EXPECT_EQ(stored(row[12]), *best) << what;
                    EXPECT_EQ(
                        row[13],
                        files[groups[g].members[static_cast<std::size_t>(best - v.begin())]].first)
                        << what;
                    if (!e.fit.gumbel) {
                        EXPECT_EQ(groups[g].members.size(), 1u) << what;
                        for (std::size_t c = 6; c < 12; ++c) EXPECT_EQ(row[c], "") << what << c;
                        continue;
                    }
                    EXPECT_EQ(num(row[6]), *e.std) << what;
                    EXPECT_EQ(num(row[7]), e.fit.gumbel->loc) << what;
                    EXPECT_EQ(num(row[8]), e.fit.gumbel->scale) << what;
                    EXPECT_EQ(num(row[9]), e.fit.gumbel->loc) << what;
                    EXPECT_EQ(num(row[10]), *analysis::gumbel_quantile(*e.fit.gumbel, 0.57));
                    EXPECT_EQ(num(row[11]), *analysis::gumbel_quantile(*e.fit.gumbel, 0.90));
                }
            }
        }
    }
    // A regex that matches no name: every file its own group, each warned.
    const Result none = pektor(dir, "extremes -f csv -c 1 --group 'run[0-9]+'" + names);
    EXPECT_EQ(none.code, 0) << none.err;
    const auto rows = csv(none.out);
    ASSERT_EQ(rows.size(), 1u + files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(rows[1 + i][0], files[i].first);
        EXPECT_EQ(rows[1 + i][4], "1");
        EXPECT_EQ(rows[1 + i][7], "");
        EXPECT_NE(none.err.find(files[i].first + ": --group 'run[0-9]+' does not match"),
                  std::string::npos);
    }
    // Chosen quantiles, and the table and JSON forms.
    const auto q =
        csv(pektor(dir, "extremes -f csv -c 1 --group seed1 --quantiles 0.37,0.999" + names).out);
    ASSERT_FALSE(q.empty());
    EXPECT_EQ(q[0][10], "p_37");
    EXPECT_EQ(q[0][11], "p_99.9");
    EXPECT_EQ(pektor(dir, "extremes -f json -c 1 --group seed" + names).code, 0);
}

TEST(ExtremesProgram, TenSeedsGiveTheHandWorkedGumbel) {
    // Ten maxima with mean 1000 and standard deviation 50 (divisor n - 1):
    // 1000 +- 50 sqrt(0.9), five each. By hand: gscale = 50 sqrt(6) / pi =
    // 38.985, mpm = 1000 - 0.5772156649 gscale = 977.50, p_90 = 1065.23.
    ScratchDir dir;
    std::string names;
    for (int k = 1; k <= 10; ++k) {
        const double top = 1000.0 + (k % 2 == 0 ? 1.0 : -1.0) * 50.0 * std::sqrt(0.9);
        tools::DynResLayout layout;
        layout.labels = {"Load"};
        const std::string name = "case_seed" + std::to_string(k) + ".dyn";
        tools::write_dynres_file(dir.path() / name, layout, std::vector<float>{0, 1, 2},
                                 {{0.0f, static_cast<float>(top), 500.0f}});
        names += " " + name;
    }
    struct Case {
        std::string column;
        double value;
        double tolerance;
    };
    const std::vector<Case> cases{{"n_files", 10, 0},     {"mean", 1000.0, 1e-4},
                                  {"std", 50.0, 1e-4},    {"gscale", 38.985, 5e-4},
                                  {"gloc", 977.50, 5e-3}, {"mpm", 977.50, 5e-3},
                                  {"p_90", 1065.23, 5e-3}};
    const Result r = pektor(dir, "extremes -f csv --group 'seed[0-9]+'" + names);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto rows = csv(r.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][0], "case_.dyn");
    for (const Case& c : cases) {
        const auto at = std::find(rows[0].begin(), rows[0].end(), c.column);
        ASSERT_NE(at, rows[0].end()) << c.column;
        EXPECT_NEAR(num(rows[1][static_cast<std::size_t>(at - rows[0].begin())]), c.value,
                    c.tolerance)
            << c.column;
    }
}

TEST(ExtremesProgram, RefusalsAreUsageErrors) {
    ScratchDir dir;
    write_peaks(dir, "peaks.dyn");
    const std::vector<std::pair<std::string, std::string>> cases{
        {"--group '('", "--group '(' is not a regular expression"},
        {"--quantiles 0", "quantile '0' is not a number between 0 and 1"},
        {"--quantiles 0.5,1", "quantile '1' is not a number between 0 and 1"},
        {"--quantiles x", "quantile 'x' is not a number between 0 and 1"},
        {"--quantiles 0.5,0.50", "quantile '0.50' is given twice (p_50)"},
        {"--quantiles 0.5,", "empty item in the quantile list '0.5,'"},
        {"--duration 0", "--duration '0' is not a number of seconds above 0"},
        {"--duration -5", "--duration '-5' is not a number of seconds above 0"},
        {"--duration inf", "--duration 'inf' is not a number of seconds above 0"},
        {"--duration 3h", "--duration '3h' is not a number of seconds above 0"},
        {"--sign abs", "sign 'abs' is not max or min"},
        {"--fit mle", "--fit mle fits the maxima of a group: give --group too"},
        {"--fit pwm --group seed",
         "--fit pwm fits the peaks of one file; with --group give "
         "moments or mle"},
        {"--fit lsq", "--fit 'lsq' is not pwm or msm"},
        {"--group seed --shard 1/2",
         "--group fits across the files: give them all to one run, not --shard"},
    };
    for (const auto& [args, message] : cases) {
        const Result r = pektor(dir, "extremes " + args + " peaks.dyn");
        EXPECT_EQ(r.code, 1) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(r.err.rfind("pektor extremes: " + message, 0), 0u) << args << ": " << r.err;
    }
    // An empty window is a file that gives nothing.
    const Result empty = pektor(dir, "extremes -w 500:600 peaks.dyn");
    EXPECT_EQ(empty.code, 1);
    EXPECT_EQ(empty.err,
              "pektor extremes: peaks.dyn: no sample in the window 500:600\n"
              "pektor extremes: no file could be read\n");
}

}  // namespace
