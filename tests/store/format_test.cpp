// The catalogue of every readable fixture, read word by word through the
// named positions of store/format.h, must describe what the fixture's
// sidecar says the file holds: the DynRes records found by the record-key
// rule carry the sidecar's times and values, the label and result arrays
// have the sidecar's sizes, and MSTRU found the same way gives nDynRes.
#include "store/format.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "store_fixture.h"
#include "support/json_lite.h"

namespace {

namespace json = test_support::json;
namespace format = store::format;
using format::NumrafWord;
using format::RowWord;

class FormatTest : public store_test::StoreTest {
  protected:
    // Opens the fixture as the dyn file (RAFLIB file 22).
    void open_file(const std::string& fixture) {
        test_support::copy_fixture(fixture, dir / fixture, test_support::Copy::as_stored);
        std::int32_t ierr = 0;
        store::INIRAF(*st, "OLD", fixture, 1, store_test::kFile, 6, 23, ierr);
        ASSERT_EQ(ierr, 0);
    }
    std::vector<std::int32_t> ints(std::int32_t key, std::int32_t count) {
        std::vector<std::int32_t> v(static_cast<std::size_t>(count));
        std::int32_t ierr = 0;
        raflib::RAFGIN(*raf, v, count, key, store_test::kFile, ierr);
        EXPECT_EQ(ierr, 0) << "record " << key;
        return v;
    }
    std::vector<float> floats(std::int32_t key, std::int32_t count) {
        std::vector<std::int32_t> v(static_cast<std::size_t>(count));
        std::int32_t ierr = 0;
        raflib::RAFGRE(*raf, v, count, key, store_test::kFile, ierr);
        EXPECT_EQ(ierr, 0) << "record " << key;
        std::vector<float> f(v.size());
        std::memcpy(f.data(), v.data(), v.size() * sizeof(float));
        return f;
    }
};

// The first number whose IARRNM name words are those of the name.
std::optional<std::int32_t> number_of(std::span<const std::int32_t> iarrnm, std::int32_t rows,
                                      std::string_view name) {
    const format::NameWords words = *format::pack_name(name);
    for (std::int32_t n = 1; n <= rows; ++n) {
        if (format::names_in(iarrnm, n) == words) return n;
    }
    return std::nullopt;
}

TEST_F(FormatTest, CatalogueOfEveryReadableFixture) {
    for (const char* file :
         {"le_basic.dyn", "be_basic.dyn", "dupname.dyn", "combo.dyn", "ncol0.dyn", "v1.dyn",
          "v0_small.dyn", "v0_convert_after.dyn", "packed.dyn", "packed_simple.dyn",
          "packed_slack.dyn", "packed_cap.dyn", "loadst0.dyn"}) {
        SCOPED_TRACE(file);
        open_file(file);
        const json::Value j = json::sidecar(file);
        const auto ndynres = static_cast<std::int32_t>(j["nDynRes"].number);
        const auto pack = static_cast<std::int32_t>(j["nDRpack"].number);
        const auto ncol = static_cast<std::int32_t>(j["nCol"].number);

        const std::vector<std::int32_t> numraf_words =
            ints(format::kNumrafKey, format::kNumrafWords);
        const format::ConstNumraf numraf = format::numraf_in(numraf_words);
        ASSERT_EQ(numraf[NumrafWord::RowLength], format::kRowLength);
        EXPECT_EQ(numraf[NumrafWord::NameLength], format::kNameLength);
        EXPECT_EQ(numraf[NumrafWord::KeyOffset], format::kKeyOffset);
        EXPECT_EQ(numraf[NumrafWord::AddressDivisor], format::kAddressDivisor);
        // The writing program stores its final counters as the file totals.
        EXPECT_EQ(numraf[NumrafWord::FileStructure], numraf[NumrafWord::StructureCounter]);
        EXPECT_EQ(numraf[NumrafWord::FileResults], numraf[NumrafWord::ResultCounter]);
        EXPECT_EQ(numraf[NumrafWord::FileRestarts], numraf[NumrafWord::RestartCounter]);
        const std::int32_t rows = numraf[NumrafWord::Rows];
        const std::int32_t rowlen = format::kRowLength;
        const std::vector<std::int32_t> keyraf = ints(format::kKeyrafKey, rows * rowlen);
        const std::vector<std::int32_t> iarrnm = ints(format::kIarrnmKey, 2 * rows);

        // The catalogue arrays: the last three numbers, structure records 1-3.
        const std::int32_t list = rows - 3;
        struct Own {
            std::int32_t number;
            std::string_view name;
            std::int32_t key;
            std::int32_t length;
        };
        for (const Own a :
             {Own{format::numraf_number(list), "NUMRAF", format::kNumrafKey, 20},
              Own{format::keyraf_number(list), "KEYRAF", format::kKeyrafKey, rows * rowlen},
              Own{format::iarrnm_number(list), "IARRNM", format::kIarrnmKey, 2 * rows}}) {
            EXPECT_EQ(number_of(iarrnm, rows, a.name), a.number) << a.name;
            const format::ConstRow row = format::row_in(keyraf, a.number, rowlen);
            EXPECT_EQ(store::store_text_of(row[RowWord::StoreCode]), "-AR-") << a.name;
            EXPECT_EQ(store::type_text_of(row[RowWord::Type], row[RowWord::RealFlag]), "IN");
            EXPECT_EQ(row[RowWord::Length], a.length) << a.name;
            EXPECT_EQ(format::record_key(numraf, row, 0), a.key) << a.name;
            EXPECT_EQ(format::record_key(numraf, row, 7), a.key) << a.name;
        }

        // DYNRES: single reals, one record per step, (nDynRes + 1) words a step.
        const auto dynres = number_of(iarrnm, rows, "DYNRES");
        ASSERT_TRUE(dynres.has_value());
        const format::ConstRow dr = format::row_in(keyraf, *dynres, rowlen);
        EXPECT_EQ(store::type_text_of(dr[RowWord::Type], dr[RowWord::RealFlag]), "SP");
        const format::StoreClass* drclass = format::store_class(dr[RowWord::StoreCode]);
        ASSERT_NE(drclass, nullptr);
        EXPECT_EQ(drclass->step, format::StepPart::Result);
        EXPECT_EQ(format::record_key(numraf, dr, 0), 0);
        const std::int32_t slots = std::max(1, pack);
        ASSERT_EQ(dr[RowWord::Length], slots * (ndynres + 1));

        // ICDYNR: nCol words of label per DynRes, a structure record.
        const auto icdynr = number_of(iarrnm, rows, "ICDYNR");
        ASSERT_TRUE(icdynr.has_value());
        const format::ConstRow ic = format::row_in(keyraf, *icdynr, rowlen);
        EXPECT_EQ(ic[RowWord::Length], ndynres * ncol);
        EXPECT_TRUE(format::store_class(ic[RowWord::StoreCode])->structure);

        // MSTRU from its structure record: the number of DynRes.
        const auto mstru_number = number_of(iarrnm, rows, "MSTRU");
        ASSERT_TRUE(mstru_number.has_value());
        const format::ConstRow ms = format::row_in(keyraf, *mstru_number, rowlen);
        std::vector<std::int32_t> mstru =
            ints(format::record_key(numraf, ms, 0), ms[RowWord::Length]);
        std::int32_t ierr = 0;
        EXPECT_EQ(store::GTSTRU(*units, mstru, "nDynRes", store_test::kOut, ierr), ndynres);
        EXPECT_EQ(ierr, 0);

        // The series, step by step (one step per record) or slot by slot.
        const json::Value& times = j["times"];
        std::size_t found = 0;
        const auto steps = static_cast<std::int32_t>(j["steps"].number);
        for (std::int32_t s = 1; found < times.size() && s <= steps; ++s) {
            const std::int32_t key = format::record_key(numraf, dr, s);
            ASSERT_GT(key, 0);
            ASSERT_LE(key, static_cast<std::int32_t>(j["MFPMAX"].number));
            const std::vector<float> rec = floats(key, dr[RowWord::Length]);
            for (std::int32_t slot = 0; slot < slots && found < times.size(); ++slot) {
                const auto at = static_cast<std::size_t>(slot * (ndynres + 1));
                if (pack > 0 && rec[at] == 0.0f) break;  // the rest of a packed record is empty
                if (static_cast<double>(rec[at]) != times[found].number) continue;
                for (std::size_t k = 0; k < static_cast<std::size_t>(ndynres); ++k) {
                    EXPECT_EQ(static_cast<double>(rec[at + 1 + k]), j["values"][k][found].number)
                        << "DynRes " << k + 1 << " sample " << found;
                }
                ++found;
            }
        }
        EXPECT_EQ(found, times.size());
        std::int32_t jerr = 0;
        raflib::RAFCLS(*raf, store_test::kFile, jerr);
        EXPECT_EQ(jerr, 0);
    }
}

// Names pack as the catalogue and the DMS name table hold them.
TEST(NamePacking, WordsAndRefusals) {
    EXPECT_EQ(format::pack_name("NUMRAF"), (format::NameWords{48554752, 35400000}));
    EXPECT_EQ(format::pack_name(""), format::NameWords{});
    EXPECT_FALSE(format::pack_name("TOOLONGNM").has_value());
    EXPECT_FALSE(format::pack_name("A B").has_value());
    EXPECT_EQ(dms::illegal_name_character("AB\x7f"), 2u);
}

// Unpacking reads back what packing wrote, and stops at the first pair that
// is no character.
TEST(NamePacking, UnpackReadsBackAndStops) {
    for (const char* name : {"A", "NUMRAF", "ALL_TS", "DYNRES", "TSCRA2", "~~~~~~~~", "!"}) {
        const dms::UnpackedName u = dms::unpack_name(*format::pack_name(name));
        EXPECT_EQ(u.name, name);
        EXPECT_EQ(u.bad, 0);
    }
    struct Case {
        format::NameWords words;
        const char* name;
        std::int32_t bad;
    };
    for (const Case& c : {
             Case{{35360000, 0}, "AB", 0},
             Case{{35360000, -5}, "AB", 0},    // a second word below 1 ends the name
             Case{{35029900, 0}, "A", 32},     // blank (pair 02)
             Case{{-35000000, 0}, "", -5},     // negative first word
             Case{{2147483647, 0}, "", 2177},  // pair beyond two digits
             Case{{35353535, 99000000}, "AAAA", 129},
         }) {
        const dms::UnpackedName u = dms::unpack_name(c.words);
        EXPECT_EQ(u.name, c.name);
        EXPECT_EQ(u.bad, c.bad);
    }
}

}  // namespace
