// The message table, placeholders, blank runs, time stamps and whole
// message blocks with their sign rule.
#include <array>

#include "raflib_test_util.h"

namespace {

using rtest::RaflibTest;
using namespace raflib;

std::string pad(const std::string& s, std::size_t n) {
    return io::fixed(s, n);
}

TEST(MessageTable, AllEightyNumbers) {
    std::size_t defined = 0;
    for (std::int32_t n = 1000; n <= 1079; ++n) {
        const MessageText m = RFMTXT(n);
        ASSERT_EQ(m.text.size(), 70u);
        const std::int32_t range_level = n <= 1009   ? kLevelInfo
                                         : n <= 1019 ? kLevelWarning
                                         : n <= 1049 ? kLevelError
                                         : n <= 1059 ? kLevelFatal
                                                     : kLevelError;
        EXPECT_EQ(m.level, range_level) << n;
        if (io::trim(m.text) == "NOT YET DEFINED") {
            EXPECT_EQ(m.kind, 0) << n;
        } else {
            ++defined;
        }
    }
    EXPECT_EQ(defined, 50u);
    for (std::int32_t n : {1005, 1009, 1013, 1019, 1051, 1059, 1068, 1072, 1079})
        EXPECT_EQ(io::trim(RFMTXT(n).text), "NOT YET DEFINED") << n;

    EXPECT_EQ(io::trim(RFMTXT(1000).text), "RAFLIB version 1.0 - Random Access File LIBrary");
    EXPECT_EQ(io::trim(RFMTXT(1038).text),
              "Attempt to open more than <I> RAFLIB files simultanously");
    EXPECT_EQ(io::trim(RFMTXT(1064).text),
              "Inconsistent CHKEY: Decode error - Computer's error flag=<I>");
    EXPECT_EQ(RFMTXT(1050).level, kLevelFatal);
    EXPECT_EQ(RFMTXT(1050).kind, 1);
    EXPECT_EQ(RFMTXT(1048).kind, 4);
    EXPECT_EQ(RFMTXT(1037).kind, 0);
    EXPECT_EQ(RFMTXT(1010).level, kLevelWarning);
    EXPECT_EQ(RFMTXT(1044).kind, 4);

    const MessageText out = RFMTXT(999);
    EXPECT_EQ(out.text, pad("Error no       999 (No text defined for this error number)", 70));
    EXPECT_EQ(out.level, kLevelError);
    EXPECT_EQ(out.kind, 0);
    EXPECT_EQ(io::trim(RFMTXT(1080).text),
              "Error no      1080 (No text defined for this error number)");
}

TEST(MessageHelpers, Placeholders) {
    EXPECT_EQ(RFSUBS("MFPADR = <I> is illegal", 1, ""), pad("MFPADR = 1 is illegal", 70));
    EXPECT_EQ(RFSUBS("flag = <I>", -999999999, ""), pad("flag = -999999999", 70));
    // I10 cannot hold this one.
    EXPECT_EQ(RFSUBS("flag = <I>", -2147483647, ""), pad("flag = **********", 70));
    EXPECT_EQ(RFSUBS("flag = <I>", kUndefined, ""), pad("flag = <UNKNOWN>", 70));
    EXPECT_EQ(RFSUBS("on <A> and <A>", 5, "Sun SPARC / SunOS      "),
              pad("on Sun SPARC / SunOS and <A>", 70));
    EXPECT_EQ(RFSUBS("<I> then <A>", 3, "  x  "), pad("3 then   x", 70));
    EXPECT_EQ(RFSUBS("no placeholder", 3, "x"), pad("no placeholder", 70));
    const std::string longer = RFSUBS(std::string(68, 'a') + "<A>", 0, "bcdef");
    EXPECT_EQ(longer, std::string(68, 'a') + "bc");
}

TEST(MessageHelpers, BlankRuns) {
    std::string f = "***  a   b  c     ";
    RFBLNK(f);
    EXPECT_EQ(f, "*** a b c         ");
    f = "   lead";
    RFBLNK(f);
    EXPECT_EQ(f, " lead  ");
    f = "none";
    RFBLNK(f);
    EXPECT_EQ(f, "none");
    f = "      ";
    RFBLNK(f);
    EXPECT_EQ(f, "      ");
}

TEST_F(RaflibTest, TimeStamps) {
    EXPECT_EQ(RFDATE(*raf_, 1), "20240311  142536");
    EXPECT_EQ(RFDATE(*raf_, 2), "24-03-11 14:25:36");
    raf_->clock = [] { return LocalTime{2007, 1, 2, 3, 4, 5}; };
    EXPECT_EQ(RFDATE(*raf_, 1), "20070102  030405");
    EXPECT_EQ(RFDATE(*raf_, 2), "07-01-02 03:04:05");
}

TEST_F(RaflibTest, ReadOfUnallocatedArrayPrintsBlockAndTrace) {
    ASSERT_EQ(create("m.raf", 64), 0);
    take_output();
    std::vector<std::int32_t> buf(8, 0);
    std::int32_t ierr = 0;
    RAFGDP(*raf_, buf, 4, 5, 22, ierr);
    EXPECT_EQ(ierr, -1048);
    EXPECT_EQ(take_output(),
              pad(" *** RAFLIB ERROR - 24-03-11 14:25:36 - Routine RFFNFP:", 80) + "\n" +
                  pad(" *** File 22 / Array 5 / Address 0 / Elements 0 / Msg_no 1048:", 80) + "\n" +
                  pad(" *** Attempt to read a non-allocated array", 75) + "\n" + "\n" +
                  " *** Error return from RAFGDP\n");
}

TEST_F(RaflibTest, MessageKindsLabelsAndLevels) {
    std::int32_t ierr = 999;
    RFMESS(*raf_, ierr, "RFTEST", 0, kUndefined, "");
    EXPECT_EQ(ierr, -999);
    EXPECT_EQ(take_output(),
              pad(" *** RAFLIB ERROR - 24-03-11 14:25:36 - Routine RFTEST:", 80) + "\n" +
                  pad(" *** Error no       999 (No text defined for this error number)", 75) +
                  "\n");

    // Label, FATAL level and a kind-1 line with no current file.
    ierr = -1050;
    RFMESS(*raf_, ierr, "RFX", 7, kUndefined, "");
    EXPECT_EQ(ierr, -1050);
    EXPECT_EQ(take_output(),
              pad(" !!! RAFLIB FATAL ERROR - 24-03-11 14:25:36 - Routine RFX - Label 7:", 80) +
                  "\n" + pad(" !!! File 0 / Msg_no 1050:", 80) + "\n" +
                  pad(" !!! Core copy of CHKEY corrupted (overwritten) during execution", 75) +
                  "\n");

    // The four kinds of file line; kind 3 writes "Msg_no=".
    raf_->ctx.arrayno = 12;
    raf_->ctx.address = 345;
    raf_->ctx.current = 6;
    const Level& lv = raf_->levels[kLevelError];
    const std::array<std::string, 4> lines = {
        "*** File 0 / Msg_no 1030:", "*** File 0 / Array 12 / Msg_no 1030:",
        "*** File 0 / Array 12 / Address 345 / Msg_no= 1030:",
        "*** File 0 / Array 12 / Address 345 / Elements 6 / Msg_no 1030:"};
    for (std::int32_t k = 1; k <= 4; ++k) {
        std::string f = io::fixed(message_file_line(*raf_, lv, k, 1030), 100);
        RFBLNK(f);
        EXPECT_EQ(f, io::fixed(lines[static_cast<std::size_t>(k - 1)], 100));
    }
    ierr = 1030;
    RFMESS(*raf_, ierr, "RFY", 0, kUndefined, "");
    EXPECT_NE(
        take_output().find(" *** File 0 / Array 12 / Address 345 / Elements 6 / Msg_no 1030:"),
        std::string::npos);

    // A warning is printed and stays positive; INFO has no unit.
    ierr = -1012;
    RFMESS(*raf_, ierr, "RFZ", 0, kUndefined, "");
    EXPECT_EQ(ierr, 1012);
    EXPECT_EQ(take_output(), pad(" === RAFLIB WARNING - 24-03-11 14:25:36 - Routine RFZ :", 80) +
                                 "\n" + pad(" === File 0 / Msg_no 1012:", 80) + "\n" +
                                 pad(" === No RAFLIB file open with this number", 75) + "\n");
    ierr = 1001;
    RFMESS(*raf_, ierr, "RFZ", 0, kUndefined, "");
    EXPECT_EQ(ierr, 1001);
    EXPECT_EQ(take_output(), "");
}

TEST_F(RaflibTest, IoFailureMessages) {
    std::int32_t ierr = -994;
    RFIOER(*raf_, ierr, "RAFGIN", 2);
    EXPECT_EQ(ierr, -1044);
    ierr = -5002;
    RFIOER(*raf_, ierr, "RAFGIN", 2);
    EXPECT_EQ(ierr, -1036);
    EXPECT_NE(take_output().find(" *** Cannot read from file - Computer's error flag = 5002"),
              std::string::npos);
    ierr = -28;
    RFIOER(*raf_, ierr, "RFALL", 1);
    EXPECT_EQ(ierr, -1035);
    const std::string out = take_output();
    EXPECT_NE(out.find("Routine RFALL :"), std::string::npos);
    EXPECT_NE(out.find("Computer's error flag = 28 "), std::string::npos);
    ierr = -993;
    RFIOER(*raf_, ierr, "RFALL", 0);
    EXPECT_EQ(ierr, -1043);
}

TEST_F(RaflibTest, SilentLibraryReturnsPositiveNumbers) {
    RAFINI(*raf_, 0);
    EXPECT_EQ(open_fixture("not_raflib.dyn"), 1020);
    std::int32_t ierr = 0;
    std::vector<std::int32_t> buf(4);
    RAFGIN(*raf_, buf, 4, 1, 31, ierr);
    EXPECT_EQ(ierr, 1022);
    EXPECT_EQ(take_output(), "");
}

TEST_F(RaflibTest, KeyValueInMessage1060) {
    copy_fixture("le_basic.dyn");
    auto b = bytes("le_basic.dyn");
    const std::string one = "       1";
    std::copy(one.begin(), one.end(), b.begin() + 116);
    rtest::write_bytes(dir_ / "le_basic.dyn", b);
    std::string n = "le_basic.dyn";
    std::int32_t ierr = 0;
    RAFOLD(*raf_, 22, n, ierr);
    EXPECT_EQ(ierr, -1060);
    EXPECT_EQ(take_output(), pad(" *** RAFLIB ERROR - 24-03-11 14:25:36 - Routine RFIOLD:", 80) +
                                 "\n" + pad(" *** File 0 / Msg_no 1060:", 80) + "\n" +
                                 pad(" *** Inconsistent CHKEY: MFPADR = 1 is illegal", 75) +
                                 "\n\n" + " *** Error return from RAFOLD\n");
}

TEST_F(RaflibTest, MessagesOnUnit23GoToFort23) {
    RAFINI(*raf_, 23);
    std::int32_t ierr = 0;
    RAFCLS(*raf_, 22, ierr);
    std::vector<std::int32_t> buf(4);
    RAFGIN(*raf_, buf, 4, 1, 22, ierr);
    EXPECT_EQ(ierr, -1022);
    units_->close(23);
    const auto b = rtest::read_bytes(dir_ / "fort.23");
    EXPECT_EQ(std::string(b.begin(), b.end()),
              pad(" *** RAFLIB ERROR - 24-03-11 14:25:36 - Routine RFFINO:", 80) + "\n" +
                  pad(" *** File 0 / Msg_no 1022:", 80) + "\n" +
                  pad(" *** No RAFLIB open/initialize routine called for this file", 75) + "\n\n" +
                  " *** Error return from RFFINO\n\n *** Error return from RFFNFP\n\n" +
                  " *** Error return from RAFGIN\n");
    EXPECT_EQ(take_output(), "");
}

}  // namespace
