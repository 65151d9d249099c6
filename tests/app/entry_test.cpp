#include "app/entry.h"

#include <gtest/gtest.h>

#include <limits>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/scratch.h"
#include "test_support.h"

namespace {

using pektor_test::FakeOperations;
using test_support::ScratchDir;

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(WorkArraySize, FromTheCommandLine) {
    struct Case {
        const char* arg;
        std::int32_t nwiwa;
    };
    const Case cases[] = {
        {nullptr, 300'000'000},
        {"300", 300'000'000},
        {"0.5", 500'000},
        {"1.5", 1'500'000},
        {"1.5e3", 1'500'000'000},
        {"1234.567", 1'234'567'040},  // single precision shows
        {"  12abc", 12'000'000},      // leading blanks skipped, stops at the letter
        {"0", 0},
        {"-3", -3'000'000},
        {"abc", 0},
        {"", 0},
        {"1e-7", 0},
        {"2147.483", 2'147'482'880},  // the largest in range, after rounding to float
        {"2147.4836", kMin},          // rounds to 2^31
        {"2148", kMin},
        {"-2148", kMin},
        {"1e300", kMin},  // beyond the float range
        {"-1e300", kMin},
        {"1e999", kMin},  // beyond the double range
        {"nan", kMin},
        {"inf", kMin},
        // Decimal text only: a hexadecimal form stops at the x.
        {"0x10", 0},
        {" -0X1p4", 0},
        {"+0x", 0},
        {"00x10", 0},
        {"10x3", 10'000'000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(app::work_array_size(c.arg).nwiwa, c.nwiwa) << (c.arg ? c.arg : "(none)");
    }
    EXPECT_EQ(app::work_array_size("0.5").x, 500000.0f);
}

TEST(WorkArraySize, TruncationTowardZero) {
    EXPECT_EQ(app::truncate_to_int32(0.9f), 0);
    EXPECT_EQ(app::truncate_to_int32(-0.9f), 0);
    EXPECT_EQ(app::truncate_to_int32(-2147483648.0f), kMin);
    EXPECT_EQ(app::truncate_to_int32(2147483520.0f), 2147483520);
    EXPECT_EQ(app::truncate_to_int32(2147483648.0f), kMin);
    EXPECT_EQ(app::truncate_to_int32(-2147483904.0f), kMin);
    EXPECT_EQ(app::truncate_to_int32(std::numeric_limits<float>::infinity()), kMin);
    EXPECT_EQ(app::truncate_to_int32(-std::numeric_limits<float>::quiet_NaN()), kMin);
}

// A run of the entry with a recording allocator that hands out a small array.
struct EntryRun {
    explicit EntryRun(std::vector<std::string> args, const std::string& answers = "")
        : arguments(std::move(args)), in(answers), units(in, out, dir.path()) {}

    int go() {
        std::vector<const char*> argv{"pektor"};
        for (const auto& a : arguments) argv.push_back(a.c_str());
        argv.push_back(nullptr);
        return app::entry(static_cast<int>(argv.size()) - 1, argv.data(), units, ops,
                          [this](std::int32_t n) {
                              requested.push_back(n);
                              if (refuse) throw std::bad_alloc();
                              return std::make_unique<dms::WorkArray>(16);
                          });
    }

    std::vector<std::string> arguments;
    ScratchDir dir;
    std::istringstream in;
    std::ostringstream out;
    io::Units units;
    FakeOperations ops{units};
    std::vector<std::int32_t> requested;
    bool refuse = false;
};

// Answers that run operation 1 to its completion.
const std::string kGoodJob = "1\n1\nf.dyn\nout.txt\n\n\n";

TEST(Entry, AllocationMessages) {
    struct Case {
        std::vector<std::string> args;
        std::int32_t words;
        std::string message;
    };
    const Case cases[] = {
        {{}, 300'000'000, "\n\n 300 million words successfully allocated \n\n"},
        {{"0.5"}, 500'000, "\n\n 0.50 million words successfully allocated \n\n"},
        {{"1.5"}, 1'500'000, "\n\n 1 million words successfully allocated \n\n"},
        {{"0.001"}, 1000, "\n\n 0.00 million words successfully allocated \n\n"},
        {{"2", "further", "arguments"},
         2'000'000,
         "\n\n 2 million words successfully allocated \n\n"},
    };
    for (const Case& c : cases) {
        EntryRun r(c.args, kGoodJob);
        EXPECT_EQ(r.go(), 0);
        EXPECT_EQ(r.requested, std::vector<std::int32_t>{c.words});
        const std::string con = r.out.str();
        EXPECT_EQ(con.substr(0, c.message.size() + 4), c.message + "\n\n\n\n");
        EXPECT_TRUE(
            con.ends_with("Successfully  Completed       ----\n"
                          "---------------------------------------------\n\n"));
    }
}

TEST(Entry, ZeroOrNegativeSize) {
    struct Case {
        const char* arg;
        const char* message;
    };
    for (const Case& c :
         {Case{"0", "\n The nwiwa value (0) is zero or negative! \n"},
          Case{"-3", "\n The nwiwa value (-3000000) is zero or negative! \n"},
          Case{"abc", "\n The nwiwa value (0) is zero or negative! \n"},
          Case{"2148", "\n The nwiwa value (-2147483648) is zero or negative! \n"}}) {
        EntryRun r({c.arg}, kGoodJob);
        EXPECT_EQ(r.go(), 1) << c.arg;
        EXPECT_EQ(r.out.str(), c.message);
        EXPECT_TRUE(r.requested.empty());
        EXPECT_TRUE(r.ops.calls.empty());
    }
}

TEST(Entry, RefusedAllocation) {
    EntryRun r({}, kGoodJob);
    r.refuse = true;
    EXPECT_EQ(r.go(), 1);
    EXPECT_EQ(r.out.str(),
              "\a\n\n ***************************************************** "
              "\n ******  Allocating  300 million words failed!  ****** "
              "\n ***************************************************** \n\n");
    EXPECT_TRUE(r.ops.calls.empty());

    EntryRun small({"0.25"});
    small.refuse = true;
    EXPECT_EQ(small.go(), 1);
    EXPECT_NE(small.out.str().find("Allocating    0 million words failed!"), std::string::npos);
}

TEST(Entry, DialogueFailureGivesReturnValueLine) {
    EntryRun r({"1"}, "1\n1\nf.dyn\nout.txt\n\n");
    r.ops.fail_at = 0;
    EXPECT_EQ(r.go(), 1);
    EXPECT_TRUE(r.out.str().ends_with("<failed>\n\n Return value from pektor: -1 \n"));
}

TEST(Entry, InternalErrorsAreReportedNotThrown) {
    EntryRun r({"1"}, "1\n1\nf.dyn\nout.txt\n\n");
    r.ops.throw_out_of_range_at_listing = true;
    EXPECT_EQ(r.go(), 1);
    EXPECT_TRUE(
        r.out.str().ends_with(" Give First/Last time of TS /whole/:  "
                              "\n *** Internal error: work array index out of range\n"));
    EXPECT_FALSE(r.units.is_open(17));  // the dialogue closed its output file

    EntryRun other({"1"}, "3\nf.dyn\nout.txt\n\n");
    other.ops.throw_runtime_error_at_listing = true;
    EXPECT_EQ(other.go(), 1);
    EXPECT_TRUE(other.out.str().ends_with("\n *** Internal error: listing broke\n"));
}

}  // namespace
