// Record transfers, machine description, byte-order rule, key fields and the
// layout of a new file.
#include <array>

#include "raflib_test_util.h"

namespace {

using rtest::RaflibTest;
using namespace raflib;

class LayoutTest : public RaflibTest {
  protected:
    // Opens a plain direct-access file of 512-byte records on unit 30.
    void open_plain(const std::string& name) {
        ASSERT_EQ(units_->open_direct(30, name, io::OpenStatus::Unknown, 512), 0);
    }
};

TEST_F(LayoutTest, FfileRecordArithmetic) {
    open_plain("plain.bin");
    std::vector<std::int32_t> w(300);
    for (std::size_t k = 0; k < w.size(); ++k) w[k] = static_cast<std::int32_t>(k + 1);
    std::int32_t ierr = 7;

    // 128 words occupy one record.
    std::int32_t a = 1;
    FFILE(*raf_, 30, 1, a, std::span<const std::int32_t>(w), 128, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(a, 2);
    EXPECT_EQ(rtest::fs::file_size(dir_ / "plain.bin"), 512u);

    // 129 words occupy two records, the second holding one word and zeros.
    FFILE(*raf_, 30, 1, a, std::span<const std::int32_t>(w), 129, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(a, 4);
    const auto b = bytes("plain.bin");
    ASSERT_EQ(b.size(), 1536u);
    EXPECT_EQ(rtest::word_at(b, 128 + 128), 129);
    EXPECT_EQ(rtest::word_at(b, 128 + 129), 0);
    EXPECT_EQ(rtest::word_at(b, 383), 0);

    // op 0: 300 words from address 3 skip 3 records, on any unit.
    a = 3;
    FFILE(*raf_, 0, 0, a, std::span<const std::int32_t>{}, 300, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(a, 6);

    // Count 0 is no error and leaves the address; a negative count is -995.
    a = 9;
    FFILE(*raf_, 30, 1, a, std::span<const std::int32_t>(w), 0, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(a, 9);
    FFILE(*raf_, 30, 2, a, std::span<std::int32_t>(w), -1, ierr);
    EXPECT_EQ(ierr, -995);
    EXPECT_EQ(a, 9);
}

TEST_F(LayoutTest, FfileArgumentErrors) {
    open_plain("plain.bin");
    std::vector<std::int32_t> w(256);
    std::int32_t ierr = 0;
    std::int32_t a = 1;
    FFILE(*raf_, 0, 2, a, std::span<std::int32_t>(w), 1, ierr);
    EXPECT_EQ(ierr, -991);
    FFILE(*raf_, 100, 1, a, std::span<std::int32_t>(w), 1, ierr);
    EXPECT_EQ(ierr, -991);
    FFILE(*raf_, 30, 3, a, std::span<std::int32_t>(w), 1, ierr);
    EXPECT_EQ(ierr, -992);
    FFILE(*raf_, 30, -1, a, std::span<std::int32_t>(w), 1, ierr);
    EXPECT_EQ(ierr, -992);
    a = 0;
    FFILE(*raf_, 30, 2, a, std::span<std::int32_t>(w), 1, ierr);
    EXPECT_EQ(ierr, -993);
    a = -4;
    FFILE(*raf_, 0, 0, a, std::span<std::int32_t>{}, 1, ierr);
    EXPECT_EQ(ierr, -993);
    // A buffer shorter than the count is refused before any transfer.
    a = 1;
    FFILE(*raf_, 30, 1, a, std::span<std::int32_t>(w).first(10), 11, ierr);
    EXPECT_EQ(ierr, -994);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(rtest::fs::file_size(dir_ / "plain.bin"), 0u);
}

TEST_F(LayoutTest, FfileReadPastEndReportsStatusAndAddress) {
    open_plain("plain.bin");
    std::vector<std::int32_t> w(3 * 128, 5);
    std::int32_t ierr = 0;
    std::int32_t a = 1;
    FFILE(*raf_, 30, 1, a, std::span<const std::int32_t>(w), 3 * 128, ierr);
    ASSERT_EQ(ierr, 0);

    // Records 2..5 asked for, record 4 is the first one missing.
    std::vector<std::int32_t> r(4 * 128, 0);
    a = 2;
    FFILE(*raf_, 30, 2, a, std::span<std::int32_t>(r), 4 * 128, ierr);
    EXPECT_EQ(ierr, -io::kIostatShortRecord);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(r[0], 5);
    EXPECT_EQ(r[255], 5);

    // A single record beyond the end.
    a = 7;
    FFILE(*raf_, 30, 2, a, std::span<std::int32_t>(r), 1, ierr);
    EXPECT_EQ(ierr, -io::kIostatShortRecord);
    EXPECT_EQ(a, 8);
}

TEST_F(LayoutTest, FfileWriteFailureAddressIsPastTheFailedRecord) {
    open_plain("plain.bin");
    std::vector<std::int32_t> w(300, 1);
    std::int32_t ierr = 0;
    std::int32_t a = 4;
    units_->inject_write_failure(1, 28);
    FFILE(*raf_, 30, 1, a, std::span<const std::int32_t>(w), 300, ierr);
    EXPECT_EQ(ierr, -28);
    EXPECT_EQ(a, 6);
    // The partial last record fails on its own.
    units_->inject_write_failure(2, 5);
    a = 1;
    FFILE(*raf_, 30, 1, a, std::span<const std::int32_t>(w), 300, ierr);
    EXPECT_EQ(ierr, -5);
    EXPECT_EQ(a, 4);
}

TEST(LayoutRules, ByteOrderCompatibility) {
    using enum ByteOrder;
    for (std::int32_t b : {5, 14, 15}) {
        for (std::int32_t c : {5, 14, 15}) EXPECT_EQ(byte_order_rule(b, c), Same);
        for (std::int32_t c : {8, 12}) EXPECT_EQ(byte_order_rule(b, c), Swap);
        for (std::int32_t c : {0, 4, 7, 9, 11, 13, 16}) EXPECT_EQ(byte_order_rule(b, c), Refused);
    }
    EXPECT_EQ(byte_order_rule(8, 12), Same);
    EXPECT_EQ(byte_order_rule(12, 8), Same);
    EXPECT_EQ(byte_order_rule(8, 14), Swap);
    EXPECT_EQ(byte_order_rule(12, 5), Swap);
    EXPECT_EQ(byte_order_rule(8, 11), Refused);
    EXPECT_EQ(byte_order_rule(11, 11), Same);
    EXPECT_EQ(byte_order_rule(11, 12), Refused);
    EXPECT_EQ(byte_order_rule(4, 14), Refused);
}

TEST(LayoutRules, KeyFieldDecoding) {
    std::int32_t v = -1;
    EXPECT_EQ(decode_field("        ", v), 0);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(decode_field("   1 2  ", v), 0);
    EXPECT_EQ(v, 12);
    EXPECT_EQ(decode_field(" - 5    ", v), 0);
    EXPECT_EQ(v, -5);
    EXPECT_EQ(decode_field("   +0007", v), 0);
    EXPECT_EQ(v, 7);
    v = 99;
    for (const char* bad : {"       -", "       +", "  1-2   ", "  12a   ", "1.0     "}) {
        EXPECT_EQ(decode_field(bad, v), io::kIostatBadInteger) << bad;
        EXPECT_EQ(v, 99);
    }
    EXPECT_EQ(decode_field(std::string("\0\0\0\x01", 4), v), io::kIostatBadInteger);

    std::string key(40, ' ');
    encode_field(key, 5, 4, 14);
    encode_field(key, 9, 8, 512);
    EXPECT_EQ(key.substr(4, 12), "  14     512");
    encode_field(key, 1, 4, 12345);
    EXPECT_EQ(key.substr(0, 4), "****");
}

TEST_F(LayoutTest, MachineDescription) {
    const Machine& m = raf_->machine;
    EXPECT_EQ(m.element_size, (std::array<std::int32_t, 6>{0, 4, 4, 8, 4, 1}));
    EXPECT_EQ(m.bytes_per_word, 4);
    EXPECT_EQ(m.records_per_page, 2);
    EXPECT_EQ(m.record_length, 128);
    EXPECT_EQ(m.type, 14);
    EXPECT_EQ(m.type_text, "  14");
    EXPECT_EQ(m.name, io::fixed("PC / DIGITAL Visual Fortran", 40));
    EXPECT_EQ(computer_name(*raf_, 11), io::fixed("Sun SPARC / SunOS", 40));
    EXPECT_EQ(computer_name(*raf_, 15), io::fixed("LINUX i386", 40));
    EXPECT_EQ(computer_name(*raf_, 3), std::string(40, ' '));
    EXPECT_EQ(computer_name(*raf_, 16), std::string(40, ' '));
}

TEST_F(LayoutTest, NewFileFirstDataAreaAndKeyAfterWrite) {
    ASSERT_EQ(create("new64.raf", 64), 0);
    const Slot& s = raf_->slot(1);
    EXPECT_EQ(s.mfpadr, 3);
    EXPECT_EQ(s.mfpnxt, 5);
    EXPECT_EQ(s.mfplen, 2);
    // The first data area starts at MFPNXT.
    std::vector<std::int32_t> one = {42};
    std::int32_t ierr = 0;
    RAFPIN(*raf_, one, 1, 1, 22, ierr);
    ASSERT_EQ(ierr, 0);
    EXPECT_EQ(raf_->ctx.address, 5);
    ASSERT_EQ(close(), 0);

    const auto b = bytes("new64.raf");
    const std::string key(b.begin(), b.begin() + 1024);
    // After the write the key holds MFPCUR 1, MFPNXT 6 and the last-write stamp.
    const std::string written = "RAFLIB     2   1" + io::fixed("PC / DIGITAL Visual Fortran", 40) +
                                "  1420240311  14253620240311  142536  000000  000000   0   0" +
                                "       3      64       1       6       0   0       2     512";
    EXPECT_EQ(key, io::fixed(written, 1024));
}

TEST_F(LayoutTest, NewFileKeyBeforeAnyWrite) {
    ASSERT_EQ(create("new.raf", 64), 0);
    ASSERT_EQ(close(), 0);
    const auto b = bytes("new.raf");
    ASSERT_EQ(b.size(), 4u * 512u);
    const std::string key(b.begin(), b.begin() + 1024);
    EXPECT_EQ(key, io::fixed("RAFLIB     2   1" + io::fixed("PC / DIGITAL Visual Fortran", 40) +
                                 "  1420240311  142536  000000  000000  000000  000000   0   0" +
                                 "       3      64       0       5       0   0       2     512",
                             1024));
    for (std::size_t w = 256; w < 512; ++w) ASSERT_EQ(rtest::word_at(b, w), 0);
}

TEST_F(LayoutTest, NewFileMfpHasWholePages) {
    ASSERT_EQ(create("a.raf", 1000, 22), 0);
    EXPECT_EQ(raf_->slot(1).mfpnxt, 35);
    EXPECT_EQ(raf_->slot(1).mfplen, 32);
    // 96 arrays: two whole pages (four records), not three records.
    ASSERT_EQ(create("b.raf", 96, 23), 0);
    EXPECT_EQ(raf_->slot(2).mfpnxt, 7);
    EXPECT_EQ(raf_->slot(2).mfplen, 4);
    // 65 arrays: the second page is whole as well.
    ASSERT_EQ(create("c.raf", 65, 24), 0);
    EXPECT_EQ(raf_->slot(3).mfpnxt, 7);
    for (std::int32_t u : {22, 23, 24}) ASSERT_EQ(close(u), 0);
    EXPECT_EQ(rtest::fs::file_size(dir_ / "a.raf"), 34u * 512u);
    EXPECT_EQ(rtest::fs::file_size(dir_ / "b.raf"), 6u * 512u);
    EXPECT_EQ(rtest::fs::file_size(dir_ / "c.raf"), 6u * 512u);
    const auto b = bytes("b.raf");
    EXPECT_EQ(std::string(b.begin() + 116, b.begin() + 176),
              "       3      96       0       7       0   0       4     512");
}

TEST_F(LayoutTest, LastPageOfNewFileAndFirstArrayDoNotOverlap) {
    // With 96 arrays the second page would share a record with the first
    // data area if the MFP had only three records.
    ASSERT_EQ(create("b.raf", 96), 0);
    std::vector<std::int32_t> data(128, 77);
    std::int32_t ierr = 0;
    RAFPIN(*raf_, data, 128, 1, 22, ierr);
    ASSERT_EQ(ierr, 0);
    RAFPIN(*raf_, data, 5, 96, 22, ierr);  // an entry on page 2
    ASSERT_EQ(ierr, 0);
    ASSERT_EQ(close(), 0);
    std::string n = "b.raf";
    RAFOLD(*raf_, 22, n, ierr);
    ASSERT_EQ(ierr, 0);
    std::vector<std::int32_t> back(128, 0);
    RAFGIN(*raf_, back, 128, 1, 22, ierr);
    ASSERT_EQ(ierr, 0);
    EXPECT_EQ(back, data);
    RAFGIN(*raf_, back, 5, 96, 22, ierr);
    ASSERT_EQ(ierr, 0);
    EXPECT_EQ(back[4], 77);
}

}  // namespace
