// The psd command and the --filter option run by the pektor program on files
// written by the writer library and by dyngen. Expected numbers come from
// the analysis library's Welch estimate and filter, and from the sines
// written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/butterworth.h"
#include "analysis/stats.h"
#include "analysis/welch.h"
#include "support/program.h"
#include "support/scratch.h"
#include "tools/dynres_writer.h"

namespace {

using test_support::ScratchDir;
namespace fs = std::filesystem;

using Result = test_support::CommandRun;

// Runs `pektor args` in `dir`, the streams kept apart from `dir`.
Result pektor(const ScratchDir& dir, const std::string& args) {
    static const ScratchDir streams("pektor_psd_streams_");
    return test_support::run_command(dir.path(), PEKTOR_BIN, args, streams.path());
}

std::vector<std::vector<std::string>> csv(const std::string& text) {
    return test_support::simple_csv(text);
}

double num(const std::string& field) {
    return test_support::number(field);
}

constexpr double kFs = 20.0;           // Hz
constexpr std::size_t kSteps = 4096;   // samples
constexpr double kBin = kFs / 1024.0;  // df at nperseg 1024
constexpr double kA = 3.0;             // amplitude of the sine of DynRes 1
constexpr double kLow = 0.2;           // Hz, DynRes 2: a slow and a fast sine
constexpr double kHigh = 2.0;

float time_of(std::size_t i) {
    return static_cast<float>(static_cast<double>(i) / kFs);
}

// sines.dyn: DynRes 1 a sine of amplitude kA on the bin 100 of nperseg 1024;
// 2 the sum of unit sines at kLow and kHigh; 3 their slow part alone.
struct Sines {
    std::vector<float> times;
    std::vector<std::vector<float>> values;
};

Sines write_sines(const ScratchDir& dir, const std::string& name = "sines.dyn") {
    Sines s;
    s.values.resize(3);
    const double two_pi = 2.0 * std::numbers::pi;
    for (std::size_t i = 0; i < kSteps; ++i) {
        const double t = static_cast<double>(i) / kFs;
        s.times.push_back(time_of(i));
        s.values[0].push_back(static_cast<float>(kA * std::sin(two_pi * 100.0 * kBin * t)));
        s.values[1].push_back(
            static_cast<float>(std::sin(two_pi * kLow * t) + std::sin(two_pi * kHigh * t)));
        s.values[2].push_back(static_cast<float>(std::sin(two_pi * kLow * t)));
    }
    tools::DynResLayout layout;
    layout.labels = {"Sine", "Two sines", "Slow sine"};
    tools::write_dynres_file(dir.path() / name, layout, s.times, s.values);
    return s;
}

std::vector<double> doubles(const std::vector<float>& v) {
    return {v.begin(), v.end()};
}

// The series of `export -f csv` (column c, 1-based after the time).
std::vector<float> exported(const std::string& out, std::size_t c) {
    std::vector<float> v;
    const auto rows = csv(out);
    for (std::size_t r = 1; r < rows.size(); ++r)
        v.push_back(std::strtof(rows[r][c].c_str(), nullptr));
    return v;
}

TEST(PsdProgram, SineSummaryAgainstTheAnalysisAndTheory) {
    ScratchDir dir;
    const Sines s = write_sines(dir);
    const Result r = pektor(dir, "psd -f csv --nperseg 1024 sines.dyn");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto rows = csv(r.out);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"file", "dynres", "label", "n", "nperseg",
                                                 "segments", "df", "m0", "m1", "m2", "m4",
                                                 "tz_spec", "t01", "tp", "fp", "bandwidth"}));
    // 4096 samples, segments of 1024 every 512: 7 segments use them all.
    EXPECT_EQ((std::vector<std::string>(rows[1].begin(), rows[1].begin() + 6)),
              (std::vector<std::string>{"sines.dyn", "1", "Sine", "4096", "1024", "7"}));
    EXPECT_NEAR(num(rows[1][14]), 100.0 * kBin, 1e-12);         // fp at the sine's bin
    EXPECT_NEAR(num(rows[1][7]) / (kA * kA / 2.0), 1.0, 0.01);  // m0 = A^2/2
    for (std::size_t k = 0; k < 3; ++k) {
        const analysis::WelchResult w =
            analysis::welch(doubles(s.values[k]), kFs, analysis::WelchOptions{1024, 0.5});
        const analysis::SpectralMoments m = analysis::spectral_moments(w.freqs, w.psd);
        const auto& row = rows[k + 1];
        EXPECT_NEAR(num(row[6]), w.df, 1e-15);
        const double expected[] = {m.m0,   m.m1,  m.m2, m.m4,        *m.tz_spec,
                                   *m.t01, *m.tp, m.fp, *m.bandwidth};
        for (std::size_t c = 0; c < std::size(expected); ++c)
            EXPECT_NEAR(num(row[7 + c]), expected[c], 1e-9 * std::fabs(expected[c])) << k << c;
    }
}

TEST(PsdProgram, CurveOfADyngenFileEqualsTheAnalysis) {
    ScratchDir dir;
    ASSERT_EQ(test_support::run_in(dir.path(),
                                   "'" DYNGEN_BIN "' --dynres 3 --steps 2000 -o g.dyn > /dev/null"),
              0);
    const Result series = pektor(dir, "export -f csv -c 2 g.dyn");
    ASSERT_EQ(series.code, 0) << series.err;
    const std::vector<float> x = exported(series.out, 1);
    ASSERT_EQ(x.size(), 2000u);
    const Result r = pektor(dir, "psd -f csv --curve -c 2 --nperseg 300 --overlap 0.25 g.dyn");
    ASSERT_EQ(r.code, 0) << r.err;
    const auto rows = csv(r.out);
    ASSERT_EQ(rows[0], (std::vector<std::string>{"file", "dynres", "label", "f", "psd"}));
    const auto t = exported(pektor(dir, "export -f csv -c 1 g.dyn").out, 0);
    const double fs = analysis::measure_time_step(doubles(t)).sampling_frequency;
    const analysis::WelchResult w =
        analysis::welch(doubles(x), fs, analysis::WelchOptions{300, 0.25});
    ASSERT_EQ(rows.size(), w.freqs.size() + 1);
    const double top = *std::max_element(w.psd.begin(), w.psd.end());
    for (std::size_t i = 0; i < w.freqs.size(); ++i) {
        EXPECT_NEAR(num(rows[i + 1][3]), w.freqs[i], 1e-12);
        EXPECT_NEAR(num(rows[i + 1][4]), w.psd[i], 1e-9 * top);
    }
    // The default segment: a quarter of the window's samples.
    const auto d = csv(pektor(dir, "psd -f csv -c 2 -w 10:59.95 g.dyn").out);
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[1][3], "1000");  // 1000 samples, segments of 250
    EXPECT_EQ(d[1][4], "250");
    EXPECT_EQ(d[1][5], "7");
}

TEST(PsdProgram, LowPassOfTwoSinesKeepsTheSlowOne) {
    ScratchDir dir;
    const Sines s = write_sines(dir);
    const Result r = pektor(dir, "export -f csv -c 2 --filter low:0.6 sines.dyn");
    ASSERT_EQ(r.code, 0) << r.err;
    const auto rows = csv(r.out);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"time", "Two sines", "filter"}));
    EXPECT_EQ(rows[1][2], "low:0.6 order 4");
    const std::vector<float> y = exported(r.out, 1);
    ASSERT_EQ(y.size(), kSteps);
    // The analysis' filter in double precision, rounded to single.
    const analysis::Sos sos = analysis::butterworth(4, analysis::FilterKind::low, 0.6, 0.0, kFs);
    const std::vector<double> ref = analysis::sosfiltfilt(sos, doubles(s.values[1]));
    for (std::size_t i = 0; i < kSteps; ++i) ASSERT_EQ(y[i], static_cast<float>(ref[i])) << i;
    // Away from the ends the slow sine is left, the fast one gone.
    double diff = 0.0;
    double slow = 0.0;
    for (std::size_t i = 400; i + 400 < kSteps; ++i) {
        diff += std::pow(y[i] - s.values[2][i], 2);
        slow += std::pow(s.values[2][i], 2);
    }
    EXPECT_LT(std::sqrt(diff / slow), 1e-3);
    // A window is cut after filtering: its samples are those of the whole.
    const std::vector<float> w =
        exported(pektor(dir, "export -f csv -c 2 --filter low:0.6 -w 50:60 sines.dyn").out, 1);
    ASSERT_EQ(w.size(), 201u);
    EXPECT_TRUE(std::equal(w.begin(), w.end(), y.begin() + 1000));
}

// Every command that reads series names the filter, and its figures are
// those of the filtered series.
TEST(PsdProgram, FilterOnEveryCommand) {
    ScratchDir dir;
    const Sines s = write_sines(dir);
    write_sines(dir, "ref.dyn");
    const analysis::Sos sos = analysis::butterworth(4, analysis::FilterKind::low, 0.6, 0.0, kFs);
    const std::vector<double> ref = analysis::sosfiltfilt(sos, doubles(s.values[1]));
    std::vector<float> filtered(ref.begin(), ref.end());
    const analysis::SeriesStats st =
        analysis::series_stats(doubles(filtered), s.times, analysis::Moments::sample);
    struct Case {
        std::string args;
        std::string header_end;  // last column
    };
    const std::vector<Case> cases{
        {"stats -c 2", "filter"},
        {"peak -c 2", "filter"},
        {"daf --ref ref.dyn -c 2", "filter"},
        {"fatigue -c 2", "filter"},
        {"vector -c 2,3", "filter"},
        {"psd -c 2", "filter"},
        {"psd -c 2 --curve", "filter"},
        {"export -c 2", "filter"},
    };
    for (const Case& c : cases) {
        const Result r = pektor(dir, c.args + " -f csv --filter low:0.6 sines.dyn");
        ASSERT_EQ(r.code, 0) << c.args << ": " << r.err;
        const auto rows = csv(r.out);
        ASSERT_GE(rows.size(), 2u) << c.args;
        EXPECT_EQ(rows[0].back(), c.header_end) << c.args;
        EXPECT_EQ(rows[1].back(), "low:0.6 order 4") << c.args;
        // Without the filter the same command has no such column.
        const auto plain = csv(pektor(dir, c.args + " -f csv sines.dyn").out);
        EXPECT_EQ(plain[0].size() + 1, rows[0].size()) << c.args;
    }
    const auto stats = csv(pektor(dir, "stats -c 2 -f csv --filter low:0.6 sines.dyn").out);
    EXPECT_NEAR(num(stats[1][11]), *st.std, 1e-9 * *st.std);
    const auto peak = csv(pektor(dir, "peak -c 2 -f csv --filter low:0.6 sines.dyn").out);
    EXPECT_EQ(std::strtof(peak[1][4].c_str(), nullptr),
              *std::max_element(filtered.begin(), filtered.end()));
    // The JSON Lines name it as a key; the pictures in their titles.
    const Result json =
        pektor(dir, "stats -c 2 -f json --filter band:0.1:0.5 --filter-order 2 sines.dyn");
    EXPECT_NE(json.out.find("\"filter\":\"band:0.1:0.5 order 2\""), std::string::npos) << json.out;
    const Result plot = pektor(dir, "plot -c 2 --filter high:1 -o p.svg sines.dyn");
    ASSERT_EQ(plot.code, 0) << plot.err;
    EXPECT_NE(test_support::read_file(dir.path() / "p.svg").find("(filter high:1 order 4)"),
              std::string::npos);
    const Result report = pektor(dir, "report -c 2 --filter stop:1:3 -o r.html sines.dyn");
    ASSERT_EQ(report.code, 0) << report.err;
    EXPECT_NE(test_support::read_file(dir.path() / "r.html").find("filter stop:1:3 order 4"),
              std::string::npos);
}

TEST(PsdProgram, BadInputOneLineEach) {
    ScratchDir dir;
    write_sines(dir);
    // A varying step, and a file of 10 samples.
    std::vector<float> t;
    std::vector<float> x;
    for (std::size_t i = 0; i < 100; ++i) {
        t.push_back(static_cast<float>(i) * 0.1f + (i == 50 ? 0.05f : 0.0f));
        x.push_back(static_cast<float>(i % 7));
    }
    tools::DynResLayout one;
    one.labels = {"X"};
    tools::write_dynres_file(dir.path() / "jitter.dyn", one, t, {x});
    tools::write_dynres_file(dir.path() / "short.dyn", one, std::span(t).first(10),
                             {std::vector<float>(x.begin(), x.begin() + 10)});
    std::vector<float> gap = x;
    gap[20] = std::nanf("");
    tools::write_dynres_file(dir.path() / "gap.dyn", one, std::vector<float>(100, 0.0f), {gap});
    struct Case {
        std::string args;
        int code;
        std::string err;
    };
    const std::string usage_psd = "\nTry 'pektor psd --help'.\n";
    const std::vector<Case> cases{
        {"psd jitter.dyn", 1,
         "pektor psd: jitter.dyn: time step varies by 0.0500003 s (50.0003 % of the mean step 0.1 "
         "s, at most "
         "1 % allowed)\npektor psd: no file could be read\n"},
        {"psd jitter.dyn sines.dyn -q", 2,
         "pektor psd: jitter.dyn: time step varies by 0.0500003 s (50.0003 % of the mean step 0.1 "
         "s, at most "
         "1 % allowed)\n"},
        {"psd short.dyn", 1,
         "pektor psd: short.dyn: 10 samples in the window; a spectrum needs at least 16\n"
         "pektor psd: no file could be read\n"},
        {"psd -w 0:0.5 sines.dyn", 1,
         "pektor psd: sines.dyn: 11 samples in the window; a spectrum needs at least 16\n"
         "pektor psd: no file could be read\n"},
        {"stats --filter low:10 sines.dyn", 1,
         "pektor stats: sines.dyn: cannot filter: cut-off 10 Hz is not below the Nyquist "
         "frequency 10 Hz\npektor stats: no file could be read\n"},
        {"psd --filter low:0 sines.dyn", 1,
         "pektor psd: --filter low:0: a frequency must be above 0 Hz" + usage_psd},
        {"psd --filter high:-1 sines.dyn", 1,
         "pektor psd: --filter high:-1: a frequency must be above 0 Hz" + usage_psd},
        {"psd --filter band:2:1 sines.dyn", 1,
         "pektor psd: --filter band:2:1: the band ends must increase (F1 below F2)" + usage_psd},
        {"psd --filter low sines.dyn", 1,
         "pektor psd: --filter 'low': low takes one frequency (low:F)" + usage_psd},
        {"psd --filter low:1 --filter-order 9 sines.dyn", 1,
         "pektor psd: --filter-order '9' is not a whole number from 1 to 8" + usage_psd},
        {"psd --filter-order 2 sines.dyn", 1,
         "pektor psd: --filter-order applies with --filter only" + usage_psd},
        {"psd --nperseg 8 sines.dyn", 1,
         "pektor psd: --nperseg '8' is not a whole number of at least 16 samples" + usage_psd},
        {"psd --overlap 1 sines.dyn", 1,
         "pektor psd: --overlap '1' is not a fraction from 0 to below 1" + usage_psd},
        {"psd --nperseg 5000 sines.dyn", 1,
         "pektor psd: sines.dyn: --nperseg 5000 is more than the 4096 samples in the window\n"
         "pektor psd: no file could be read\n"},
        {"stats --filter low:1 --max-memory 64K sines.dyn", 1,
         "pektor stats: sines.dyn: filtering keeps 3 DynRes of 4096 samples in memory (1 MiB at 8 "
         "bytes a sample), more than --max-memory 1 MiB; select fewer DynRes or raise "
         "--max-memory\npektor stats: no file could be read\n"},
    };
    for (const Case& c : cases) {
        const Result r = pektor(dir, c.args);
        EXPECT_EQ(r.code, c.code) << c.args;
        EXPECT_EQ(r.err, c.err) << c.args;
    }
    // A gap breaks the sampling: no spectrum for that DynRes, a warning.
    std::vector<float> tg;
    for (std::size_t i = 0; i < 100; ++i) tg.push_back(static_cast<float>(i) * 0.1f);
    tools::write_dynres_file(dir.path() / "gap.dyn", one, tg, {gap});
    const Result g = pektor(dir, "psd -f csv gap.dyn");
    EXPECT_EQ(g.code, 0);
    EXPECT_EQ(g.err,
              "pektor psd: gap.dyn: DynRes 1: 1 samples that are not finite numbers; a gap "
              "breaks the sampling: no spectrum\n");
    EXPECT_EQ(csv(g.out)[1], (std::vector<std::string>{"gap.dyn", "1", "X", "", "", "", "", "", "",
                                                       "", "", "", "", "", "", ""}));
    const Result gf = pektor(dir, "stats --filter low:1 gap.dyn");
    EXPECT_EQ(gf.code, 1);
    EXPECT_EQ(gf.err,
              "pektor stats: gap.dyn: DynRes 1: sample 21 is not a finite number; a gap "
              "breaks the sampling, the series cannot be filtered\npektor stats: no file "
              "could be read\n");
}

}  // namespace
