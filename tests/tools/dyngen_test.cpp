// dyngen: its options and a small file read back against the signals.
#include <gtest/gtest.h>

#include <string>

#include "read_back.h"
#include "support/program.h"
#include "support/scratch.h"
#include "tools/sample.h"

namespace {

using tools_test::ReadBack;

class Dyngen : public ReadBack {
  protected:
    // Runs dyngen with the arguments in the temporary directory; exit code.
    int run(const std::string& args) {
        return test_support::run_in(dir,
                                    "'" DYNGEN_EXE "' " + args + " > stdout.txt 2> stderr.txt");
    }
    std::string text(const char* name) { return test_support::read_file(dir / name); }
};

TEST_F(Dyngen, HelpAndOptionErrors) {
    EXPECT_EQ(run("--help"), 0);
    EXPECT_EQ(text("stdout.txt").rfind("Usage: dyngen [options]\n", 0), 0U);
    EXPECT_NE(text("stdout.txt").find("  -o, --output NAME   file to write (default sample.dyn)\n"),
              std::string::npos);

    const std::pair<const char*, const char*> cases[] = {
        {"--steps abc", "dyngen: invalid value for --steps: 'abc' (an integer is needed)\n"},
        {"--steps=12x", "dyngen: invalid value for --steps: '12x' (an integer is needed)\n"},
        {"--steps 0", "dyngen: value of --steps out of range: 0 (1 to 40000000)\n"},
        {"--dynres -3", "dyngen: value of --dynres out of range: -3 (1 to 100000)\n"},
        {"--ncol 257", "dyngen: value of --ncol out of range: 257 (0 to 256)\n"},
        {"--pack 99999999999",
         "dyngen: invalid value for --pack: '99999999999' (an integer is needed)\n"},
        {"--dt 0",
         "dyngen: invalid value for --dt: '0' (a positive number of seconds is needed)\n"},
        {"--dt nan",
         "dyngen: invalid value for --dt: 'nan' (a positive number of seconds is needed)\n"},
        {"--dynres", "dyngen: option --dynres needs a value\n"},
        {"--colour red", "dyngen: unknown option '--colour'\n"},
        {"extra.dyn", "dyngen: unexpected argument 'extra.dyn'\n"},
        {"--dynres 100000 --pack 200",
         "dyngen: a DYNRES record of 20000200 values is too large (--pack times --dynres)\n"},
    };
    for (const auto& [args, message] : cases) {
        EXPECT_EQ(run(args), 1) << args;
        EXPECT_EQ(text("stderr.txt"), std::string(message) + "Try 'dyngen --help'.\n") << args;
    }
    EXPECT_FALSE(std::filesystem::exists(path("sample.dyn")));

    // A file that cannot be created.
    EXPECT_EQ(run("-o no/such/dir.dyn --steps 2"), 1);
    EXPECT_EQ(text("stderr.txt").rfind("dyngen: cannot write 'no/such/dir.dyn': creating ", 0), 0U);
}

TEST_F(Dyngen, SmallPackedFileHoldsTheSignals) {
    ASSERT_EQ(run("--dynres 14 --steps 50 --dt 0.1 --pack 4 --ncol 12 -o small.dyn"), 0)
        << text("stderr.txt");
    EXPECT_EQ(text("stdout.txt"),
              "dyngen: wrote small.dyn (14 DynRes, 50 steps, dt 0.1 s, nDRpack 4, nCol 12)\n");
    ASSERT_EQ(open("small.dyn"), 0) << output();
    ASSERT_EQ(recall_all(), 0) << output();
    EXPECT_EQ(param("nDynRes"), 14);
    EXPECT_EQ(param("nCol   "), 12);
    EXPECT_EQ(param("nDRpack "), 4);
    EXPECT_EQ(param("LOADST"), 13);
    EXPECT_EQ(param("nDRStep"), 50);

    const auto labels = words("ICDYNR");
    ASSERT_EQ(labels.size(), 14U * 12U);
    const auto label = [&](std::size_t k) {
        std::string s;
        for (std::size_t c = 0; c < 12; ++c) s += static_cast<char>(labels[(k - 1) * 12 + c]);
        return s;
    };
    EXPECT_EQ(label(1), "Base force F");
    EXPECT_EQ(label(6), "Base moment ");
    EXPECT_EQ(label(12), "Deck yaw    ");
    EXPECT_EQ(label(13), "Channel 13  ");

    const tools::SampleSignals signals(14, 50, 0.1);
    std::vector<float> expected(15);
    for (std::int32_t i = 0; i < 50; ++i) {
        if (i % 4 == 0) {
            const auto r = record("DYNRES", i / 4 + 1);
            ASSERT_EQ(r.size(), 60U);
            for (std::int32_t j = 0; j < 4; ++j) {
                if (i + j < 50) {
                    expected[0] = signals.time(i + j);
                    signals.values(i + j, std::span(expected).subspan(1));
                } else {
                    std::fill(expected.begin(), expected.end(), 0.0F);
                }
                EXPECT_EQ(std::vector<float>(r.begin() + 15 * j, r.begin() + 15 * (j + 1)),
                          expected)
                    << "step " << i + j;
            }
        }
    }
}

TEST(SampleSignals, RampFromTheMeanAndOneDistinctPeak) {
    const tools::SampleSignals s(8, 2000, 0.05);
    std::vector<float> v(8);
    s.values(0, v);
    EXPECT_EQ(v[2], -45000.0F);  // Fz starts at the weight
    EXPECT_EQ(s.time(1999), static_cast<float>(0.05 * 1999));
    // The largest Fx lies in the wave group, well above everything outside it.
    float top = -1e30F, outside = -1e30F;
    std::int32_t at = 0;
    for (std::int32_t i = 0; i < 2000; ++i) {
        s.values(i, v);
        if (v[0] > top) {
            top = v[0];
            at = i;
        }
        if (std::abs(s.time(i) - s.peak_time()) > 5.0) outside = std::max(outside, v[0]);
    }
    EXPECT_NEAR(s.time(at), s.peak_time(), 1.0);
    EXPECT_GT(top, 1.3F * outside);
}

}  // namespace
