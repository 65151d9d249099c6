// The pieces of the batch commands: option values, the three written forms
// of the rows, and the statistics against the classic kernels.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "batch/merge.h"
#include "batch/options.h"
#include "batch/runner.h"
#include "batch/stats.h"
#include "batch/table.h"
#include "ops/stats.h"

namespace {

using namespace batch;

FileContents contents(std::vector<std::string> labels) {
    FileContents c;
    for (std::size_t i = 0; i < labels.size(); ++i)
        c.dynres.push_back({static_cast<std::int32_t>(i + 1), labels[i]});
    return c;
}

TEST(BatchChannels, ListsResolveInTheOrderGivenEachNumberOnce) {
    const FileContents c = contents({"Base force Fx", "Base force Fy", "Base moment Mx",
                                     "Base moment My", "Deck surge", "BASE MOMENT MZ"});
    struct Case {
        std::vector<std::string> args;
        std::vector<std::int32_t> numbers;
    };
    const std::vector<Case> cases = {
        {{}, {1, 2, 3, 4, 5, 6}},      {{"all"}, {1, 2, 3, 4, 5, 6}},
        {{"ALL"}, {1, 2, 3, 4, 5, 6}}, {{"1,3-5"}, {1, 3, 4, 5}},
        {{"5", "1-2"}, {5, 1, 2}},     {{"2,2,1-3"}, {2, 1, 3}},
        {{"Base moment*"}, {3, 4, 6}}, {{"base MOMENT m?"}, {3, 4, 6}},
        {{"*[xy]"}, {1, 2, 3, 4}},     {{"*[!xy]"}, {5, 6}},
        {{"deck surge,1"}, {5, 1}},    {{" 6 , 4 - 5 "}, {6, 4, 5}},
    };
    for (const Case& k : cases) {
        std::vector<std::int32_t> numbers;
        std::string error;
        ASSERT_TRUE(resolve_channels(parse_channels(k.args), c, numbers, error))
            << k.args.front() << ": " << error;
        EXPECT_EQ(numbers, k.numbers) << (k.args.empty() ? "" : k.args.front());
    }
}

TEST(BatchChannels, WhatAFileCannotGiveAndWhatIsNoList) {
    const FileContents c = contents({"A", "B", "C"});
    struct Case {
        std::string arg;
        std::string error;
    };
    for (const Case& k : std::vector<Case>{{"4", "no DynRes 4 (the file has 3)"},
                                           {"2-9", "no DynRes 4 (the file has 3)"},
                                           {"7-9", "no DynRes 7 (the file has 3)"},
                                           {"Z*", "no DynRes label matches 'Z*'"}}) {
        std::vector<std::int32_t> numbers;
        std::string error;
        EXPECT_FALSE(resolve_channels(parse_channels({{k.arg}}), c, numbers, error)) << k.arg;
        EXPECT_EQ(error, k.error);
    }
    for (const std::string bad : {"", "1,,2", "0", "3-1", "0-2", "1,", "99999999999"}) {
        EXPECT_THROW(parse_channels({{bad}}), UsageError) << bad;
    }
}

TEST(BatchChannels, GlobMatching) {
    struct Case {
        const char* pattern;
        const char* text;
        bool match;
    };
    for (const Case& k : std::vector<Case>{{"*", "", true},
                                           {"a*b*c", "aXXbYYc", true},
                                           {"a*b*c", "aXXbYY", false},
                                           {"?x", "yx", true},
                                           {"?x", "x", false},
                                           {"[a-c]1", "B1", true},
                                           {"[a-c]1", "d1", false},
                                           {"[abc", "[abc", true},
                                           {"**a", "ba", true},
                                           {"F(x) [kN]*", "f(x) [kn]", false},
                                           {"F(x) ?kN]*", "f(x) [kn] max", true}}) {
        EXPECT_EQ(glob_match(k.pattern, k.text), k.match) << k.pattern << " ~ " << k.text;
    }
}

TEST(BatchOptions, WindowsShardsSignsMomentsJobs) {
    constexpr float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* text;
        float first;
        float last;
    };
    for (const Case& k : std::vector<Case>{{":", -inf, inf},
                                           {"100:", 100.0f, inf},
                                           {":2.5", -inf, 2.5f},
                                           {"0.15:0.15", 0.15f, 0.15f},
                                           {" -1e2 : 1E3 ", -100.0f, 1000.0f}}) {
        const Window w = parse_window(k.text);
        EXPECT_EQ(w.first, k.first) << k.text;
        EXPECT_EQ(w.last, k.last) << k.text;
    }
    // A typed end compares at single precision: 0.15 takes the stored 0.15f.
    EXPECT_TRUE(parse_window("0.15:").contains(0.15f));
    for (const char* bad : {"", "5", "a:b", "1:x", "nan:", ":inf", "3:2", "1:2:3"}) {
        EXPECT_THROW(parse_window(bad), UsageError) << bad;
    }

    const Shard s = parse_shard("2/3");
    std::vector<std::size_t> taken;
    for (std::size_t p = 1; p <= 8; ++p) {
        if (s.takes(p)) taken.push_back(p);
    }
    EXPECT_EQ(taken, (std::vector<std::size_t>{2, 5, 8}));
    for (const char* bad : {"0/2", "3/2", "1/0", "1", "a/b", "1/2/3", "-1/2"}) {
        EXPECT_THROW(parse_shard(bad), UsageError) << bad;
    }

    EXPECT_EQ(parse_sign("max"), Sign::max);
    EXPECT_EQ(parse_sign("-1"), Sign::min);
    EXPECT_EQ(parse_sign("abs"), Sign::abs);
    EXPECT_EQ(parse_sign("-2"), Sign::signed_);
    EXPECT_THROW(parse_sign("7"), UsageError);
    EXPECT_EQ(parse_moments("population"), Moments::population);
    EXPECT_THROW(parse_moments("Sample"), UsageError);
    EXPECT_EQ(parse_jobs("3"), 3);
    for (const char* bad : {"0", "-1", "x", "2000", ""}) EXPECT_THROW(parse_jobs(bad), UsageError);
}

TEST(BatchTable, NumbersAreTheShortestTextThatReadsBack) {
    EXPECT_EQ(number_text(0.15f), "0.15");
    EXPECT_EQ(number_text(static_cast<double>(0.15f)), "0.15000000596046448");
    EXPECT_EQ(number_text(1.0e30f), "1e+30");
    EXPECT_EQ(number_text(-3.25), "-3.25");
    EXPECT_EQ(number_text(std::nanf("")), "nan");
    EXPECT_EQ(number_text(-std::numeric_limits<double>::infinity()), "-inf");
    for (const float f : {0.1f, 1.0f / 3.0f, 1.0e-38f, 3.4028235e38f, -123456.79f}) {
        EXPECT_EQ(std::strtof(number_text(f).c_str(), nullptr), f);
    }
    for (const double d : {0.1, 1.0 / 3.0, 2.2250738585072014e-308, -1.7976931348623157e308}) {
        EXPECT_EQ(std::strtod(number_text(d).c_str(), nullptr), d);
    }
}

TEST(BatchTable, TheThreeForms) {
    const std::vector<std::string> columns{"file", "n", "v", "label"};
    const std::vector<Row> rows{
        {std::string("a,b.dyn"), std::int64_t{3}, 0.5f, std::string("say \"hi\"")},
        {std::string("c.dyn"), std::int64_t{12}, std::monostate{}, std::string(" x")},
        {std::string("d.dyn"), std::int64_t{-1}, std::nan(""), std::string("\xff")},
    };
    std::ostringstream csv;
    write_rows(csv, Format::csv, columns, rows);
    EXPECT_EQ(csv.str(),
              "file,n,v,label\r\n"
              "\"a,b.dyn\",3,0.5,\"say \"\"hi\"\"\"\r\n"
              "c.dyn,12,,\" x\"\r\n"
              "d.dyn,-1,nan,\xff\r\n");
    std::ostringstream json;
    write_rows(json, Format::json, columns, rows);
    EXPECT_EQ(json.str(),
              "{\"file\":\"a,b.dyn\",\"n\":3,\"v\":0.5,\"label\":\"say \\\"hi\\\"\"}\n"
              "{\"file\":\"c.dyn\",\"n\":12,\"v\":null,\"label\":\" x\"}\n"
              "{\"file\":\"d.dyn\",\"n\":-1,\"v\":null,\"label\":\"\xEF\xBF\xBD\"}\n");
    std::ostringstream table;
    write_rows(table, Format::table, std::vector<std::string>{"file", "n", "mean"},
               std::vector<Row>{{std::string("a.dyn"), std::int64_t{3}, 1.0 / 3.0},
                                {std::string("long.dyn"), std::int64_t{12}, 250.0}});
    EXPECT_EQ(table.str(),
              "file       n       mean\n"
              "a.dyn      3  0.3333333\n"
              "long.dyn  12        250\n");
}

TEST(BatchStats, SampleMomentsAreTheClassicKernelsToTheBit) {
    const std::vector<std::vector<double>> series = {
        {1, 2, 3, 4}, {1, 2, 3, 10}, {0.1, -7.25, 3.5e4, 12.0, 12.0, -0.001, 8.5}, {5, 5}, {42.5},
    };
    for (const auto& x : series) {
        const std::vector<float> t(x.size(), 0.0f);
        const SeriesStats s = series_stats(x, t, Moments::sample);
        const auto xs = ops::sview(x);
        const auto n = static_cast<std::int32_t>(x.size());
        EXPECT_EQ(s.max, ops::VMAX(xs, n));
        EXPECT_EQ(s.min, ops::VMIN(xs, n));
        EXPECT_EQ(s.mean, ops::VMEAN(xs, n));
        if (n < 2) {
            EXPECT_FALSE(s.std);
        } else {
            EXPECT_EQ(*s.std, ops::VSTDEV(xs, n));
        }
        if (s.std && *s.std > 0) {
            EXPECT_EQ(*s.skew, ops::VSKEW(xs, n));
            EXPECT_EQ(*s.kurt, ops::VKURT(xs, n));
        } else {
            EXPECT_FALSE(s.skew);
            EXPECT_FALSE(s.kurt);
        }
    }
}

TEST(BatchStats, PopulationMomentsAndTheUpCrossingPeriod) {
    // 1, 2, 3, 10: mean 4; central moments with divisor 4: 12.5, 22.5, 637.25/... by hand.
    const std::vector<double> x = {1, 2, 3, 10};
    const std::vector<float> t = {0.0f, 1.0f, 2.0f, 3.0f};
    const SeriesStats s = series_stats(x, t, Moments::population);
    const double m2 = (9.0 + 4.0 + 1.0 + 36.0) / 4.0;
    const double m3 = (-27.0 - 8.0 - 1.0 + 216.0) / 4.0;
    const double m4 = (81.0 + 16.0 + 1.0 + 1296.0) / 4.0;
    EXPECT_DOUBLE_EQ(*s.std, std::sqrt(m2));
    EXPECT_DOUBLE_EQ(*s.skew, m3 / std::pow(m2, 1.5));
    EXPECT_DOUBLE_EQ(*s.kurt, m4 / (m2 * m2));
    // One up-crossing of the mean 4 (3 -> 10) over 3 s.
    EXPECT_EQ(*s.tz, 3.0);
    // A value equal to the mean counts as crossed; no crossing: no period.
    const std::vector<double> y = {0, 1, 2, 1, 0, 1, 2};
    const std::vector<float> ty = {0, 1, 2, 3, 4, 5, 6};
    const SeriesStats u = series_stats(y, ty, Moments::sample);
    EXPECT_EQ(*u.tz, 3.0);  // mean 1: crossings 0->1 and 0->1
    const std::vector<double> down = {3, 2, 1};
    EXPECT_FALSE(series_stats(down, std::vector<float>{0, 1, 2}, Moments::sample).tz);
}

// A file in memory: steps at times 0, 0.5, 1, ... with the given series.
class MemorySource final : public SeriesSource {
  public:
    explicit MemorySource(std::vector<std::vector<float>> series) : series_(std::move(series)) {
        for (std::size_t i = 0; i < series_.front().size(); ++i)
            times_.push_back(0.5f * static_cast<float>(i));
        contents_ = ::contents(std::vector<std::string>(series_.size(), "x"));
        contents_.steps = static_cast<std::int64_t>(times_.size());
    }
    const FileContents& contents() const override { return contents_; }
    bool read(const Window& window, std::span<const std::int32_t> dynres, WindowSeries& out,
              std::string&) override {
        out = {};
        out.values.resize(dynres.size());
        for (std::size_t i = 0; i < times_.size(); ++i) {
            if (!window.contains(times_[i])) continue;
            out.times.push_back(times_[i]);
            for (std::size_t j = 0; j < dynres.size(); ++j)
                out.values[j].push_back(series_[static_cast<std::size_t>(dynres[j] - 1)][i]);
        }
        ++reads;
        return true;
    }
    int reads = 0;

  private:
    std::vector<std::vector<float>> series_;
    std::vector<float> times_;
    FileContents contents_;
};

// The streamed statistics are those of the series read whole, to the bit,
// for both kinds of moments, whole and partial windows (where the mean needs
// a third pass), one sample and none.
TEST(BatchStats, StreamedStatisticsAreThoseOfTheWholeSeries) {
    MemorySource src({{1, 2, 3, 10, -4, 0.1f, 7.5f, 7.5f, -4, 2},
                      {0.3f, 0.3f, 0.3f, 0.3f, 0.3f, 0.3f, 0.3f, 0.3f, 0.3f, 0.3f},
                      {5, -1e30f, 3.25f, 1e-7f, 2, 2, 9, -3, 0.5f, 11}});
    const std::vector<std::int32_t> dynres = {3, 1, 2};
    struct Case {
        Window window;
        int passes;
    };
    // Streamed (nothing kept: the passes read the file), and with the
    // samples kept from the first pass (one read).
    for (const std::size_t keep : {std::size_t{0}, kKeepBytes}) {
        for (const Moments moments : {Moments::sample, Moments::population}) {
            for (const Case k : {Case{Window{}, 2}, Case{Window{1.0f, 3.5f}, 3},
                                 Case{Window{2.0f, 2.0f}, 1}, Case{Window{7.0f, 9.0f}, 1}}) {
                src.reads = 0;
                std::vector<SeriesStats> stats;
                std::vector<StatsTimes> times;
                std::string error;
                ASSERT_TRUE(
                    stream_stats(src, k.window, dynres, moments, stats, times, error, keep));
                EXPECT_EQ(src.reads, keep == 0 ? k.passes : 1);
                WindowSeries ws;
                src.read(k.window, dynres, ws, error);
                for (std::size_t j = 0; j < dynres.size(); ++j) {
                    const std::vector<double> x(ws.values[j].begin(), ws.values[j].end());
                    if (x.empty()) {
                        EXPECT_EQ(stats[j].n, 0);
                        continue;
                    }
                    const SeriesStats s = series_stats(x, ws.times, moments);
                    Row whole, streamed;
                    append_stats(whole, s, ws.times, true);
                    append_stats(streamed, stats[j], times[j], true);
                    EXPECT_EQ(streamed, whole) << "DynRes " << dynres[j];
                }
            }
        }
    }
}

// Every work once, each ready in order after its work and those before it,
// for one thread and several; the bar counts up to all and is cleared.
TEST(BatchRunner, EachWorkOnceAndReadyInOrder) {
    for (const std::int32_t jobs : {1, 4}) {
        constexpr std::size_t kN = 200;
        std::vector<std::atomic<int>> worked(kN);
        std::vector<std::size_t> readied;
        std::ostringstream bar;
        Progress progress(true, kN, bar);
        run_each(
            jobs, kN, [&](std::size_t i) { ++worked[i]; },
            [&](std::size_t i) {
                for (std::size_t k = 0; k <= i; ++k) EXPECT_EQ(worked[k].load(), 1);
                readied.push_back(i);
            },
            progress);
        progress.clear();
        for (const auto& w : worked) EXPECT_EQ(w.load(), 1);
        ASSERT_EQ(readied.size(), kN);
        for (std::size_t i = 0; i < kN; ++i) EXPECT_EQ(readied[i], i);
        const std::string text = bar.str();
        EXPECT_NE(text.find("] 200/200 files"), std::string::npos) << jobs;
        EXPECT_EQ(text.substr(text.size() - 4), "\r\x1b[K");
    }
}

TEST(BatchStats, PeakOfEachConventionTakesTheEarliestSample) {
    const std::vector<float> x = {3.0f, -5.0f, 5.0f, -1.0f, -5.0f};
    struct Case {
        Sign sign;
        std::size_t index;
        float value;
    };
    for (const Case& k : std::vector<Case>{{Sign::max, 2, 5.0f},
                                           {Sign::min, 1, -5.0f},
                                           {Sign::abs, 1, 5.0f},
                                           {Sign::signed_, 1, -5.0f}}) {
        const std::size_t i = peak_index(x, k.sign);
        EXPECT_EQ(i, k.index) << sign_name(k.sign);
        EXPECT_EQ(peak_value(x[i], k.sign), k.value) << sign_name(k.sign);
    }
}

// ---- shards and their merge ----

TEST(ShardBySize, GreedyLargestFirstAndEveryFileInOneShard) {
    struct Case {
        std::vector<std::uint64_t> sizes;
        std::int32_t n;
        std::vector<std::vector<char>> members;  // per shard
    };
    const std::vector<Case> cases = {
        // 9 to shard 1, 7 to 2, 5 to 2 (7 < 9), 3 to 1 (9 < 12), 1 to 1 (12 = 12: lowest).
        {{5, 9, 1, 7, 3}, 2, {{0, 1, 1, 0, 1}, {1, 0, 0, 1, 0}}},
        // Equal sizes: list order, round robin.
        {{4, 4, 4, 4}, 3, {{1, 0, 0, 1}, {0, 1, 0, 0}, {0, 0, 1, 0}}},
        // Unreadable files count 0 bytes and still belong to a shard.
        {{0, 0, 10}, 2, {{0, 0, 1}, {1, 1, 0}}},
        {{}, 2, {{}, {}}},
    };
    for (const Case& c : cases) {
        for (std::int32_t k = 1; k <= c.n; ++k) {
            EXPECT_EQ(batch::shard_by_size(c.sizes, k, c.n),
                      c.members[static_cast<std::size_t>(k - 1)])
                << "shard " << k;
        }
    }
}

// The same file telling the number of samples of a window from its times:
// two passes for any window.
class HintedSource final : public SeriesSource {
  public:
    explicit HintedSource(MemorySource& src) : src_(src) {}
    const FileContents& contents() const override { return src_.contents(); }
    bool read(const Window& window, std::span<const std::int32_t> dynres, WindowSeries& out,
              std::string& error) override {
        return src_.read(window, dynres, out, error);
    }
    std::optional<std::int64_t> count_hint(const Window& window) override {
        WindowSeries ws;
        std::string error;
        const std::vector<std::int32_t> none;
        src_.read(window, none, ws, error);
        --src_.reads;
        return static_cast<std::int64_t>(ws.times.size());
    }

  private:
    MemorySource& src_;
};

TEST(BatchStats, ACountedWindowNeedsNoThirdPass) {
    MemorySource mem(
        {{1, 2, 3, 10, -4, 0.1f, 7.5f, 7.5f, -4, 2}, {5, -1, 3.25f, 1, 2, 2, 9, -3, 0.5f, 11}});
    HintedSource src(mem);
    const std::vector<std::int32_t> dynres = {2, 1};
    for (const Window w : {Window{}, Window{1.0f, 3.5f}, Window{0.5f, 4.0f}}) {
        std::vector<SeriesStats> hinted, plain;
        std::vector<StatsTimes> th, tp;
        std::string error;
        mem.reads = 0;
        ASSERT_TRUE(stream_stats(src, w, dynres, Moments::sample, hinted, th, error, 0));
        EXPECT_EQ(mem.reads, 2);
        ASSERT_TRUE(stream_stats(mem, w, dynres, Moments::sample, plain, tp, error, 0));
        for (std::size_t j = 0; j < dynres.size(); ++j) {
            Row a, b;
            append_stats(a, hinted[j], th[j], true);
            append_stats(b, plain[j], tp[j], true);
            EXPECT_EQ(a, b);
        }
    }
}

TEST(ShardRecords, CsvRecordsKeepQuotedLineBreaksAndJsonLinesSplitByLine) {
    using batch::split_csv_records;
    using batch::split_json_lines;
    struct Case {
        std::string text;
        bool ok;
        std::vector<std::string> records;
    };
    const std::vector<Case> csv = {
        {"a,b\r\n1,2\r\n", true, {"a,b\r\n", "1,2\r\n"}},
        {"a\r\n\"x\r\ny\",\"q\"\"\r\n\"\r\n", true, {"a\r\n", "\"x\r\ny\",\"q\"\"\r\n\"\r\n"}},
        {"", true, {}},
        {"a,b\r\n1,2", false, {}},       // the last row cut short
        {"a,b\n", false, {}},            // not a CSV of pektor's
        {"a\r\n\"open\r\n", false, {}},  // a quote left open
    };
    for (const Case& c : csv) {
        std::vector<std::string_view> records;
        EXPECT_EQ(split_csv_records(c.text, records), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(std::vector<std::string>(records.begin(), records.end()), c.records);
        }
    }
    const std::vector<Case> json = {
        {"{\"a\":1}\n{\"a\":\"x\\ny\"}\n", true, {"{\"a\":1}\n", "{\"a\":\"x\\ny\"}\n"}},
        {"", true, {}},
        {"{\"a\":1}\n{\"a\"", false, {}},
    };
    for (const Case& c : json) {
        std::vector<std::string_view> records;
        EXPECT_EQ(split_json_lines(c.text, records), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(std::vector<std::string>(records.begin(), records.end()), c.records);
        }
    }
}

TEST(ShardRecords, TheFileListDigestSeesOrderAndNameBoundaries) {
    using batch::file_list_digest;
    const std::string ab = file_list_digest({"a", "b"});
    EXPECT_EQ(ab, file_list_digest({"a", "b"}));
    EXPECT_NE(ab, file_list_digest({"b", "a"}));
    EXPECT_NE(ab, file_list_digest({"ab"}));
    EXPECT_NE(ab, file_list_digest({"a", "b", ""}));
    EXPECT_EQ(ab.size(), 16U);
}

// Samples that are not finite numbers are left out of every figure (n
// counts those used), streamed or not; a series without a finite sample
// gives empty cells; a constant series has std 0 and no skew or kurt.
TEST(BatchStats, NonFiniteSamplesAreLeftOutAndConstantSeriesHaveNoShape) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<std::vector<float>> series = {
        {1, nan, 3, -inf, -2, 5, 2.5f, inf, 0, 4},           // 3 left out
        {nan, nan, nan, nan, nan, nan, nan, nan, nan, nan},  // none used
        {0.3f, 0.3f, 0.3f, 0.3f, 0.3f, 0.3f, 0.3f, 0.3f, 0.3f, 0.3f},
        {nan, 0.7f, 0.7f, inf, 0.7f, 0.7f, 0.7f, 0.7f, 0.7f, nan},
        {nan, nan, nan, 8, nan, nan, nan, nan, nan, nan}};  // one sample
    MemorySource src(series);
    const std::vector<std::int32_t> dynres = {1, 2, 3, 4, 5};
    const std::vector<std::int64_t> used = {7, 0, 10, 7, 1};
    for (const Moments moments : {Moments::sample, Moments::population}) {
        std::vector<SeriesStats> stats;
        std::vector<StatsTimes> times;
        std::string error;
        ASSERT_TRUE(stream_stats(src, Window{}, dynres, moments, stats, times, error));
        std::vector<SeriesStats> streamed_stats;
        std::vector<StatsTimes> streamed_times;
        ASSERT_TRUE(
            stream_stats(src, Window{}, dynres, moments, streamed_stats, streamed_times, error, 0));
        WindowSeries ws;
        src.read(Window{}, dynres, ws, error);
        for (std::size_t j = 0; j < dynres.size(); ++j) {
            SCOPED_TRACE(j);
            EXPECT_EQ(times[j].samples, 10);
            EXPECT_EQ(stats[j].n, used[j]);
            // The same figures as the series without those samples.
            std::vector<double> all, kept;
            std::vector<float> kept_t;
            for (std::size_t i = 0; i < 10; ++i) {
                const float v = ws.values[j][i];
                all.push_back(v);
                if (std::isfinite(v)) {
                    kept.push_back(v);
                    kept_t.push_back(ws.times[i]);
                }
            }
            const SeriesStats whole = series_stats(all, ws.times, moments);
            Row streamed, read;
            append_stats(streamed, stats[j], times[j], true);
            append_stats(read, whole, ws.times, true);
            EXPECT_EQ(streamed, read);
            Row without_keeping;
            append_stats(without_keeping, streamed_stats[j], streamed_times[j], true);
            EXPECT_EQ(without_keeping, read);
            ASSERT_EQ(streamed.size(), std::size(kStatsColumns));
            if (kept.empty()) {
                for (std::size_t c = 3; c < streamed.size(); ++c)
                    EXPECT_TRUE(std::holds_alternative<std::monostate>(streamed[c])) << c;
                continue;
            }
            const SeriesStats alone = series_stats(kept, kept_t, moments);
            EXPECT_EQ(whole.max, alone.max);
            EXPECT_EQ(whole.min, alone.min);
            EXPECT_EQ(whole.mean, alone.mean);
            EXPECT_EQ(whole.std, alone.std);
            EXPECT_EQ(whole.skew, alone.skew);
            EXPECT_EQ(whole.kurt, alone.kurt);
            EXPECT_TRUE(std::isfinite(whole.mean));
        }
        // The constant series (with and without samples left out).
        for (const std::size_t j : {std::size_t{2}, std::size_t{3}}) {
            ASSERT_TRUE(stats[j].std);
            EXPECT_EQ(*stats[j].std, 0.0);
            EXPECT_FALSE(stats[j].skew);
            EXPECT_FALSE(stats[j].kurt);
        }
        EXPECT_EQ(times[0].max, 2.5f);  // the time of 5, not of inf
        EXPECT_EQ(times[0].min, 2.0f);
        EXPECT_FALSE(stats[4].std);
        EXPECT_EQ(stats[4].mean, 8.0);
    }
}

TEST(BatchStats, PeaksLeaveOutSamplesThatAreNotNumbers) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> x = {nan, -inf, 3.0f, -5.0f, inf, 4.0f};
    EXPECT_EQ(finite_peak_index(x, Sign::max), std::optional<std::size_t>(5));
    EXPECT_EQ(finite_peak_index(x, Sign::min), std::optional<std::size_t>(3));
    EXPECT_EQ(finite_peak_index(x, Sign::abs), std::optional<std::size_t>(3));
    EXPECT_EQ(finite_count(x), 3);
    const std::vector<float> none = {nan, inf};
    EXPECT_FALSE(finite_peak_index(none, Sign::max));
    EXPECT_FALSE(finite_peak_index({}, Sign::max));
}

// Each work is told its thread: below the number of threads, and never two
// works at once on one thread.
TEST(BatchRunner, EachWorkKnowsItsThread) {
    for (const std::int32_t jobs : {1, 3}) {
        constexpr std::size_t kN = 100;
        const std::size_t threads = worker_count(jobs, kN);
        EXPECT_EQ(threads, static_cast<std::size_t>(jobs));
        std::vector<std::atomic<int>> busy(threads);
        std::atomic<int> clashes{0};
        std::ostringstream bar;
        Progress progress(false, kN, bar);
        run_each(
            jobs, kN,
            [&](std::size_t, std::size_t w) {
                ASSERT_LT(w, threads);
                if (busy[w].fetch_add(1) != 0) ++clashes;
                busy[w].fetch_sub(1);
            },
            {}, progress);
        EXPECT_EQ(clashes.load(), 0);
    }
    EXPECT_EQ(worker_count(8, 2), 2U);
    EXPECT_EQ(worker_count(0, 0), 1U);
}

}  // namespace
