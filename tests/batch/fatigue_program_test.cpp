// The fatigue command run by the pektor program on files written by the
// writer library and by dyngen. Expected counts and loads are worked out
// here from the written series.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "support/json_lite.h"
#include "support/program.h"
#include "support/scratch.h"
#include "tools/dynres_writer.h"
#include "tools/sample.h"

namespace {

using test_support::ScratchDir;
namespace fs = std::filesystem;

using Result = test_support::CommandRun;

// Runs `pektor fatigue args` in `dir`; the streams are kept in a directory
// of their own so that `dir` holds only what the program writes there.
Result fatigue(const ScratchDir& dir, const std::string& args) {
    static const ScratchDir streams("pektor_fatigue_streams_");
    return test_support::run_command(dir.path(), PEKTOR_BIN, "fatigue " + args, streams.path());
}

// The text without the carriage returns of CSV's line ends.
std::string unix_lines(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

std::vector<std::vector<std::string>> csv(const std::string& text) {
    return test_support::simple_csv(text);
}

double num(const std::string& field) {
    return test_support::number(field);
}

void expect_rel(const std::string& field, double expected, double tol = 1e-13) {
    EXPECT_NEAR(num(field) / expected, 1.0, tol) << field << " against " << expected;
}

// The turning points of a series: the first sample, each turn (a plateau
// once) and the last sample when the series moved.
std::size_t turning_points(const std::vector<float>& x) {
    if (x.empty()) return 0;
    std::size_t points = 1;
    int dir_now = 0;
    float prev = x[0];
    for (const float v : x) {
        if (v == prev) continue;
        const int d = v > prev ? 1 : -1;
        if (d != dir_now && dir_now != 0) ++points;
        dir_now = d;
        prev = v;
    }
    return dir_now != 0 ? points + 1 : points;
}

const std::vector<float> kAstm{-2, 1, -3, 5, -1, 3, -4, 4, -2};
const std::vector<float> kConverging{0, 10, -9, 8, -7, 6, 6, 6, 6};

// astm.dyn: times 0 .. 8 s; DynRes 1 the standard's example, 2 constant, 3 a
// converging series ending on a plateau.
void write_astm(const ScratchDir& dir, const std::string& name = "astm.dyn") {
    tools::DynResLayout layout;
    layout.labels = {"Astm", "Constant", "Converging"};
    const std::vector<float> times{0, 1, 2, 3, 4, 5, 6, 7, 8};
    tools::write_dynres_file(dir.path() / name, layout, times,
                             {kAstm, std::vector<float>(9, 5.0f), kConverging});
}

// The half-cycle damage sums of the standard's example and of the
// converging series (ranges and counts by hand, see the kernel's tests).
double astm_sum(double m, bool full = false) {
    return 0.5 * std::pow(3, m) + 1.5 * std::pow(4, m) + (full ? 1.0 : 0.5) * std::pow(6, m) +
           (full ? 1.5 : 1.0) * std::pow(8, m) + (full ? 1.0 : 0.5) * std::pow(9, m);
}
double converging_sum(double m, bool full = false) {
    const double c = full ? 1.0 : 0.5;
    return 0.5 * std::pow(10, m) +
           c * (std::pow(19, m) + std::pow(17, m) + std::pow(15, m) + std::pow(13, m));
}

TEST(FatigueProgram, StandardExampleCountsAndLoads) {
    ScratchDir dir;
    write_astm(dir);
    const Result r = fatigue(dir, "-f csv -m 3,4,3.5 --neq 10 astm.dyn");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto rows = csv(r.out);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0],
              (std::vector<std::string>{"file", "dynres", "label", "t_first", "t_last", "n",
                                        "cycles", "neq", "del_m3", "del_m4", "del_m3.5"}));
    EXPECT_EQ((std::vector<std::string>(rows[1].begin(), rows[1].begin() + 8)),
              (std::vector<std::string>{"astm.dyn", "1", "Astm", "0", "8", "9", "4", "10"}));
    expect_rel(rows[1][8], std::cbrt(1094.0 / 10.0));
    expect_rel(rows[1][9], std::pow(8449.0 / 10.0, 0.25));
    expect_rel(rows[1][10], std::pow(astm_sum(3.5) / 10.0, 1.0 / 3.5));
    // A constant series: no cycle, no damage.
    EXPECT_EQ(rows[2], (std::vector<std::string>{"astm.dyn", "2", "Constant", "0", "8", "9", "0",
                                                 "10", "0", "0", "0"}));
    EXPECT_EQ(rows[3][6], "2.5");
    expect_rel(rows[3][8], std::cbrt(converging_sum(3) / 10.0));

    // The default column set, and N_eq from the 8 s of the series times --feq.
    const auto d = csv(fatigue(dir, "-f csv -c 1 astm.dyn").out);
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].back(), "del_m12");
    EXPECT_EQ(d[0].size(), 14u);
    EXPECT_EQ(d[1][7], "8");
    expect_rel(d[1][8], std::cbrt(1094.0 / 8.0));
    expect_rel(d[1][13], std::pow(astm_sum(12) / 8.0, 1.0 / 12.0));
    const auto f = csv(fatigue(dir, "-f csv -c Astm -m 3 --feq 2.5 astm.dyn").out);
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[1][7], "20");
    expect_rel(f[1][8], std::cbrt(1094.0 / 20.0));
}

TEST(FatigueProgram, ResidualsHalfOrFull) {
    ScratchDir dir;
    write_astm(dir);
    const auto half = csv(fatigue(dir, "-f csv -c 1,3 -m 2,3 --residuals half astm.dyn").out);
    const auto full = csv(fatigue(dir, "-f csv -c 1,3 -m 2,3 --residuals full astm.dyn").out);
    ASSERT_EQ(half.size(), 3u);
    ASSERT_EQ(full.size(), 3u);
    EXPECT_EQ(half[1][6], "4");
    EXPECT_EQ(full[1][6], "5.5");
    EXPECT_EQ(half[2][6], "2.5");
    EXPECT_EQ(full[2][6], "4.5");
    for (const double m : {2.0, 3.0}) {
        const std::size_t c = m == 2.0 ? 8 : 9;
        expect_rel(half[1][c], std::pow(astm_sum(m) / 8.0, 1.0 / m));
        expect_rel(full[1][c], std::pow(astm_sum(m, true) / 8.0, 1.0 / m));
        expect_rel(half[2][c], std::pow(converging_sum(m) / 8.0, 1.0 / m));
        expect_rel(full[2][c], std::pow(converging_sum(m, true) / 8.0, 1.0 / m));
    }
}

TEST(FatigueProgram, WindowsDownToOneSample) {
    ScratchDir dir;
    write_astm(dir);
    struct Case {
        std::string window;
        std::string head;  // t_first, t_last, n, cycles, neq
        double del_m3;     // by hand
    };
    const std::vector<Case> cases{
        // -3, 5, -1, 3, -4: 4 full, 8 half (starting point), 9 half; 4 s.
        {"2:6", "2,6,5,2,4", std::cbrt((64.0 + 0.5 * 512 + 0.5 * 729) / 4.0)},
        {"1.5:6.5", "2,6,5,2,4", std::cbrt((64.0 + 0.5 * 512 + 0.5 * 729) / 4.0)},
        // 5, -1: one half cycle of 6 in 1 s.
        {"3:4", "3,4,2,0.5,1", std::cbrt(0.5 * 216.0)},
        // One sample: no cycle, no duration, no damage.
        {"3:3", "3,3,1,0,0", 0.0},
        {"7.5:", "8,8,1,0,0", 0.0},
    };
    for (const Case& c : cases) {
        const Result r = fatigue(dir, "-f csv -c 1 -m 3 -w " + c.window + " astm.dyn");
        ASSERT_EQ(r.code, 0) << c.window << ": " << r.err;
        EXPECT_EQ(r.err, "") << c.window;
        const auto rows = csv(r.out);
        ASSERT_EQ(rows.size(), 2u) << c.window;
        const auto& row = rows[1];
        EXPECT_EQ(row[3] + "," + row[4] + "," + row[5] + "," + row[6] + "," + row[7], c.head)
            << c.window;
        if (c.del_m3 == 0.0) {
            EXPECT_EQ(row[8], "0") << c.window;
        } else {
            expect_rel(row[8], c.del_m3);
        }
    }
    // No sample in the window: the file gives no row, and with no file read
    // nothing is written.
    const Result none = fatigue(dir, "-f csv -w 20:30 astm.dyn");
    EXPECT_EQ(none.code, 1);
    EXPECT_EQ(none.err.rfind("pektor fatigue: astm.dyn: ", 0), 0u) << none.err;
    EXPECT_EQ(none.out, "");
}

TEST(FatigueProgram, CycleTableInCsvJsonAndTable) {
    ScratchDir dir;
    write_astm(dir);
    const Result r = fatigue(dir, "--cycles --bins 3 -c 1,2 -f csv astm.dyn");
    ASSERT_EQ(r.code, 0) << r.err;
    // Edges 0, 3, 6, 9. 3 (0.5, mean -0.5), 4 (0.5, mean -1), 4 (1, mean 1);
    // 8 (0.5, mean 1), 9 (0.5, mean 0.5), 8 (0.5, mean 0), 6 (0.5, mean 1).
    // The constant series: three empty bins from 0 to 0.
    EXPECT_EQ(r.out.find("\r\n"), r.out.find('\n') - 1);
    EXPECT_EQ(unix_lines(r.out),
              "file,dynres,label,range_lo,range_hi,mean,count\n"
              "astm.dyn,1,Astm,0,3,,0\n"
              "astm.dyn,1,Astm,3,6,0.125,2\n"
              "astm.dyn,1,Astm,6,9,0.625,2\n"
              "astm.dyn,2,Constant,0,0,,0\n"
              "astm.dyn,2,Constant,0,0,,0\n"
              "astm.dyn,2,Constant,0,0,,0\n");
    const Result j = fatigue(dir, "--cycles --bins 2 -c 1 -f json astm.dyn");
    ASSERT_EQ(j.code, 0) << j.err;
    std::istringstream in(j.out);
    std::string line;
    std::vector<nlohmann::json> rows;
    while (std::getline(in, line)) rows.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(rows.size(), 2u);
    // [0, 4.5): 3, 4, 4; [4.5, 9]: 6, 8, 8, 9.
    EXPECT_EQ(rows[0]["range_hi"], 4.5);
    EXPECT_EQ(rows[0]["count"], 2.0);
    EXPECT_EQ(rows[0]["mean"], (0.5 * -0.5 + 0.5 * -1.0 + 1.0) / 2.0);
    EXPECT_EQ(rows[1]["count"], 2.0);
    EXPECT_EQ(rows[1]["label"], "Astm");
    const Result e = fatigue(dir, "--cycles --bins 2 -c 2 -f json astm.dyn");
    ASSERT_EQ(e.code, 0) << e.err;
    const auto empty = nlohmann::json::parse(e.out.substr(0, e.out.find('\n')));
    EXPECT_TRUE(empty["mean"].is_null());
    EXPECT_EQ(empty["count"], 0.0);
    const Result t = fatigue(dir, "--cycles -c 1 astm.dyn");
    ASSERT_EQ(t.code, 0) << t.err;
    EXPECT_EQ(std::count(t.out.begin(), t.out.end(), '\n'), 11);  // header and 10 bins
}

TEST(FatigueProgram, SineOfKnownAmplitudeAndFrequency) {
    // 0.5 Hz, 40 samples a period, 12 periods from valley to valley (24 s),
    // around a mean of 40. --feq 0.5 makes N_eq the number of periods, so
    // every DEL is the range of the sine.
    ScratchDir dir;
    const double amplitude = 250.0;
    std::vector<float> times;
    std::vector<float> x;
    for (int i = 0; i <= 12 * 40; ++i) {
        times.push_back(static_cast<float>(0.05 * i));
        x.push_back(static_cast<float>(
            40.0 + amplitude * std::sin(2.0 * std::numbers::pi * (i + 30) / 40.0)));
    }
    tools::DynResLayout layout;
    layout.labels = {"Sine"};
    tools::write_dynres_file(dir.path() / "sine.dyn", layout, times, {x});
    const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
    const double range = static_cast<double>(*hi) - static_cast<double>(*lo);

    const Result r = fatigue(dir, "-f csv --feq 0.5 sine.dyn");
    ASSERT_EQ(r.code, 0) << r.err;
    const auto rows = csv(r.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][4], "24");
    EXPECT_EQ(rows[1][6], "12");
    EXPECT_EQ(rows[1][7], "12");
    for (std::size_t c = 8; c < rows[1].size(); ++c) expect_rel(rows[1][c], range, 1e-6);
    // At 1 Hz the 24 s hold 24 equivalent cycles: each load falls by 2^(1/m).
    const auto one = csv(fatigue(dir, "-f csv -m 4 sine.dyn").out);
    EXPECT_EQ(one[1][7], "24");
    expect_rel(one[1][8], range / std::pow(2.0, 0.25), 1e-6);
}

TEST(FatigueProgram, ManyFilesDamagedFileJobsAndShards) {
    ScratchDir dir;
    write_astm(dir, "a.dyn");
    write_astm(dir, "b.dyn");
    dir.copy_fixture("truncated.dyn");
    const auto before = [&] {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const auto files = before();
    const Result r1 = fatigue(dir, "-f csv -j 1 -c 1 a.dyn truncated.dyn b.dyn");
    const Result r2 = fatigue(dir, "-f csv -j 2 -c 1 a.dyn truncated.dyn b.dyn");
    EXPECT_EQ(r1.code, 2);
    EXPECT_EQ(r1.out, r2.out);
    EXPECT_EQ(r1.err, r2.err);
    const auto rows = csv(r1.out);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1][0], "a.dyn");
    EXPECT_EQ(rows[2][0], "b.dyn");
    EXPECT_EQ(r1.err.rfind("pektor fatigue: truncated.dyn: ", 0), 0u) << r1.err;
    EXPECT_EQ(std::count(r1.err.begin(), r1.err.end(), '\n'), 1);
    const auto shard = csv(fatigue(dir, "-f csv -c 1 --shard 2/2 a.dyn b.dyn").out);
    ASSERT_EQ(shard.size(), 2u);
    EXPECT_EQ(shard[1][0], "b.dyn");
    // An output file beside the inputs, and nothing else written there.
    EXPECT_EQ(fatigue(dir, "-f csv -c 1 -o del.csv a.dyn").code, 0);
    EXPECT_EQ(csv(dir.read("del.csv")).size(), 2u);
    fs::remove(dir.path() / "del.csv");
    EXPECT_EQ(before(), files);
    EXPECT_EQ(fatigue(dir, "-o a.dyn b.dyn").code, 1);
    EXPECT_EQ(fs::file_size(dir.path() / "a.dyn"), fs::file_size(dir.path() / "b.dyn"));
}

TEST(FatigueProgram, UsageErrors) {
    ScratchDir dir;
    write_astm(dir);
    const std::vector<std::string> bad{
        "-m 0",
        "-m -3",
        "-m 3,,4",
        "-m 3,3.0",
        "-m x",
        "-m 1001",
        "-m nan",
        "--neq 0",
        "--neq -5",
        "--neq 1e400",
        "--feq 0",
        "--neq 10 --feq 2",
        "--residuals no",
        "--bins 5",
        "--cycles --bins 0",
        "--cycles --bins 2.5",
        "--cycles -m 3",
        "--cycles --neq 3",
    };
    for (const std::string& args : bad) {
        const Result r = fatigue(dir, args + " astm.dyn");
        EXPECT_EQ(r.code, 1) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(r.err.rfind("pektor fatigue: ", 0), 0u) << args << ": " << r.err;
    }
    const Result help = fatigue(dir, "--help");
    EXPECT_EQ(help.code, 0);
    for (const char* word : {"--wohler", "--neq", "--feq", "--residuals", "--cycles", "--bins",
                             "Example", "pektor fatigue"}) {
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    }
    // The program's own help names the command.
    ASSERT_EQ(test_support::run_in(dir.path(), "'" PEKTOR_BIN "' --help > help.txt"), 0);
    EXPECT_NE(dir.read("help.txt").find("fatigue"), std::string::npos);
}

TEST(FatigueProgram, DyngenSeriesCountHalfTheirRanges) {
    // Every range between neighbouring turning points is counted once as a
    // half cycle, so the total is (turning points - 1) / 2; the largest
    // range is max - min. Both worked out here from dyngen's signals.
    ScratchDir dir;
    const int dynres = 12;
    const int steps = 3000;
    ASSERT_EQ(test_support::run_in(dir.path(), "'" DYNGEN_BIN "' --dynres 12 --steps 3000 --seed 5 "
                                               "-o g.dyn > /dev/null"),
              0);
    const tools::SampleSignals s(dynres, steps, 0.05, 5);
    std::vector<std::vector<float>> series(dynres);
    std::vector<float> row(dynres);
    for (int i = 0; i < steps; ++i) {
        s.values(i, row);
        for (int k = 0; k < dynres; ++k) series[k].push_back(row[k]);
    }
    const auto rows = csv(fatigue(dir, "-f csv -m 1 g.dyn").out);
    const auto bins = csv(fatigue(dir, "-f csv --cycles --bins 1 g.dyn").out);
    ASSERT_EQ(rows.size(), dynres + 1u);
    ASSERT_EQ(bins.size(), dynres + 1u);
    for (int k = 0; k < dynres; ++k) {
        const auto& x = series[k];
        const std::size_t points = turning_points(x);
        EXPECT_EQ(num(rows[k + 1][6]), 0.5 * static_cast<double>(points - 1)) << k + 1;
        EXPECT_EQ(num(bins[k + 1][6]), 0.5 * static_cast<double>(points - 1)) << k + 1;
        const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
        EXPECT_EQ(num(bins[k + 1][4]), static_cast<double>(*hi) - static_cast<double>(*lo))
            << k + 1;
    }
}

TEST(FatigueProgram, FixturesOfEveryLayoutCountTheirSeries) {
    // Little- and big-endian, packed records, version 0: the count of each
    // DynRes is (turning points - 1) / 2 of the series the sidecar lists.
    for (const std::string name : {"le_basic.dyn", "be_basic.dyn", "packed.dyn", "v0_small.dyn"}) {
        ScratchDir dir;
        dir.copy_fixture(name);
        const auto side = test_support::json::sidecar(name);
        const Result r = fatigue(dir, "-f csv -m 2 " + name);
        ASSERT_EQ(r.code, 0) << name << ": " << r.err;
        const auto rows = csv(r.out);
        ASSERT_EQ(rows.size(), side["values"].size() + 1) << name;
        for (std::size_t k = 0; k < side["values"].size(); ++k) {
            std::vector<float> x;
            for (const auto& v : side["values"][k].items) x.push_back(static_cast<float>(v.number));
            const std::size_t p = turning_points(x);
            EXPECT_EQ(rows[k + 1][5], std::to_string(x.size())) << name << " DynRes " << k + 1;
            EXPECT_EQ(num(rows[k + 1][6]), p > 0 ? 0.5 * static_cast<double>(p - 1) : 0.0)
                << name << " DynRes " << k + 1;
        }
    }
}

}  // namespace
