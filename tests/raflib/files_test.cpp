// Opening, creating, updating and closing files; the version-0 conversion.
#include <algorithm>
#include <array>

#include "raflib_test_util.h"

namespace {

using rtest::RaflibTest;
using namespace raflib;

std::string pad(const std::string& s, std::size_t n) {
    return io::fixed(s, n);
}

class FilesTest : public RaflibTest {
  protected:
    // A copy of le_basic.dyn with the key text at 1-based position pos replaced.
    std::string patched_key(const std::string& field, std::size_t pos) {
        copy_fixture("le_basic.dyn");
        auto b = bytes("le_basic.dyn");
        std::copy(field.begin(), field.end(), b.begin() + static_cast<long>(pos - 1));
        rtest::write_bytes(dir_ / "patched.dyn", b);
        return "patched.dyn";
    }
    std::int32_t open_name(std::string name, std::int32_t unit = 22) {
        std::int32_t ierr = 0;
        RAFOLD(*raf_, unit, name, ierr);
        return ierr;
    }
};

TEST_F(FilesTest, CloseOfUnopenedUnitIsSilent) {
    EXPECT_EQ(close(22), 0);
    EXPECT_EQ(close(0), 0);
    EXPECT_EQ(take_output(), "");
}

TEST_F(FilesTest, BlankNameOnUnit12) {
    std::ofstream(dir_ / "raf012.raf").close();
    std::string name = "   ";
    std::int32_t ierr = 0;
    RAFNEW(*raf_, 12, name, "unknown", 10, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(name, "raf012.raf");
    EXPECT_EQ(close(12), 0);
    EXPECT_EQ(rtest::fs::file_size(dir_ / "raf012.raf"), 4u * 512u);
    std::string again = "  ";
    RAFOLD(*raf_, 12, again, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(again, "raf012.raf");
    std::string n = "  name.raf  ";
    RFFNAM(n, 7);
    EXPECT_EQ(n, "name.raf");
    n = "";
    RFFNAM(n, 7);
    EXPECT_EQ(n, "raf007.raf");
}

TEST_F(FilesTest, EleventhFileAndUnitInUse) {
    for (std::int32_t u = 1; u <= 10; ++u) ASSERT_EQ(create("f" + std::to_string(u), 1, u), 0);
    take_output();
    EXPECT_EQ(create("f11", 1, 11), -1038);
    EXPECT_EQ(take_output(),
              pad(" *** RAFLIB ERROR - 24-03-11 14:25:36 - Routine RFFIOP:", 80) + "\n" +
                  pad(" *** Attempt to open more than 10 RAFLIB files simultanously", 75) +
                  "\n\n *** Error return from RAFNEW\n");
    EXPECT_EQ(raf_->current, 0);
    EXPECT_EQ(create("again", 1, 3), -1037);
    std::int32_t ierr = 0;
    RFIOLD(*raf_, 3, ierr);
    EXPECT_EQ(ierr, -1039);
    EXPECT_EQ(raf_->current, 0);
}

TEST_F(FilesTest, ReopeningReusesTheFirstFreeSlot) {
    ASSERT_EQ(open_fixture("le_basic.dyn", 22), 0);
    ASSERT_EQ(open_fixture("v1.dyn", 23), 0);
    EXPECT_EQ(raf_->slot(1).unit, 22);
    EXPECT_EQ(raf_->slot(2).unit, 23);
    ASSERT_EQ(close(22), 0);
    EXPECT_EQ(raf_->slot(1).unit, 0);
    EXPECT_EQ(raf_->slot(1).age[0], 0);
    RAFINI(*raf_, 6);
    ASSERT_EQ(open_name("le_basic.dyn", 22), 0);
    EXPECT_EQ(raf_->slot(1).unit, 22);
    EXPECT_EQ(raf_->current, 1);
}

TEST_F(FilesTest, NotARaflibFileLeavesTheSlotOpened) {
    EXPECT_EQ(open_fixture("not_raflib.dyn"), -1020);
    EXPECT_EQ(take_output(), pad(" *** RAFLIB ERROR - 24-03-11 14:25:36 - Routine RFIOLD:", 80) +
                                 "\n" + pad(" *** File 0 / Msg_no 1020:", 80) + "\n" +
                                 pad(" *** File is not a RAFLIB file", 75) +
                                 "\n\n *** Error return from RAFOLD\n");
    EXPECT_EQ(raf_->slot(1).unit, -22);
    EXPECT_EQ(raf_->current, 0);
    EXPECT_TRUE(units_->is_open(22));
    // Not found by the close, which looks for +22.
    EXPECT_EQ(close(22), 0);
    EXPECT_EQ(raf_->slot(1).unit, -22);
    // Opening the unit again takes that slot, not a second one.
    ASSERT_EQ(open_fixture("le_basic.dyn"), 0);
    EXPECT_EQ(raf_->slot(1).unit, 22);
    EXPECT_EQ(raf_->slot(2).unit, 0);
}

TEST_F(FilesTest, KeyChecks) {
    EXPECT_EQ(open_fixture("badcur.dyn"), -1062);
    EXPECT_NE(take_output().find(" *** Inconsistent CHKEY: MFPCUR = 193 is illegal"),
              std::string::npos);
    EXPECT_EQ(open_fixture("version3.dyn", 23), -1029);
    EXPECT_NE(take_output().find(" *** Too new RAFLIB file (version 3) - update program"),
              std::string::npos);
    EXPECT_EQ(open_name(patched_key("       0", 141), 24), -1063);
    EXPECT_NE(take_output().find("MFPNXT = 0 is illegal"), std::string::npos);
    EXPECT_EQ(open_name(patched_key("      -1", 125), 25), -1061);
    EXPECT_EQ(open_name(patched_key("  1x", 9), 26), -1064);
    EXPECT_NE(take_output().find("Decode error - Computer's error flag=5010"), std::string::npos);
    EXPECT_EQ(open_name(patched_key("    1 2x", 133), 27), -1064);
    EXPECT_EQ(open_name(patched_key("  -1", 9), 28), -1028);
    EXPECT_NE(take_output().find(" *** Too old RAFLIB file (version -1)"), std::string::npos);
    EXPECT_EQ(open_name(patched_key("  ab", 57), 29), -1064);
    // Blanks inside a field are ignored, an all-blank field reads 0.
    EXPECT_EQ(open_name(patched_key("  1 9 2 ", 125), 30), 0);
    EXPECT_EQ(raf_->cur().mfpmax, 192);
    EXPECT_EQ(open_name(patched_key("        ", 149), 31), 0);
    EXPECT_EQ(raf_->cur().chkrs1, 0);
}

TEST_F(FilesTest, HugeMfpmaxAllocatesNothingAndFailsCleanly) {
    ASSERT_EQ(open_name(patched_key("99999999", 125)), 0);
    std::vector<std::int32_t> buf(4);
    std::int32_t ierr = 0;
    RAFGIN(*raf_, buf, 4, 99999999, 22, ierr);
    EXPECT_EQ(ierr, -1036);
    EXPECT_NE(take_output().find("Cannot read from file - Computer's error flag = 5002"),
              std::string::npos);
    RAFGIN(*raf_, buf, 4, 100000000, 22, ierr);
    EXPECT_EQ(ierr, -1069);
}

TEST_F(FilesTest, OpenFailuresAndStatusChecks) {
    std::string n = "missing.dyn";
    std::int32_t ierr = 0;
    RAFOLD(*raf_, 22, n, ierr);
    EXPECT_EQ(ierr, -1034);
    EXPECT_EQ(take_output(), pad(" *** RAFLIB ERROR - 24-03-11 14:25:36 - Routine RFFIOP:", 80) +
                                 "\n" + pad(" *** File 0 / Msg_no 1034:", 80) + "\n" +
                                 pad(" *** Cannot open file - Computer's error flag = 2", 75) +
                                 "\n\n *** Error return from RAFOLD\n");
    EXPECT_EQ(raf_->slot(1).unit, 0);
    EXPECT_EQ(n, "missing.dyn");

    RAFNEW(*raf_, 22, n, "X", 10, ierr);
    EXPECT_EQ(ierr, -1040);
    EXPECT_EQ(take_output(),
              pad(" *** RAFLIB ERROR - 24-03-11 14:25:36 - Routine RAFNEW:", 80) + "\n" +
                  pad(" *** Illegal file status code (Not NEW, OLD or UNKNOWN)", 75) + "\n");
    RAFNEW(*raf_, 22, n, "new", 0, ierr);
    EXPECT_EQ(ierr, -1046);
    RAFNEW(*raf_, 22, n, "new", 100000000, ierr);
    EXPECT_EQ(ierr, -1061);
    ASSERT_EQ(create("exists.raf", 5), 0);
    ASSERT_EQ(close(), 0);
    EXPECT_EQ(create("exists.raf", 5), -1034);
    take_output();
    n = "x";
    RAFOLD(*raf_, 0, n, ierr);
    EXPECT_EQ(ierr, -1041);
    EXPECT_EQ(raf_->slot(1).unit, 0);
}

TEST_F(FilesTest, EmptyFileReportsReadTwice) {
    std::ofstream(dir_ / "empty.dyn").close();
    EXPECT_EQ(open_name("empty.dyn"), -1036);
    EXPECT_EQ(take_output(),
              pad(" *** RAFLIB ERROR - 24-03-11 14:25:36 - Routine RFGKEY:", 80) + "\n" +
                  pad(" *** File -22 / Array 0 / Address 0 / Elements 0 / Msg_no 1036:", 80) +
                  "\n" + pad(" *** Cannot read from file - Computer's error flag = 5002", 75) +
                  "\n" + pad(" *** RAFLIB ERROR - 24-03-11 14:25:36 - Routine RFIOLD:", 80) + "\n" +
                  pad(" *** File 0 / Array 0 / Address 0 / Elements 0 / Msg_no 1036:", 80) + "\n" +
                  pad(" *** Cannot read from file - Computer's error flag = <UNKNOWN>", 75) +
                  "\n\n *** Error return from RAFOLD\n");
}

TEST_F(FilesTest, ForeignFileIsRefusedButStaysInitialised) {
    EXPECT_EQ(open_fixture("foreign_type.dyn"), -1070);
    EXPECT_EQ(take_output(), pad(" *** RAFLIB ERROR - 24-03-11 14:25:36 - Routine RFCNVD:", 80) +
                                 "\n" + pad(" *** File 22 / Msg_no 1070:", 80) + "\n" +
                                 pad(" *** Cannot read files generated on Sun SPARC / SunOS", 75) +
                                 "\n\n *** Error return from RFIOLD\n\n" +
                                 " *** Error return from RAFOLD\n");
    EXPECT_EQ(raf_->slot(1).unit, 22);
    EXPECT_EQ(raf_->file_type, 11);
    EXPECT_EQ(close(), 0);
    EXPECT_EQ(raf_->slot(1).unit, 0);
    EXPECT_FALSE(units_->is_open(22));
}

TEST_F(FilesTest, LockAndAccessStates) {
    ASSERT_EQ(open_fixture("locked.dyn"), 0);
    EXPECT_EQ(raf_->cur().lock, 2);
    ASSERT_EQ(open_fixture("v1.dyn", 23), 0);
    EXPECT_EQ(raf_->cur().lock, 0);
    ASSERT_EQ(open_fixture("le_basic.dyn", 24), 0);
    EXPECT_EQ(raf_->cur().lock, 3);
    ASSERT_EQ(open_name(patched_key("   0   5", 109), 25), 0);
    EXPECT_EQ(raf_->cur().lock, 1);
    ASSERT_EQ(create("n.raf", 5, 26), 0);
    EXPECT_EQ(raf_->cur().lock, 3);

    Slot& s = raf_->cur();
    const std::array<std::int32_t, 7> after_read = {4, 4, 6, 6, 4, 6, 6};
    const std::array<std::int32_t, 7> after_write = {5, 6, 5, 6, 6, 5, 6};
    for (std::int32_t k = 0; k <= 6; ++k) {
        s.access = k;
        RFACCS(*raf_, kOpRead);
        EXPECT_EQ(s.access, after_read[static_cast<std::size_t>(k)]);
        s.access = k;
        RFACCS(*raf_, kOpWrite);
        EXPECT_EQ(s.access, after_write[static_cast<std::size_t>(k)]);
    }
}

TEST_F(FilesTest, ReadingLeavesVersion1And2FilesUnchanged) {
    for (const std::string name : {"v1.dyn", "le_basic.dyn", "be_basic.dyn", "ncol0.dyn"}) {
        ASSERT_EQ(open_fixture(name, 22), 0) << name;
        std::vector<std::int32_t> buf(300);
        std::int32_t ierr = 0;
        RAFGIN(*raf_, buf, 20, 101, 22, ierr);
        EXPECT_EQ(ierr, 0);
        RAFGRE(*raf_, buf, 6, 107, 22, ierr);
        EXPECT_EQ(ierr, 0);
        ASSERT_EQ(close(22), 0);
        EXPECT_EQ(bytes(name), fixture_bytes(name)) << name;
    }
    // Also after another file was written in the same run.
    ASSERT_EQ(create("w.raf", 5, 30), 0);
    std::vector<std::int32_t> one = {1};
    std::int32_t ierr = 0;
    RAFPIN(*raf_, one, 1, 1, 30, ierr);
    ASSERT_EQ(ierr, 0);
    ASSERT_EQ(open_fixture("le_basic.dyn", 22), 0);
    std::vector<std::int32_t> buf(20);
    RAFGIN(*raf_, buf, 20, 101, 22, ierr);
    ASSERT_EQ(close(22), 0);
    EXPECT_EQ(bytes("le_basic.dyn"), fixture_bytes("le_basic.dyn"));
    EXPECT_GT(raf_->iwfile, 0);
}

TEST_F(FilesTest, Version1OpensWithoutAnyWrite) {
    copy_fixture("v1.dyn");
    rtest::fs::permissions(dir_ / "v1.dyn", rtest::fs::perms::owner_read,
                           rtest::fs::perm_options::replace);
    units_->inject_write_failure(0, 13);  // any write would fail
    EXPECT_EQ(open_name("v1.dyn"), 0);
    EXPECT_EQ(raf_->iwfile, 0);
    EXPECT_EQ(close(), 0);
    EXPECT_EQ(bytes("v1.dyn"), fixture_bytes("v1.dyn"));
    units_->inject_write_failure(-1, 0);
}

TEST_F(FilesTest, Version0ConversionInPlace) {
    ASSERT_EQ(open_fixture("v0_convert.dyn"), 0);
    EXPECT_EQ(take_output(), "");
    EXPECT_EQ(bytes("v0_convert.dyn"), fixture_bytes("v0_convert_after.dyn"));
    EXPECT_EQ(raf_->iwfile, 2);
    std::vector<std::int32_t> buf(3);
    std::int32_t ierr = 0;
    RAFGRE(*raf_, buf, 3, 128, 22, ierr);  // the DYNRES record of step 19
    ASSERT_EQ(ierr, 0);
    EXPECT_EQ(rtest::as_float(buf[1]), 19.0f);
    ASSERT_EQ(close(), 0);
    EXPECT_EQ(bytes("v0_convert.dyn"), fixture_bytes("v0_convert_after.dyn"));

    // A small version-0 file is neither converted nor written.
    ASSERT_EQ(open_fixture("v0_small.dyn", 23), 0);
    ASSERT_EQ(close(23), 0);
    EXPECT_EQ(bytes("v0_small.dyn"), fixture_bytes("v0_small.dyn"));
}

TEST_F(FilesTest, FailedConversionLeavesTheVersion0File) {
    // Three pages of two records, then the two key records: a failure at
    // any of these writes puts back what was written.
    for (int after = 0; after < 8; ++after) {
        SCOPED_TRACE(after);
        RAFINI(*raf_, 6);
        copy_fixture("v0_convert.dyn");
        units_->inject_write_failure(after, 28);
        const std::int32_t ierr = open_name("v0_convert.dyn");
        units_->inject_write_failure(-1, 0);
        EXPECT_LT(ierr, 0);
        const std::string out = take_output();
        EXPECT_NE(out.find("Cannot write to file - Computer's error flag = 28"), std::string::npos);
        EXPECT_NE(out.find("Routine RFIOLD:"), std::string::npos);
        EXPECT_EQ(raf_->current, 0);
        EXPECT_EQ(raf_->slot(1).unit, 22);
        EXPECT_EQ(close(), 0);
        EXPECT_EQ(bytes("v0_convert.dyn"), fixture_bytes("v0_convert.dyn"));
    }
    // The key write failing after its first record: the version-2 key record
    // was written and is put back.
    RAFINI(*raf_, 6);
    copy_fixture("v0_convert.dyn");
    units_->inject_write_failure(7, 28);
    EXPECT_EQ(open_name("v0_convert.dyn"), -1035);
    units_->inject_write_failure(-1, 0);
    EXPECT_NE(take_output().find("Routine RFPKEY:"), std::string::npos);
    ASSERT_EQ(close(), 0);
    EXPECT_EQ(bytes("v0_convert.dyn"), fixture_bytes("v0_convert.dyn"));

    // The file is still the version-0 file and converts when opened again.
    ASSERT_EQ(open_name("v0_convert.dyn"), 0);
    EXPECT_EQ(bytes("v0_convert.dyn"), fixture_bytes("v0_convert_after.dyn"));
}

TEST_F(FilesTest, ConversionThatCannotReadTheLastPageIsUndone) {
    // Records 1..8 only: pages 1 and 2 are converted before page 4 is found
    // missing, and are put back.
    copy_fixture("v0_convert.dyn");
    auto b = bytes("v0_convert.dyn");
    b.resize(8 * 512);
    rtest::write_bytes(dir_ / "v0_convert.dyn", b);
    EXPECT_EQ(open_name("v0_convert.dyn"), -1036);
    const std::string out = take_output();
    EXPECT_NE(out.find("Routine RFCVER:"), std::string::npos);
    EXPECT_NE(out.find("Routine RFIOLD:"), std::string::npos);
    EXPECT_EQ(close(), 0);
    EXPECT_EQ(bytes("v0_convert.dyn"), b);
}

TEST_F(FilesTest, ConversionRefusesAnMfpThatRunsIntoData) {
    copy_fixture("v0_convert.dyn");
    auto b = bytes("v0_convert.dyn");
    const std::string nxt = "      10";  // pages 1..4 need records 3..10
    std::copy(nxt.begin(), nxt.end(), b.begin() + 140);
    rtest::write_bytes(dir_ / "v0_convert.dyn", b);
    EXPECT_EQ(open_name("v0_convert.dyn"), -1063);
    EXPECT_EQ(bytes("v0_convert.dyn"), b);
}

TEST_F(FilesTest, UpdateAndCloseWritePendingChanges) {
    ASSERT_EQ(create("u.raf", 70), 0);
    EXPECT_EQ(raf_->iwfile, 2);
    std::vector<std::int32_t> data = {1, 2, 3};
    std::int32_t ierr = 0;
    RAFPIN(*raf_, data, 3, 70, 22, ierr);
    ASSERT_EQ(ierr, 0);
    EXPECT_TRUE(raf_->cur().pending);
    // RAFINI in between does not lose the pending page.
    RAFINI(*raf_, 6);
    EXPECT_EQ(raf_->iwfile, 0);
    ASSERT_EQ(close(), 0);
    ASSERT_EQ(open_name("u.raf"), 0);
    EXPECT_EQ(raf_->cur().mfpcur, 70);
    EXPECT_EQ(raf_->cur().mfpnxt, 8);
    std::vector<std::int32_t> back(3);
    RAFGIN(*raf_, back, 3, 70, 22, ierr);
    ASSERT_EQ(ierr, 0);
    EXPECT_EQ(back, data);

    RAFUPD(*raf_, 22, ierr);
    EXPECT_EQ(ierr, 0);
    RAFUPD(*raf_, 23, ierr);
    EXPECT_EQ(ierr, -1022);
    EXPECT_NE(take_output().find(" *** Error return from RAFUPD"), std::string::npos);
}

TEST_F(FilesTest, CloseFailureKeepsTheFileOpen) {
    ASSERT_EQ(create("c.raf", 5), 0);
    std::vector<std::int32_t> data = {9};
    std::int32_t ierr = 0;
    RAFPIN(*raf_, data, 1, 1, 22, ierr);
    ASSERT_EQ(ierr, 0);
    take_output();
    units_->inject_write_failure(0, 28);
    EXPECT_EQ(close(), -1035);
    units_->inject_write_failure(-1, 0);
    EXPECT_EQ(take_output(),
              pad(" *** RAFLIB ERROR - 24-03-11 14:25:36 - Routine RFPMFP:", 80) + "\n" +
                  pad(" *** File 22 / Array 0 / Address 0 / Elements 0 / Msg_no 1035:", 80) + "\n" +
                  pad(" *** Cannot write to file - Computer's error flag = 28", 75) +
                  "\n\n *** Error return from RAFUPD\n\n *** Error return from RAFCLS\n");
    EXPECT_EQ(raf_->slot(1).unit, 22);
    EXPECT_EQ(close(), 0);
    ASSERT_EQ(open_name("c.raf"), 0);
    RAFGIN(*raf_, data, 1, 1, 22, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(data[0], 9);
}

}  // namespace
