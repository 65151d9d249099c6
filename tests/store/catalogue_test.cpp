// The catalogue read from independently written dyn files, record keys and
// the set-up failures.
#include <cstring>

#include "store_fixture.h"

namespace {

using store_test::kFile;
using store_test::kOut;
using store_test::StoreTest;

float as_float(std::int32_t word) {
    float f;
    std::memcpy(&f, &word, sizeof f);
    return f;
}

std::string label(dms::WorkArray& w, std::int32_t p, std::int32_t ncol, std::int32_t k) {
    std::string s;
    for (std::int32_t i = 1; i <= ncol; ++i)
        s += static_cast<char>(w.i(p + (k - 1) * ncol + i - 1));
    return s;
}

TEST(RecordKey, StoreCodesAndSteps) {
    // NUMRAF(4..6) = 9 2 1, offset 100.
    EXPECT_EQ(store::record_key(9, 2, 1, 100, 1, 5, 0, 0, 0), 105);
    EXPECT_EQ(store::record_key(9, 2, 1, 100, 11, 8, 2, 0, 7), 108);
    EXPECT_EQ(store::record_key(9, 2, 1, 100, 3, 5, 2, 0, 0), 0);
    EXPECT_EQ(store::record_key(9, 2, 1, 100, 3, 5, 2, 0, 1), 111);
    EXPECT_EQ(store::record_key(9, 2, 1, 100, 3, 5, 2, 0, 2), 114);
    EXPECT_EQ(store::record_key(9, 2, 1, 100, 2, 9, 2, 1, 2), 115);
    // Store code 5 from the structure part with step 0, from the step's part with step 3.
    EXPECT_EQ(store::record_key(9, 2, 1, 100, 5, 6, 2, 0, 0), 106);
    EXPECT_EQ(store::record_key(9, 2, 1, 100, 5, 6, 2, 0, 3), 100 + 9 + 2 * 3 + 2);
    EXPECT_EQ(store::record_key(9, 2, 1, 100, 4, 6, 2, 1, 3), 100 + 9 + 2 + 2 * 3 + 1);
    EXPECT_EQ(store::record_key(9, 2, 1, 100, 0, 6, 2, 1, 3), 0);
    EXPECT_EQ(store::record_key(0, 0, 0, 100, 1, 5, 0, 0, 1), 0);
    EXPECT_EQ(store::record_key(2000000000, 2000000000, 0, 100, 3, 5, 1, 0, 2), -1);
}

TEST(TypeAndStoreTexts, ConvertBothWays) {
    EXPECT_EQ(store::type_code("RE"), 3);
    EXPECT_EQ(store::words_per_element("I8"), 2);
    EXPECT_EQ(store::type_code("XX"), 0);
    EXPECT_EQ(store::type_text_of(3, 1), "RE");
    EXPECT_EQ(store::type_text_of(3, 0), "DP");
    EXPECT_EQ(store::type_text_of(4, 0), "??");
    EXPECT_EQ(store::store_code("PO+S"), 5);
    EXPECT_EQ(store::store_code("SCRA"), 0);
    EXPECT_EQ(store::store_code("FOO "), -1);
    EXPECT_EQ(store::store_text_of(5), "S+PO");
    EXPECT_EQ(store::store_text_of(7), "????");
}

TEST(Lentrm, TrimmedLength) {
    EXPECT_EQ(store::LENTRM(std::string(256, ' '), 256), 0);
    EXPECT_EQ(store::LENTRM("AB" + std::string(254, ' '), 256), 2);
    EXPECT_EQ(store::LENTRM("A B  C", 6), 6);
    EXPECT_EQ(store::LENTRM("A B  C   ", 5), 3);
    EXPECT_EQ(store::LENTRM(std::string(30, 'x') + std::string(70, ' ') + "y", 101), 101);
    EXPECT_EQ(store::LENTRM("", 0), 0);
}

class FixtureCatalogue : public StoreTest {};

TEST_F(FixtureCatalogue, LittleAndBigEndianFilesGiveTheSameData) {
    for (const char* file : {"le_basic.dyn", "be_basic.dyn", "dupname.dyn"}) {
        SCOPED_TRACE(file);
        ASSERT_EQ(open(file), 0) << console.str();
        ASSERT_EQ(recall_all(), 0) << output();
        auto m = mstru();
        std::int32_t ierr = 0;
        EXPECT_EQ(store::GTSTRU(*units, m, "LOADST", kOut, ierr), 40);
        EXPECT_EQ(store::GTSTRU(*units, m, "nDynRes", kOut, ierr), 5);
        EXPECT_EQ(store::GTSTRU(*units, m, "nDynres ", kOut, ierr), 5);
        EXPECT_EQ(store::GTSTRU(*units, m, "nCol   ", kOut, ierr), 10);
        EXPECT_EQ(store::GTSTRU(*units, m, "nDRStep", kOut, ierr), 40);
        EXPECT_EQ(store::GTSTRU(*units, m, "nDRpack ", kOut, ierr), 0);
        EXPECT_EQ(ierr, 0);
        const std::int32_t pl = store::ARGTIP(*st, w, "ICDYNR", kOut, ierr);
        EXPECT_EQ(store::ARSIZE(*st, w, "ICDYNR", kOut, ierr), 50);
        EXPECT_EQ(label(w, pl, 10, 1), "Shear X   ");
        EXPECT_EQ(label(w, pl, 10, 3), "Overturn M");
        EXPECT_EQ(label(w, pl, 10, 5), "Axial  F  ");
        // DYNRES of step 1 came with the result group; step 24 holds the outlier.
        std::int32_t p = store::ARGTIP(*st, w, "DYNRES", kOut, ierr);
        EXPECT_EQ(as_float(w.i(p)), 0.0f);
        EXPECT_EQ(as_float(w.i(p + 2)), 750.0f);
        EXPECT_EQ(as_float(w.i(p + 4)), 42.5f);
        store::ARREC1(*st, w, "DYNRES", p, 24, kFile, kOut, ierr);
        ASSERT_EQ(ierr, 0);
        EXPECT_EQ(as_float(w.i(p)), 1.15f);
        EXPECT_EQ(as_float(w.i(p + 5)), -125.0f);
        // MDYNR is "RE": single precision on file, double in memory.
        const std::int32_t pd = store::ARGTIP(*st, w, "MDYNR", kOut, ierr);
        EXPECT_EQ(w.d(pd), 18.25);
        EXPECT_EQ(w.d(pd + 5), 19.5);
        store::Keys k;
        store::ARKEYS(*st, w, "DYNRES", 3, k, kOut, ierr);
        EXPECT_EQ(k.key, 115);
        EXPECT_EQ(k.store_text, "POST");
        EXPECT_EQ(k.type_text, "SP");
        EXPECT_EQ(ierr, 0);
    }
}

TEST_F(FixtureCatalogue, VersionOneParametersAreOverwrittenInPlace) {
    ASSERT_EQ(open("v1.dyn"), 0) << console.str();
    ASSERT_EQ(recall_all(), 0) << output();
    auto m = mstru();
    std::int32_t ierr = 0;
    const std::int32_t count = m[static_cast<std::size_t>(m[1] + 2)];
    EXPECT_EQ(store::GTSTRU(*units, m, "LSTSTO  ", kOut, ierr), 3);
    const std::int32_t loadst = store::GTSTRU(*units, m, "LOADST", kOut, ierr);
    EXPECT_EQ(loadst, 30);
    const std::int32_t j = store::PTSTRU(*units, m, "LSTSTO", loadst, kOut, ierr);
    EXPECT_EQ(store::PTSTRU(*units, m, "IXACT ", 1, kOut, ierr), j + 1);
    EXPECT_EQ(store::GTSTRU(*units, m, "LSTSTO", kOut, ierr), 30);
    EXPECT_EQ(store::GTSTRU(*units, m, "iXact   ", kOut, ierr), 1);
    EXPECT_EQ(m[static_cast<std::size_t>(m[1] + 2)], count);
    EXPECT_EQ(ierr, 0);
    // Three records per step: the restart record follows the two result records.
    store::Keys k;
    store::ARKEYS(*st, w, "DYNRES", 2, k, kOut, ierr);
    EXPECT_EQ(k.key, 114);
}

TEST_F(FixtureCatalogue, FixedLayoutParameters) {
    ASSERT_EQ(open("fixed_mstru.dyn"), 0) << console.str();
    ASSERT_EQ(recall_all(), 0) << output();
    auto m = mstru();
    std::int32_t ierr = 0;
    EXPECT_EQ(store::GTSTRU(*units, m, "LSTSTO", kOut, ierr), 6);
    EXPECT_EQ(store::GTSTRU(*units, m, "NEL", kOut, ierr), 5);
    EXPECT_EQ(store::GTSTRU(*units, m, "nDynRes", kOut, ierr), 0);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(store::PTSTRU(*units, m, "LSTSTO  ", 9, kOut, ierr), 50);
    EXPECT_EQ(m[49], 9);
    EXPECT_EQ(store::PTSTRU(*units, m, "IXACT ", 1, kOut, ierr), 0);
    EXPECT_EQ(ierr, -1);
    EXPECT_EQ(output(),
              "\n  *** ERROR IN PTSTRU ***\n      PARAMETER NOT FOUND:IXACT \n"
              "      LEAVING PTSTRU\n\n\n\n");
}

TEST_F(FixtureCatalogue, NameMissingFromTheFileHasNoRecord) {
    ASSERT_EQ(open("le_basic.dyn"), 0);
    ASSERT_EQ(recall_all(), 0);
    std::int32_t ierr = 0, p = 0;
    store::ARREC1(*st, w, "WR", p, 1, kFile, kOut, ierr);
    EXPECT_EQ(ierr, -1);
    store::ARREC1(*st, w, "NOSUCH", p, 1, kFile, kOut, ierr);
    EXPECT_EQ(ierr, -1);
    EXPECT_EQ(output(), "*** ERROR IN ARREC1 ***\nError During Recallin Array: WR\n");
}

TEST_F(FixtureCatalogue, MissingFileAndBlankName) {
    std::int32_t ierr = 0;
    store::INIRAF(*st, "OLD", std::string(256, ' '), 1, kFile, 6, 23, ierr);
    EXPECT_EQ(ierr, -1);
    ierr = 0;
    store::INIRAF(*st, "OLD", "nofile.dyn" + std::string(246, ' '), 1, kFile, 6, 23, ierr);
    EXPECT_EQ(ierr, -1);
    EXPECT_EQ(console.str(),
              "*** ERROR IN INIRAF ***\nNo File name Specified\n"
              "*** ERROR IN INIRAF ***\nError Opening raf_file   : nofile.dyn\n");
}

TEST_F(FixtureCatalogue, ReadLockedFileFailsInTheCatalogue) {
    EXPECT_EQ(open("locked.dyn"), -1);
    EXPECT_EQ(output(),
              "*** ERROR IN GTARAF ***\n*** ERROR IN ARINI1 ***\n*** ERROR IN INIDMS ***\n");
}

TEST_F(FixtureCatalogue, TruncatedFileFailsAtTheMissingStep) {
    ASSERT_EQ(open("truncated.dyn"), 0);
    ASSERT_EQ(recall_all(), 0);
    std::int32_t ierr = 0, p = 0;
    store::ARREC1(*st, w, "DYNRES", p, 20, kFile, kOut, ierr);
    EXPECT_EQ(ierr, 0);
    store::ARREC1(*st, w, "DYNRES", p, 21, kFile, kOut, ierr);
    EXPECT_EQ(ierr, -1);
    EXPECT_EQ(output(), "*** ERROR IN ARREC1 ***\nError During Recallin Array: DYNRES\n");
}

class SmallWork : public StoreTest {
  protected:
    SmallWork() : StoreTest(120) {}
};

TEST_F(SmallWork, TooFewArrayNumbers) {
    std::int32_t ierr = 0;
    dms::DMSOPN_32(w, *units, w.size(), -20, 0, kOut, ierr);
    ASSERT_EQ(ierr, 0);
    store::ARINIT(*st, w, store_test::kNames, 8, 30, 0, kOut, ierr);
    EXPECT_EQ(ierr, -1);
    EXPECT_EQ(output(),
              "*** ERROR IN ARINIT ***\n      DMS initiated with too few array_numbers \n"
              "      Required :       33\n      Available:       20\n\n");
}

}  // namespace

namespace {

// A file whose catalogue control record (key 101) holds the given words.
void write_catalogue(raflib::Raflib& raf, const std::string& name,
                     const std::array<std::int32_t, 20>& numraf) {
    std::int32_t ierr = 0;
    std::string n = name;
    raflib::RAFNEW(raf, 31, n, "UNKNOWN", 128, ierr);
    ASSERT_EQ(ierr, 0);
    raflib::RAFPIN(raf, numraf, 20, 101, 31, ierr);
    const std::array<std::int32_t, 30> zeros{};
    raflib::RAFPIN(raf, zeros, 30, 102, 31, ierr);
    raflib::RAFPIN(raf, zeros, 6, 103, 31, ierr);
    ASSERT_EQ(ierr, 0);
    raflib::RAFCLS(raf, 31, ierr);
    ASSERT_EQ(ierr, 0);
}

class HostileCatalogue : public StoreTest {
  protected:
    std::int32_t open_written(const std::array<std::int32_t, 20>& numraf) {
        write_catalogue(*raf, (dir / "bad.dyn").string(), numraf);
        std::int32_t ierr = 0;
        store::INIRAF(*st, "OLD", (dir / "bad.dyn").string(), 1, kFile, 6, 23, ierr);
        if (ierr == 0)
            store::INIDMS(*st, w, w.size(), store_test::kNames, 30, 8, kFile, kOut, ierr);
        return ierr;
    }
};

TEST_F(HostileCatalogue, RowCountOrLengthThatDoNotFitAreRefused) {
    // Far more rows than any work array holds: refused before any booking.
    EXPECT_EQ(open_written({3, 0, 0, 3, 0, 0, 10, 2000000000, 8, 100, 100}), -1);
    EXPECT_EQ(output(), "*** ERROR IN ARINI1 ***\n*** ERROR IN INIDMS ***\n");
}

TEST_F(HostileCatalogue, RowLengthOtherThanTenIsRefused) {
    EXPECT_EQ(open_written({3, 0, 0, 3, 0, 0, 9, 3, 8, 100, 100}), -1);
    EXPECT_EQ(open_written({3, 0, 0, 3, 0, 0, 10, -4, 8, 100, 100}), -1);
}

TEST_F(HostileCatalogue, RowsBeyondTheStoredRecordFailTheRead) {
    // 30 words are stored under key 102, 5 rows of 10 are asked for.
    EXPECT_EQ(open_written({3, 0, 0, 3, 0, 0, 10, 5, 8, 100, 100}), -1);
    EXPECT_EQ(output(),
              "*** ERROR IN GTARAF ***\n*** ERROR IN ARINI1 ***\n*** ERROR IN INIDMS ***\n");
}

TEST_F(HostileCatalogue, WrongOffsetIsRefused) {
    EXPECT_EQ(open_written({3, 0, 0, 3, 0, 0, 10, 3, 8, 99, 100}), -1);
}

}  // namespace
