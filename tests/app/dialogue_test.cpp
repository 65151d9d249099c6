#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "app/pektor.h"
#include "support/dialogue_texts.h"
#include "support/scratch.h"
#include "test_support.h"

namespace {

using pektor_test::FakeOperations;
using pektor_test::field;
using test_support::banner;
using test_support::kAskDyn;
using test_support::kAskDynRes;
using test_support::kAskOut;
using test_support::kAskRef;
using test_support::kAskSecond;
using test_support::kAskWindow;
using test_support::kCompletion;
using test_support::kSign;
using test_support::kStartAndMenu;
using test_support::kTitle1;
using test_support::kTitle2;
using test_support::kTitle3;
using test_support::kTitle4;
using test_support::kTitle5;
using test_support::ScratchDir;

// One dialogue run on scripted answers.
struct DialogRun {
    explicit DialogRun(const std::string& answers) : in(answers), units(in, out, dir.path()) {}

    std::int32_t go() {
        status = app::pektor(w, units, ops);
        return status;
    }
    std::string console() const { return out.str(); }
    std::string file(const std::string& name = "out.txt") const { return dir.read(name); }

    ScratchDir dir;
    std::istringstream in;
    std::ostringstream out;
    io::Units units;
    dms::WorkArray w{64};
    FakeOperations ops{units};
    std::int32_t status = 99;
};

// ---- whole runs of each operation ----

TEST(Dialogue, OperationOneWholeTranscript) {
    DialogRun r("1\n1\nfile.dyn\nout.txt\n\n3\n\n");
    r.ops.peaks = {125.0};
    EXPECT_EQ(r.go(), 0);
    EXPECT_EQ(r.console(), kStartAndMenu + kSign + banner(kTitle1) + kAskDyn + kAskOut +
                               kAskWindow + "<listing>\n" + kAskDynRes +
                               " PeakValue for DynRes   3 :    1.2500E+02\n" + kAskDynRes +
                               kCompletion);
    EXPECT_EQ(r.file(), " PeakValue for DynRes   3 :    1.2500E+02\n" + kCompletion);
    ASSERT_EQ(r.ops.calls.size(), 2u);
    for (const auto& c : r.ops.calls) {
        EXPECT_EQ(c.routine, "PEKTOR0");
        EXPECT_EQ(c.file, field("file.dyn"));
        EXPECT_EQ(c.first, 0.0);
        EXPECT_EQ(c.last, 1.0E35);
        EXPECT_EQ(c.isign, 1);
        EXPECT_EQ(c.iout, 17);
    }
    EXPECT_EQ(r.ops.calls[0].idr, 0);
    EXPECT_EQ(r.ops.calls[1].idr, 3);
    EXPECT_FALSE(r.units.is_open(17));
}

TEST(Dialogue, OperationTwoDafLines) {
    // Sign convention -2; peaks: (125, 150), then a reference of 0, then a
    // reference exactly at the 1.0E-30 limit, then a negative ratio.
    DialogRun r("2\n-2\nref.dyn\nsecond.dyn\nout.txt\n0.5, 20\n3\n4\n12\n7\n\n");
    r.ops.peaks = {125.0, 150.0, 0.0, 5.0, 1.0E-30, 3.0, -2.0, 5.0};
    EXPECT_EQ(r.go(), 0);
    const std::string lines =
        " PeakValues and DAF for DynRes    3 :    1.2500E+02   1.5000E+02       1.200\n"
        " PeakValues and DAF for DynRes    4 :    0.0000E+00   5.0000E+00       0.000\n"
        " PeakValues and DAF for DynRes   12 :    1.0000E-30   3.0000E+00       0.000\n"
        " PeakValues and DAF for DynRes    7 :   -2.0000E+00   5.0000E+00      -2.500\n";
    EXPECT_EQ(lines.find('\n'), 76u);
    EXPECT_EQ(r.file(), lines + kCompletion);
    EXPECT_EQ(r.console(), kStartAndMenu + kSign + banner(kTitle2) + kAskRef + kAskSecond +
                               kAskOut + kAskWindow + "<listing>\n" + kAskDynRes +
                               lines.substr(0, 77) + kAskDynRes + lines.substr(77, 77) +
                               kAskDynRes + lines.substr(154, 77) + kAskDynRes + lines.substr(231) +
                               kAskDynRes + kCompletion);
    ASSERT_EQ(r.ops.calls.size(), 9u);
    EXPECT_EQ(r.ops.calls[0].file, field("ref.dyn"));  // the listing call
    for (std::size_t k = 1; k < 9; ++k) {
        EXPECT_EQ(r.ops.calls[k].file, field(k % 2 == 1 ? "ref.dyn" : "second.dyn"));
        EXPECT_EQ(r.ops.calls[k].isign, -2);
        EXPECT_EQ(r.ops.calls[k].first, 0.5);
        EXPECT_EQ(r.ops.calls[k].last, 20.0);
    }
    EXPECT_EQ(r.ops.calls[7].idr, 7);
    EXPECT_EQ(r.ops.calls[8].idr, 7);
}

TEST(Dialogue, OperationThreeBannerOnceAndAllInAnyCase) {
    DialogRun r("3\nstats.dyn\nout.txt\n\n2\n5\naLlx\n");
    EXPECT_EQ(r.go(), 0);
    EXPECT_EQ(r.console(), kStartAndMenu + banner(kTitle3) + kAskDyn + kAskOut + kAskWindow +
                               "<listing>\n" + kAskDynRes + kAskDynRes + kAskDynRes + kCompletion);
    EXPECT_EQ(r.file(),
              banner(kTitle3) + "<Pektor3 2>\n<Pektor3 5>\n<Pektor3 -99>\n" + kCompletion);
    ASSERT_EQ(r.ops.calls.size(), 4u);
    EXPECT_EQ(r.ops.calls[0].routine, "PEKTOR0");
    EXPECT_EQ(r.ops.calls[0].isign, 0);
    EXPECT_EQ(r.ops.calls[3].routine, "Pektor3");
    EXPECT_EQ(r.ops.calls[3].idr, -99);
    EXPECT_EQ(r.ops.calls[3].file, field("stats.dyn"));
}

TEST(Dialogue, OperationsFourAndFiveRunOnceWithoutDynResLoop) {
    {
        DialogRun r("4\ncomb.dyn\nout.txt\n1.5 2.5\n");
        EXPECT_EQ(r.go(), 0);
        EXPECT_EQ(r.console(), kStartAndMenu + banner(kTitle4) + kAskDyn + kAskOut + kAskWindow +
                                   "<listing>\n" + kCompletion);
        EXPECT_EQ(r.file(), banner(kTitle4) + "<Pektor4>\n" + kCompletion);
        ASSERT_EQ(r.ops.calls.size(), 2u);
        EXPECT_EQ(r.ops.calls[1].routine, "Pektor4");
        EXPECT_EQ(r.ops.calls[1].first, 1.5);
        EXPECT_EQ(r.ops.calls[1].last, 2.5);
        EXPECT_EQ(r.ops.calls[1].file, field("comb.dyn"));
    }
    {
        DialogRun r("5\nvec.dyn\nout.txt\n\n");
        EXPECT_EQ(r.go(), 0);
        EXPECT_EQ(r.console(), kStartAndMenu + banner(kTitle5) + kAskDyn + kAskOut + kAskWindow +
                                   "<listing>\n" + kCompletion);
        EXPECT_EQ(r.file(), banner(kTitle5) + "<Pektor5>\n" + kCompletion);
        ASSERT_EQ(r.ops.calls.size(), 2u);
        EXPECT_EQ(r.ops.calls[1].routine, "Pektor5");
    }
}

TEST(Dialogue, OperationOutsideMenuAsksNoFileAndListsWithBlankName) {
    DialogRun r("9\nout.txt\n\n3\n\n");
    EXPECT_EQ(r.go(), 0);
    EXPECT_EQ(r.console(), kStartAndMenu + kAskOut + kAskWindow + "<listing>\n" + kAskDynRes +
                               kAskDynRes + kCompletion);
    EXPECT_EQ(r.file(), kCompletion);  // a peak is computed but nothing is written
    ASSERT_EQ(r.ops.calls.size(), 2u);
    EXPECT_EQ(r.ops.calls[0].file, std::string(256, ' '));
    EXPECT_EQ(r.ops.calls[1].idr, 3);
}

// ---- the DynRes loop ----

TEST(Dialogue, DynResAnswersThatEndTheLoop) {
    for (const char* answer : {"", "   ", "0", "-4", " , ", "/"}) {
        DialogRun r(std::string("1\n0\nf.dyn\nout.txt\n\n") + answer + "\n");
        EXPECT_EQ(r.go(), 0) << answer;
        EXPECT_EQ(r.ops.calls.size(), 1u) << answer;
        EXPECT_EQ(r.file(), kCompletion) << answer;
    }
}

TEST(Dialogue, AllWithOperationOnePassesMinus99) {
    DialogRun r("1\n1\nf.dyn\nout.txt\n\nall\n");
    r.ops.fail_at = 1;
    EXPECT_EQ(r.go(), -1);
    ASSERT_EQ(r.ops.calls.size(), 2u);
    EXPECT_EQ(r.ops.calls[1].idr, -99);
}

TEST(Dialogue, WindowAnswers) {
    struct Case {
        const char* answer;
        double first, last;
    };
    for (const Case& c : {Case{"", 0.0, 1.0E35}, Case{"     ", 0.0, 1.0E35}, Case{"9 2", 9.0, 2.0},
                          Case{" 1.5d1 , 2E1 trailing", 15.0, 20.0}}) {
        DialogRun r(std::string("5\nv.dyn\nout.txt\n") + c.answer + "\n");
        EXPECT_EQ(r.go(), 0) << c.answer;
        ASSERT_EQ(r.ops.calls.size(), 2u);
        for (const auto& call : r.ops.calls) {
            EXPECT_EQ(call.first, c.first) << c.answer;
            EXPECT_EQ(call.last, c.last) << c.answer;
        }
    }
}

TEST(Dialogue, AnswersAreCutTo256Characters) {
    const std::string name(300, 'n');
    // The window line has its second number in column 258: cut off.
    const std::string window = "1" + std::string(256, ' ') + "2";
    DialogRun r("3\n" + name + "\nout.txt\n" + window + "\n");
    EXPECT_EQ(r.go(), -1);
    EXPECT_EQ(r.ops.calls.size(), 0u);
    EXPECT_TRUE(r.console().ends_with(
        kAskWindow +
        "\n *** Input error at prompt \"Give First/Last time of TS /whole/\": two numbers "
        "expected, the first and the last time\n"));

    DialogRun r2("3\n" + name + "\nout.txt\n\n\n");
    EXPECT_EQ(r2.go(), 0);
    ASSERT_EQ(r2.ops.calls.size(), 1u);
    EXPECT_EQ(r2.ops.calls[0].file, std::string(256, 'n'));
}

// ---- failures ----

TEST(Dialogue, OutputFileThatCannotBeOpenedEndsBeforeTheWindow) {
    DialogRun r("1\n1\nf.dyn\nno_such_dir/out.txt\n\n3\n\n");
    EXPECT_EQ(r.go(), -1);
    EXPECT_EQ(r.console(), kStartAndMenu + kSign + banner(kTitle1) + kAskDyn + kAskOut +
                               "\n *** Output file cannot be opened: \"no_such_dir/out.txt\"\n");
    EXPECT_TRUE(r.ops.calls.empty());
    EXPECT_FALSE(r.units.is_open(17));
    EXPECT_FALSE(r.dir.exists("fort.17"));

    DialogRun blank("1\n1\nf.dyn\n\n");
    EXPECT_EQ(blank.go(), -1);
    EXPECT_TRUE(blank.console().ends_with("\n *** Output file cannot be opened: \"\"\n"));
}

TEST(Dialogue, OutputFileIsRewrittenFromItsStart) {
    DialogRun r("1\n1\nf.dyn\nout.txt\n\n\n");
    r.dir.write("out.txt", std::string(2000, 'x') + "\n");
    EXPECT_EQ(r.go(), 0);
    EXPECT_EQ(r.file(), kCompletion);
}

TEST(Dialogue, FailingOperationEndsTheRunAndKeepsWrittenLines) {
    // Listing call fails: nothing in the output file.
    {
        DialogRun r("1\n1\nf.dyn\nout.txt\n\n3\n\n");
        r.ops.fail_at = 0;
        EXPECT_EQ(r.go(), -1);
        EXPECT_TRUE(r.console().ends_with(kAskWindow + "<failed>\n"));
        EXPECT_EQ(r.file(), "");
        EXPECT_FALSE(r.units.is_open(17));
    }
    // The second file of operation 2 fails on the second DynRes.
    {
        DialogRun r("2\n1\na.dyn\nb.dyn\nout.txt\n\n3\n4\n\n");
        r.ops.peaks = {1.0, 2.0, 3.0};
        r.ops.fail_at = 4;
        EXPECT_EQ(r.go(), -1);
        EXPECT_EQ(r.file(),
                  " PeakValues and DAF for DynRes    3 :    1.0000E+00   2.0000E+00       2.000\n");
        EXPECT_EQ(r.ops.calls.size(), 5u);
    }
    // Statistics, combination and vector length.
    for (const char* answers :
         {"3\nf\nout.txt\n\n1\n2\n", "4\nf\nout.txt\n\n", "5\nf\nout.txt\n\n"}) {
        DialogRun r(answers);
        r.ops.fail_at = 1;
        EXPECT_EQ(r.go(), -1) << answers;
        EXPECT_EQ(r.ops.calls.size(), 2u) << answers;
        EXPECT_FALSE(r.file().ends_with(kCompletion)) << answers;
    }
}

TEST(Dialogue, BadAnswersGiveOneLineAndStatusMinusOne) {
    struct Case {
        std::string answers;
        std::string message;  // the last console line
        bool output_opened;
    };
    const std::string op = "Select  Operation (see above)";
    const std::string dyn = "Give dyn File Name  (incl extens)";
    const std::string win = "Give First/Last time of TS /whole/";
    const std::string two = "two numbers expected, the first and the last time";
    const Case cases[] = {
        {"", op + "\": end of input", false},
        {"\n\n", op + "\": end of input", false},
        {"abc\n", op + "\": value is not a valid integer", false},
        {"1.5\n", op + "\": value is not a valid integer", false},
        {"1\n", "Select  Sign Convension\": end of input", false},
        {"2\nminus\n", "Select  Sign Convension\": value is not a valid integer", false},
        {"3\n", dyn + "\": end of input", false},
        {"2\n1\nref\n", "Give Second    dyn File (incl ext)\": end of input", false},
        {"3\nf\n", "Give Output File Name\": end of input", false},
        {"3\nf\nout.txt\n", win + "\": end of input", true},
        {"3\nf\nout.txt\n5\n", win + "\": " + two, true},
        {"3\nf\nout.txt\n5,,\n", win + "\": " + two, true},
        {"3\nf\nout.txt\n5 /\n", win + "\": " + two, true},
        {"3\nf\nout.txt\nnan 3\n", win + "\": the first time is not a number (NaN)", true},
        {"3\nf\nout.txt\nnan inf\n", win + "\": the first time is not a number (NaN)", true},
        {"3\nf\nout.txt\n0,NaN\n", win + "\": the last time is not a number (NaN)", true},
        {"3\nf\nout.txt\n\t0\t\n", win + "\": " + two, true},
        {"3\nf\nout.txt\n0 ten\n", win + "\": value is not a valid real number", true},
        {"3\nf\nout.txt\n\n", "Give Dynres Number\": end of input", true},
        {"3\nf\nout.txt\n\nthree\n", "Give Dynres Number\": value is not a valid integer", true},
        {"3\nf\nout.txt\n\nal\n", "Give Dynres Number\": value is not a valid integer", true},
        {"3\nf\nout.txt\n\n all\n", "Give Dynres Number\": value is not a valid integer", true},
        {"1\n1\nf\nout.txt\n\n2.5\n", "Give Dynres Number\": value is not a valid integer", true},
        {"1\n1\nf\nout.txt\n\n2\n", "Give Dynres Number\": end of input", true},
    };
    for (const Case& c : cases) {
        DialogRun r(c.answers);
        EXPECT_EQ(r.go(), -1) << c.answers;
        EXPECT_TRUE(r.console().ends_with(":  \n *** Input error at prompt \"" + c.message + "\n"))
            << c.answers << "\n---\n"
            << r.console().substr(r.console().size() > 200 ? r.console().size() - 200 : 0);
        EXPECT_FALSE(r.units.is_open(17)) << c.answers;
        EXPECT_EQ(r.dir.exists("out.txt"), c.output_opened) << c.answers;
        if (c.output_opened) {
            EXPECT_FALSE(r.file().ends_with(kCompletion)) << c.answers;
        }
    }
}

}  // namespace
