// Gathering of the DynRes series (DynRes20), extraction of one series
// (DynRes21) and the window (Pektor3_1, Pektor1_1) on every readable fixture,
// compared with the series of its sidecar.
#include <gtest/gtest.h>

#include <bit>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "dms/dms.h"
#include "io/text.h"
#include "io/units.h"
#include "ops/common.h"
#include "ops/extract.h"
#include "ops/peak.h"
#include "ops/stats.h"
#include "raflib/raflib.h"
#include "series_support.h"
#include "store/store.h"
#include "support/json_lite.h"

namespace {

using series_test::kOut;
namespace json = test_support::json;

// A store over a scratch directory with the output file open on unit 17.
class Series : public ::testing::Test, public series_test::Captured {
  protected:
    Series()
        : raf(units, [] { return raflib::LocalTime{2026, 1, 2, 3, 4, 5}; }),
          st(units, raf),
          w(200000) {}

    // Opens a copy of the fixture and runs the whole recall prologue.
    bool prologue(const std::string& fixture, ops::Parameters& p, std::int32_t& ierr) {
        dir.copy_fixture(fixture);
        return ops::recall_prologue(st, w, std::string(fixture).append(256 - fixture.size(), ' '),
                                    kOut, p, ierr) &&
               ops::finish_prologue(st, w, kOut, p, ierr);
    }

    raflib::Raflib raf;
    store::Store st;
    dms::WorkArray w;
};

float f32(const json::Value& v) {
    return static_cast<float>(v.number);
}

class EveryFixture : public Series, public ::testing::WithParamInterface<const char*> {};

TEST_P(EveryFixture, EachDynResHasTheSeriesOfTheSidecar) {
    const std::string file = GetParam();
    const json::Value j = json::sidecar(file);
    ops::Parameters p;
    std::int32_t ierr = 0;
    ASSERT_TRUE(prologue(file, p, ierr)) << output();
    const auto steps = static_cast<std::int32_t>(j["steps"].number);
    const auto ndynres = static_cast<std::int32_t>(j["nDynRes"].number);
    EXPECT_EQ(p.ndrstep, steps);
    EXPECT_EQ(p.ndynres, ndynres);
    EXPECT_EQ(p.ncol, static_cast<std::int32_t>(j["nCol"].number));

    for (std::int32_t k = 1; k <= ndynres; ++k) {
        ops::DynRes21(st, w, k, 1, 0, 1, 0, 0, kOut, ierr);
        ASSERT_EQ(ierr, 0) << output();
        const auto ts = ops::array_words(st, w, "TSCRA ", kOut, ierr);
        ASSERT_EQ(ts.size(), static_cast<std::size_t>(2 * steps));
        for (std::int32_t i = 0; i < steps; ++i) {
            const auto u = static_cast<std::size_t>(i);
            EXPECT_EQ(std::bit_cast<float>(ts[2 * u]), f32(j["times"][u])) << file << " step " << i;
            EXPECT_EQ(std::bit_cast<float>(ts[2 * u + 1]),
                      f32(j["values"][static_cast<std::size_t>(k - 1)][u]))
                << file << " DynRes " << k << " step " << i;
        }
        // TSCRA was re-booked exactly through TSCRA2, which is released again.
        EXPECT_EQ(dms::DMSINQ(w, "TSCRA2", 3), 0);
        EXPECT_EQ(dms::DMSINQ(w, "TSCRA2", 1), 2 * steps);
    }
    // Every label converts.
    const auto icdynr = ops::array_words(st, w, "ICDYNR", kOut, ierr);
    for (std::int32_t k = 1; k <= ndynres; ++k) {
        std::string label(256, ' ');
        ops::XWRI04_C(units, icdynr, p.ncol, k, label, kOut, ierr);
        EXPECT_EQ(io::trim_right(label), j["labels_listed"][static_cast<std::size_t>(k - 1)].text);
    }
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(output(), "");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, EveryFixture,
                         ::testing::Values("le_basic.dyn", "be_basic.dyn", "packed.dyn",
                                           "packed_simple.dyn", "packed_slack.dyn",
                                           "packed_cap.dyn", "ncol0.dyn", "v1.dyn", "v0_small.dyn",
                                           "v0_convert.dyn", "dupname.dyn", "combo.dyn",
                                           "loadst0.dyn"));

TEST_F(Series, CapacityOfThePackedFilesAndTheStoredStepCount) {
    struct Case {
        const char* file;
        std::int32_t capacity;
        std::int32_t found;
    };
    for (const Case c : {Case{"packed.dyn", 10, 10}, Case{"packed_slack.dyn", 16, 10},
                         Case{"packed_cap.dyn", 7, 7}, Case{"packed_simple.dyn", 10, 10},
                         Case{"le_basic.dyn", 40, 40}, Case{"loadst0.dyn", 0, 0}}) {
        ops::Parameters p;
        std::int32_t ierr = 0;
        ASSERT_TRUE(prologue(c.file, p, ierr)) << c.file;
        const std::int32_t ndynres = p.ndynres;
        EXPECT_EQ(dms::DMSINQ(w, "ALL_TS", 1), c.capacity * (ndynres + 1)) << c.file;
        const auto mstru = ops::array_words(st, w, "MSTRU", kOut, ierr);
        EXPECT_EQ(store::GTSTRU(units, mstru, "nDRStep", kOut, ierr), c.found) << c.file;
        EXPECT_EQ(store::GTSTRU(units, mstru, "LSTSTO", kOut, ierr), p.loadst) << c.file;
        EXPECT_EQ(store::GTSTRU(units, mstru, "IXACT", kOut, ierr), 1) << c.file;
        EXPECT_EQ(ierr, 0);
    }
}

TEST_F(Series, WindowKeepsBothEndsAndStopsAfterTheLast) {
    ops::Parameters p;
    std::int32_t ierr = 0;
    ASSERT_TRUE(prologue("le_basic.dyn", p, ierr));
    std::int32_t pts = 0;
    store::ARBOOK(st, w, "TS", pts, p.ndrstep, "SCRA", "RE", kOut, ierr);
    ASSERT_EQ(ierr, 0);

    // 0.25 and 1.0 are stored exactly (steps 5 and 20).
    std::int32_t n = -1;
    double tlast = -7.0;
    ops::Pektor3_1(st, w, 5, 0.25, 1.0, n, tlast, pts, p.ndrstep, kOut, ierr);
    ASSERT_EQ(n, 16);
    EXPECT_EQ(tlast, 1.0);
    for (std::int32_t i = 0; i < n; ++i) EXPECT_EQ(w.d(pts + i), 12.5 + 0.5 * i);

    ops::Pektor1_1(st, w, 5, 0.25, 1.0, n, pts, p.ndrstep, kOut, ierr);
    ASSERT_EQ(n, 16);
    EXPECT_EQ(w.d(pts), 0.25);
    EXPECT_EQ(w.d(pts + 15), 1.0);
    EXPECT_EQ(w.d(pts + 1), static_cast<double>(0.3f));

    // Reversed and empty windows find nothing and leave the last time alone.
    tlast = -7.0;
    ops::Pektor3_1(st, w, 5, 1.0, 0.25, n, tlast, pts, p.ndrstep, kOut, ierr);
    EXPECT_EQ(n, 0);
    ops::Pektor3_1(st, w, 5, 5.0, 6.0, n, tlast, pts, p.ndrstep, kOut, ierr);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(tlast, -7.0);
    // A window with a single sample.
    ops::Pektor3_1(st, w, 5, 1.15f, 1.15f, n, tlast, pts, p.ndrstep, kOut, ierr);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(w.d(pts), -125.0);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(output(), "");
}

TEST_F(Series, ExtractionRefusesNumbersOutsideTheDynResAndTooSmallTargets) {
    ops::Parameters p;
    std::int32_t ierr = 0;
    ASSERT_TRUE(prologue("packed.dyn", p, ierr));
    ops::DynRes21(st, w, 4, 1, 0, 1, 0, 0, kOut, ierr);
    EXPECT_EQ(ierr, -1);
    std::int32_t jerr = 0;
    std::int32_t pts = 0;
    store::ARBOOK(st, w, "TS", pts, 5, "SCRA", "RE", kOut, jerr);
    std::int32_t n = 0;
    double tlast = 0.0;
    ops::Pektor3_1(st, w, 1, 0.0, 1.0E35, n, tlast, pts, 5, kOut, jerr);
    EXPECT_EQ(jerr, -1);
    ops::Pektor1_1(st, w, 0, 0.0, 1.0E35, n, pts, 10, kOut, jerr);
    EXPECT_EQ(jerr, -1);
    EXPECT_EQ(output(),
              "\n  *** ERROR IN DynRes21   ***\n"
              "      DynRes number outside 1 .. nDynRes     :         4\n"
              "\n  *** ERROR IN DynRes21   ***\n"
              "\n  *** ERROR IN DynRes21   ***\n"
              "      DynRes number outside 1 .. nDynRes     :         0\n"
              "\n  *** ERROR IN Pektor1_1  ***\n");
}

TEST_F(Series, OperationsRefuseNumbersThatNameNoDynRes) {
    dir.copy_fixture("packed.dyn");
    const std::string file = io::fixed("packed.dyn", 256);
    std::int32_t ierr = 0;
    EXPECT_EQ(ops::PEKTOR0(st, w, file, 0.0, 1.0E35, -1, -1, kOut, ierr), 1.0E30);
    EXPECT_EQ(ierr, -1);
    // Statistics: ALL (-99) and 1 .. nDynRes name DynRes, 0 and other
    // negative numbers do not.
    for (const std::int32_t idr : {0, -5}) {
        ierr = 0;
        ops::Pektor3(st, w, file, 0.0, 1.0E35, idr, kOut, ierr);
        EXPECT_EQ(ierr, -1);
    }
    const std::string blocks = "\n  *** Illegal Dynres Number  \n      Specified  Dynres   : ";
    EXPECT_EQ(output(), "\n  *** ERROR IN PEKTOR0    ***\n" + blocks +
                            "      -1\n      Number of  Dynres   :        3\n"
                            "\n  *** ERROR IN Pektor3    ***\n" +
                            blocks +
                            "       0\n      Number of  Dynres   :        3\n"
                            "\n  *** ERROR IN Pektor3    ***\n" +
                            blocks + "      -5\n      Number of  Dynres   :        3\n");
    EXPECT_EQ(console.str(), "\n  *** ERROR IN PEKTOR0    ***\n" + blocks +
                                 "      -1\n      Number of  Dynres   :        3\n"
                                 "\n  *** ERROR IN Pektor3    ***\n" +
                                 blocks +
                                 "       0\n      Number of  Dynres   :        3\n"
                                 "\n  *** ERROR IN Pektor3    ***\n" +
                                 blocks + "      -5\n      Number of  Dynres   :        3\n");
}

TEST_F(Series, AllTsTooLargeForTheWorkArray) {
    // ALL_TS of le_basic.dyn needs 40 * 6 words on top of what the recall
    // took: a work array one word short fails in the booking.
    ops::Parameters p;
    std::int32_t ierr = 0;
    ASSERT_TRUE(prologue("le_basic.dyn", p, ierr));
    const std::int32_t before = dms::DMSINQ(w, "ALL_TS", 3) - 1;
    ASSERT_GT(before, 0);
    for (const std::int32_t spare : {0, -1}) {
        dms::WorkArray fits(before + 240 + spare);
        w = std::move(fits);
        ops::Parameters q;
        std::int32_t jerr = 0;
        const bool ok = ops::recall_prologue(st, w, "le_basic.dyn", kOut, q, jerr) &&
                        ops::finish_prologue(st, w, kOut, q, jerr);
        EXPECT_EQ(ok, spare == 0);
    }
    EXPECT_EQ(output(),
              "*** ERROR IN ARBOOK ***\n"
              "Insufficient space for array ALL_TS\n"
              "\n  *** ERROR IN DynRes20   ***\n");
}

}  // namespace
