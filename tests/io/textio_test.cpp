#include "io/textio.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>
#include <string>

#include "dms/filopn.h"
#include "io/text.h"
#include "support/scratch_units.h"

namespace {

using Console = test_support::ScratchUnits;

TEST(Prompt, OneBlankThenTheTextWithoutLineEnd) {
    Console c;
    io::PROMPT(c.units, 6, "Give Output File Name             :  ", 37);
    EXPECT_EQ(c.console.str(), " Give Output File Name             :  ");
    c.console.str("");
    io::PROMPT(c.units, 6, "abcdef", 3);
    io::PROMPT(c.units, 6, "xyz", 10);  // length beyond the text
    io::PROMPT(c.units, 6, "ignored", -5);
    EXPECT_EQ(c.console.str(), " abc xyz ");
    c.console.str("");
    io::PROMPT(c.units, 6, std::string(100, 'p'), 100);  // at most 80 characters
    EXPECT_EQ(c.console.str(), " " + std::string(80, 'p'));
}

TEST(Upcase, LettersOnlyAndOnlyTheFirstLength) {
    std::string s = "all 9z\xe4_ok";
    io::UPCASE(s, 7);
    EXPECT_EQ(s, "ALL 9Z\xe4_ok");
    std::string t = "ab";
    io::UPCASE(t, 256);  // longer than the text
    EXPECT_EQ(t, "AB");
    io::UPCASE(t, -1);
    EXPECT_EQ(t, "AB");
}

TEST(Opntxt, ModesAndErrorFlag) {
    Console c;
    // Mode 0 creates; trailing blanks of the field are removed.
    std::int32_t ierr = 0;
    dms::OPNTXT(c.units, io::fixed("new.txt", 256), 17, 0, ierr);
    EXPECT_EQ(ierr, 0);
    c.units.write(17, "line");
    c.units.close(17);
    EXPECT_EQ(c.dir.read("new.txt"), "line\n");

    // Mode 0 on an existing file: rewritten from its start.
    c.dir.write("old.txt", "a much longer old content\n");
    dms::OPNTXT(c.units, "old.txt", 17, 0, ierr);
    c.units.write(17, "new");
    c.units.close(17);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(c.dir.read("old.txt"), "new\n");

    // A positive mode needs the file; success leaves the flag alone.
    ierr = 7;
    dms::OPNTXT(c.units, "old.txt", 24, 1, ierr);
    EXPECT_EQ(ierr, 7);
    std::string line;
    EXPECT_EQ(c.units.read_line(24, line), 0);
    EXPECT_EQ(line, "new");
    c.units.close(24);

    ierr = 0;
    dms::OPNTXT(c.units, "missing.txt", 24, 1, ierr);
    EXPECT_EQ(ierr, -1);
    EXPECT_FALSE(c.dir.exists("missing.txt"));
    EXPECT_FALSE(c.units.is_open(24));

    // Units outside 1..99 and a blank name fail.
    for (const std::int32_t unit : {0, 100}) {
        ierr = 0;
        dms::OPNTXT(c.units, "x.txt", unit, 0, ierr);
        EXPECT_EQ(ierr, -1);
    }
    EXPECT_FALSE(c.dir.exists("x.txt"));
    ierr = 0;
    dms::OPNTXT(c.units, std::string(256, ' '), 17, 0, ierr);
    EXPECT_EQ(ierr, -1);
    EXPECT_EQ(c.console.str(), "");  // no messages of its own
}

TEST(Filopn, UnitsAndStatusCodes) {
    Console c;
    std::int32_t ierr = 5;
    for (const std::int32_t unit : {0, 100, -1}) {
        dms::FILOPN(c.units, "u.txt", unit, 1, 0, 1, 0, 0, 0, -1, ierr);
        EXPECT_EQ(ierr, -901);
    }
    EXPECT_FALSE(c.dir.exists("u.txt"));

    dms::FILOPN(c.units, "u.txt", 99, 1, 0, 1, 0, 0, 0, -1, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_TRUE(c.units.is_open(99));
    c.units.write(99, "on 99");
    c.units.close(99);
    EXPECT_EQ(c.dir.read("u.txt"), "on 99\n");

    dms::FILOPN(c.units, "gone.txt", 1, 2, 0, 1, 0, 0, 0, -1, ierr);
    EXPECT_EQ(ierr, -ENOENT);
    EXPECT_FALSE(c.units.is_open(1));

    dms::FILOPN(c.units, "u.txt", 1, 2, 0, 1, 0, 0, 0, -1, ierr);
    EXPECT_EQ(ierr, 0);
    c.units.close(1);
    EXPECT_EQ(c.dir.read("u.txt"), "on 99\n");  // status "OLD" keeps the content
    EXPECT_EQ(c.console.str(), "");
}

}  // namespace
