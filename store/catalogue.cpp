// The catalogue: type and store codes, the record-key rule, opening of the dyn
// file and of the data manager, and the catalogue look-ups.
#include <algorithm>
#include <array>
#include <limits>

#include "dms/dms.h"
#include "dms/dms_internal.h"
#include "dms/vutil.h"
#include "io/fmt.h"
#include "io/text.h"
#include "store/internal.h"
#include "store/store.h"

namespace store {

namespace {

struct StoreClass {
    std::string_view text;
    std::int32_t code;
};

constexpr std::array<StoreClass, 13> kStoreClasses{{
    {"SKIP", 0},
    {"SCRA", 0},
    {"STRU", 1},
    {"REST", 2},
    {"POST", 3},
    {"S+RS", 4},
    {"RS+S", 4},
    {"S+PO", 5},
    {"PO+S", 5},
    {"CTRL", 11},
    {"GLOB", 13},
    {"EXCL", 50},
    {"-AR-", 51},
}};

struct TypeClass {
    std::string_view text;
    std::int32_t code;
    std::int32_t nwpe;
};

constexpr std::array<TypeClass, 5> kTypeClasses{{
    {"IN", 1, 1},
    {"SP", 2, 1},
    {"DP", 3, 2},
    {"RE", 3, 2},
    {"I8", 4, 2},
}};

const TypeClass* find_type(std::string_view text) {
    const std::string t = io::fixed(text, 2);
    for (const auto& c : kTypeClasses) {
        if (c.text == t) return &c;
    }
    return nullptr;
}

}  // namespace

std::int32_t type_code(std::string_view type_text) {
    const TypeClass* c = find_type(type_text);
    return c != nullptr ? c->code : 0;
}

std::int32_t words_per_element(std::string_view type_text) {
    const TypeClass* c = find_type(type_text);
    return c != nullptr ? c->nwpe : 0;
}

std::int32_t store_code(std::string_view store_text) {
    const std::string t = io::fixed(store_text, 4);
    for (const auto& c : kStoreClasses) {
        if (c.text == t) return c.code;
    }
    return -1;
}

std::string type_text_of(std::int32_t code, std::int32_t real_flag) {
    switch (code) {
        case 1:
            return "IN";
        case 2:
            return "SP";
        case 3:
            return real_flag != 0 ? "RE" : "DP";
        default:
            return "??";
    }
}

std::string store_text_of(std::int32_t code) {
    switch (code) {
        case 0:
            return "SKIP";
        case 1:
            return "STRU";
        case 2:
            return "REST";
        case 3:
            return "POST";
        case 4:
            return "S+RS";
        case 5:
            return "S+PO";
        case 11:
            return "CTRL";
        case 13:
            return "GLOB";
        case 50:
            return "EXCL";
        case 51:
            return "-AR-";
        default:
            return "????";
    }
}

std::int32_t record_key(std::int32_t nstru, std::int32_t nres, std::int32_t nrest,
                        std::int32_t offset, std::int32_t istore, std::int32_t is, std::int32_t ir,
                        std::int32_t irs, std::int32_t step) {
    const std::int64_t s4 = nstru, s5 = nres, s6 = nrest;
    if (s4 + s5 + s6 <= 0) return 0;
    const std::int64_t per_step = s5 + s6;
    const std::int64_t base = (static_cast<std::int64_t>(step) - 1) * per_step;
    std::int64_t key = 0;
    const bool structure =
        istore == 1 || istore == 11 || istore == 13 || istore == 50 || istore == 51;
    if (step <= 0) {
        if (structure || istore == 4 || istore == 5) key = offset + static_cast<std::int64_t>(is);
    } else if (structure) {
        key = offset + static_cast<std::int64_t>(is);
    } else if (istore == 3 || istore == 5) {
        key = offset + s4 + base + ir;
    } else if (istore == 2 || istore == 4) {
        key = offset + s4 + s5 + base + irs;
    }
    if (key < std::numeric_limits<std::int32_t>::min() ||
        key > std::numeric_limits<std::int32_t>::max()) {
        return -1;
    }
    return static_cast<std::int32_t>(key);
}

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
    bool ok = nnum >= 11 && w.contains(cat.numraf, 11);
    if (ok) {
        cat.rowlen = w.i(cat.numraf + 6);
        cat.rows = w.i(cat.numraf + 7);
        ok = cat.rowlen >= 10 && cat.rows >= 0 &&
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
    const std::int32_t nnum = nlist + 1, nkey = nlist + 2, nnam = nlist + 3;
    dms::DMSDCL(w, st.units, "NUMRAF", nnum, 20, 1, kLabelARINIT);
    dms::DMSDCL(w, st.units, "KEYRAF", nkey, 10 * rows, 1, kLabelARINIT);
    dms::DMSDCL(w, st.units, "IARRNM", nnam, 2 * nlist + 6, 1, kLabelARINIT);
    const std::int32_t pnum = dms::DMSPTR(w, st.units, "NUMRAF", kLabelARINIT);
    const std::int32_t pkey = dms::DMSPTR(w, st.units, "KEYRAF", kLabelARINIT);
    const std::int32_t pnam = dms::DMSPTR(w, st.units, "IARRNM", kLabelARINIT);
    if (dms::DMSERR(w) != e0) {
        fail();
        return;
    }
    dms::VFILLI(w.words(pnum, 20), 20, 1, 0);
    dms::VFILLI(w.words(pkey, 10 * rows), 10 * rows, 1, 0);
    dms::VFILLI(w.words(pnam, 2 * nlist + 6), 2 * nlist + 6, 1, 0);
    w.set_i(pnum + 0, 1);
    w.set_i(pnum + 6, 10);
    w.set_i(pnum + 7, rows);
    w.set_i(pnum + 8, lname);
    w.set_i(pnum + 9, 100);
    w.set_i(pnum + 10, 100);
    std::int32_t jerr = 0;
    ARINFO(st, w, pkey, nnum, "-AR-", "IN", 20, 1, 10, pnum, pnum, iout, jerr);
    w.set_i(pnum, w.i(pnum) + 1);
    ARINFO(st, w, pkey, nkey, "-AR-", "IN", 10 * rows, 1, 10, pnum, pkey, iout, jerr);
    w.set_i(pnum, w.i(pnum) + 1);
    ARINFO(st, w, pkey, nnam, "-AR-", "IN", 2 * nlist + 6, 1, 10, pnum, pnam, iout, jerr);
    auto store_name = [&](std::int32_t n, std::string_view nm) {
        dms::NameWords words;
        dms::DMSPAK(w, st.units, nm, kLabelARINIT, words);
        w.set_i(pnam + 2 * n - 2, words.first);
        w.set_i(pnam + 2 * n - 1, words.second);
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

    std::array<std::int32_t, 20> f{};
    GTARAF(st, f, 20, 101, 1, 0, ifile, iout, jerr);
    if (jerr != 0 || f[9] != 100) return fail();

    detail::Catalogue cat;
    if (!detail::locate(st, w, "ARINI1", cat, iout, jerr)) return fail();
    for (int k = 3; k < 6; ++k) w.set_i(cat.numraf + k, f[static_cast<std::size_t>(k)]);

    // The file's rows must have our row length; its row count bounds the scratch array.
    const std::int32_t rowlen = f[6];
    const std::int32_t rows = f[7];
    const std::int64_t need = (static_cast<std::int64_t>(rowlen) + 2) * rows;
    if (rowlen != cat.rowlen || rows < 1 || need > std::numeric_limits<std::int32_t>::max()) {
        return fail();
    }
    std::int32_t ptr = 0;
    ARBOOK(st, w, "MSCRA", ptr, static_cast<std::int32_t>(need), "SKIP", "IN", iout, jerr);
    if (jerr != 0) return fail();
    const std::int64_t nkey = static_cast<std::int64_t>(rowlen) * rows;
    GTARAF(st, w.words(ptr, nkey), rowlen * rows, 102, 1, 0, ifile, iout, jerr);
    if (jerr != 0) return fail();
    GTARAF(st, w.words(ptr + nkey, 2 * static_cast<std::int64_t>(rows)), 2 * rows, 103, 1, 0, ifile,
           iout, jerr);
    if (jerr != 0) return fail();

    // Row mapping by packed name: the first file number with the same name wins.
    std::int32_t pnam = 0;
    ARPOIN(st, w, "IARRNM", pnam, iout, jerr);
    if (jerr != 0) return fail();
    const std::int64_t fnames = ptr + nkey;
    for (std::int32_t n = 1; n <= nlist && n <= cat.rows; ++n) {
        const std::int32_t a1 = w.i(pnam + 2 * n - 2), a2 = w.i(pnam + 2 * n - 1);
        if (a1 == 0 && a2 == 0) continue;
        for (std::int32_t j = 1; j <= rows; ++j) {
            const std::int32_t b1 = w.i(fnames + 2 * j - 2), b2 = w.i(fnames + 2 * j - 1);
            if ((b1 != 0 || b2 != 0) && b1 == a1 && b2 == a2) {
                dms::VCOPYI(w.words(ptr + static_cast<std::int64_t>(j - 1) * rowlen, rowlen),
                            w.words(detail::row_word(cat, n, 1), rowlen), rowlen);
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
              detail::Catalogue& cat, std::int32_t& n, std::int32_t iout, std::int32_t& ierr) {
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
    detail::Catalogue cat;
    std::int32_t n = 0;
    if (!find_row(st, w, name, "ARKEYS", cat, n, iout, ierr)) return;
    auto word = [&](std::int32_t k) { return w.i(detail::row_word(cat, n, k)); };
    keys.itype = word(1);
    keys.nwpe = word(2);
    keys.length = word(3);
    keys.istore = word(4);
    keys.is = word(5);
    keys.ir = word(6);
    keys.irs = word(7);
    keys.ireal = word(8);
    keys.key = record_key(w.i(cat.numraf + 3), w.i(cat.numraf + 4), w.i(cat.numraf + 5),
                          w.i(cat.numraf + 9), keys.istore, keys.is, keys.ir, keys.irs, step);
    keys.type_text = type_text_of(keys.itype, keys.ireal);
    keys.store_text = store_text_of(keys.istore);
}

std::int32_t ARSIZE(Store& st, WorkArray& w, std::string_view name, std::int32_t iout,
                    std::int32_t& ierr) {
    detail::Catalogue cat;
    std::int32_t n = 0;
    if (!find_row(st, w, name, "ARSIZE", cat, n, iout, ierr)) return 0;
    return w.i(detail::row_word(cat, n, 3));
}

}  // namespace store
