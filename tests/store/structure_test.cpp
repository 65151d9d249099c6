// Structure parameters in both layouts of MSTRU.
#include <vector>

#include "store_fixture.h"

namespace {

// An identifier-table MSTRU: layout words, identifiers IDLAYOUT, IDOFFSET,
// NDYNRES (value 7), room for `spare` more; T(5) = open.
std::vector<std::int32_t> table_mstru(std::int32_t spare, std::int32_t open) {
    const std::int32_t o = 20;
    const std::int32_t max = 3 + spare;
    std::vector<std::int32_t> m(static_cast<std::size_t>(o + 5 + 2 * max), 0);
    m[0] = -1;
    m[1] = o;
    m[2] = 7;
    auto t = [&](int i) -> std::int32_t& { return m[static_cast<std::size_t>(o + i - 1)]; };
    t(1) = max;
    t(2) = 0;
    t(3) = 3;
    t(4) = 1;
    t(5) = open;
    // IDLAYOUT, IDOFFSET, NDYNRES packed as array names.
    const auto pack = [](std::string_view s, std::int32_t& a, std::int32_t& b) {
        const std::int32_t wts[4] = {1000000, 10000, 100, 1};
        a = b = 0;
        for (std::size_t i = 0; i < s.size(); ++i) (i < 4 ? a : b) += (s[i] - 30) * wts[i % 4];
    };
    pack("IDLAYOUT", t(6), t(7));
    pack("IDOFFSET", t(8), t(9));
    pack("NDYNRES", t(10), t(11));
    return m;
}

class Structure : public store_test::StoreTest {};

TEST_F(Structure, IdentifierLookupFoldsCase) {
    auto m = table_mstru(2, 1);
    std::int32_t ierr = 0;
    EXPECT_EQ(store::GTSTRU(*units, m, "nDynres ", 17, ierr), 7);
    EXPECT_EQ(store::GTSTRU(*units, m, "nDynRes", 17, ierr), 7);
    EXPECT_EQ(store::GTSTRU(*units, m, " IDOFFSET", 17, ierr), 20);
    EXPECT_EQ(store::GTSTRU(*units, m, "nDRpack ", 17, ierr), 0);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(output(), "");
}

TEST_F(Structure, ClosedTableReportsMissingParameter) {
    auto m = table_mstru(2, 0);
    std::int32_t ierr = 0;
    EXPECT_EQ(store::GTSTRU(*units, m, "nDRpack ", 17, ierr), 0);
    EXPECT_EQ(ierr, -1);
    EXPECT_EQ(store::PTSTRU(*units, m, "LSTSTO", 4, 17, ierr), 0);
    EXPECT_EQ(ierr, -2);
    EXPECT_EQ(output(),
              "\n  *** ERROR IN GTSTRU ***\n      PARAMETER NOT FOUND:nDRpack \n"
              "      LEAVING GTSTRU\n\n\n\n"
              "\n  *** ERROR IN PTSTRU ***\n      PARAMETER NOT FOUND:LSTSTO\n"
              "      LEAVING PTSTRU\n\n\n\n");
}

TEST_F(Structure, OpenTableAddsUntilFull) {
    auto m = table_mstru(1, 1);
    std::int32_t ierr = 0;
    EXPECT_EQ(store::PTSTRU(*units, m, "LSTSTO", 40, 17, ierr), 4);
    EXPECT_EQ(m[3], 40);
    EXPECT_EQ(store::PTSTRU(*units, m, "lststo  ", 41, 17, ierr), 4);
    EXPECT_EQ(m[3], 41);
    EXPECT_EQ(store::PTSTRU(*units, m, "IXACT ", 1, 17, ierr), 0);
    EXPECT_EQ(ierr, -1);
    EXPECT_EQ(m[4], 0);
    EXPECT_EQ(console.str(),
              "\n  *** ERROR IN IDADD  ***\n\n  Number of IDS exceeds maximum of :      4\n");
    EXPECT_EQ(output(),
              "\n  *** ERROR IN PTSTRU ***\n      PARAMETER NOT FOUND:IXACT \n"
              "      LEAVING PTSTRU\n\n\n\n");
}

TEST_F(Structure, IllegalIdentifiers) {
    auto m = table_mstru(2, 1);
    std::span<const std::int32_t> t(m.data() + 20, m.size() - 20);
    EXPECT_EQ(store::IDXIST(*units, t, "NINECHARS"), 0);
    EXPECT_EQ(store::IDXIST(*units, t, "A B"), 0);
    // A blank inside is no legal character either, reported with the same text.
    EXPECT_EQ(console.str(),
              "\n  *** ERROR IN IDXIST  ***\n\n  Identifier length = 0 or > 8: NINECHARS\n"
              "\n  *** ERROR IN IDXIST  ***\n\n  Identifier length = 0 or > 8: A B\n");
}

TEST_F(Structure, TableOutsideMstruIsAnErrorNotARead) {
    auto m = table_mstru(2, 1);
    std::int32_t ierr = 0;
    m[1] = 1000;
    EXPECT_EQ(store::GTSTRU(*units, m, "NDYNRES", 17, ierr), 0);
    EXPECT_EQ(ierr, -1);
    m[1] = 20;
    m[22] = 1000000;  // T(3): more identifiers than the table holds
    EXPECT_EQ(store::PTSTRU(*units, m, "NDYNRES", 1, 17, ierr), 0);
    EXPECT_EQ(ierr, -2);
    std::vector<std::int32_t> empty;
    EXPECT_EQ(store::GTSTRU(*units, empty, "NDYNRES", 17, ierr), 0);
    EXPECT_EQ(ierr, -3);
}

TEST_F(Structure, FixedLayoutTable) {
    std::vector<std::int32_t> m(200, 0);
    m[49] = 6;
    m[131] = 3;
    std::int32_t ierr = 0;
    EXPECT_EQ(store::GTSTRU(*units, m, "LSTSTO", 17, ierr), 6);
    EXPECT_EQ(store::GTSTRU(*units, m, "NAMD", 17, ierr), 3);
    EXPECT_EQ(store::GTSTRU(*units, m, "lststo", 17, ierr), 0);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(store::fixed_parameter_name(50), "LSTSTO");
    EXPECT_EQ(store::fixed_parameter_name(106), "      ");
    std::vector<std::int32_t> short_fixed(10, 0);
    EXPECT_EQ(store::GTSTRU(*units, short_fixed, "LSTSTO", 17, ierr), 0);
    EXPECT_EQ(ierr, -1);
}

}  // namespace
