// Array reads and writes, entry checks, the page cache, conversion and
// widening.
#include <algorithm>
#include <array>
#include <cmath>

#include "raflib_test_util.h"

namespace {

using rtest::RaflibTest;
using namespace raflib;

class ArraysTest : public RaflibTest {
  protected:
    // Writes a file with an integer, a single and a double array.
    void write_sample(const std::string& name) {
        ASSERT_EQ(create(name, 200), 0);
        std::int32_t ierr = 0;
        RAFPIN(*raf_, ints_, 5, 64, 22, ierr);
        ASSERT_EQ(ierr, 0);
        RAFPRE(*raf_, reals_, 3, 65, 22, ierr);
        ASSERT_EQ(ierr, 0);
        RAFPDP(*raf_, rtest::double_words(doubles_), 2, 130, 22, ierr);
        ASSERT_EQ(ierr, 0);
        ASSERT_EQ(close(), 0);
    }
    std::int32_t reopen(const std::string& name) {
        std::string n = name;
        std::int32_t ierr = 0;
        RAFOLD(*raf_, 22, n, ierr);
        return ierr;
    }

    std::vector<std::int32_t> ints_ = {1, -2, 3, 400000, -5};
    std::vector<std::int32_t> reals_ = {rtest::float_word(1.5f), rtest::float_word(-0.25f),
                                        rtest::float_word(3.0e10f)};
    std::vector<double> doubles_ = {0.1, -2.5e-300};
};

TEST_F(ArraysTest, WriteThenReadRoundTrip) {
    write_sample("rt.raf");
    ASSERT_EQ(reopen("rt.raf"), 0);
    std::int32_t ierr = 0;
    std::vector<std::int32_t> b(5);
    RAFGIN(*raf_, b, 5, 64, 22, ierr);
    ASSERT_EQ(ierr, 0);
    EXPECT_EQ(b, ints_);
    EXPECT_EQ(raf_->ctx.page, 1);
    EXPECT_EQ(raf_->ctx.entry, 64);

    std::vector<std::int32_t> r(3);
    RAFGRE(*raf_, r, 3, 65, 22, ierr);
    ASSERT_EQ(ierr, 0);
    EXPECT_EQ(r, reals_);
    EXPECT_EQ(raf_->ctx.page, 2);
    EXPECT_EQ(raf_->ctx.entry, 1);
    EXPECT_EQ(raf_->ctx.address, 12);  // after 4 MFP pages and array 64

    std::vector<std::int32_t> d(4);
    RAFGDP(*raf_, d, 2, 130, 22, ierr);
    ASSERT_EQ(ierr, 0);
    EXPECT_EQ(rtest::double_at(d, 0), 0.1);
    EXPECT_EQ(rtest::double_at(d, 1), -2.5e-300);

    // Widening in place: 3 singles become 3 doubles in 6 words.
    std::vector<std::int32_t> w(6, -1);
    RAFGRD(*raf_, w, 3, 65, 22, ierr);
    ASSERT_EQ(ierr, 0);
    EXPECT_EQ(rtest::double_at(w, 0), 1.5);
    EXPECT_EQ(rtest::double_at(w, 1), -0.25);
    EXPECT_EQ(rtest::double_at(w, 2), static_cast<double>(3.0e10f));
    EXPECT_EQ(raf_->cur().access, 4);
}

TEST_F(ArraysTest, EntryChecks) {
    write_sample("ec.raf");
    ASSERT_EQ(reopen("ec.raf"), 0);
    std::vector<std::int32_t> b(10);
    std::int32_t ierr = 0;
    RAFGIN(*raf_, b, 3, 65, 22, ierr);
    EXPECT_EQ(ierr, -1025);
    RAFGIN(*raf_, b, 3, 66, 22, ierr);
    EXPECT_EQ(ierr, -1048);
    RAFGIN(*raf_, b, 4, 64, 22, ierr);
    EXPECT_EQ(ierr, -1026);
    RAFGIN(*raf_, b, 6, 64, 22, ierr);
    EXPECT_EQ(ierr, -1027);
    RAFGIN(*raf_, b, 3, 0, 22, ierr);
    EXPECT_EQ(ierr, -1069);
    RAFGIN(*raf_, b, 3, 201, 22, ierr);
    EXPECT_EQ(ierr, -1069);
    EXPECT_EQ(raf_->ctx.arrayno, 201);
    const std::string out = take_output();
    EXPECT_NE(out.find(" *** File 22 / Array 64 / Address 11 / Elements 5 / Msg_no 1027:"),
              std::string::npos);
    EXPECT_NE(out.find(" *** Array length mismatch (too few elements specified)"),
              std::string::npos);

    // Rewrite with fewer elements: the current count follows.
    std::vector<std::int32_t> three = {7, 8, 9};
    RAFPIN(*raf_, three, 3, 64, 22, ierr);
    ASSERT_EQ(ierr, 0);
    RAFGIN(*raf_, b, 3, 64, 22, ierr);
    ASSERT_EQ(ierr, 0);
    EXPECT_EQ(b[2], 9);
    RAFGIN(*raf_, b, 5, 64, 22, ierr);  // between current and allocated
    EXPECT_EQ(ierr, 0);
    // Too many, wrong type: refused, entry unchanged.
    RAFPIN(*raf_, b, 6, 64, 22, ierr);
    EXPECT_EQ(ierr, -1027);
    RAFPRE(*raf_, b, 2, 64, 22, ierr);
    EXPECT_EQ(ierr, -1025);
    EXPECT_EQ(raf_->ctx.current, 3);
    RFFNFP(*raf_, 22, 64, 1, 5, kOpAllocate, ierr);
    EXPECT_EQ(ierr, -1047);
    // Allocate only: current 0, any count up to the allocated one reads.
    RFFNFP(*raf_, 22, 70, 1, 4, kOpAllocate, ierr);
    ASSERT_EQ(ierr, 0);
    EXPECT_EQ(raf_->ctx.allocated, 4);
    EXPECT_EQ(raf_->ctx.current, 0);
    RFALL(*raf_, 22, 71, 9, 1, 1, ierr);
    EXPECT_EQ(ierr, -1032);
    ASSERT_EQ(close(), 0);
    ASSERT_EQ(reopen("ec.raf"), 0);
    EXPECT_EQ(raf_->cur().mfpcur, 130);
}

TEST_F(ArraysTest, EmptyArraySharesItsAddress) {
    ASSERT_EQ(create("e.raf", 10), 0);
    std::int32_t ierr = 0;
    RAFPIN(*raf_, std::span<const std::int32_t>{}, 0, 1, 22, ierr);
    ASSERT_EQ(ierr, 0);
    const std::int32_t a = raf_->ctx.address;
    std::vector<std::int32_t> one = {5};
    RAFPIN(*raf_, one, 1, 2, 22, ierr);
    ASSERT_EQ(ierr, 0);
    EXPECT_EQ(raf_->ctx.address, a);
    RAFGIN(*raf_, std::span<std::int32_t>{}, 0, 1, 22, ierr);
    EXPECT_EQ(ierr, 0);
}

TEST_F(ArraysTest, BufferIsNeverOverrun) {
    write_sample("bo.raf");
    ASSERT_EQ(reopen("bo.raf"), 0);
    std::vector<std::int32_t> b(8, -7);
    std::int32_t ierr = 0;
    RAFGIN(*raf_, std::span<std::int32_t>(b).first(4), 5, 64, 22, ierr);
    EXPECT_EQ(ierr, -1044);
    EXPECT_EQ(b[4], -7);
    EXPECT_NE(
        take_output().find(" *** File 22 / Array 64 / Address 11 / Elements 5 / Msg_no 1044:"),
        std::string::npos);
    // RAFGRD needs 2 * count words.
    RAFGRD(*raf_, std::span<std::int32_t>(b).first(5), 3, 65, 22, ierr);
    EXPECT_EQ(ierr, -1044);
    EXPECT_EQ(b[5], -7);
    EXPECT_NE(take_output().find(" *** Error return from RAFGRD"), std::string::npos);
    RAFGDP(*raf_, std::span<std::int32_t>(b).first(3), 2, 130, 22, ierr);
    EXPECT_EQ(ierr, -1044);
    // Writes: a short buffer allocates nothing.
    const std::int32_t next = raf_->cur().mfpnxt;
    RAFPIN(*raf_, std::span<const std::int32_t>(b).first(2), 3, 150, 22, ierr);
    EXPECT_EQ(ierr, -1044);
    RAFPIN(*raf_, b, -1, 150, 22, ierr);
    EXPECT_EQ(ierr, -1045);
    EXPECT_EQ(raf_->cur().mfpnxt, next);
    RFFNFP(*raf_, 22, 150, 1, 0, kOpLocate, ierr);
    EXPECT_EQ(raf_->ctx.address, 0);
}

class HostileEntryTest : public ArraysTest {
  protected:
    // The sample file with entry n (page 1 or 2) patched.
    void patch_entry(std::int32_t n, std::array<std::int32_t, 4> entry) {
        close();
        rtest::fs::remove(dir_ / "h.raf");
        write_sample("h.raf");
        auto b = bytes("h.raf");
        const std::size_t page = static_cast<std::size_t>((n - 1) / 64);
        const std::size_t e = static_cast<std::size_t>((n - 1) % 64);
        const std::size_t w = (2 + 2 * page) * 128 + 4 * e;
        for (std::size_t k = 0; k < 4; ++k) rtest::set_word(b, w + k, entry[k]);
        rtest::write_bytes(dir_ / "h.raf", b);
        ASSERT_EQ(reopen("h.raf"), 0);
        take_output();
    }
    std::int32_t read_ints(std::int32_t n, std::int32_t count) {
        std::int32_t ierr = 0;
        RAFGIN(*raf_, buf_, count, n, 22, ierr);
        return ierr;
    }
    std::vector<std::int32_t> buf_ = std::vector<std::int32_t>(400, -7);
};

TEST_F(HostileEntryTest, NegativeAddress) {
    patch_entry(64, {-3, 1, 5, 5});
    EXPECT_EQ(read_ints(64, 5), -1043);
    EXPECT_NE(take_output().find(" *** Negative file address in FFILE"), std::string::npos);
}

TEST_F(HostileEntryTest, AddressAtTheLargestRecordNumberIsBeyondTheFile) {
    for (const std::int32_t address : {2147483647, 2147483646}) {
        patch_entry(64, {address, 1, 5, 5});
        EXPECT_EQ(read_ints(64, 5), -1036) << address;
        const std::string out = take_output();
        EXPECT_NE(out.find(" *** Cannot read from file - Computer's error flag = 5002"),
                  std::string::npos)
            << out;
        EXPECT_EQ(out.find("Negative"), std::string::npos) << out;
    }
}

TEST_F(HostileEntryTest, UnknownType) {
    patch_entry(64, {11, 9, 5, 5});
    EXPECT_EQ(read_ints(64, 5), -1025);
}

TEST_F(HostileEntryTest, AllocatedBelowCurrent) {
    patch_entry(64, {11, 1, 3, 5});
    EXPECT_EQ(read_ints(64, 5), -1027);
    EXPECT_EQ(read_ints(64, 3), -1026);
}

TEST_F(HostileEntryTest, CountsBeyondTheFile) {
    patch_entry(64, {13, 1, 2000000000, 300});
    EXPECT_EQ(read_ints(64, 300), -1036);
    EXPECT_EQ(buf_.size(), 400u);
    patch_entry(64, {11, 1, 2000000000, 1000000});
    EXPECT_EQ(read_ints(64, 1000000), -1044);
    patch_entry(64, {99999990, 1, 5, 5});
    EXPECT_EQ(read_ints(64, 5), -1036);
    patch_entry(64, {11, 1, -5, -9});
    EXPECT_EQ(read_ints(64, -2), -1027);
}

TEST_F(ArraysTest, PageCacheReplacesTheLeastRecentlyUsed) {
    ASSERT_EQ(create("lru.raf", 1000), 0);
    Slot& s = raf_->cur();
    std::int32_t ierr = 0;
    const auto visit = [&](std::int32_t page) {
        RFFNFP(*raf_, 22, 64 * (page - 1) + 1, 1, 0, kOpLocate, ierr);
        ASSERT_EQ(ierr, 0);
        EXPECT_EQ(raf_->ctx.page, page);
    };
    for (std::int32_t p = 1; p <= 10; ++p) visit(p);
    for (std::size_t j = 0; j < 10; ++j) {
        EXPECT_EQ(s.page_no[j], static_cast<std::int32_t>(j + 1));
        EXPECT_EQ(s.age[j], static_cast<std::int32_t>(10 - j));
    }
    // A hit on the most recently used page changes no ages.
    const auto ages = s.age;
    visit(10);
    EXPECT_EQ(s.age, ages);
    // A hit on page 4 moves it to the front.
    visit(4);
    EXPECT_EQ(s.age[3], 1);
    EXPECT_EQ(s.age[9], 2);
    EXPECT_EQ(s.age[4], 7);
    EXPECT_EQ(s.age[2], 8);
    visit(10);
    visit(4);
    // Pages 1..10 again in order, then 11 replaces page 1 and page 1 then page 2.
    for (std::int32_t p = 1; p <= 10; ++p) visit(p);
    visit(11);
    EXPECT_EQ(s.page_no[0], 11);
    EXPECT_EQ(raf_->ctx.cache_slot, 1);
    visit(1);
    EXPECT_EQ(s.page_no[1], 1);
    EXPECT_EQ(raf_->ctx.cache_slot, 2);
    for (std::int32_t p = 3; p <= 10; ++p) EXPECT_EQ(s.page_no[static_cast<std::size_t>(p - 1)], p);
}

TEST_F(ArraysTest, DirtyPagesAreWrittenWhenReplaced) {
    ASSERT_EQ(create("d.raf", 1000), 0);
    std::int32_t ierr = 0;
    std::vector<std::int32_t> v = {3};
    for (std::int32_t p = 1; p <= 12; ++p) {
        v[0] = p;
        RAFPIN(*raf_, v, 1, 64 * (p - 1) + 2, 22, ierr);
        ASSERT_EQ(ierr, 0);
    }
    EXPECT_EQ(raf_->iwfile, 4);  // key, new file, two pages replaced
    ASSERT_EQ(close(), 0);
    ASSERT_EQ(reopen("d.raf"), 0);
    for (std::int32_t p = 12; p >= 1; --p) {
        RAFGIN(*raf_, v, 1, 64 * (p - 1) + 2, 22, ierr);
        ASSERT_EQ(ierr, 0);
        EXPECT_EQ(v[0], p);
    }
}

TEST(Conversion, SwapLengths) {
    std::array<std::byte, 10> b{};
    for (std::size_t k = 0; k < b.size(); ++k) b[k] = std::byte(k);
    std::int32_t ierr = 5;
    RFSWAP(b, 3, 3, ierr);
    EXPECT_EQ(ierr, 0);
    const std::array<int, 10> want = {2, 1, 0, 5, 4, 3, 8, 7, 6, 9};
    for (std::size_t k = 0; k < b.size(); ++k) EXPECT_EQ(std::to_integer<int>(b[k]), want[k]);
    RFSWAP(b, 1, 9, ierr);
    EXPECT_EQ(ierr, -2);
    RFSWAP(b, 1, 1, ierr);
    EXPECT_EQ(ierr, -2);
    RFSWAP(b, -1, 4, ierr);
    EXPECT_EQ(ierr, -1);
    RFSWAP(b, 3, 4, ierr);
    EXPECT_EQ(ierr, -3);
    EXPECT_EQ(std::to_integer<int>(b[9]), 9);
}

TEST_F(RaflibTest, DoublesFromABigEndianFileAreSwappedInEightByteGroups) {
    ASSERT_EQ(create("x.raf", 5), 0);
    raf_->cur().computer_type = 12;
    std::vector<std::int32_t> w(6);
    const std::vector<std::byte> be = {std::byte{0x3f}, std::byte{0xf8}, std::byte{0},
                                       std::byte{0},    std::byte{0},    std::byte{0},
                                       std::byte{0},    std::byte{0}};  // 1.5
    std::memcpy(w.data(), be.data(), 8);
    std::memcpy(w.data() + 2, be.data(), 8);
    w[4] = 0x01020304;
    w[5] = 0x05060708;
    std::int32_t ierr = 0;
    RFCNVD(*raf_, "DP", w, 4, ierr);
    ASSERT_EQ(ierr, 0);
    EXPECT_EQ(rtest::double_at(w, 0), 1.5);
    EXPECT_EQ(rtest::double_at(w, 1), 1.5);
    EXPECT_EQ(w[4], 0x01020304);
    EXPECT_EQ(w[5], 0x05060708);
    RFCNVD(*raf_, "CK", w, 4, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(rtest::double_at(w, 0), 1.5);
    RFCNVD(*raf_, "IN", w, 7, ierr);  // more words than the buffer holds
    EXPECT_EQ(ierr, -3);
    raf_->cur().computer_type = 4;
    RFCNVD(*raf_, "IN", w, 1, ierr);
    EXPECT_EQ(ierr, -1070);
    RFCHKW(*raf_, ierr);
    EXPECT_EQ(ierr, -1071);
    EXPECT_NE(take_output().find(" *** Cannot generate files for Apollo / UNIX"),
              std::string::npos);
}

TEST_F(ArraysTest, TwoDoublesFromABigEndianFile) {
    // A file of type 12 made from a little-endian one: key name and type,
    // MFP words reversed in 4-byte units, the data in 8-byte units.
    ASSERT_EQ(create("be.raf", 64), 0);
    std::int32_t ierr = 0;
    RAFPDP(*raf_, rtest::double_words({1.5, -1.0e-7}), 2, 9, 22, ierr);
    ASSERT_EQ(ierr, 0);
    ASSERT_EQ(close(), 0);
    auto b = bytes("be.raf");
    const std::string head = io::fixed("Silicon Graphics / IRIX", 40) + "  12";
    std::copy(head.begin(), head.end(), b.begin() + 16);
    for (std::size_t w = 256; w < 512; ++w) std::reverse(b.begin() + 4 * w, b.begin() + 4 * w + 4);
    for (std::size_t d = 0; d < 2; ++d)
        std::reverse(b.begin() + 2048 + 8 * d, b.begin() + 2048 + 8 * d + 8);
    rtest::write_bytes(dir_ / "be.raf", b);

    ASSERT_EQ(reopen("be.raf"), 0);
    EXPECT_EQ(raf_->cur().computer_type, 12);
    std::vector<std::int32_t> w(6, 0x11223344);
    RAFGDP(*raf_, w, 2, 9, 22, ierr);
    ASSERT_EQ(ierr, 0);
    EXPECT_EQ(rtest::double_at(w, 0), 1.5);
    EXPECT_EQ(rtest::double_at(w, 1), -1.0e-7);
    EXPECT_EQ(w[4], 0x11223344);
    EXPECT_EQ(w[5], 0x11223344);
    ASSERT_EQ(close(), 0);
    EXPECT_EQ(bytes("be.raf"), b);
}

TEST(Widening, StridesAndBounds) {
    std::vector<std::int32_t> x = {rtest::float_word(1.0f), rtest::float_word(2.0f),
                                   rtest::float_word(3.0f), rtest::float_word(4.0f)};
    std::vector<std::int32_t> y(8, 0);
    RFR2DP(2, x, 2, y, 1);
    EXPECT_EQ(rtest::double_at(y, 0), 1.0);
    EXPECT_EQ(rtest::double_at(y, 1), 3.0);
    std::fill(y.begin(), y.end(), 0);
    RFR2DP(3, x, 1, y, -1);
    EXPECT_EQ(rtest::double_at(y, 2), 1.0);
    EXPECT_EQ(rtest::double_at(y, 0), 3.0);
    std::fill(y.begin(), y.end(), 0);
    RFR2DP(3, x, -1, y, 1);
    EXPECT_EQ(rtest::double_at(y, 0), 3.0);
    EXPECT_EQ(rtest::double_at(y, 2), 1.0);
    // Elements outside the spans: nothing happens.
    std::fill(y.begin(), y.end(), 0);
    RFR2DP(5, x, 1, y, 1);
    RFR2DP(3, x, 2, y, 1);
    RFR2DP(2, x, 1, std::span<std::int32_t>(y).first(3), 1);
    RFR2DP(0, x, 1, y, 1);
    RFR2DP(2, x, 0, y, 1);
    EXPECT_EQ(y, std::vector<std::int32_t>(8, 0));
}

}  // namespace
