#include "io/units.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/scratch.h"

namespace {

namespace fs = std::filesystem;

class UnitsTest : public ::testing::Test {
  protected:
    std::string slurp(const std::string& name) { return test_support::read_file(dir_ / name); }

    test_support::ScratchDir scratch_{"pektor_units_"};
    fs::path dir_ = scratch_.path();
};

TEST_F(UnitsTest, UnopenedUnitIsConnectedToFortN) {
    std::istringstream in;
    std::ostringstream out;
    {
        io::Units u(in, out, dir_);
        u.write(44, "first");
        u.write(44, "a\nb");
        u.close(44);
        u.write(44, "again");
    }
    EXPECT_EQ(slurp("fort.44"), "again\n");
}

TEST_F(UnitsTest, StatusOldOnMissingFileFailsAndUnknownRewrites) {
    std::istringstream in;
    std::ostringstream out;
    io::Units u(in, out, dir_);
    EXPECT_EQ(u.open_text(24, "missing.txt", io::OpenStatus::Old), ENOENT);
    EXPECT_FALSE(u.is_open(24));
    {
        std::ofstream f(dir_ / "out.txt");
        f << "old content that is longer\n";
    }
    ASSERT_EQ(u.open_text(17, "out.txt", io::OpenStatus::Unknown), 0);
    u.write(17, "new");
    u.close(17);
    EXPECT_EQ(slurp("out.txt"), "new\n");
}

TEST_F(UnitsTest, ConsolePromptAndKeyboard) {
    std::istringstream in("  12 , 3\nnext line\r\n");
    std::ostringstream out;
    io::Units u(in, out, dir_);
    u.prompt(6, " Give: ");
    std::int32_t a = 0, b = 0;
    EXPECT_EQ(u.read_list(5, std::vector<io::ListItem>{&a, &b}), 0);
    EXPECT_EQ(a, 12);
    EXPECT_EQ(b, 3);
    std::string line;
    EXPECT_EQ(u.read_line(5, line), 0);
    EXPECT_EQ(line, "next line");
    EXPECT_EQ(u.read_line(5, line), io::kIostatEnd);
    u.write(6, "done");
    EXPECT_EQ(out.str(), " Give: done\n");
}

TEST_F(UnitsTest, DirectAccessRecords) {
    std::istringstream in;
    std::ostringstream out;
    io::Units u(in, out, dir_);
    ASSERT_EQ(u.open_direct(22, "d.bin", io::OpenStatus::Unknown, 512), 0);
    std::vector<std::byte> rec(512, std::byte{7});
    EXPECT_EQ(u.write_direct(22, 2, rec).iostat, 0);
    EXPECT_EQ(fs::file_size(dir_ / "d.bin"), 1024u);
    std::vector<std::byte> back(600);
    auto t = u.read_direct(22, 2, back);
    EXPECT_EQ(t.iostat, io::kIostatShortRecord);
    EXPECT_EQ(t.bytes, 512u);
    std::vector<std::byte> one(512);
    EXPECT_EQ(u.read_direct(22, 1, one).iostat, 0);
    EXPECT_EQ(one[0], std::byte{0});
    u.inject_write_failure(1, 28);
    std::vector<std::byte> two(1024, std::byte{1});
    t = u.write_direct(22, 1, two);
    EXPECT_EQ(t.iostat, 28);
    EXPECT_EQ(t.bytes, 512u);
    EXPECT_EQ(u.write_direct(22, 1, two).iostat, 0);
    EXPECT_EQ(u.open_direct(23, "nope.bin", io::OpenStatus::Old, 512), ENOENT);
}

}  // namespace

namespace {

TEST(UnitsLimits, VeryLongLinesAreCutNotHeld) {
    std::string huge(3 * io::kMaxRecordLength, 'x');
    std::istringstream in(huge + "\nnext\n" + huge);
    std::ostringstream out;
    io::Units u(in, out);
    std::string line;
    ASSERT_EQ(u.read_line(5, line), 0);
    EXPECT_EQ(line.size(), io::kMaxRecordLength);
    ASSERT_EQ(u.read_line(5, line), 0);
    EXPECT_EQ(line, "next");
    ASSERT_EQ(u.read_line(5, line), 0);
    EXPECT_EQ(line.size(), io::kMaxRecordLength);
    EXPECT_EQ(u.read_line(5, line), io::kIostatEnd);
}

}  // namespace
