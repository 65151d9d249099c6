#include <cstdint>
#include <random>
#include <string>

#include "dms_fixture.h"

namespace {

using dms_test::DmsTest;
using dms_test::kFill;
using dms_test::kN;
using dms_test::kNwiwa;
using dms_test::kSize;

const std::string kHead = "\n\n\n *** ERROR return from a  V E K  library routine\n";

std::string label_line(const char* six) {
    return std::string("     Detected by a DMS-routine called with label") + six + "\n";
}

// ---- open and name table ----

TEST_F(DmsTest, OpenLaysOutTheControlBlockAndLeavesStorageAlone) {
    std::int32_t ierr = 0;
    dms::DMSOPN_32(w, u, kNwiwa, -kN, 0, 6, ierr);
    EXPECT_EQ(ierr, 0);
    const std::int32_t header[10] = {40, 60, 0, 6, 1, 20, 20, 20, 0, 0};
    for (int k = 1; k <= 10; ++k) EXPECT_EQ(w.i(k), header[k - 1]) << "MCM(" << k << ")";
    for (int a = 11; a <= kN; ++a) EXPECT_EQ(t1(a) | t2(a) | t3(a), 0);
    for (int j = 6; j <= 8; ++j) EXPECT_EQ(t2(j), 1);
    const std::int32_t block[10] = {61, 400, 61, 0, 0, 1, 21, 41, 0, 0};
    for (int j = 1; j <= 10; ++j) EXPECT_EQ(w.i(40 + j), block[j - 1]) << "MCM(K+" << j << ")";
    EXPECT_EQ(w.i(61), 0);  // W(1..3N+1) cleared
    for (int k = 62; k <= kSize; ++k) ASSERT_EQ(w.i(k), kFill) << k;
    EXPECT_EQ(dms::DMSMOD(w, u), 3);
    EXPECT_EQ(dms::DMSCTL(w, 1), kN);
    EXPECT_EQ(dms::DMSCTL(w, 3), 1);
    EXPECT_EQ(dms::DMSCTL(w, 4), 61);
    EXPECT_EQ(dms::DMSCTL(w, 5), kNwiwa);
    EXPECT_EQ(console(), "");
}

TEST_F(DmsTest, OpenRefusesBadParametersChangingOnlyTheErrorCounter) {
    const auto before = snapshot();
    std::int32_t ierr = 0;
    dms::DMSOPN_32(w, u, kNwiwa, -10, 0, 6, ierr);
    EXPECT_EQ(console(),
              "\n\n\n *** ERROR RETURN - V E K LIBRARY ROUTINE DMSOPN_32 **\n"
              "     ILLEGAL PARAMETER(S) : NWIWA, NLA  =     400     -10\n");
    dms::DMSOPN_32(w, u, 3 * kN, kN, 0, 6, ierr);  // NWIWA one short of 3N+1
    EXPECT_EQ(console(),
              "\n\n\n *** ERROR RETURN - V E K LIBRARY ROUTINE DMSOPN_32 **\n"
              "     ILLEGAL PARAMETER(S) : NWIWA, NLA  =      60      20\n");
    dms::DMSOPN_32(w, u, kSize + 1, -kN, 0, 0, ierr);  // beyond the work array, silent
    EXPECT_EQ(console(), "");
    EXPECT_EQ(ierr, -3);
    auto after = snapshot();
    EXPECT_EQ(after[2], kFill - 3);
    after[2] = kFill;
    EXPECT_EQ(after, before);

    dms::DMSOPN_32(w, u, 3 * kN + 1, -kN, 0, 6, ierr);  // the smallest legal size
    EXPECT_EQ(ierr, -3);
    EXPECT_EQ(dms::DMSERR(w), 0);
}

TEST_F(DmsTest, NameTableAndItsOrder) {
    open();
    EXPECT_EQ(w.i(45), 61);
    EXPECT_EQ(top(), 101);
    EXPECT_EQ(w.i(2), 100);
    EXPECT_EQ(w.i(61), 0);
    EXPECT_EQ(w.i(62), 0);
    EXPECT_EQ(w.i(63), 10);
    for (int k = 64; k <= 100; ++k) ASSERT_EQ(w.i(k), 0);
    EXPECT_EQ(w.i(101), kFill);
    EXPECT_EQ(dms::DMSMOD(w, u), 2);

    dms::DMSANN(w, u, 0, 0, 5);  // a second name table
    EXPECT_EQ(console(), kHead +
                             "     Subroutine DMSANN is called out of order\n"
                             "     (or the DMS \"book-keeping-system\" is corrupt)\n");
    EXPECT_EQ(dms::DMSERR(w), -1);
    EXPECT_EQ(top(), 101);
}

TEST_F(DmsTest, NameTableAfterTheFirstAllocationIsRefused) {
    std::int32_t ierr = 0;
    dms::DMSOPN_32(w, u, kNwiwa, -kN, 0, 6, ierr);
    std::int32_t ptr = 0;
    dms::DMSDIM(w, u, 11, 4, 1, 1, ierr);
    dms::DMSALC(w, u, 11, ptr, 1, ierr);
    EXPECT_EQ(ptr, 61);
    dms::DMSANN(w, u, 0, 0, 1);
    EXPECT_NE(console().find("Subroutine DMSANN is called out of order"), std::string::npos);
    EXPECT_EQ(w.i(45), 0);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(dms::DMSERR(w), -1);
}

TEST_F(DmsTest, NameTableThatDoesNotFitReportsTheExcess) {
    std::int32_t ierr = 0;
    dms::DMSOPN_32(w, u, 70, -kN, 0, 6, ierr);
    dms::DMSANN(w, u, 0, 0, 9);
    EXPECT_EQ(console(), kHead +
                             "     The DMS \"book-keeping-system\" exceeds available\n"
                             "     storage space in work array by     30 words\n" +
                             label_line("     9"));
    EXPECT_EQ(top(), 61);
    EXPECT_EQ(w.i(45), 0);
    EXPECT_EQ(dms::DMSERR(w), -1);
    EXPECT_EQ(w.i(62), kFill);
}

// ---- names ----

TEST_F(DmsTest, NamePackingAndUnpacking) {
    open();
    dms::NameWords nw;
    ASSERT_TRUE(dms::DMSPAK(w, u, "AB", 1, nw));
    EXPECT_EQ(nw, (dms::NameWords{35360000, 0}));
    ASSERT_TRUE(dms::DMSPAK(w, u, "~!ZZabcd", 1, nw));
    EXPECT_EQ(nw, (dms::NameWords{96036060, 67686970}));
    std::string name;
    std::int32_t count = 0;
    ASSERT_TRUE(dms::DMSUNP(w, u, nw, 1, name, count));
    EXPECT_EQ(name, "~!ZZabcd");
    EXPECT_EQ(count, 8);
    ASSERT_TRUE(dms::DMSUNP(w, u, {35000000, 36000000}, 1, name, count));  // ends in word 1
    EXPECT_EQ(name, "A       ");
    EXPECT_EQ(count, 1);
    EXPECT_EQ(console(), "");
    EXPECT_EQ(dms::DMSERR(w), 0);
}

TEST_F(DmsTest, IllegalNamesAreRefused) {
    open();
    EXPECT_EQ(dms::DMSPTR(w, u, "ABCDEFGHI", 7), 0);
    EXPECT_EQ(console(), kHead + "     Array name  ABCDEFGHI  is too long\n" +
                             label_line("     7") + "     Occured for array  ABCDEFGHI\n");
    dms::DMSDCL(w, u, "A B", 11, 1, 1, 8);
    EXPECT_EQ(console(), kHead + "     Illegal character encountered in array name  A B\n" +
                             label_line("     8") + "     Occured for array  A B\n");
    EXPECT_EQ(dms::DMSERR(w), -2);
    EXPECT_EQ(t2(11), 0);
    EXPECT_EQ(dms::DMSINQ(w, "ABCDEFGHI", 1), -1);
    EXPECT_EQ(dms::DMSINQ(w, "A\tB", 1), -1);
    EXPECT_EQ(dms::DMSINQ(w, "", 1), -1);
    EXPECT_EQ(dms::DMSNUM(w, u, "", 1), 0);
    EXPECT_EQ(console(), "");
    EXPECT_EQ(dms::DMSERR(w), -2);
}

TEST_F(DmsTest, NamesAreCaseSensitive) {
    open();
    dms::DMSDCL(w, u, "abc", 11, 2, 1, 1);
    dms::DMSDCL(w, u, "ABC", 12, 3, 2, 1);
    EXPECT_EQ(dms::DMSNUM(w, u, "abc", 1), 11);
    EXPECT_EQ(dms::DMSNUM(w, u, "ABC", 1), 12);
    EXPECT_EQ(dms::DMSINQ(w, "abc", 2), 1);
    EXPECT_EQ(dms::DMSINQ(w, "ABC", 2), 2);
    EXPECT_EQ(w.i(63), 12);  // NT(3)
    std::string name;
    std::int32_t count = 0;
    dms::DMSNAM(w, u, 11, 1, name, count);
    EXPECT_EQ(name, "abc     ");
    EXPECT_EQ(count, 3);
    dms::DMSNAM(w, u, 13, 1, name, count);  // no name
    EXPECT_EQ(name, "        ");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(console(), "");
}

TEST_F(DmsTest, UndefinedNamesCountNothingInInquiries) {
    open();
    EXPECT_EQ(dms::DMSINQ(w, "NOPE", 3), -1);
    EXPECT_EQ(dms::DMSNUM(w, u, "NOPE", 1), 0);
    EXPECT_EQ(console(), "");
    EXPECT_EQ(dms::DMSERR(w), 0);
    EXPECT_EQ(dms::DMSPTR(w, u, "NOPE", 2), 0);
    EXPECT_EQ(console(), kHead + "     Pointer requested for an undefined array (NOPE)\n" +
                             label_line("     2"));
    dms::DMSFRE(w, u, "NOPE", 3);
    EXPECT_EQ(console(), kHead +
                             "     Storage allocation/release attempted for a non-\n"
                             "     existing array (NOPE)\n" +
                             label_line("     3"));
    std::string name;
    std::int32_t count = 0;
    dms::DMSNAM(w, u, 21, 4, name, count);
    EXPECT_EQ(console(), kHead + "     Name requested for an illegal array number (=   21)\n" +
                             label_line("     4"));
    EXPECT_EQ(dms::DMSERR(w), -3);
}

TEST_F(DmsTest, CorruptNameWordsAreReportedByDmsnam) {
    open();
    dms::DMSDCL(w, u, "AB", 11, 1, 1, 1);
    dms::DMSPUT(w, 5, 21, 35990000);  // NT(21): "A" then character number 129
    std::string name;
    std::int32_t count = 0;
    dms::DMSNAM(w, u, 11, 4, name, count);
    EXPECT_EQ(console(), kHead +
                             "     Illegal \"character number\" ( =       129 ) encountered\n"
                             "     during conversion from numbers to name - corrupt data?\n" +
                             label_line("     4") + "     Occured for array  A       \n");
    EXPECT_EQ(name, "        ");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(dms::DMSERR(w), -1);
}

// ---- definition ----

TEST_F(DmsTest, DefinitionAndRedefinition) {
    open();
    dms::DMSDCL(w, u, "ONE", 11, 5, 1, 1);
    dms::DMSDCL(w, u, "ONE", 12, 5, 1, 6);
    EXPECT_EQ(console(), kHead +
                             "     Array  ONE  cannot be defined/redefined\n"
                             "     The array name already exists (for array no.   11)\n" +
                             label_line("     6"));
    EXPECT_EQ(t2(12), 0);
    dms::DMSDCL(w, u, "ONE", 11, 7, 2, 1);  // no storage yet: redefinition allowed
    EXPECT_EQ(t1(11), 7);
    EXPECT_EQ(t2(11), 2);
    dms::DMSDCL(w, u, "UNO", 11, 7, 2, 1);  // and a new name for it
    EXPECT_EQ(dms::DMSNUM(w, u, "UNO", 1), 11);
    EXPECT_EQ(dms::DMSNUM(w, u, "ONE", 1), 0);
    dms::DMSDCL(w, u, "X", 10, 1, 1, 2);
    dms::DMSDCL(w, u, "X", 21, 1, 1, 2);
    EXPECT_EQ(console(), kHead +
                             "     Array  X  cannot be defined/redefined\n"
                             "     Illegal array number ( =   10 ) requested\n" +
                             label_line("     2") + kHead +
                             "     Array  X  cannot be defined/redefined\n"
                             "     Illegal array number ( =   21 ) requested\n" +
                             label_line("     2"));
    dms::DMSDCL(w, u, "X", 12, 1, 11, 3);
    dms::DMSDCL(w, u, "X", 12, -1, 1, 3);
    EXPECT_EQ(console(), kHead +
                             "     Illegal number of words per element ( =  11 )\n"
                             "     specified for array number   12\n" +
                             label_line("     3") + "     Occured for array  X\n" + kHead +
                             "     Negative dimension specified for array number   12\n" +
                             label_line("     3") + "     Occured for array  X\n");
    EXPECT_EQ(dms::DMSERR(w), -5);
    EXPECT_EQ(w.i(63), 11);
}

TEST_F(DmsTest, RedefiningAnArrayWithStorageFails) {
    open();
    EXPECT_EQ(book("ONE", 11, 5, 1), 101);
    dms::DMSDCL(w, u, "ONE", 11, 6, 1, 3);
    EXPECT_EQ(console(), kHead +
                             "     Attempt to redefine an array ( no.   11 ) for which\n"
                             "     primary storage is already reserved\n" +
                             label_line("     3") + "     Occured for array  ONE\n");
    EXPECT_EQ(t1(11), 5);
    EXPECT_EQ(dms::DMSERR(w), -1);
}

TEST_F(DmsTest, DefinitionWithACorruptEntryIsRefused) {
    open();
    w.set_i(kN + 12, -1);  // T2(12)
    dms::DMSDCL(w, u, "X", 12, 1, 1, 2);
    EXPECT_EQ(console(), kHead +
                             "     Array  X  cannot be defined/redefined\n"
                             "     The DMS \"book-keeping-system\" is corrupt\n" +
                             label_line("     2"));
}

// ---- allocation ----

TEST_F(DmsTest, AllocationAlignsAndKeepsOldContents) {
    open();
    w.set_i(101, 4711);
    EXPECT_EQ(book("A", 11, 1, 1), 101);  // storage is not cleared
    EXPECT_EQ(w.i(101), 4711);
    EXPECT_EQ(top(), 102);
    EXPECT_EQ(book("D", 12, 3, 2), 52);  // top 102 is even: starts at 103
    EXPECT_EQ(t3(12), 103);
    EXPECT_EQ(top(), 109);
    EXPECT_EQ(dms::DMSPTR(w, u, "D", 1), 52);  // again: same storage
    EXPECT_EQ(top(), 109);
    EXPECT_EQ(book("Z", 13, 0, 1), 109);  // dimension 0 still takes a word
    EXPECT_EQ(top(), 110);
    EXPECT_EQ(book("Z2", 14, 0, 2), 56);
    EXPECT_EQ(t3(14), 111);
    EXPECT_EQ(top(), 112);
    EXPECT_EQ(w.i(43), 111);  // high-water mark
    EXPECT_EQ(dms::DMSINQ(w, "D", 1), 3);
    EXPECT_EQ(dms::DMSINQ(w, "D", 2), 2);
    EXPECT_EQ(dms::DMSINQ(w, "D", 3), 103);
    EXPECT_EQ(dms::DMSCTL(w, 4), 112);
    EXPECT_EQ(console(), "");
    EXPECT_EQ(dms::DMSERR(w), 0);
}

TEST_F(DmsTest, AllocationBeyondTheWorkArrayIsRefused) {
    open();
    EXPECT_EQ(book("A", 11, 290, 1), 101);  // up to word 390
    dms::DMSDCL(w, u, "BIG", 12, 6, 2, 7);  // would take 391 .. 402
    EXPECT_EQ(dms::DMSPTR(w, u, "BIG", 7), 0);
    EXPECT_EQ(console(), kHead +
                             "     Available primary (\"core\") storage (of     400 words)\n"
                             "     exceeded (by      2 words) for array number   12\n" +
                             label_line("     7") + "     Occured for array  BIG\n");
    EXPECT_EQ(top(), 391);
    EXPECT_EQ(t3(12), 0);
    EXPECT_EQ(dms::DMSERR(w), -1);
    EXPECT_EQ(book("FITS", 13, 10, 1), 391);  // exactly up to NWIWA
    EXPECT_EQ(top(), 401);
    EXPECT_EQ(dms::DMSCTL(w, 5) - dms::DMSCTL(w, 4) + 1, 0);
    EXPECT_EQ(w.i(401), kFill);
}

TEST_F(DmsTest, MessagesNeedAPositiveUnitButAreStillCounted) {
    std::int32_t ierr = 0;
    dms::DMSOPN_32(w, u, kNwiwa, -kN, 0, 0, ierr);
    dms::DMSANN(w, u, 0, 0, 1);
    EXPECT_EQ(dms::DMSPTR(w, u, "NOPE", 1), 0);
    EXPECT_EQ(console(), "");
    EXPECT_EQ(dms::DMSERR(w), -1);
}

TEST_F(DmsTest, WideValuesAndLabelsPrintAsAsterisks) {
    open();
    dms::DMSDCL(w, u, "X", 123456, 1, 1, 1234567);
    EXPECT_EQ(console(), kHead +
                             "     Array  X  cannot be defined/redefined\n"
                             "     Illegal array number ( =***** ) requested\n" +
                             label_line("******"));
}

// ---- damaged control block ----

// Runs every operation; each must report and count, and none may touch a
// word other than the error counter.
void run_all(dms::WorkArray& w, io::Units& u) {
    std::int32_t ierr = 0;
    std::int32_t ptr = 0;
    std::int32_t count = 0;
    std::string name;
    dms::DMSANN(w, u, 0, 0, 1);
    dms::DMSDCL(w, u, "NEW", 13, 1, 1, 1);
    dms::DMSDCL(w, u, "ONE", 11, 9, 1, 1);
    dms::DMSPTR(w, u, "ONE", 1);
    dms::DMSPTR(w, u, "TWO", 1);
    dms::DMSNUM(w, u, "ONE", 1);
    dms::DMSNAM(w, u, 11, 1, name, count);
    dms::DMSFRE(w, u, "ONE", 1);
    dms::DMSFRE(w, u, "TWO", 1);
    dms::DMSMOD(w, u);
    dms::DMSDIM(w, u, 13, 1, 1, 1, ierr);
    dms::DMSALC(w, u, 11, ptr, 1, ierr);
    dms::DMSRLS(w, u, 12, 1, ierr);
    dms::DMSSHR(w, u, 11, 0, 1, ierr);
    dms::DMSINQ(w, "ONE", 3);
    dms::DMSCTL(w, 4);
    dms::DMSFND(w, {35000000, 0});
    dms::DMSGET(w, 8, 11);
}

TEST_F(DmsTest, DamagedControlWordsAreReportedNeverFollowed) {
    struct Damage {
        std::int32_t word;
        std::int32_t value;
    };
    const Damage damages[] = {
        {1, 0},        // MCM(1) not 2N
        {1, 42},       //
        {6, 1000000},  // N beyond the work array
        {6, 5},        // N too small
        {8, 21},       // MCM(8) not N
        {41, 406},     // top beyond NWIWA + 1
        {41, 30},      // top inside the tables
        {42, 100000},  // NWIWA beyond the work array
        {42, 50},      // NWIWA inside the tables
        {45, -1},      // name-table address negative
        {45, 399},     // name table beyond NWIWA
        {45, 99},      // name table reaching above the top
        {47, 1000},    // T2 moved
        {48, -7},      // T3 moved
        {63, 21},      // NT(3) beyond N
        {63, -3},      //
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(::testing::Message() << "W(" << d.word << ") = " << d.value);
        for (std::int32_t k = 1; k <= kSize; ++k) w.set_i(k, kFill);
        open();
        book("ONE", 11, 5, 1);
        book("TWO", 12, 3, 2);
        w.set_i(d.word, d.value);
        auto before = snapshot();
        console();
        ASSERT_NO_THROW(run_all(w, u));
        const std::string text = console();
        EXPECT_NE(text.find("(MCM) is corrupt"), std::string::npos);
        EXPECT_EQ(dms::DMSINQ(w, "ONE", 1), -1);
        EXPECT_EQ(dms::DMSCTL(w, 4), 0);
        EXPECT_LE(dms::DMSERR(w), -14);
        auto after = snapshot();
        after[2] = before[2];
        EXPECT_EQ(after, before);
    }
}

TEST_F(DmsTest, DamagedEntriesAreReported) {
    open();
    book("ONE", 11, 5, 1);             // 101..105
    book("TWO", 12, 3, 2);             // 107..112
    book("TRE", 13, 2, 1);             // 113..114
    w.set_i(2 * kN + 12, 1000000000);  // T3(TWO) far outside
    EXPECT_EQ(dms::DMSINQ(w, "TWO", 3), -1);
    EXPECT_EQ(dms::DMSPTR(w, u, "TWO", 2), 0);
    EXPECT_EQ(console(), kHead + "     Inconsistent (corrupt) DMS-info for array TWO\n" +
                             label_line("     2"));
    const auto before = snapshot();
    dms::DMSFRE(w, u, "ONE", 3);  // TWO would have to move
    EXPECT_EQ(console(), kHead + "     The DMS \"book-keeping-system\" (MCM) is corrupt\n" +
                             label_line("     3") + "     Occured for array  ONE\n");
    auto after = snapshot();
    after[2] = before[2];
    EXPECT_EQ(after, before);

    w.set_i(2 * kN + 12, 108);  // misaligned for two-word elements
    w.set_i(12, 1);
    EXPECT_EQ(dms::DMSPTR(w, u, "TWO", 2), 0);
    EXPECT_NE(console().find("Inconsistent (corrupt) DMS-info for array TWO"), std::string::npos);
    w.set_i(13, -4);  // T1(TRE)
    EXPECT_EQ(dms::DMSPTR(w, u, "TRE", 2), 0);
    w.set_i(kN + 11, 11);  // T2(ONE) too large
    EXPECT_EQ(dms::DMSPTR(w, u, "ONE", 2), 0);
    std::int32_t ierr = 0;
    std::int32_t ptr = -1;
    dms::DMSALC(w, u, 11, ptr, 2, ierr);
    EXPECT_EQ(ptr, 0);
    EXPECT_EQ(ierr, -1);
    EXPECT_EQ(dms::DMSERR(w), -6);
}

TEST_F(DmsTest, DmsmodReportsAnUnknownNumberingMode) {
    open();
    w.set_i(61, 5);  // NT(1)
    EXPECT_EQ(dms::DMSMOD(w, u), 0);
    EXPECT_EQ(console(), kHead + "     The DMS \"book-keeping-system\" (MCM) is corrupt\n");
    EXPECT_EQ(dms::DMSERR(w), -1);
}

TEST_F(DmsTest, NameOperationsWithoutANameTable) {
    std::int32_t ierr = 0;
    dms::DMSOPN_32(w, u, kNwiwa, -kN, 0, 6, ierr);
    EXPECT_EQ(dms::DMSPTR(w, u, "A", 1), 0);
    EXPECT_EQ(console(), kHead +
                             "     Subroutine DMSANN is called out of order\n"
                             "     (or the DMS \"book-keeping-system\" is corrupt)\n");
    EXPECT_EQ(dms::DMSINQ(w, "A", 1), -1);
    EXPECT_EQ(dms::DMSFND(w, {35000000, 0}), 0);
    EXPECT_EQ(dms::DMSERR(w), -1);
}

TEST_F(DmsTest, RandomDamageNeverLeavesTheWorkArray) {
    std::mt19937 gen(20240611);
    std::uniform_int_distribution<int> word(1, 130);
    std::uniform_int_distribution<int> pick(0, 13);
    const std::int32_t values[] = {0,  -1,  1,   1000, 2147483647, -2147483647 - 1, 2, 12, 20,
                                   61, 101, 104, 106,  113};
    for (int round = 0; round < 300; ++round) {
        for (std::int32_t k = 1; k <= kSize; ++k) w.set_i(k, kFill);
        open();
        book("ONE", 11, 5, 1);
        book("TWO", 12, 3, 2);
        book("TRE", 13, 0, 1);
        for (int hits = 0; hits < 3; ++hits) w.set_i(word(gen), values[pick(gen)]);
        ASSERT_NO_THROW(run_all(w, u)) << "round " << round;
        console();
    }
}

TEST_F(DmsTest, TinyWorkArray) {
    dms::WorkArray tiny(2);
    tiny.set_i(1, 7);
    tiny.set_i(2, 7);
    std::int32_t ierr = 0;
    dms::DMSOPN_32(tiny, u, 2, -20, 0, 6, ierr);
    EXPECT_EQ(ierr, -1);
    console();
    ASSERT_NO_THROW(run_all(tiny, u));
    EXPECT_EQ(dms::DMSERR(tiny), -1);
    EXPECT_EQ(console(), "");
}

}  // namespace
