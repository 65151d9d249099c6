// The option values of --filter, --max-memory and the psd command.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "batch/filter.h"
#include "batch/options.h"
#include "batch/psd.h"

namespace {

using analysis::FilterKind;

TEST(FilterOptions, FilterTextsReadBackOrFail) {
    struct Good {
        std::string text;
        std::string order;
        FilterKind kind;
        double f1;
        double f2;
        int n;
    };
    const std::vector<Good> good{
        {"low:0.05", "4", FilterKind::low, 0.05, 0.0, 4},
        {" high : 1e-2 ", "1", FilterKind::high, 0.01, 0.0, 1},
        {"band:0.5:1.5", "8", FilterKind::band, 0.5, 1.5, 8},
        {"stop:2:3", "2", FilterKind::stop, 2.0, 3.0, 2},
    };
    for (const Good& g : good) {
        const analysis::FilterSettings s = batch::parse_filter(g.text, g.order);
        EXPECT_EQ(s.kind, g.kind) << g.text;
        EXPECT_EQ(s.f1, g.f1) << g.text;
        EXPECT_EQ(s.f2, g.f2) << g.text;
        EXPECT_EQ(s.order, g.n) << g.text;
    }
    const std::vector<std::pair<std::string, std::string>> bad{
        {"lowpass:1", "4"}, {"low", "4"},     {"low:1:2", "4"},  {"band:1", "4"},
        {"low:x", "4"},     {"low:1x", "4"},  {"low:0", "4"},    {"high:-1", "4"},
        {"low:inf", "4"},   {"low:nan", "4"}, {"band:2:1", "4"}, {"stop:1:1", "4"},
        {"low:1", "0"},     {"low:1", "9"},   {"low:1", "4.5"},  {"low:1", ""},
    };
    for (const auto& [text, order] : bad)
        EXPECT_THROW(batch::parse_filter(text, order), batch::UsageError) << text << " " << order;
}

TEST(FilterOptions, MemoryAndPsdOptions) {
    EXPECT_EQ(batch::parse_memory("4G"), std::uint64_t{4} << 30);
    EXPECT_EQ(batch::parse_memory("512m"), std::uint64_t{512} << 20);
    EXPECT_EQ(batch::parse_memory("64KiB"), std::uint64_t{64} << 10);
    EXPECT_EQ(batch::parse_memory("1000"), 1000u);
    for (const char* bad : {"", "0", "-1", "4X", "1.5G", "99999999999T", "G"})
        EXPECT_THROW(batch::parse_memory(bad), batch::UsageError) << bad;

    const batch::PsdOptions d = batch::parse_psd_options("", "", false);
    EXPECT_EQ(d.nperseg, 0u);
    EXPECT_EQ(d.overlap, 0.5);
    const batch::PsdOptions o = batch::parse_psd_options("16", "0", true);
    EXPECT_EQ(o.nperseg, 16u);
    EXPECT_EQ(o.overlap, 0.0);
    EXPECT_TRUE(o.curve);
    for (const auto& [n, f] : std::vector<std::pair<const char*, const char*>>{{"15", ""},
                                                                               {"x", ""},
                                                                               {"-16", ""},
                                                                               {"", "1"},
                                                                               {"", "-0.1"},
                                                                               {"", "nan"},
                                                                               {"", "0.5x"}})
        EXPECT_THROW(batch::parse_psd_options(n, f, false), batch::UsageError) << n << " " << f;
}

}  // namespace
