#include "io/listin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int read_from(std::vector<std::string> lines, std::vector<io::ListItem> items) {
    std::size_t next = 0;
    return io::read_list(
        [&](std::string& rec) {
            if (next >= lines.size()) return io::kIostatEnd;
            rec = lines[next++];
            return 0;
        },
        items);
}

TEST(ListInput, BlanksAndCommasSeparateValues) {
    std::int32_t a = 0, b = 0;
    double x = 0, y = 0;
    EXPECT_EQ(io::read_list("  3 , -4   1.5e1,2D-1", {{&a, &b, &x, &y}}), 0);
    EXPECT_EQ(a, 3);
    EXPECT_EQ(b, -4);
    EXPECT_DOUBLE_EQ(x, 15.0);
    EXPECT_DOUBLE_EQ(y, 0.2);
}

TEST(ListInput, ReadContinuesOverFollowingRecords) {
    std::int32_t a = 0, b = 0, c = 0;
    EXPECT_EQ(read_from({"1", "", "2", "3 99"}, {&a, &b, &c}), 0);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(c, 3);
}

TEST(ListInput, InternalReadWithTooFewValuesIsEnd) {
    double x = 7, y = 8;
    EXPECT_EQ(io::read_list("0.5", {{&x, &y}}), io::kIostatEnd);
    EXPECT_DOUBLE_EQ(x, 0.5);
    EXPECT_DOUBLE_EQ(y, 8);
}

TEST(ListInput, NullValuesSlashAndRepeat) {
    std::int32_t a = 1, b = 2, c = 3, d = 4;
    EXPECT_EQ(io::read_list("5,,7", {{&a, &b, &c}}), 0);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(c, 7);
    EXPECT_EQ(io::read_list("9 /", {{&a, &b, &c, &d}}), 0);
    EXPECT_EQ(a, 9);
    EXPECT_EQ(b, 2);
    double x = 0, y = 0, z = 0;
    EXPECT_EQ(io::read_list("3*0.25", {{&x, &y, &z}}), 0);
    EXPECT_DOUBLE_EQ(z, 0.25);
}

TEST(ListInput, RejectsMalformedValues) {
    std::int32_t a = 0;
    double x = 0;
    EXPECT_EQ(io::read_list("abc", {{&a}}), io::kIostatBadInteger);
    EXPECT_EQ(io::read_list("3.0", {{&a}}), io::kIostatBadInteger);
    EXPECT_EQ(io::read_list("99999999999", {{&a}}), io::kIostatBadInteger);
    EXPECT_EQ(io::read_list("1.2.3", {{&x}}), io::kIostatBadReal);
    EXPECT_EQ(io::read_list("e5", {{&x}}), io::kIostatBadReal);
    EXPECT_EQ(io::read_list("-2147483648", {{&a}}), 0);
    EXPECT_EQ(a, -2147483648LL);
}

TEST(ListInput, FortranRealForms) {
    double x = 0;
    ASSERT_EQ(io::read_list("1.5+3", {{&x}}), 0);
    EXPECT_DOUBLE_EQ(x, 1500.0);
    ASSERT_EQ(io::read_list(".5", {{&x}}), 0);
    EXPECT_DOUBLE_EQ(x, 0.5);
    ASSERT_EQ(io::read_list("7", {{&x}}), 0);
    EXPECT_DOUBLE_EQ(x, 7.0);
    ASSERT_EQ(io::read_list("1.0E35", {{&x}}), 0);
    EXPECT_DOUBLE_EQ(x, 1.0e35);
}

}  // namespace
