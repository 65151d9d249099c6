#include <cstdint>
#include <string>

#include "dms_fixture.h"

namespace {

using dms_test::DmsTest;
using dms_test::kN;

// Words first .. first+n-1 = base, base+1, ...
void stamp(dms::WorkArray& w, std::int32_t first, std::int32_t n, std::int32_t base) {
    for (std::int32_t i = 0; i < n; ++i) w.set_i(first + i, base + i);
}

bool holds(const dms::WorkArray& w, std::int32_t first, std::int32_t n, std::int32_t base) {
    for (std::int32_t i = 0; i < n; ++i)
        if (w.i(first + i) != base + i) return false;
    return true;
}

TEST_F(DmsTest, ReleasingTheTopmostArrayLowersTheTop) {
    open();
    book("A", 11, 4, 1);  // 101..104
    book("B", 12, 3, 1);  // 105..107
    stamp(w, 105, 3, 500);
    dms::DMSFRE(w, u, "B", 1);
    EXPECT_EQ(top(), 105);
    EXPECT_EQ(t3(12), 0);
    EXPECT_EQ(t1(12), 3);  // name, dimension and element size stay
    EXPECT_EQ(t2(12), 1);
    EXPECT_EQ(dms::DMSINQ(w, "B", 3), 0);
    EXPECT_EQ(dms::DMSNUM(w, u, "B", 1), 12);
    EXPECT_TRUE(holds(w, 105, 3, 500));         // storage is not cleared
    EXPECT_EQ(dms::DMSPTR(w, u, "B", 1), 105);  // new storage at the top
    EXPECT_EQ(top(), 108);
    EXPECT_EQ(console(), "");
    EXPECT_EQ(dms::DMSERR(w), 0);
}

TEST_F(DmsTest, ReleasingAnArrayBelowOthersMovesThemDownInAddressOrder) {
    open();
    // Allocated in the reverse of their number order.
    book("S", 14, 3, 1);  // 101..103
    book("R", 13, 2, 2);  // 105..108 (104 padding)
    book("Q", 12, 2, 1);  // 109..110
    book("P", 11, 1, 2);  // 111..112
    ASSERT_EQ(top(), 113);
    stamp(w, 105, 4, 1300);
    stamp(w, 109, 2, 1200);
    stamp(w, 111, 2, 1100);
    w.set_d(53, 2.5);  // R(1) through the double view: words 105, 106
    const std::int32_t r1 = w.i(105);
    const std::int32_t r2 = w.i(106);

    dms::DMSFRE(w, u, "S", 1);
    EXPECT_EQ(t3(13), 101);
    EXPECT_EQ(t3(12), 105);
    EXPECT_EQ(t3(11), 107);
    EXPECT_EQ(top(), 109);
    EXPECT_EQ(w.i(101), r1);
    EXPECT_EQ(w.i(102), r2);
    EXPECT_TRUE(holds(w, 103, 2, 1302));
    EXPECT_TRUE(holds(w, 105, 2, 1200));
    EXPECT_TRUE(holds(w, 107, 2, 1100));
    EXPECT_EQ(dms::DMSPTR(w, u, "R", 1), 51);
    EXPECT_EQ(w.d(51), 2.5);
    EXPECT_EQ(dms::DMSPTR(w, u, "Q", 1), 105);
    EXPECT_EQ(dms::DMSPTR(w, u, "P", 1), 54);
    EXPECT_EQ(dms::DMSINQ(w, "S", 3), 0);
    EXPECT_EQ(console(), "");
    EXPECT_EQ(dms::DMSERR(w), 0);
}

TEST_F(DmsTest, OneWordArrayBelowAlignedTwoWordArrayMovesNothing) {
    open();
    book("W", 11, 1, 1);  // 101
    book("X", 12, 1, 1);  // 102
    book("Y", 13, 1, 2);  // 103..104
    book("Z", 14, 1, 1);  // 105
    ASSERT_EQ(top(), 106);
    stamp(w, 103, 3, 900);
    dms::DMSFRE(w, u, "X", 1);
    EXPECT_EQ(t3(12), 0);
    EXPECT_EQ(t1(12), 1);
    EXPECT_EQ(t3(13), 103);
    EXPECT_EQ(t3(14), 105);
    EXPECT_EQ(top(), 106);
    EXPECT_TRUE(holds(w, 103, 3, 900));
    EXPECT_EQ(dms::DMSERR(w), 0);
}

TEST_F(DmsTest, DimensionZeroArraysInARelease) {
    open();
    book("A", 11, 2, 1);   // 101..102
    book("Z0", 12, 0, 1);  // 103 (one word)
    book("B", 13, 1, 1);   // 104
    w.set_i(104, 77);
    dms::DMSFRE(w, u, "Z0", 1);  // releasing it gives no word back
    EXPECT_EQ(t3(12), 0);
    EXPECT_EQ(top(), 105);
    EXPECT_EQ(t3(13), 104);
    EXPECT_EQ(dms::DMSPTR(w, u, "Z0", 1), 105);
    EXPECT_EQ(top(), 106);
    dms::DMSFRE(w, u, "A", 1);  // a moved dimension-0 array takes no word
    EXPECT_EQ(t3(13), 101);
    EXPECT_EQ(t3(12), 102);
    EXPECT_EQ(w.i(101), 77);
    EXPECT_EQ(top(), 102);
    EXPECT_EQ(dms::DMSERR(w), 0);
}

TEST_F(DmsTest, ReleaseOfAnArrayWithoutStorageDoesNothing) {
    open();
    book("A", 11, 2, 1);
    dms::DMSDCL(w, u, "B", 12, 5, 1, 1);
    dms::DMSFRE(w, u, "B", 1);
    dms::DMSFRE(w, u, "A", 1);
    dms::DMSFRE(w, u, "A", 1);
    EXPECT_EQ(top(), 101);
    EXPECT_EQ(t1(11), 2);
    EXPECT_EQ(console(), "");
    EXPECT_EQ(dms::DMSERR(w), 0);
}

TEST_F(DmsTest, ShrinkKeepsTheHeadAndCompactsAboveIt) {
    open();
    book("A", 11, 5, 1);  // 101..105
    book("B", 12, 2, 1);  // 106..107
    stamp(w, 101, 7, 10);
    std::int32_t ierr = 0;
    dms::DMSSHR(w, u, 11, 2, 1, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(t1(11), 2);
    EXPECT_EQ(t3(11), 101);
    EXPECT_EQ(t3(12), 103);
    EXPECT_TRUE(holds(w, 101, 2, 10));
    EXPECT_TRUE(holds(w, 103, 2, 15));
    EXPECT_EQ(top(), 105);
    dms::DMSSHR(w, u, 11, -1, 4, ierr);
    EXPECT_EQ(ierr, -1);
    EXPECT_EQ(console(),
              "\n\n\n *** ERROR return from a  V E K  library routine\n"
              "     Negative dimension specified for array number   11\n"
              "     Detected by a DMS-routine called with label     4\n");
    EXPECT_EQ(dms::DMSERR(w), -1);
}

TEST_F(DmsTest, MisplacedArrayIsReportedWhileCompacting) {
    open();
    book("A", 11, 3, 1);        // 101..103
    book("B", 12, 1, 1);        // 104
    book("C", 13, 1, 3);        // 106..108 (105 padding)
    w.set_i(2 * kN + 13, 105);  // C no longer aligned: it cannot move down to 106
    const auto before = snapshot();
    dms::DMSFRE(w, u, "B", 5);
    EXPECT_EQ(console(),
              "\n\n\n *** ERROR return from a  V E K  library routine\n"
              "     The DMS \"book-keeping-system\" (MCM) is corrupt\n"
              "     Detected by a DMS-routine called with label     5\n"
              "     Occured for array  B\n");
    auto after = snapshot();
    after[2] = before[2];
    EXPECT_EQ(after, before);
    EXPECT_EQ(dms::DMSERR(w), -1);
}

}  // namespace
