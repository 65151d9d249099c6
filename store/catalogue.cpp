// The catalogue: opening of the dyn file and of the data manager, reading
// the file's catalogue, and the catalogue look-ups.
#include <algorithm>
#include <array>
#include <limits>

#include "dms/dms.h"
#include "dms/vutil.h"
#include "io/fmt.h"
#include "io/text.h"
#include "store/internal.h"
#include "store/store.h"

namespace store {

using format::NumrafWord;
using format::RowWord;

namespace detail {

void message(Store& st, std::int32_t unit, std::string text) {
    if (text.size() > 256) text.resize(256);
    ARMESS(st.units, unit, 0, text, "Store", static_cast<std::int32_t>(text.size()));
}

void header(io::Units& units, std::int32_t unit, std::string_view routine) {
    units.write(unit, "");
    units.write(unit, "  *** ERROR IN " + std::string(routine) + " ***");
}

bool locate(Store& st, WorkArray& w, std::string_view routine, Catalogue& cat, std::int32_t iout,
            std::int32_t& ierr) {
    const std::int32_t before = ierr;
    ARPOIN(st, w, "NUMRAF", cat.numraf, iout, ierr);
    if (ierr != before) return false;
    ARPOIN(st, w, "KEYRAF", cat.keyraf, iout, ierr);
    if (ierr != before) return false;
    const std::int32_t nnum = dms::DMSINQ(w, "NUMRAF", 1);
    const std::int32_t nkey = dms::DMSINQ(w, "KEYRAF", 1);
    bool ok = nnum >= format::kNumrafUsedWords && w.contains(cat.numraf, format::kNumrafUsedWords);
    if (ok) {
        const format::Numraf num = numraf(w, cat);
        cat.rowlen = num[NumrafWord::RowLength];
        cat.rows = num[NumrafWord::Rows];
        ok = cat.rowlen >= format::kRowLength && cat.rows >= 0 &&
             static_cast<std::int64_t>(cat.rowlen) * cat.rows <= nkey &&
             w.contains(cat.keyraf, static_cast<std::int64_t>(cat.rowlen) * cat.rows);
    }
    if (!ok) {
        header(st.units, iout, routine);
        st.units.write(iout, "      Catalogue arrays NUMRAF/KEYRAF are inconsistent");
        --ierr;
    }
    return ok;
}

}  // namespace detail

using detail::message;

void INIRAF(Store& st, std::string_view status, std::string_view file_name, std::int32_t icre,
            std::int32_t ifile, std::int32_t iout, std::int32_t msgunit, std::int32_t& ierr) {
    const std::int32_t len = LENTRM(file_name, static_cast<std::int32_t>(file_name.size()));
    if (len == 0) {
        ierr = -1;
        message(st, iout, "*** ERROR IN INIRAF ***\nNo File name Specified");
        return;
    }
    raflib::RAFINI(st.raf, msgunit);
    std::int32_t istat = 0;
    raflib::RAFCLS(st.raf, ifile, istat);
    if (istat == 1012) istat = 0;
    std::string name(file_name.substr(0, static_cast<std::size_t>(len)));
    if (istat >= 0) {
        if (io::fixed(status, 3) == "OLD") {
            raflib::RAFOLD(st.raf, ifile, name, istat);
        } else {
            raflib::RAFNEW(st.raf, ifile, name, status, icre, istat);
        }
    }
    const std::int32_t code = istat < 0 ? -istat : istat;
    if (code == 1037 || code == 1038) {
        ierr = -1;
        message(st, iout, "*** ERROR IN INIRAF ***\nProblems with Raf Book Keeping System ");
    } else if (istat < 0 || istat == 1034) {
        ierr = -1;
        message(st, iout,
                "*** ERROR IN INIRAF ***\nError Opening raf_file   : " + std::string(file_name));
    }
}

void INIDMS(Store& st, WorkArray& w, std::int32_t nwiwa, std::span<const std::string_view> names,
            std::int32_t nlist, std::int32_t lname, std::int32_t ifile, std::int32_t iout,
            std::int32_t& ierr) {
    std::int32_t jerr = 0;
    dms::DMSOPN_32(w, st.units, nwiwa, -(nlist + 3), 0, iout, jerr);
    if (jerr == 0) ARINI1(st, w, names, lname, nlist, ifile, iout, jerr);
    if (jerr != 0) {
        ierr = -1;
        message(st, iout, "*** ERROR IN INIDMS ***");
    }
}

void ARINIT(Store& st, WorkArray& w, std::span<const std::string_view> names, std::int32_t lname,
            std::int32_t nlist, std::int32_t /*mode*/, std::int32_t iout, std::int32_t& ierr) {
    using namespace detail;
    const auto fail = [&] {
        ierr = -1;
        message(st, iout, "*** ERROR IN ARINIT ***");
    };
    if (lname > 8 || nlist < 0 || static_cast<std::size_t>(nlist) > names.size()) {
        fail();
        return;
    }
    const std::int32_t e0 = dms::DMSERR(w);
    dms::DMSANN(w, st.units, 0, 0, kLabelARINIT);
    if (dms::DMSERR(w) != e0) {
        fail();
        return;
    }
    const std::int32_t rows = nlist + 3;
    const std::int32_t avail = dms::DMSCTL(w, 1);
    if (avail < rows) {
        message(st, iout, "*** ERROR IN ARINIT ***");
        st.units.write(iout, "      DMS initiated with too few array_numbers ");
        st.units.write(iout, "      Required : " + io::fmt::I(rows, 8));
        st.units.write(iout, "      Available: " + io::fmt::I(avail, 8));
        st.units.write(iout, "");
        --ierr;
        return;
    }
    auto name_of = [&](std::int32_t n) { return io::trim(names[static_cast<std::size_t>(n - 1)]); };
    for (std::int32_t n = 11; n <= nlist; ++n) {
        const std::string_view nm = name_of(n);
        if (!nm.empty()) dms::DMSDCL(w, st.units, nm, n, 0, 10, kLabelARINIT);
    }
    using format::kRowLength;
    const std::int32_t nnum = format::numraf_number(nlist);
    const std::int32_t nkey = format::keyraf_number(nlist);
    const std::int32_t nnam = format::iarrnm_number(nlist);
    const std::int32_t nkeywords = kRowLength * rows;
    const std::int32_t nnamwords = 2 * rows;
    dms::DMSDCL(w, st.units, "NUMRAF", nnum, format::kNumrafWords, 1, kLabelARINIT);
    dms::DMSDCL(w, st.units, "KEYRAF", nkey, nkeywords, 1, kLabelARINIT);
    dms::DMSDCL(w, st.units, "IARRNM", nnam, nnamwords, 1, kLabelARINIT);
    const std::int32_t pnum = dms::DMSPTR(w, st.units, "NUMRAF", kLabelARINIT);
    const std::int32_t pkey = dms::DMSPTR(w, st.units, "KEYRAF", kLabelARINIT);
    const std::int32_t pnam = dms::DMSPTR(w, st.units, "IARRNM", kLabelARINIT);
    if (dms::DMSERR(w) != e0) {
        fail();
        return;
    }
    dms::VFILLI(w.words(pnum, format::kNumrafWords), format::kNumrafWords, 1, 0);
    dms::VFILLI(w.words(pkey, nkeywords), nkeywords, 1, 0);
    dms::VFILLI(w.words(pnam, nnamwords), nnamwords, 1, 0);
    const Catalogue cat{pnum, pkey, kRowLength, rows};
    const format::Numraf num = numraf(w, cat);
    num[NumrafWord::StructureCounter] = 1;
    num[NumrafWord::RowLength] = kRowLength;
    num[NumrafWord::Rows] = rows;
    num[NumrafWord::NameLength] = lname;
    num[NumrafWord::KeyOffset] = format::kKeyOffset;
    num[NumrafWord::AddressDivisor] = format::kAddressDivisor;
    // The catalogue arrays are structure records 1, 2 and 3.
    std::int32_t jerr = 0;
    ARINFO(st, w, cat, nnum, {"-AR-", "IN", format::kNumrafWords, 1, pnum}, iout, jerr);
    ++num[NumrafWord::StructureCounter];
    ARINFO(st, w, cat, nkey, {"-AR-", "IN", nkeywords, 1, pkey}, iout, jerr);
    ++num[NumrafWord::StructureCounter];
    ARINFO(st, w, cat, nnam, {"-AR-", "IN", nnamwords, 1, pnam}, iout, jerr);
    // Every name was declared above, so it packs.
    auto store_name = [&](std::int32_t n, std::string_view nm) {
        format::set_names_at(w, pnam, n, format::pack_name(nm).value_or(format::NameWords{}));
    };
    for (std::int32_t n = 11; n <= nlist; ++n) {
        const std::string_view nm = name_of(n);
        if (!nm.empty()) store_name(n, nm);
    }
    store_name(nnum, "NUMRAF");
    store_name(nkey, "KEYRAF");
    store_name(nnam, "IARRNM");
    if (jerr != 0 || dms::DMSERR(w) != e0) fail();
}

void ARINI1(Store& st, WorkArray& w, std::span<const std::string_view> names, std::int32_t lname,
            std::int32_t nlist, std::int32_t ifile, std::int32_t iout, std::int32_t& ierr) {
    const auto fail = [&] {
        ierr = -1;
        message(st, iout, "*** ERROR IN ARINI1 ***");
    };
    std::int32_t jerr = 0;
    ARINIT(st, w, names, lname, nlist, 0, iout, jerr);
    if (jerr != 0) return fail();

    // The file's NUMRAF, then its KEYRAF and IARRNM one behind the other in MSCRA.
    std::array<std::int32_t, format::kNumrafWords> f{};
    const format::Numraf file = format::numraf_in(f);
    GTARAF(st, f, format::kNumrafWords, format::kNumrafKey, 1, 0, ifile, iout, jerr);
    if (jerr != 0 || file[NumrafWord::KeyOffset] != format::kKeyOffset) return fail();

    Catalogue cat;
    if (!detail::locate(st, w, "ARINI1", cat, iout, jerr)) return fail();
    const format::Numraf num = detail::numraf(w, cat);
    for (const NumrafWord k :
         {NumrafWord::FileStructure, NumrafWord::FileResults, NumrafWord::FileRestarts}) {
        num[k] = file[k];
    }

    // The file's rows must have our row length; its row count bounds the scratch array.
    const std::int32_t rowlen = file[NumrafWord::RowLength];
    const std::int32_t rows = file[NumrafWord::Rows];
    const std::int64_t need = (static_cast<std::int64_t>(rowlen) + 2) * rows;
    if (rowlen != cat.rowlen || rows < 1 || need > std::numeric_limits<std::int32_t>::max()) {
        return fail();
    }
    std::int32_t ptr = 0;
    ARBOOK(st, w, "MSCRA", ptr, static_cast<std::int32_t>(need), "SKIP", "IN", iout, jerr);
    if (jerr != 0) return fail();
    const std::int64_t nkey = static_cast<std::int64_t>(rowlen) * rows;
    const std::int64_t fnames = ptr + nkey;  // first word of the file's IARRNM
    GTARAF(st, w.words(ptr, nkey), rowlen * rows, format::kKeyrafKey, 1, 0, ifile, iout, jerr);
    if (jerr != 0) return fail();
    GTARAF(st, w.words(fnames, 2 * static_cast<std::int64_t>(rows)), 2 * rows, format::kIarrnmKey,
           1, 0, ifile, iout, jerr);
    if (jerr != 0) return fail();

    // Row mapping by packed name: the first file number with the same name wins.
    std::int32_t pnam = 0;
    ARPOIN(st, w, "IARRNM", pnam, iout, jerr);
    if (jerr != 0) return fail();
    for (std::int32_t n = 1; n <= nlist && n <= cat.rows; ++n) {
        const format::NameWords a = format::names_at(w, pnam, n);
        if (a == format::NameWords{}) continue;
        for (std::int32_t j = 1; j <= rows; ++j) {
            if (format::names_at(w, fnames, j) == a) {
                const format::Row from = format::row_at(w, ptr, j, rowlen);
                dms::VCOPYI(from.words(), detail::row(w, cat, n).words(), rowlen);
                break;
            }
        }
    }
    ARFREE(st, w, "MSCRA", "NOCLEAN", iout, jerr);
    if (jerr != 0) fail();
}

void GTARAF(Store& st, std::span<std::int32_t> target, std::int32_t length, std::int32_t key,
            std::int32_t itype, std::int32_t ireal, std::int32_t ifile, std::int32_t iout,
            std::int32_t& ierr) {
    std::int32_t istat = 0;
    switch (itype) {
        case 1:
            raflib::RAFGIN(st.raf, target, length, key, ifile, istat);
            break;
        case 2:
            raflib::RAFGRE(st.raf, target, length, key, ifile, istat);
            break;
        case 3:
            if (ireal == 1) {
                raflib::RAFGRD(st.raf, target, length, key, ifile, istat);
            } else {
                raflib::RAFGDP(st.raf, target, length, key, ifile, istat);
            }
            break;
        default:
            return;
    }
    if (istat != 0) {
        ierr = -1;
        message(st, iout, "*** ERROR IN GTARAF ***");
    }
}

void ARNUMB(Store& st, WorkArray& w, std::string_view name, std::int32_t& number, std::int32_t iout,
            std::int32_t& ierr) {
    const std::int32_t e0 = dms::DMSERR(w);
    number = dms::DMSNUM(w, st.units, io::trim_right(name), detail::kLabelARNUMB);
    if (dms::DMSERR(w) < e0) {
        detail::header(st.units, iout, "ARNUMB");
        --ierr;
    }
}

namespace {

// The catalogue row of a name: ARNUMB, then the catalogue arrays. On failure
// the routine's header is written and ierr decremented once more.
bool find_row(Store& st, WorkArray& w, std::string_view name, std::string_view routine,
              Catalogue& cat, std::int32_t& n, std::int32_t iout, std::int32_t& ierr) {
    const std::int32_t before = ierr;
    ARNUMB(st, w, name, n, iout, ierr);
    if (ierr == before && detail::locate(st, w, routine, cat, iout, ierr) && n >= 1 &&
        n <= cat.rows) {
        return true;
    }
    detail::header(st.units, iout, routine);
    --ierr;
    return false;
}

}  // namespace

void ARKEYS(Store& st, WorkArray& w, std::string_view name, std::int32_t step, Keys& keys,
            std::int32_t iout, std::int32_t& ierr) {
    Catalogue cat;
    std::int32_t n = 0;
    if (!find_row(st, w, name, "ARKEYS", cat, n, iout, ierr)) return;
    const format::Row row = detail::row(w, cat, n);
    keys.itype = row[RowWord::Type];
    keys.nwpe = row[RowWord::WordsPerElement];
    keys.length = row[RowWord::Length];
    keys.istore = row[RowWord::StoreCode];
    keys.is = row[RowWord::StructureIndex];
    keys.ir = row[RowWord::ResultIndex];
    keys.irs = row[RowWord::RestartIndex];
    keys.ireal = row[RowWord::RealFlag];
    keys.key = format::record_key(detail::numraf(w, cat), row, step);
    keys.type_text = type_text_of(keys.itype, keys.ireal);
    keys.store_text = store_text_of(keys.istore);
}

std::int32_t ARSIZE(Store& st, WorkArray& w, std::string_view name, std::int32_t iout,
                    std::int32_t& ierr) {
    Catalogue cat;
    std::int32_t n = 0;
    if (!find_row(st, w, name, "ARSIZE", cat, n, iout, ierr)) return 0;
    return detail::row(w, cat, n)[RowWord::Length];
}

}  // namespace store
