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

TEST(UnitsLimits, VeryLongLinesAreRefusedNotCut) {
    // A line of exactly the limit (also with a carriage return) is read whole;
    // one character more is refused and named by its line number, and an
    // endless line ends after the limit.
    const std::string limit(io::kMaxLineLength, 'x');
    std::istringstream in(limit + "\n" + limit + "\r\nnext\n" + limit + "y\nafter\n");
    std::ostringstream out;
    io::Units u(in, out);
    std::string line;
    ASSERT_EQ(u.read_line(5, line), 0);
    EXPECT_EQ(line.size(), io::kMaxLineLength);
    ASSERT_EQ(u.read_line(5, line), 0);
    EXPECT_EQ(line.size(), io::kMaxLineLength);
    ASSERT_EQ(u.read_line(5, line), 0);
    EXPECT_EQ(line, "next");
    EXPECT_EQ(u.read_line(5, line), io::kIostatLineTooLong);
    EXPECT_TRUE(line.empty());
    EXPECT_EQ(u.read_error_text(5, io::kIostatLineTooLong),
              "line 4 is longer than 1048576 characters");
}

TEST(UnitsLimits, EndlessLineInAFileEndsWithAnError) {
    std::istringstream in;
    std::ostringstream out;
    io::Units u(in, out);
    ASSERT_EQ(u.open_text(24, "/dev/zero", io::OpenStatus::Old), 0);
    std::string line;
    EXPECT_EQ(u.read_line(24, line), io::kIostatLineTooLong);
    EXPECT_EQ(u.lines_read(24), 1);
    std::int32_t v = 0;
    EXPECT_EQ(u.read_list(24, std::vector<io::ListItem>{&v}), io::kIostatLineTooLong);
}

}  // namespace

namespace {

namespace fs = std::filesystem;

// A default-connected unit never overwrites a file of the run; a file that
// cannot be written, flushed or created is remembered as a failure.
TEST(UnitsFiles, DefaultFilesSpareTheFilesOfTheRun) {
    test_support::ScratchDir dir("pektor_units_");
    dir.write("fort.44", "dyn bytes");
    fs::create_hard_link(dir.path() / "fort.44", dir.path() / "hard.dyn");
    fs::create_symlink("fort.45", dir.path() / "link.txt");
    std::istringstream in;
    std::ostringstream out;
    io::Units u(in, out, dir.path());
    u.protect("hard.dyn", "dyn file");
    u.protect("link.txt", "output file");  // not there yet: the same path
    ASSERT_TRUE(u.default_clash(44));
    EXPECT_EQ(u.default_clash(44)->name, "hard.dyn");
    ASSERT_TRUE(u.default_clash(45));
    EXPECT_EQ(u.default_clash(45)->role, "output file");
    EXPECT_FALSE(u.default_clash(46));
    u.write(44, "resultants");
    u.write(44, "more");
    u.write(46, "fine");
    u.close(46);
    EXPECT_EQ(dir.read("fort.44"), "dyn bytes");
    EXPECT_EQ(dir.read("fort.46"), "fine\n");
    EXPECT_EQ(u.open_text(17, "hard.dyn", io::OpenStatus::Unknown), io::kIostatProtected);
    EXPECT_EQ(dir.read("fort.44"), "dyn bytes");
    ASSERT_EQ(u.failures().size(), 1U);
    EXPECT_EQ(u.failures()[0].unit, 44);
    EXPECT_EQ(u.failures()[0].error, io::kIostatProtected);
}

TEST(UnitsFiles, FailedWritesAreRemembered) {
    test_support::ScratchDir dir("pektor_units_");
    std::istringstream in;
    std::ostringstream out;
    io::Units u(in, out, dir.path());
    ASSERT_EQ(u.open_text(17, "/dev/full", io::OpenStatus::Unknown), 0);
    u.write(17, "small enough to stay in the buffer");
    EXPECT_TRUE(u.failures().empty());
    u.close(17);
    ASSERT_EQ(u.failures().size(), 1U);
    EXPECT_EQ(u.failures()[0].name, "/dev/full");
    EXPECT_EQ(u.failures()[0].error, ENOSPC);
    EXPECT_FALSE(u.failures()[0].create);

    fs::create_directory(dir.path() / "fort.44");  // cannot be created as a file
    u.write(44, "a");
    u.write(44, "b");
    ASSERT_EQ(u.failures().size(), 2U);
    EXPECT_EQ(u.failures()[1].name, "fort.44");
    EXPECT_TRUE(u.failures()[1].create);

    ASSERT_EQ(u.open_text(18, "/dev/full", io::OpenStatus::Unknown), 0);
    u.write(18, "x");
    u.flush_all();
    ASSERT_EQ(u.failures().size(), 3U);
    EXPECT_EQ(u.failures()[2].unit, 18);
}

}  // namespace
