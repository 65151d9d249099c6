// Booking, look-up, copying and release of named arrays.
#include "store_fixture.h"

namespace {

using store_test::kOut;
using store_test::StoreTest;

class Booking : public StoreTest {
  protected:
    void SetUp() override {
        StoreTest::SetUp();
        catalogue_only();
    }
};

TEST_F(Booking, BookingTwiceKeepsStorageUntilTheLengthChanges) {
    std::int32_t ierr = 0, p1 = 0, p2 = 0;
    store::ARBOOK(*st, w, "TSCRA ", p1, 10, "SCRA", "SP", kOut, ierr);
    ASSERT_EQ(ierr, 0);
    w.set_f(p1 + 3, 2.5f);
    store::ARBOOK(*st, w, "TSCRA ", p2, 10, "SCRA", "SP", kOut, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(p2, p1);
    EXPECT_EQ(w.f(p2 + 3), 2.5f);
    store::ARBOOK(*st, w, "TSCRA ", p2, 11, "SCRA", "SP", kOut, ierr);
    EXPECT_EQ(ierr, -1);
    store::ARFREE(*st, w, "TSCRA ", "NOCLEAN", kOut, ierr);
    store::ARBOOK(*st, w, "TSCRA ", p2, 11, "SCRA", "SP", kOut, ierr);
    EXPECT_EQ(ierr, -1);
    EXPECT_EQ(store::ARSIZE(*st, w, "TSCRA", kOut, ierr), 11);
    EXPECT_EQ(output(), "*** ERROR IN ARBOOK ***\nRe-allocatng with new lengthfor array: TSCRA\n");
}

TEST_F(Booking, ElementSizeCannotChangeAlsoAfterRelease) {
    std::int32_t ierr = 0, p = 0;
    store::ARBOOK(*st, w, "TS", p, 4, "SCRA", "DP", kOut, ierr);
    store::ARBOOK(*st, w, "TS", p, 4, "SCRA", "SP", kOut, ierr);
    EXPECT_EQ(ierr, -1);
    store::ARFREE(*st, w, "TS", "NOCLEAN", kOut, ierr);
    EXPECT_EQ(ierr, -1);
    store::ARBOOK(*st, w, "TS", p, 4, "SCRA", "SP", kOut, ierr);
    EXPECT_EQ(ierr, -2);
    store::ARBOOK(*st, w, "TS", p, 4, "SCRA", "RE", kOut, ierr);
    EXPECT_EQ(ierr, -2);
    const std::string t =
        "*** ERROR IN ARBOOK ***\nRe-allocatng with new data-type for array: TS\n";
    EXPECT_EQ(output(), t + t);
}

TEST_F(Booking, ExactlyTheFreeWordsAndOneMore) {
    std::int32_t ierr = 0, p = 0;
    const std::int32_t free_words = dms::DMSCTL(w, 5) - dms::DMSCTL(w, 4) + 1;
    store::ARBOOK(*st, w, "WR", p, free_words + 1, "SCRA", "IN", kOut, ierr);
    EXPECT_EQ(ierr, -1);
    store::ARBOOK(*st, w, "WR", p, free_words, "SCRA", "IN", kOut, ierr);
    EXPECT_EQ(ierr, -1);
    EXPECT_EQ(dms::DMSCTL(w, 4), dms::DMSCTL(w, 5) + 1);
    EXPECT_EQ(output(), "*** ERROR IN ARBOOK ***\nInsufficient space for array WR\n");
}

TEST_F(Booking, StoreClassOfAnAllocatedArrayCannotChange) {
    std::int32_t ierr = 0, p = 0;
    store::ARBOOK(*st, w, "WC", p, 3, "SCRA", "IN", kOut, ierr);
    store::ARBOOK(*st, w, "WC", p, 3, "STRU", "IN", kOut, ierr);
    EXPECT_EQ(ierr, -1);
    store::ARBOOK(*st, w, "WC", p, 3, "XXXX", "IN", kOut, ierr);
    EXPECT_EQ(ierr, -2);
    EXPECT_EQ(output(),
              "*** ERROR IN ARBOOK ***\nRe-allocatng with new store-type for array: WC\n"
              "*** ERROR IN ARBOOK ***\n");
}

TEST_F(Booking, FirstBookingWritesTheCatalogueRow) {
    std::int32_t ierr = 0, p = 0;
    store::ARBOOK(*st, w, "CON", p, 7, "STRU", "RE", kOut, ierr);
    ASSERT_EQ(ierr, 0);
    store::Keys k;
    store::ARKEYS(*st, w, "CON", 1, k, kOut, ierr);
    EXPECT_EQ(k.itype, 3);
    EXPECT_EQ(k.nwpe, 2);
    EXPECT_EQ(k.length, 7);
    EXPECT_EQ(k.istore, 1);
    EXPECT_EQ(k.is, 4);  // the three catalogue records come first
    EXPECT_EQ(k.ireal, 1);
    EXPECT_EQ(k.type_text, "RE");
    EXPECT_EQ(ierr, 0);
}

TEST_F(Booking, PointerLookupMessages) {
    std::int32_t ierr = 0, p = 0;
    store::ARGTIP(*st, w, "WR    ", kOut, ierr);
    EXPECT_EQ(ierr, -1);
    store::ARBOOK(*st, w, "WR", p, 5, "SCRA", "IN", kOut, ierr);
    store::ARFREE(*st, w, "WR", "NOCLEAN", kOut, ierr);
    store::ARGTIP(*st, w, "WR", kOut, ierr);
    EXPECT_EQ(ierr, -2);
    store::ARGTIP(*st, w, "WR", 5, ierr);
    EXPECT_EQ(ierr, -3);
    EXPECT_EQ(output(),
              "\n  *** ERROR IN ARGTIP ***\n\n  *** Array not allocated : WR    \n\n\n"
              "\n  *** ERROR IN ARGTIP ***\n\n  *** Array is released   : WR\n\n\n");
}

TEST_F(Booking, ReleaseNeedsAKnownOption) {
    std::int32_t ierr = 0, p = 0;
    store::ARBOOK(*st, w, "FMX", p, 5, "SCRA", "IN", kOut, ierr);
    store::ARFREE(*st, w, "FMX", "FREE", kOut, ierr);
    EXPECT_EQ(ierr, -1);
    EXPECT_GT(dms::DMSINQ(w, "FMX", 3), 0);
    EXPECT_EQ(output(),
              "\n  *** ERROR IN ARFREE ***\n      Illegal release message for array :FMX\n\n");
}

TEST_F(Booking, CleanReleaseClearsAndScratchRowIsEmptied) {
    // The released words are read on purpose: no guard on them.
    w.unguard();
    std::int32_t ierr = 0, p = 0;
    store::ARBOOK(*st, w, "SMX", p, 3, "SCRA", "IN", kOut, ierr);
    w.set_i(p, 9);
    const std::int32_t a = dms::DMSINQ(w, "SMX", 3);
    store::ARFREE(*st, w, "SMX", "CLEAN", kOut, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(w.i(a), 0);
    store::Keys k;
    store::ARKEYS(*st, w, "SMX", 0, k, kOut, ierr);
    EXPECT_EQ(k.itype, 0);
    EXPECT_EQ(k.length, 0);
}

TEST_F(Booking, CopyTakesTheShorterLength) {
    std::int32_t ierr = 0, ps = 0, pt = 0;
    store::ARBOOK(*st, w, "AUX_1", ps, 100, "SCRA", "RE", kOut, ierr);
    store::ARBOOK(*st, w, "AUX_2", pt, 60, "SCRA", "RE", kOut, ierr);
    store::ARBOOK(*st, w, "TIMES", ps, 1, "SCRA", "RE", kOut, ierr);  // a guard above AUX_2
    ps = store::ARGTIP(*st, w, "AUX_1", kOut, ierr);
    for (int i = 0; i < 100; ++i) w.set_d(ps + i, i + 0.5);
    w.set_d(store::ARGTIP(*st, w, "TIMES", kOut, ierr), -7.0);
    store::arcopy_2(*st, w, "aux_1", "Aux_2", kOut, ierr);
    ASSERT_EQ(ierr, 0);
    EXPECT_EQ(w.d(pt), 0.5);
    EXPECT_EQ(w.d(pt + 59), 59.5);
    EXPECT_EQ(w.d(store::ARGTIP(*st, w, "TIMES", kOut, ierr)), -7.0);
    store::ARBOOK(*st, w, "WR", pt, 60, "SCRA", "IN", kOut, ierr);
    store::arcopy_2(*st, w, "AUX_1", "WR", kOut, ierr);
    EXPECT_EQ(ierr, -1);
    EXPECT_EQ(output(), "\n  *** ERROR IN arcopy_2 ***\n");
}

TEST_F(Booking, ReleaseMovesLaterArraysAndPointersFollow) {
    std::int32_t ierr = 0, p1 = 0, p2 = 0;
    store::ARBOOK(*st, w, "TSCRA", p1, 8, "SCRA", "SP", kOut, ierr);
    store::ARBOOK(*st, w, "TS", p2, 3, "SCRA", "RE", kOut, ierr);
    w.set_d(p2 + 2, 4.25);
    store::ARFREE(*st, w, "TSCRA", "NOCLEAN", kOut, ierr);
    ASSERT_EQ(ierr, 0);
    const std::int32_t p3 = store::ARGTIP(*st, w, "TS", kOut, ierr);
    EXPECT_LT(p3, p2);
    EXPECT_EQ(w.d(p3 + 2), 4.25);
}

}  // namespace
