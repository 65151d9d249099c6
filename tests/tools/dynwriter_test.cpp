// The dyn-file writer: name packing, the catalogue of first bookings read
// back under another numbering, odd catalogues and refused requests.
#include "tools/dynwriter.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "read_back.h"
#include "support/scratch.h"

namespace {

using tools::DynFileWriter;
using tools::NameWords;
using tools::WriteError;
using tools_test::ReadBack;

raflib::LocalTime fixed_time() {
    return {2024, 3, 11, 14, 25, 36};
}

TEST(PackName, LikeArrayNames) {
    EXPECT_EQ(tools::pack_name("NODES"), (NameWords{48493839, 53000000}));
    EXPECT_EQ(tools::pack_name("IDLAYOUT"), (NameWords{43384635, 59495554}));
    EXPECT_EQ(tools::pack_name(" TS  "), (NameWords{54530000, 0}));
    EXPECT_EQ(tools::pack_name("!~"), (NameWords{3960000, 0}));
    EXPECT_THROW(tools::pack_name("   "), WriteError);
    EXPECT_THROW(tools::pack_name("TOOLONGNM"), WriteError);
    EXPECT_THROW(tools::pack_name("A B"), WriteError);
    EXPECT_THROW(tools::pack_name("A\x7f"), WriteError);
}

TEST(MfpSize, WholePages) {
    EXPECT_EQ(tools::mfp_size(0), 128);
    EXPECT_EQ(tools::mfp_size(128), 128);
    EXPECT_EQ(tools::mfp_size(129), 192);
    EXPECT_EQ(tools::mfp_size(200106), 200128);
    EXPECT_THROW(tools::mfp_size(100000000), WriteError);
}

// The writer's list; the reader below numbers the same names differently,
// and RESA occurs a second time (declared, never booked) at number 20.
std::vector<std::string> writer_names() {
    std::vector<std::string> n(20);
    n[10] = "GEOM";
    n[11] = "RESA";
    n[12] = "RSTB";
    n[13] = "BOTH";
    n[14] = "COEF";
    n[15] = "PAIR";
    n[16] = "BIG";
    n[17] = "NEVER";
    n[19] = "RESA";
    return n;
}

constexpr std::array<std::string_view, 20> kReaderNames{
    "",    "",     "",     "",     "",     "",     "",     "",      "",       "",
    "BIG", "PAIR", "COEF", "BOTH", "RSTB", "RESA", "GEOM", "NEVER", "ABSENT", "MSCRA"};

// Structure, result, restart and combined arrays of every type, two steps.
void write_mixed(const std::filesystem::path& p, tools::WriterOptions o = {}) {
    o.max_key = 114;
    o.clock = fixed_time;
    DynFileWriter f(p, writer_names(), o);
    f.book("GEOM", "IN", "STRU", 5);
    f.book("RESA", "SP", "POST", 3);
    f.book("RSTB", "SP", "REST", 2);
    f.book("BOTH", "IN", "S+PO", 4);
    f.book("COEF", "RE", "STRU", 3);
    f.book("PAIR", "DP", "CTRL", 2);
    f.book("BIG", "I8", "GLOB", 2);
    f.write_ints("GEOM", 0, std::vector<std::int32_t>{1, 2, 3, 4, 5});
    f.write_ints("BOTH", 0, std::vector<std::int32_t>{10, 20, 30, 40});
    f.write_doubles("COEF", 0, std::vector<double>{1.5, 2.25, -3.125});
    f.write_doubles("PAIR", 0, std::vector<double>{0.1, -1e-300});
    f.write_ints("BIG", 0, std::vector<std::int32_t>{1, 2, 3, 4});
    for (std::int32_t s = 1; s <= 2; ++s) {
        const float x = static_cast<float>(s);
        f.write_floats("RESA", s, std::vector<float>{x + 0.5F, x + 0.25F, -x});
        f.write_ints("BOTH", s,
                     std::vector<std::int32_t>{100 * s + 1, 100 * s + 2, 100 * s + 3, 100 * s + 4});
        f.write_floats("RSTB", s, std::vector<float>{10 * x, -10 * x});
    }
    EXPECT_EQ(f.numraf(1), 8);
    EXPECT_EQ(f.numraf(2), 2);
    EXPECT_EQ(f.numraf(3), 1);
    f.finish();
}

using Catalogue = ReadBack;

TEST_F(Catalogue, RowsAndRecordsFoundByNameUnderOtherNumbers) {
    write_mixed(path("mixed.dyn"));
    ASSERT_EQ(open("mixed.dyn", kReaderNames), 0) << output();

    const store::Keys both = keys("BOTH", 2);
    EXPECT_EQ(both.store_text, "S+PO");
    EXPECT_EQ(both.is, 5);
    EXPECT_EQ(both.ir, 2);
    EXPECT_EQ(both.irs, 1);
    EXPECT_EQ(keys("COEF", 0).type_text, "RE");
    EXPECT_EQ(keys("PAIR", 0).type_text, "DP");
    EXPECT_EQ(keys("NEVER", 1).istore, 0);
    EXPECT_EQ(keys("NEVER", 1).key, 0);

    std::int32_t ierr = 0;
    store::ARRECL(*st, w, "**Recall structure data**", 0, tools_test::kFile, tools_test::kOut,
                  ierr);
    store::ARRECL(*st, w, "**Recall control data  **", 0, tools_test::kFile, tools_test::kOut,
                  ierr);
    ASSERT_EQ(ierr, 0) << output();
    EXPECT_EQ(words("GEOM"), (std::vector<std::int32_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(words("BOTH"), (std::vector<std::int32_t>{10, 20, 30, 40}));
    // The store has no type text for I8 rows ("??"); the record holds two
    // words per element.
    EXPECT_EQ(keys("BIG", 0).type_text, "??");
    std::array<std::int32_t, 4> big{};
    raflib::RAFGIN(*raf, big, 4, keys("BIG", 0).key, tools_test::kFile, ierr);
    EXPECT_EQ(big, (std::array<std::int32_t, 4>{1, 2, 3, 4}));
    const std::int32_t pc = store::ARGTIP(*st, w, "COEF", tools_test::kOut, ierr);
    EXPECT_EQ(w.d(pc), 1.5);
    EXPECT_EQ(w.d(pc + 2), -3.125);
    const std::int32_t pp = store::ARGTIP(*st, w, "PAIR", tools_test::kOut, ierr);
    EXPECT_EQ(w.d(pp), 0.1);
    EXPECT_EQ(w.d(pp + 1), -1e-300);

    EXPECT_EQ(record("RESA", 2), (std::vector<float>{2.5F, 2.25F, -2.0F}));
    EXPECT_EQ(record("RESA", 1), (std::vector<float>{1.5F, 1.25F, -1.0F}));
    EXPECT_EQ(record("RSTB", 2), (std::vector<float>{20.0F, -20.0F}));
    std::int32_t pb = 0;
    store::ARREC1(*st, w, "BOTH", pb, 2, tools_test::kFile, tools_test::kOut, ierr);
    EXPECT_EQ(words("BOTH"), (std::vector<std::int32_t>{201, 202, 203, 204}));

    // A listed name the file does not hold has a zero row and no record.
    EXPECT_EQ(keys("ABSENT", 1).itype, 0);
    std::int32_t pa = 0;
    store::ARREC1(*st, w, "ABSENT", pa, 1, tools_test::kFile, tools_test::kOut, ierr);
    EXPECT_EQ(ierr, -1);
    EXPECT_EQ(output(), "*** ERROR IN ARREC1 ***\nError During Recallin Array: ABSENT\n");
}

TEST_F(Catalogue, OddCatalogues) {
    // KEYRAF rows of 12 words: the reader refuses the catalogue.
    tools::WriterOptions wide;
    wide.row_length = 12;
    write_mixed(path("wide.dyn"), wide);
    EXPECT_EQ(open("wide.dyn", kReaderNames), -1);
    EXPECT_NE(output().find("*** ERROR IN ARINI1 ***\n*** ERROR IN INIDMS ***\n"),
              std::string::npos);

    // No name words for GEOM, file totals all zero: what is stored changes,
    // not where the records are.
    {
        DynFileWriter f(path("odd.dyn"), writer_names(), {.max_key = 110, .clock = fixed_time});
        f.book("GEOM", "IN", "STRU", 1);
        f.book("RESA", "SP", "POST", 1);
        f.set_name_words(f.number("GEOM"), {});
        for (std::int32_t k = 4; k <= 6; ++k) f.set_numraf(k, 0);
        f.write_ints("GEOM", 0, std::vector<std::int32_t>{7});
        EXPECT_EQ(f.key("RESA", 1), 105);
        f.write_floats("RESA", 1, std::vector<float>{1});
        f.finish();
    }
    ASSERT_EQ(open("odd.dyn", kReaderNames), 0);
    EXPECT_EQ(keys("GEOM", 0).itype, 0);
    EXPECT_EQ(keys("RESA", 1).itype, 2);
    EXPECT_EQ(keys("RESA", 1).key, 0);
}

TEST_F(Catalogue, ReplacedFileEndsWithItsLastRecord) {
    const auto small = [&](const std::filesystem::path& p) {
        DynFileWriter f(p, writer_names(), {.clock = fixed_time});
        f.book("GEOM", "IN", "STRU", 3);
        f.write_ints("GEOM", 0, std::vector<std::int32_t>{1, 2, 3});
        f.finish();
    };
    write_mixed(path("a.dyn"));
    small(path("a.dyn"));
    small(path("b.dyn"));
    EXPECT_EQ(std::filesystem::file_size(path("a.dyn")), 11U * 512U);
    EXPECT_EQ(test_support::read_bytes(path("a.dyn")), test_support::read_bytes(path("b.dyn")));
}

TEST_F(Catalogue, RefusedRequests) {
    std::vector<std::string> reserved(12);
    reserved[4] = "LOW";
    EXPECT_THROW(DynFileWriter(path("r.dyn"), reserved), WriteError);

    DynFileWriter f(path("x.dyn"), writer_names(), {.max_key = 110});
    EXPECT_THROW(f.book("GEOM", "XX", "STRU", 1), WriteError);
    EXPECT_THROW(f.book("GEOM", "IN", "ABCD", 1), WriteError);
    EXPECT_THROW(f.book("GEOM", "IN", "STRU", -1), WriteError);
    EXPECT_THROW(f.book("OTHER", "IN", "STRU", 1), WriteError);
    EXPECT_THROW(f.book(21, "IN", "STRU", 1), WriteError);
    f.book("GEOM", "IN", "STRU", 2);
    EXPECT_THROW(f.book("GEOM", "IN", "STRU", 2), WriteError);
    f.book("RESA", "SP", "POST", 2);
    f.book("BIG", "I8", "STRU", 1);
    f.book("NEVER", "SP", "SCRA", 4);
    EXPECT_THROW(f.write_floats("GEOM", 0, std::vector<float>{1, 2}), WriteError);
    EXPECT_THROW(f.write_ints("RESA", 1, std::vector<std::int32_t>{1, 2}), WriteError);
    EXPECT_THROW(f.write_floats("RESA", 0, std::vector<float>{1, 2}), WriteError);
    EXPECT_THROW(f.write_ints("BIG", 0, std::vector<std::int32_t>{1}), WriteError);
    EXPECT_THROW(f.write_floats("NEVER", 1, std::vector<float>{1}), WriteError);
    EXPECT_THROW(f.write_ints("COEF", 0, std::vector<std::int32_t>{1}), WriteError);
    // Step 30 lies beyond the 128 array numbers the file was made for.
    EXPECT_THROW(f.write_floats("RESA", 30, std::vector<float>{1, 2}), WriteError);
    f.write_ints("GEOM", 0, std::vector<std::int32_t>{1, 2});
    EXPECT_THROW(f.book("PAIR", "DP", "CTRL", 1), WriteError);
    f.finish();
    EXPECT_THROW(f.finish(), WriteError);
}

}  // namespace
