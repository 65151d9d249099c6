// Every fixture dyn file read through the library: the decoded records must
// equal the values of its sidecar, damaged files give their messages, and
// reading leaves version-1 and version-2 files unchanged.
#include <cmath>

#include "raflib_test_util.h"
#include "support/json_lite.h"

namespace {

using rtest::RaflibTest;
using namespace raflib;
namespace json = test_support::json;
using json::sidecar;

class FixturesTest : public RaflibTest {
  protected:
    // Reads array n of type 2 with its current count.
    std::vector<float> floats(std::int32_t n) {
        std::int32_t ierr = 0;
        RFFNFP(*raf_, 22, n, 2, 0, kOpLocate, ierr);
        EXPECT_EQ(ierr, 0);
        const std::int32_t count = raf_->ctx.current;
        std::vector<std::int32_t> w(static_cast<std::size_t>(count));
        RAFGRE(*raf_, w, count, n, 22, ierr);
        EXPECT_EQ(ierr, 0) << "array " << n;
        std::vector<float> out;
        for (const auto x : w) out.push_back(rtest::as_float(x));
        return out;
    }
    std::vector<std::int32_t> ints(std::int32_t n) {
        std::int32_t ierr = 0;
        RFFNFP(*raf_, 22, n, 1, 0, kOpLocate, ierr);
        EXPECT_EQ(ierr, 0);
        const std::int32_t count = raf_->ctx.current;
        std::vector<std::int32_t> w(static_cast<std::size_t>(count));
        RAFGIN(*raf_, w, count, n, 22, ierr);
        EXPECT_EQ(ierr, 0) << "array " << n;
        return w;
    }

    // Checks the series of a file whose DYNRES record of step s is array
    // first + stride * (s - 1), holding the time and one value per DynRes.
    void check_series(const std::string& file, std::int32_t first, std::int32_t stride) {
        const json::Value j = sidecar(file);
        const auto steps = static_cast<std::int32_t>(j["steps"].number);
        const std::size_t ndr = static_cast<std::size_t>(j["nDynRes"].number);
        ASSERT_GT(steps, 0);
        for (std::int32_t s = 1; s <= steps; ++s) {
            const std::vector<float> rec = floats(first + stride * (s - 1));
            ASSERT_EQ(rec.size(), ndr + 1) << file << " step " << s;
            const auto i = static_cast<std::size_t>(s - 1);
            EXPECT_EQ(static_cast<double>(rec[0]), j["times"][i].number) << file << " step " << s;
            for (std::size_t k = 0; k < ndr; ++k)
                EXPECT_EQ(static_cast<double>(rec[k + 1]), j["values"][k][i].number)
                    << file << " DynRes " << k + 1 << " step " << s;
        }
        // The labels, one character code per word.
        const std::vector<std::int32_t> labels = ints(106);
        const std::size_t ncol = static_cast<std::size_t>(j["nCol"].number);
        ASSERT_EQ(labels.size(), ncol * ndr);
        for (std::size_t k = 0; k < ndr; ++k) {
            std::string l;
            for (std::size_t c = 0; c < ncol; ++c) l += static_cast<char>(labels[k * ncol + c]);
            while (!l.empty() && (l.back() == ' ' || l.back() == '\0')) l.pop_back();
            EXPECT_EQ(l, j["labels"][k].text) << file;
        }
    }

    void open_checked(const std::string& file) {
        RAFINI(*raf_, 6);
        ASSERT_EQ(close(22), 0);
        ASSERT_EQ(open_fixture(file), 0) << file;
        EXPECT_EQ(take_output(), "");
        const json::Value j = sidecar(file);
        EXPECT_EQ(raf_->cur().computer_type, static_cast<std::int32_t>(j["computer_type"].number));
        EXPECT_EQ(raf_->cur().mfpmax, static_cast<std::int32_t>(j["MFPMAX"].number));
    }
};

TEST_F(FixturesTest, SeriesOfEveryReadableFile) {
    struct Case {
        const char* file;
        std::int32_t first;
        std::int32_t stride;
    };
    for (const Case c :
         {Case{"le_basic.dyn", 111, 2}, Case{"be_basic.dyn", 111, 2}, Case{"dupname.dyn", 111, 2},
          Case{"combo.dyn", 111, 2}, Case{"ncol0.dyn", 111, 2}, Case{"v1.dyn", 111, 3},
          Case{"v0_small.dyn", 110, 1}, Case{"v0_convert_after.dyn", 110, 1},
          Case{"v0_convert.dyn", 110, 1}}) {
        SCOPED_TRACE(c.file);
        open_checked(c.file);
        check_series(c.file, c.first, c.stride);
        ASSERT_EQ(close(22), 0);
        if (std::string(c.file) == "v0_convert.dyn") {
            EXPECT_EQ(bytes(c.file), fixture_bytes("v0_convert_after.dyn"));
        } else {
            EXPECT_EQ(bytes(c.file), fixture_bytes(c.file));
        }
    }
}

TEST_F(FixturesTest, OtherArraysOfBothByteOrders) {
    for (const char* file : {"le_basic.dyn", "be_basic.dyn"}) {
        SCOPED_TRACE(file);
        open_checked(file);
        const std::vector<std::int32_t> numraf = ints(101);
        ASSERT_EQ(numraf.size(), 20u);
        EXPECT_EQ(std::vector<std::int32_t>(numraf.begin(), numraf.begin() + 11),
                  (std::vector<std::int32_t>{9, 2, 0, 9, 2, 0, 10, 25, 8, 100, 100}));
        EXPECT_EQ(ints(104)[0], 11001);  // NODES filler 1000*n + k
        // MPDYNR: 4 doubles 15.25 .. 16.0.
        std::vector<std::int32_t> w(10, -7);
        std::int32_t ierr = 0;
        RAFGDP(*raf_, std::span<std::int32_t>(w).first(8), 4, 108, 22, ierr);
        ASSERT_EQ(ierr, 0);
        for (std::size_t k = 0; k < 4; ++k)
            EXPECT_EQ(rtest::double_at(w, k), 15.0 + 0.25 * static_cast<double>(k + 1));
        EXPECT_EQ(w[8], -7);
        // MDYNR: 6 singles 18.25 .. 19.5, widened.
        std::vector<std::int32_t> d(12);
        RAFGRD(*raf_, d, 6, 107, 22, ierr);
        ASSERT_EQ(ierr, 0);
        for (std::size_t k = 0; k < 6; ++k)
            EXPECT_EQ(rtest::double_at(d, k), 18.0 + 0.25 * static_cast<double>(k + 1));
        // STEPINF of step 7: 7.25, 7.5.
        EXPECT_EQ(floats(110 + 2 * 6), (std::vector<float>{7.25f, 7.5f}));
        ASSERT_EQ(close(22), 0);
        EXPECT_EQ(bytes(file), fixture_bytes(file));
    }
}

TEST_F(FixturesTest, PackedRecords) {
    for (const char* file : {"packed.dyn", "packed_cap.dyn", "packed_slack.dyn"}) {
        SCOPED_TRACE(file);
        open_checked(file);
        const json::Value j = sidecar(file);
        const json::Value& records = j["records"];
        for (std::size_t r = 0; r < records.size(); ++r) {
            const std::vector<float> rec = floats(111 + 2 * static_cast<std::int32_t>(r));
            ASSERT_EQ(rec.size(), 16u);
            for (std::size_t slot = 0; slot < 4; ++slot) {
                const json::Value& sv = records[r][slot];
                EXPECT_EQ(static_cast<double>(rec[4 * slot]), sv[0].number);
                for (std::size_t k = 0; k < 3; ++k)
                    EXPECT_EQ(static_cast<double>(rec[4 * slot + 1 + k]), sv[1][k].number);
            }
        }
        ASSERT_EQ(close(22), 0);
        EXPECT_EQ(bytes(file), fixture_bytes(file));
    }

    open_checked("packed_simple.dyn");
    const json::Value j = sidecar("packed_simple.dyn");
    std::vector<float> slots;
    for (std::int32_t r = 0; r < 3; ++r) {
        const std::vector<float> rec = floats(111 + 2 * r);
        slots.insert(slots.end(), rec.begin(), rec.end());
    }
    ASSERT_EQ(slots.size(), 48u);
    for (std::size_t s = 0; s < 12; ++s) {
        for (std::size_t k = 0; k < 4; ++k) {
            const double want = s >= 10  ? 0.0
                                : k == 0 ? j["times"][s].number
                                         : j["values"][k - 1][s].number;
            EXPECT_EQ(static_cast<double>(slots[4 * s + k]), want) << s << " " << k;
        }
    }
}

TEST_F(FixturesTest, FilesWithoutGatheredSteps) {
    open_checked("loadst0.dyn");
    for (std::int32_t i = 0; i < 5; ++i) {
        const float fi = static_cast<float>(i);
        EXPECT_EQ(floats(111 + 2 * i), (std::vector<float>{0.5f * fi, 1 + fi, -1 - fi}));
    }
    open_checked("fixed_mstru.dyn");
    const std::vector<std::int32_t> mstru = ints(105);
    ASSERT_EQ(mstru.size(), 200u);
    EXPECT_EQ(mstru[0], 0);
    EXPECT_EQ(mstru[1], 5);
    EXPECT_EQ(mstru[2], 3);
    EXPECT_EQ(mstru[49], 6);
    for (std::int32_t s = 0; s < 6; ++s) EXPECT_EQ(floats(111 + 2 * s).size(), 3u);
    ASSERT_EQ(close(22), 0);
    EXPECT_EQ(bytes("fixed_mstru.dyn"), fixture_bytes("fixed_mstru.dyn"));
}

TEST_F(FixturesTest, RefusedFiles) {
    EXPECT_EQ(open_fixture("not_raflib.dyn", 22), -1020);
    EXPECT_NE(take_output().find(" *** File is not a RAFLIB file"), std::string::npos);
    EXPECT_EQ(open_fixture("version3.dyn", 23), -1029);
    EXPECT_NE(take_output().find(" *** Too new RAFLIB file (version 3) - update program"),
              std::string::npos);
    EXPECT_EQ(open_fixture("badcur.dyn", 24), -1062);
    EXPECT_NE(take_output().find(" *** Inconsistent CHKEY: MFPCUR = 193 is illegal"),
              std::string::npos);
    EXPECT_EQ(open_fixture("foreign_type.dyn", 25), -1070);
    EXPECT_NE(take_output().find(" *** Cannot read files generated on Sun SPARC / SunOS"),
              std::string::npos);
    for (const char* f : {"not_raflib.dyn", "version3.dyn", "badcur.dyn", "foreign_type.dyn"})
        EXPECT_EQ(bytes(f), fixture_bytes(f)) << f;
}

TEST_F(FixturesTest, ReadLockedFile) {
    ASSERT_EQ(open_fixture("locked.dyn"), 0);
    std::vector<std::int32_t> w(20);
    std::int32_t ierr = 0;
    RAFGIN(*raf_, w, 20, 101, 22, ierr);
    EXPECT_EQ(ierr, -1023);
    EXPECT_EQ(take_output(),
              io::fixed(" *** RAFLIB ERROR - 24-03-11 14:25:36 - Routine RAFGIN:", 80) + "\n" +
                  io::fixed(" *** File 22 / Msg_no 1023:", 80) + "\n" +
                  io::fixed(" *** File is read locked", 75) + "\n");
}

TEST_F(FixturesTest, TruncatedFile) {
    ASSERT_EQ(open_fixture("truncated.dyn"), 0);
    const json::Value j = sidecar("truncated.dyn");
    for (std::int32_t s = 1; s <= 20; ++s) {
        const std::vector<float> rec = floats(111 + 2 * (s - 1));
        ASSERT_EQ(rec.size(), 6u);
        EXPECT_EQ(static_cast<double>(rec[1]),
                  j["values"][0][static_cast<std::size_t>(s - 1)].number);
    }
    std::vector<std::int32_t> w(6, -7);
    std::int32_t ierr = 0;
    RAFGRE(*raf_, w, 6, 151, 22, ierr);
    EXPECT_EQ(ierr, -1036);
    EXPECT_NE(take_output().find(" *** Cannot read from file - Computer's error flag = 5002"),
              std::string::npos);
    ASSERT_EQ(close(22), 0);
    EXPECT_EQ(bytes("truncated.dyn"), fixture_bytes("truncated.dyn"));
}

TEST_F(FixturesTest, TwoFilesOfDifferentByteOrderOpenTogether) {
    ASSERT_EQ(open_fixture("be_basic.dyn", 22), 0);
    ASSERT_EQ(open_fixture("le_basic.dyn", 23), 0);
    EXPECT_EQ(raf_->file_type, 14);
    // The big-endian file is still converted, and a new file can be written.
    EXPECT_EQ(floats(110), (std::vector<float>{1.25f, 1.5f}));
    ASSERT_EQ(create("new.raf", 10, 24), 0);
    std::vector<std::int32_t> one = {5};
    std::int32_t ierr = 0;
    RAFPIN(*raf_, one, 1, 1, 24, ierr);
    EXPECT_EQ(ierr, 0);
    // Writing into the foreign file is refused.
    RAFPIN(*raf_, one, 1, 1, 22, ierr);
    EXPECT_EQ(ierr, -1071);
    EXPECT_NE(take_output().find(" *** Cannot generate files for Silicon Graphics / IRIX"),
              std::string::npos);
    for (std::int32_t u : {22, 23, 24}) EXPECT_EQ(close(u), 0);
    EXPECT_EQ(bytes("be_basic.dyn"), fixture_bytes("be_basic.dyn"));
}

}  // namespace
