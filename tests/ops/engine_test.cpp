// The engine inside one operation call: it takes over the gathering on
// every readable fixture, leaves RAFLIB's page cache, array context and
// access state and the DYNRES storage as the per-step loop leaves them, and
// fills ALL_TS columns with the per-step loop's words.
#include "ops/engine.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dms/dms.h"
#include "ops/common.h"
#include "ops/stats.h"
#include "raflib/raflib.h"
#include "series_support.h"
#include "store/store.h"
#include "support/json_lite.h"

namespace {

using series_test::kOut;

// One operation call's set-up over a copy of a fixture.
struct Call : series_test::Captured {
    Call()
        : raf(units, [] { return raflib::LocalTime{2026, 1, 2, 3, 4, 5}; }),
          st(units, raf),
          w(400000) {}

    bool gather(const std::string& fixture, ops::Engine* engine) {
        dir.copy_fixture(fixture);
        std::int32_t ierr = 0;
        return ops::recall_prologue(st, w, fixture + std::string(256 - fixture.size(), ' '), kOut,
                                    p, ierr) &&
               ops::finish_prologue(st, w, kOut, p, ierr, engine);
    }

    // The cache as RAFLIB sees it: page number -> age, and the dirty flags.
    std::map<std::int32_t, std::int32_t> cache() const {
        std::map<std::int32_t, std::int32_t> c;
        const raflib::Slot& s = raf.slot(1);
        for (std::size_t i = 0; i < s.page_no.size(); ++i)
            if (s.page_no[i] != 0) c[s.page_no[i]] = s.age[i];
        return c;
    }

    std::span<std::int32_t> words(const char* name) {
        std::int32_t ierr = 0;
        return ops::array_words(st, w, name, kOut, ierr);
    }

    raflib::Raflib raf;
    store::Store st;
    dms::WorkArray w;
    ops::Parameters p;
};

class EngineOnFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(EngineOnFixture, TakesOverAndLeavesTheStateOfThePerStepLoop) {
    const std::string f = GetParam();
    const auto j = test_support::json::sidecar(f);
    Call fast, slow;
    ops::Engine engine;
    ASSERT_TRUE(fast.gather(f, &engine)) << fast.output();
    ASSERT_TRUE(slow.gather(f, nullptr)) << slow.output();
    EXPECT_TRUE(engine.active());
    EXPECT_EQ(fast.p.ndrstep, static_cast<std::int32_t>(j["steps"].number));
    EXPECT_EQ(fast.p.ndrstep, slow.p.ndrstep);

    EXPECT_EQ(fast.cache(), slow.cache());
    const raflib::ArrayContext& a = fast.raf.ctx;
    const raflib::ArrayContext& b = slow.raf.ctx;
    EXPECT_EQ(std::tie(a.page, a.arrayno, a.entry, a.address, a.type, a.allocated, a.current),
              std::tie(b.page, b.arrayno, b.entry, b.address, b.type, b.allocated, b.current));
    EXPECT_EQ(fast.raf.slot(1).access, slow.raf.slot(1).access);
    const auto fd = fast.words("DYNRES");
    const auto sd = slow.words("DYNRES");
    EXPECT_TRUE(std::equal(fd.begin(), fd.end(), sd.begin(), sd.end()));
    EXPECT_EQ(fast.words("MSTRU ").size(), slow.words("MSTRU ").size());
    const auto fm = fast.words("MSTRU ");
    const auto sm = slow.words("MSTRU ");
    EXPECT_TRUE(std::equal(fm.begin(), fm.end(), sm.begin(), sm.end()));

    // The columns on demand hold the words the per-step loop gathered.
    const auto n = static_cast<std::size_t>(slow.p.ndrstep);
    const auto all = slow.words("ALL_TS");
    const std::size_t q = all.size() / static_cast<std::size_t>(slow.p.ndynres + 1);
    std::vector<std::int32_t> every;
    for (std::int32_t k = 1; k <= slow.p.ndynres; ++k) every.push_back(k);
    ASSERT_TRUE(engine.fill(fast.w, fast.units, every));
    const auto filled = fast.words("ALL_TS");
    ASSERT_EQ(filled.size(), all.size());
    for (std::size_t k = 0; k <= static_cast<std::size_t>(slow.p.ndynres); ++k)
        for (std::size_t i = 0; i < n; ++i)
            ASSERT_EQ(filled[i + k * q], all[i + k * q]) << f << " column " << k << " step " << i;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, EngineOnFixture,
                         ::testing::Values("le_basic.dyn", "be_basic.dyn", "packed.dyn",
                                           "packed_simple.dyn", "packed_slack.dyn",
                                           "packed_cap.dyn", "ncol0.dyn", "v1.dyn", "v0_small.dyn",
                                           "v0_convert.dyn", "combo.dyn", "dupname.dyn",
                                           "loadst0.dyn"),
                         [](const auto& p) {
                             std::string n = p.param;
                             return n.substr(0, n.find('.'));
                         });

TEST(EngineOnFixture, HandsOverToThePerStepLoopWhenAStepIsUnusual) {
    // The record of step 21 lies beyond the end of the file: the per-step
    // loop must run and report it.
    Call fast;
    ops::Engine engine;
    EXPECT_FALSE(fast.gather("truncated.dyn", &engine));
    EXPECT_FALSE(engine.active());
    EXPECT_NE(fast.output().find("*** ERROR IN DynRes20   ***"), std::string::npos);
    // A disabled engine never takes over.
    Call off;
    ops::Engine disabled(false);
    EXPECT_TRUE(off.gather("le_basic.dyn", &disabled));
    EXPECT_FALSE(disabled.active());
}

TEST(EngineStatistics, EveryBitOfTheKernelsOnTheWindowedSeries) {
    // The streaming statistics against the kernels on the series of the
    // sidecar, for several windows (among them one with a single sample and
    // one with none).
    for (const char* f : {"le_basic.dyn", "be_basic.dyn", "packed_slack.dyn", "v1.dyn"}) {
        const auto j = test_support::json::sidecar(f);
        Call call;
        ops::Engine engine;
        ASSERT_TRUE(call.gather(f, &engine)) << call.output();
        const auto ndynres = static_cast<std::int32_t>(j["nDynRes"].number);
        for (const auto& [first, last] : std::vector<std::pair<double, double>>{
                 {0.0, 1.0E35}, {0.1, 0.3}, {0.2, 0.2}, {-5.0, 0.0}, {9.0, 10.0}, {0.25, 1.4}}) {
            std::int32_t n = -1;
            double tlast = -7.0;
            std::vector<ops::Statistics> stats;
            ASSERT_TRUE(engine.statistics(call.units, 1, ndynres, first, last, n, tlast, stats));
            // The window compared in single precision, as the classic does.
            const auto lo = static_cast<float>(first);
            const auto hi = static_cast<float>(last);
            std::vector<double> times;
            for (const auto& t : j["times"].items) {
                const auto td = static_cast<float>(t.number);
                if (td < lo) continue;
                if (td > hi) break;
                times.push_back(td);
            }
            ASSERT_EQ(n, static_cast<std::int32_t>(times.size())) << f << " " << first;
            EXPECT_EQ(tlast, times.empty() ? -7.0 : times.back());
            for (std::int32_t k = 1; k <= ndynres; ++k) {
                std::vector<double> x;
                const auto& values = j["values"][static_cast<std::size_t>(k - 1)];
                for (std::size_t i = 0, taken = 0; taken < times.size(); ++i) {
                    const auto td = static_cast<float>(j["times"][i].number);
                    if (td < lo) continue;
                    x.push_back(static_cast<float>(values[i].number));
                    ++taken;
                }
                const auto xs = ops::sview(x);
                const auto xn = static_cast<std::int32_t>(x.size());
                const ops::Statistics& s = stats[static_cast<std::size_t>(k - 1)];
                const auto same = [](double a, double b) {
                    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
                };
                EXPECT_TRUE(same(s.vmax, ops::VMAX(xs, xn))) << f << " DynRes " << k;
                EXPECT_TRUE(same(s.vmin, ops::VMIN(xs, xn))) << f << " DynRes " << k;
                EXPECT_TRUE(same(s.mean, ops::VMEAN(xs, xn))) << f << " DynRes " << k;
                EXPECT_TRUE(same(s.sdev, ops::VSTDEV(xs, xn))) << f << " DynRes " << k;
                EXPECT_TRUE(same(s.skew, ops::VSKEW(xs, xn))) << f << " DynRes " << k;
                EXPECT_TRUE(same(s.kurt, ops::VKURT(xs, xn))) << f << " DynRes " << k;
            }
        }
    }
}

}  // namespace
