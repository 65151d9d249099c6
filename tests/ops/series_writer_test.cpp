// Operations 1 and 3 end to end on dyn files written by the writer of tools/
// (series chosen for the case) and by dyngen (its signals computed here).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "io/fmt.h"
#include "series_program.h"
#include "tools/dynres_writer.h"
#include "tools/sample.h"

namespace {

using namespace series_test;

// Writes dir/name with the labels and series (values[k][i] = DynRes k+1 at
// step i) through the DynRes writer.
void write_file(const ScratchDir& dir, const std::string& name, tools::DynResLayout layout,
                const std::vector<float>& times, const std::vector<std::vector<float>>& values) {
    tools::write_dynres_file(dir.path() / name, std::move(layout), times, values);
}

TEST(WriterFiles, WorkedStatisticsAndTiesOfMagnitude) {
    ScratchDir dir;
    tools::DynResLayout layout;
    layout.labels = {"Ten at the end", "Ties", "Mixed"};
    layout.ncol = 16;
    write_file(dir, "w.dyn", layout, {0.0f, 0.5f, 1.0f, 1.5f},
               {{1, 2, 3, 10}, {3, -5, 5, 0}, {-7, 2, 1, 0}});

    const Session stats = run_pektor(dir, "3\nw.dyn\nout.txt\n\n1\n\n");
    EXPECT_EQ(stats.code, 0);
    EXPECT_EQ(stats.out,
              kStatsBanner +
                  stat_block(" Result no    1 :   Ten at the end", "       0.000       1.500",
                             "           4",
                             " Maximum        :   1.0000E+01 (Relative to mean:   6.0000E+00 )\n"
                             " Minimum        :   1.0000E+00 (Relative to mean:  -3.0000E+00 )\n"
                             " Mean           :   4.0000E+00\n"
                             " Std Dev        :   4.0825E+00\n"
                             " Skewness       :   8.8182E-01\n"
                             " Kurtosis       :   1.6728E+00\n") +
                  kCompletion);

    // Largest magnitude with its sign: -5 comes before 5. Largest absolute
    // value of -7 and 2: 7.
    const Session ties = run_pektor(dir, "1\n-2\nw.dyn\nout.txt\n\n2\n3\n\n");
    EXPECT_EQ(ties.out,
              peak_line(2, "  -5.0000E+00") + peak_line(3, "  -7.0000E+00") + kCompletion);
    const Session abs = run_pektor(dir, "1\n0\nw.dyn\nout.txt\n\n3\n\n");
    EXPECT_EQ(abs.out, peak_line(3, "   7.0000E+00") + kCompletion);
}

TEST(WriterFiles, PackedRecordsWithAFirstSampleAtTimeZero) {
    // Ten steps in records of four slots: the third record holds two steps
    // and two empty slots. The first step lies at time 0 and is kept.
    ScratchDir dir;
    tools::DynResLayout layout;
    layout.labels = {"Step", "Square"};
    layout.pack = 4;
    std::vector<float> times;
    std::vector<std::vector<float>> values(2);
    for (int i = 0; i < 10; ++i) {
        times.push_back(0.25f * static_cast<float>(i));
        values[0].push_back(static_cast<float>(i + 1));
        values[1].push_back(static_cast<float>(i * i));
    }
    write_file(dir, "p.dyn", layout, times, values);
    const Session r = run_pektor(dir, "3\np.dyn\nout.txt\n\nall\n");
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.tail.starts_with("     1 :  Step\n     2 :  Square\n")) << r.tail;
    EXPECT_NE(r.out.find(" Result no    1 :   Step\n"
                         " First TS time  :        0.000\n"
                         " Last  TS time  :        2.250\n"
                         " nTS found      :           10\n"
                         " Maximum        :   1.0000E+01 (Relative to mean:   4.5000E+00 )\n"
                         " Minimum        :   1.0000E+00 (Relative to mean:  -4.5000E+00 )\n"),
              std::string::npos)
        << r.out;
    const Session window = run_pektor(dir, "1\n-1\np.dyn\nout.txt\n0 0\n2\n\n");
    EXPECT_EQ(window.out, peak_line(2, "   0.0000E+00") + kCompletion);
}

TEST(WriterFiles, LabelsWithoutStoredWidthPaddedWithZeros) {
    ScratchDir dir;
    tools::DynResLayout layout;
    layout.labels = {"A", "Heave   of   deck", "  lead"};
    layout.ncol = 0;
    layout.zero_padding = true;
    write_file(dir, "l.dyn", layout, {0.0f, 1.0f}, {{1, 2}, {3, 4}, {5, 6}});
    const Session r = run_pektor(dir, "1\n1\nl.dyn\nout.txt\n\n2\n\n");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.tail, "     1 :  A\n     2 :  Heave of deck\n     3 :   lead\n" + kAskDynRes +
                          peak_line(2, "   4.0000E+00") + kAskDynRes + kCompletion);
}

TEST(DyngenFiles, PeaksAndCountsOfTheSampleSignals) {
    // Packed in threes, labels without stored width.
    constexpr int kChannels = 4;
    constexpr int kSteps = 301;
    ScratchDir dir;
    ASSERT_EQ(
        test_support::run_in(dir.path(), "'" DYNGEN_BIN "' --dynres " + std::to_string(kChannels) +
                                             " --steps " + std::to_string(kSteps) +
                                             " --pack 3 --ncol 0 -o sample.dyn > dyngen.txt"),
        0);

    const tools::SampleSignals signals(kChannels, kSteps, 0.05);
    std::vector<float> v(kChannels);
    std::vector<double> hi(kChannels, -1.0E30), lo(kChannels, 1.0E30);
    for (int i = 0; i < kSteps; ++i) {
        signals.values(i, v);
        for (int k = 0; k < kChannels; ++k) {
            hi[static_cast<std::size_t>(k)] =
                std::max<double>(hi[static_cast<std::size_t>(k)], v[static_cast<std::size_t>(k)]);
            lo[static_cast<std::size_t>(k)] =
                std::min<double>(lo[static_cast<std::size_t>(k)], v[static_cast<std::size_t>(k)]);
        }
    }
    std::string table;
    std::string lines;
    for (int k = 1; k <= kChannels; ++k) {
        table += io::fmt::I(k, 6) + " :  " + signals.label(k) + "\n";
        lines += peak_line(k, io::fmt::E(hi[static_cast<std::size_t>(k - 1)], 13, 4));
    }
    const Session r = run_pektor(dir, "1\n1\nsample.dyn\nout.txt\n\n1\n2\n3\n4\n\n");
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.tail.starts_with(table)) << r.tail;
    EXPECT_EQ(r.out, lines + kCompletion);

    const Session s = run_pektor(dir, "3\nsample.dyn\nout.txt\n\n2\n\n");
    const std::string expect =
        " Last  TS time  : " + io::fmt::F(signals.time(kSteps - 1), 12, 3) +
        "\n nTS found      :          301\n Maximum        : " + io::fmt::E(hi[1], 12, 4);
    EXPECT_NE(s.out.find(expect), std::string::npos) << s.out;
    EXPECT_NE(s.out.find(" Minimum        : " + io::fmt::E(lo[1], 12, 4)), std::string::npos);
}

// ---- the time window on single-precision times ----

// Ten steps 0.05 apart as dyngen stores them (the double i * 0.05 rounded to
// single precision): 0.15 is stored as 0.150000006, above the double 0.15,
// and 0.35 as 0.349999994, below the double 0.35. DynRes 1 rises (i + 1),
// DynRes 2 falls (10 - i), DynRes 3 is zero.
void write_dt_file(const ScratchDir& dir) {
    tools::DynResLayout layout;
    layout.labels = {"Rise", "Fall", "Zero"};
    std::vector<float> times;
    std::vector<std::vector<float>> values(3);
    for (int i = 0; i < 10; ++i) {
        times.push_back(static_cast<float>(i * 0.05));
        values[0].push_back(static_cast<float>(i + 1));
        values[1].push_back(static_cast<float>(10 - i));
        values[2].push_back(0.0f);
    }
    write_file(dir, "w.dyn", layout, times, values);
}

struct Window {
    std::string answer;
    int n;             // samples inside
    std::string last;  // time of the last of them (F12.3)
    std::string max1;  // largest of DynRes 1 and of DynRes 2 (1PE12.4)
    std::string max2;
};

std::size_t line_count(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// The count and last time of a statistics block.
std::string counts(const Window& win) {
    return " Last  TS time  : " + win.last + "\n nTS found      : " + io::fmt::I(win.n, 12) + "\n";
}

TEST(WindowEnds, StoredTimeEqualToTheTypedTimeIsInside) {
    const std::vector<Window> windows{
        {"0 0.15", 4, "       0.150", "  4.0000E+00", "  1.0000E+01"},
        {"0.35 0.45", 3, "       0.450", "  1.0000E+01", "  3.0000E+00"},
        {"0.15 0.15", 1, "       0.150", "  4.0000E+00", "  7.0000E+00"},
    };
    struct Operation {
        const char* what;
        std::string (*answers)(const std::string& window);
        void (*check)(const ScratchDir& dir, const Session& r, const Window& win);
    };
    const std::vector<Operation> operations{
        {"operation 1",
         [](const std::string& win) { return "1\n1\nw.dyn\nout.txt\n" + win + "\n1\n2\n\n"; },
         [](const ScratchDir&, const Session& r, const Window& win) {
             EXPECT_EQ(r.out,
                       peak_line(1, " " + win.max1) + peak_line(2, " " + win.max2) + kCompletion);
         }},
        {"operation 2",
         [](const std::string& win) { return "2\n1\nw.dyn\nw.dyn\nout.txt\n" + win + "\n2\n\n"; },
         [](const ScratchDir&, const Session& r, const Window& win) {
             EXPECT_EQ(r.out, " PeakValues and DAF for DynRes    2 :  " + win.max2 + " " +
                                  win.max2 + "       1.000\n" + kCompletion);
         }},
        {"operation 3",
         [](const std::string& win) { return "3\nw.dyn\nout.txt\n" + win + "\n1\n\n"; },
         [](const ScratchDir&, const Session& r, const Window& win) {
             EXPECT_NE(r.out.find(counts(win) + " Maximum        : " + win.max1), std::string::npos)
                 << r.out;
         }},
        {"operation 4",
         [](const std::string& win) { return "4\nw.dyn\nout.txt\n" + win + "\nin.txt\n"; },
         [](const ScratchDir& dir, const Session& r, const Window& win) {
             const auto n = static_cast<std::size_t>(win.n);
             EXPECT_EQ(line_count(dir.read("fort.44")), n);
             EXPECT_EQ(line_count(dir.read("fort.45")), n + 1);
             EXPECT_NE(r.out.find(counts(win) + " Maximum        : " + win.max1), std::string::npos)
                 << r.out;
         }},
        {"operation 5",
         [](const std::string& win) { return "5\nw.dyn\nout.txt\n" + win + "\n1\n3\n"; },
         [](const ScratchDir& dir, const Session& r, const Window& win) {
             EXPECT_EQ(line_count(dir.read("fort.45")), static_cast<std::size_t>(win.n));
             EXPECT_NE(r.out.find(counts(win) + " Maximum        : " + win.max1), std::string::npos)
                 << r.out;
         }},
    };
    for (const Operation& op : operations) {
        for (const Window& win : windows) {
            ScratchDir dir;
            write_dt_file(dir);
            // One group of DynRes 1 to 3 unrotated; the component is R1.
            dir.write("in.txt", "1\n3\n1 2 3\n1 0 0\n0 1 0\n0 0 1\n1\nR1\n1 0 0 0 0 0\n");
            const Session r = run_pektor(dir, op.answers(win.answer));
            SCOPED_TRACE(std::string(op.what) + ", window " + win.answer);
            EXPECT_EQ(r.code, 0) << r.console;
            op.check(dir, r, win);
        }
    }
}

// ---- files whose counts the file cannot hold ----

TEST(DegenerateFiles, RefusedByTheGatheringAtOnce) {
    const std::string dynres20 = "\n  *** ERROR IN DynRes20   ***\n";
    const std::string pektor0 = "\n  *** ERROR IN PEKTOR0    ***\n";
    struct Case {
        const char* what;
        std::int32_t loadst;
        std::int32_t records_per_step;  // NUMRAF(5); NUMRAF(6) is 0
        std::string out;
    };
    // Three steps of two DynRes, one record each; the file has 23 records.
    const std::vector<Case> cases{
        {"no records per step and 2^31-1 steps", 2147483647, 0,
         dynres20 +
             "      Result steps (LSTSTO)                  :2147483647\n"
             "      need 512-byte records per step         :         1\n"
             "      the file holds 512-byte records        :        23\n" +
             pektor0},
        {"no records per step", 3, 0,
         dynres20 +
             "      Result steps (LSTSTO)                  :         3\n"
             "      DYNRES record key of step 1            :       111\n"
             "      DYNRES record key of step 2            :       111\n" +
             pektor0},
        {"sound records, more steps than records", 24, 2,
         dynres20 +
             "      Result steps (LSTSTO)                  :        24\n"
             "      need 512-byte records per step         :         1\n"
             "      the file holds 512-byte records        :        23\n" +
             pektor0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        tools::DynResLayout layout;
        layout.labels = {"A", "B"};
        layout.steps = 3;
        tools::Mstru mstru = tools::default_mstru(layout);
        mstru.set("LOADST", c.loadst);
        layout.mstru = mstru;
        tools::DynResWriter writer(dir.path() / "d.dyn", layout);
        for (int i = 0; i < 3; ++i) {
            const std::vector<float> v = {1.0f, 2.0f};
            writer.add_step(0.5f * static_cast<float>(i), v);
        }
        writer.file().set_numraf(5, c.records_per_step);
        writer.file().set_numraf(6, 0);
        writer.finish();
        const std::string before = dir.read("d.dyn");
        EXPECT_EQ(before.size(), 23u * 512u);

        for (const char* op : {"1\n1\n", "3\n"}) {
            const Session r = run_pektor(dir, std::string(op) + "d.dyn\nout.txt\n\n1\n\n");
            EXPECT_EQ(r.code, 1);
            EXPECT_EQ(r.out, c.out);
            EXPECT_EQ(r.tail, kFailedReturn);
            EXPECT_EQ(dir.read("d.dyn"), before);
        }
    }
}

}  // namespace
