// Booking, recall, look-up, clearing, copying and release of named arrays.
#include <algorithm>
#include <array>
#include <limits>

#include "dms/dms.h"
#include "dms/vutil.h"
#include "io/text.h"
#include "store/internal.h"
#include "store/store.h"

namespace store {

using detail::message;
using format::NumrafWord;
using format::RowWord;

namespace {

// First word of the element at pointer ptr in the view of nwpe-word elements.
std::int64_t first_word(std::int32_t ptr, std::int32_t nwpe) {
    return (static_cast<std::int64_t>(ptr) - 1) * nwpe + 1;
}

// Reads record `key` into the array at pointer ptr by its catalogue type.
// Returns false when the read failed; other type codes read nothing.
bool read_record(Store& st, WorkArray& w, const Keys& k, std::int32_t ptr, std::int32_t ifile) {
    std::int32_t istat = 0;
    const std::int64_t len = k.length;
    switch (k.itype) {
        case 1:
            raflib::RAFGIN(st.raf, w.words(ptr, len), k.length, k.key, ifile, istat);
            break;
        case 2:
            raflib::RAFGRE(st.raf, w.words(ptr, len), k.length, k.key, ifile, istat);
            break;
        case 3: {
            auto buf = w.words(first_word(ptr, 2), 2 * len);
            if (k.ireal == 1) {
                raflib::RAFGRD(st.raf, buf, k.length, k.key, ifile, istat);
            } else {
                raflib::RAFGDP(st.raf, buf, k.length, k.key, ifile, istat);
            }
            break;
        }
        case 4: {
            const std::int64_t nw = 2 * len;
            if (nw > std::numeric_limits<std::int32_t>::max()) return false;
            raflib::RAFGIN(st.raf, w.words(first_word(ptr, 2), nw), static_cast<std::int32_t>(nw),
                           k.key, ifile, istat);
            break;
        }
        default:
            return true;
    }
    return istat == 0;
}

// What a recall step found for one array.
enum class Stored { Failed, Missing, Booked };

// The step's keys of the array (ARKEYS) and, when the step is stored, its
// booking at the catalogued length, store class and type (ARBOOK). Failed
// when either failed (it has reported to iout); Missing: nothing booked.
Stored book_stored(Store& st, WorkArray& w, std::string_view nm, std::int32_t step, Keys& k,
                   std::int32_t& ptr, std::int32_t iout) {
    std::int32_t jerr = 0;
    ARKEYS(st, w, nm, step, k, iout, jerr);
    if (jerr != 0) return Stored::Failed;
    if (k.key == 0) return Stored::Missing;
    ARBOOK(st, w, nm, ptr, k.length, k.store_text, k.type_text, iout, jerr);
    return jerr != 0 ? Stored::Failed : Stored::Booked;
}

// The recall group of each instruction.
struct Recall {
    std::string_view instruction;
    std::uint8_t group;
};

constexpr std::array<Recall, 6> kRecalls{{
    {"**Recall structure data**", format::kRecallStructure},
    {"**Recall control data  **", format::kRecallControl},
    {"**Recall global data   **", format::kRecallGlobal},
    {"**Recall exclusive data *", format::kRecallExclusive},
    {"**Recall result data   **", format::kRecallResult},
    {"**Recall restart data  **", format::kRecallRestart},
}};

// The block of ARINFO and ARUPDA for a text they do not know.
void row_error(Store& st, std::string_view routine, std::string_view what, std::string_view text,
               std::int32_t iout, std::int32_t& ierr) {
    detail::header(st.units, iout, routine);
    st.units.write(iout, "      " + std::string(what) + std::string(text));
    st.units.write(iout, "      LEAVING " + std::string(routine));
    for (int i = 0; i < 3; ++i) st.units.write(iout, "");
    --ierr;
}

// Checks the texts of a catalogue row update and the row's place in KEYRAF.
bool row_checks(Store& st, WorkArray& w, std::string_view routine, const Catalogue& cat,
                std::int32_t n, const Booking& b, std::int32_t iout, std::int32_t& ierr) {
    if (format::type_class(b.type_text) == nullptr) {
        row_error(st, routine, "UNKNOWN ARRAY-TYPE:", b.type_text, iout, ierr);
        return false;
    }
    if (format::store_class(b.store_text) == nullptr) {
        row_error(st, routine, "UNKNOWN STORE-INFO:", b.store_text, iout, ierr);
        return false;
    }
    if (n < 1 || cat.rowlen < format::kRowLength ||
        !w.contains(cat.keyraf + format::row_offset(n, cat.rowlen), cat.rowlen) ||
        !w.contains(cat.numraf, format::kNumrafUsedWords)) {
        row_error(st, routine, "ILLEGAL ARRAY NUMBER:", std::to_string(n), iout, ierr);
        return false;
    }
    return true;
}

// Word 10 of a row: the pointer divided by NUMRAF(11).
std::int32_t pointer_word(format::ConstNumraf numraf, std::int32_t ptr) {
    return ptr / std::max(1, numraf[format::NumrafWord::AddressDivisor]);
}

// The shared body of ARGTIP and ARPOIN.
std::int32_t pointer_of(Store& st, WorkArray& w, std::string_view routine, std::string_view name,
                        bool write, std::int32_t iout, std::int32_t& ierr) {
    const std::string_view nm = io::trim_right(name);
    const std::int32_t d = dms::DMSINQ(w, nm, 1);
    const std::int32_t e = dms::DMSINQ(w, nm, 2);
    const std::int32_t a = dms::DMSINQ(w, nm, 3);
    auto detail_line = [&](std::string_view text) {
        if (!write) return;
        detail::header(st.units, iout, routine);
        st.units.write(iout, "");
        st.units.write(iout, "  " + std::string(text) + std::string(name));
        st.units.write(iout, "");
        st.units.write(iout, "");
    };
    if (d == 0 && e == 10) {
        detail_line("*** Array not allocated : ");
        --ierr;
        return 0;
    }
    if (a == 0) {
        detail_line("*** Array is released   : ");
        --ierr;
        return 0;
    }
    const std::int32_t e0 = dms::DMSERR(w);
    const std::int32_t ptr = dms::DMSPTR(
        w, st.units, nm, routine == "ARGTIP" ? detail::kLabelARGTIP : detail::kLabelARPOIN);
    if (dms::DMSERR(w) != e0 || ptr == 0) {
        if (write) detail::header(st.units, iout, routine);
        --ierr;
        return 0;
    }
    return ptr;
}

}  // namespace

std::int32_t LENTRM(std::string_view text, std::int32_t length) {
    std::int32_t n = std::clamp<std::int32_t>(length, 0, static_cast<std::int32_t>(text.size()));
    // Probe a few tails first: a long blank tail shortens the backward scan.
    constexpr std::array<int, 5> kPercent{10, 20, 30, 40, 70};
    for (const int p : kPercent) {
        const auto pos = static_cast<std::int32_t>((static_cast<std::int64_t>(n) * p + 50) / 100);
        if (pos <= 1) continue;
        if (io::is_blank(text.substr(static_cast<std::size_t>(pos - 1),
                                     static_cast<std::size_t>(n - pos + 1)))) {
            n = pos - 1;
            break;
        }
    }
    while (n > 0 && text[static_cast<std::size_t>(n - 1)] == ' ') --n;
    return n;
}

void ARMESS(io::Units& units, std::int32_t unit, std::int32_t /*status*/, std::string_view text,
            std::string_view /*mode*/, std::int32_t length) {
    if (unit <= 0) return;
    const std::int32_t n = LENTRM(text, length);
    units.write(unit, text.substr(0, static_cast<std::size_t>(n)));
}

std::int32_t ArKeyChk1(WorkArray& w, const Catalogue& cat, std::int32_t n,
                       std::string_view store_text, std::int32_t& ierr) {
    std::int32_t code = store_code(store_text);
    if (code < 0) {
        --ierr;
        code = 0;
    }
    const std::int64_t word =
        cat.keyraf + format::row_offset(n, cat.rowlen) + format::offset(RowWord::StoreCode);
    if (n < 1 || !w.contains(word, 1)) return -1;
    return code == w.i(word) ? 0 : -1;
}

namespace {

// ARINFO (first booking) and ARUPDA (re-booking). A first booking writes
// the row as the file's writer did; a re-booking of an array that lives in
// the file changes only its length and pointer word, because type, store
// code and indices stay as the file's catalogue gave them. Scratch arrays
// (store code 0) get their row written afresh either way.
void write_row(Store& st, WorkArray& w, std::string_view routine, const Catalogue& cat,
               std::int32_t n, const Booking& b, bool first, std::int32_t iout,
               std::int32_t& ierr) {
    if (!row_checks(st, w, routine, cat, n, b, iout, ierr)) return;
    const format::StoreClass& store = *format::store_class(b.store_text);
    const format::Numraf numraf = detail::numraf(w, cat);
    const format::Row row = detail::row(w, cat, n);
    if (first || store.code == 0) {
        format::first_booking(row, *format::type_class(b.type_text), b.nwpe, b.length, store,
                              numraf);
        if (io::fixed(b.store_text, 4) != format::kScratchText)
            row[RowWord::PointerWord] = pointer_word(numraf, b.ptr);
        return;
    }
    row[RowWord::Length] = b.length;
    row[RowWord::PointerWord] = pointer_word(numraf, b.ptr);
}

}  // namespace

void ARINFO(Store& st, WorkArray& w, const Catalogue& cat, std::int32_t n, const Booking& b,
            std::int32_t iout, std::int32_t& ierr) {
    write_row(st, w, "ARINFO", cat, n, b, true, iout, ierr);
}

void ARUPDA(Store& st, WorkArray& w, const Catalogue& cat, std::int32_t n, const Booking& b,
            std::int32_t iout, std::int32_t& ierr) {
    write_row(st, w, "ARUPDA", cat, n, b, false, iout, ierr);
}

void ARBOOK(Store& st, WorkArray& w, std::string_view name, std::int32_t& ptr, std::int32_t length,
            std::string_view store_text, std::string_view type_text, std::int32_t iout,
            std::int32_t& ierr) {
    using namespace detail;
    const std::string nm(name);
    const auto fail = [&](std::string_view text) {
        std::string msg = "*** ERROR IN ARBOOK ***";
        if (!text.empty()) msg += "\n" + std::string(text) + nm;
        message(st, iout, std::move(msg));
        --ierr;
    };
    const std::int32_t e = words_per_element(type_text);
    if (dms::DMSMOD(w, st.units) != 2) {
        fail("DMS not prepared for Name Option  \nOccured during booking of: ");
        return;
    }
    if (e == 0) {
        fail("");
        return;
    }
    const std::int32_t e0dms = dms::DMSERR(w);
    const std::int32_t pnum = dms::DMSPTR(w, st.units, "NUMRAF", kLabelARBOOK);
    const std::int32_t pkey = dms::DMSPTR(w, st.units, "KEYRAF", kLabelARBOOK);
    dms::DMSPTR(w, st.units, "IARRNM", kLabelARBOOK);
    if (dms::DMSERR(w) != e0dms || !w.contains(pnum, format::kNumrafUsedWords)) {
        fail("");
        return;
    }
    Catalogue cat{pnum, pkey, 0, 0};
    cat.rowlen = numraf(w, cat)[NumrafWord::RowLength];
    cat.rows = numraf(w, cat)[NumrafWord::Rows];

    const std::string_view tn = io::trim_right(name);
    const std::int32_t d0 = dms::DMSINQ(w, tn, 1);
    std::int32_t e0 = dms::DMSINQ(w, tn, 2);
    const std::int32_t a0 = dms::DMSINQ(w, tn, 3);

    bool allocate = false;
    if (d0 == 0 && e0 == 10 && a0 <= 0) {
        e0 = 0;
        allocate = true;
    } else if (e0 < 1) {
        allocate = true;
    } else if (a0 > 0) {
        if (e0 != e) {
            fail("Re-allocatng with new data-type for array: ");
            return;
        }
        if (d0 != length) {
            fail("Re-allocatng with new lengthfor array: ");
            return;
        }
        const std::int32_t n = dms::DMSNUM(w, st.units, tn, kLabelARBOOK);
        std::int32_t jerr = 0;
        const std::int32_t same = ArKeyChk1(w, cat, n, store_text, jerr);
        if (jerr != 0) {
            fail("");
            return;
        }
        if (same != 0) {
            fail("Re-allocatng with new store-type for array: ");
            return;
        }
        ptr = dms::DMSPTR(w, st.units, tn, kLabelARBOOK);
        if (dms::DMSERR(w) != e0dms) fail("");
        return;
    } else {
        if (e0 * e > 0 && e0 != e) {
            fail("Re-allocatng with new data-type for array: ");
            return;
        }
        allocate = true;
    }
    if (!allocate) return;

    const std::int64_t free_words =
        static_cast<std::int64_t>(dms::DMSCTL(w, 5)) - dms::DMSCTL(w, 4) + 1;
    if (free_words < static_cast<std::int64_t>(e) * length) {
        fail("Insufficient space for array ");
        return;
    }
    const std::int32_t n = dms::DMSNUM(w, st.units, tn, kLabelARBOOK);
    dms::DMSDCL(w, st.units, tn, n, length, e, kLabelARBOOK);
    if (dms::DMSERR(w) == e0dms) ptr = dms::DMSPTR(w, st.units, tn, kLabelARBOOK);
    if (dms::DMSERR(w) != e0dms) {
        fail("");
        return;
    }
    // A row with a type code: the file's catalogue lists the array.
    const std::int64_t type_word = pkey + format::row_offset(n, cat.rowlen);
    const Booking b{store_text, type_text, length, e, ptr};
    std::int32_t jerr = 0;
    if (e0 != 0 || (w.contains(type_word, 1) && w.i(type_word) != 0)) {
        ARUPDA(st, w, cat, n, b, iout, jerr);
    } else {
        if (const format::StoreClass* c = format::store_class(store_text))
            format::advance_counters(numraf(w, cat), *c);
        ARINFO(st, w, cat, n, b, iout, jerr);
        if (jerr == 0 && dms::DMSCTL(w, 3) == 0) ARZERO(st, w, name, iout, jerr);
    }
    if (jerr != 0) fail("");
}

void ARRECL(Store& st, WorkArray& w, std::string_view instruction, std::int32_t step,
            std::int32_t ifile, std::int32_t iout, std::int32_t& ierr) {
    const auto fail = [&](std::string text) {
        message(st, iout, "*** ERROR IN ARRECL ***" + text);
        --ierr;
    };
    Catalogue cat;
    if (!detail::locate(st, w, "ARRECL", cat, iout, ierr)) {
        fail("\nOccured during recall  of: " + st.recall_name);
        return;
    }
    const std::string instr = io::fixed(instruction, 25);
    const auto recall = std::find_if(kRecalls.begin(), kRecalls.end(),
                                     [&](const Recall& r) { return r.instruction == instr; });
    if (recall == kRecalls.end()) {
        fail("\nUnknown Instruction      : " + std::string(instruction));
        return;
    }
    for (std::int32_t n = format::kFirstArray; n <= cat.rows; ++n) {
        const format::StoreClass* c =
            format::store_class(detail::row(w, cat, n)[RowWord::StoreCode]);
        if (c == nullptr || (c->recall & recall->group) == 0) continue;
        std::string name;
        std::int32_t count = 0;
        dms::DMSNAM(w, st.units, n, detail::kLabelARRECL, name, count);
        if (count <= 0) continue;
        st.recall_name = io::fixed(name, 8);
        const std::string_view nm = io::trim_right(st.recall_name);
        Keys k;
        std::int32_t ptr = 0;
        const Stored found = book_stored(st, w, nm, step, k, ptr, iout);
        if (found == Stored::Failed) {
            fail("");
            return;
        }
        if (found == Stored::Missing) continue;
        if (!read_record(st, w, k, ptr, ifile)) {
            fail("\nOccured during recall  of: " + st.recall_name);
            return;
        }
    }
}

void ARREC1(Store& st, WorkArray& w, std::string_view name, std::int32_t& ptr, std::int32_t step,
            std::int32_t ifile, std::int32_t iout, std::int32_t& ierr) {
    const auto fail = [&](std::string text) {
        message(st, iout, "*** ERROR IN ARREC1 ***" + text);
        --ierr;
    };
    const std::string_view nm = io::trim_right(name);
    if (dms::DMSNUM(w, st.units, nm, detail::kLabelARREC1) == 0) return;
    Keys k;
    switch (book_stored(st, w, nm, step, k, ptr, iout)) {
        case Stored::Failed:
            return fail("");
        case Stored::Missing:
            return fail("\nError During Recallin Array: " + std::string(name));
        case Stored::Booked:
            break;
    }
    if (!read_record(st, w, k, ptr, ifile))
        fail("\nError During Recallin Array: " + std::string(name));
}

std::int32_t ARGTIP(Store& st, WorkArray& w, std::string_view name, std::int32_t iout,
                    std::int32_t& ierr) {
    return pointer_of(st, w, "ARGTIP", name, iout > 5, iout, ierr);
}

void ARPOIN(Store& st, WorkArray& w, std::string_view name, std::int32_t& ptr, std::int32_t iout,
            std::int32_t& ierr) {
    ptr = pointer_of(st, w, "ARPOIN", name, true, iout, ierr);
}

void ARFREE(Store& st, WorkArray& w, std::string_view name, std::string_view option,
            std::int32_t iout, std::int32_t& ierr) {
    const auto fail = [&](std::string_view text) {
        if (iout > 5) {
            detail::header(st.units, iout, "ARFREE");
            if (!text.empty()) {
                st.units.write(iout, "      " + std::string(text) + std::string(name));
                st.units.write(iout, "");
            }
        }
        --ierr;
    };
    const bool clean = option.substr(0, 5) == "CLEAN";
    if (!clean && option.substr(0, 7) != "NOCLEAN") {
        fail("Illegal release message for array :");
        return;
    }
    const std::string_view nm = io::trim_right(name);
    const std::int32_t n = dms::DMSNUM(w, st.units, nm, detail::kLabelARFREE);
    Catalogue cat;
    std::int32_t jerr = 0;
    const bool have_row =
        n >= 1 && detail::locate(st, w, "ARFREE", cat, iout, jerr) && n <= cat.rows;
    if (jerr != 0) {
        fail("");
        return;
    }
    if (clean) {
        ARZERO(st, w, name, iout, jerr);
        if (jerr != 0) {
            fail("");
            return;
        }
    }
    if (have_row && detail::row(w, cat, n)[RowWord::StoreCode] == 0) {
        const format::Row row = detail::row(w, cat, n);
        if (row[RowWord::StructureIndex] != 0 || row[RowWord::ResultIndex] != 0 ||
            row[RowWord::RestartIndex] != 0) {
            fail("Illegal raf - number for array :");
            return;
        }
        dms::VFILLI(row.words(), format::kRowLength, 1, 0);
    }
    const std::int32_t e0 = dms::DMSERR(w);
    dms::DMSFRE(w, st.units, nm, detail::kLabelARFREE);
    if (dms::DMSERR(w) != e0) fail("");
}

void ARZERO(Store& st, WorkArray& w, std::string_view name, std::int32_t iout, std::int32_t& ierr) {
    const std::string_view nm = io::trim_right(name);
    const std::int32_t d = dms::DMSINQ(w, nm, 1);
    const std::int32_t e = dms::DMSINQ(w, nm, 2);
    const std::int32_t a = dms::DMSINQ(w, nm, 3);
    if (a == 0) return;
    const std::int64_t nw = static_cast<std::int64_t>(d) * e;
    if (a < 0 || d < 0 || e < 1 || !w.contains(a, nw)) {
        detail::header(st.units, iout, "ARZERO");
        --ierr;
        return;
    }
    if (nw > 0) dms::VFILLI(w.words(a, nw), static_cast<std::int32_t>(nw), 1, 0);
}

void arcopy_2(Store& st, WorkArray& w, std::string_view source, std::string_view target,
              std::int32_t iout, std::int32_t& ierr) {
    const auto fail = [&] {
        detail::header(st.units, iout, "arcopy_2");
        --ierr;
    };
    std::string src = io::fixed(source, 8), dst = io::fixed(target, 8);
    for (char& c : src) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    for (char& c : dst) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    Keys ks, kd;
    std::int32_t jerr = 0;
    ARKEYS(st, w, io::trim_right(src), 0, ks, iout, jerr);
    if (jerr == 0) ARKEYS(st, w, io::trim_right(dst), 0, kd, iout, jerr);
    if (jerr != 0 || ks.nwpe != kd.nwpe) {
        fail();
        return;
    }
    const std::int64_t n = std::min(ks.length, kd.length);
    const std::int64_t nw = n * ks.nwpe;
    const std::int32_t as = dms::DMSINQ(w, io::trim_right(src), 3);
    const std::int32_t ad = dms::DMSINQ(w, io::trim_right(dst), 3);
    const std::int64_t ds = static_cast<std::int64_t>(dms::DMSINQ(w, io::trim_right(src), 1)) *
                            dms::DMSINQ(w, io::trim_right(src), 2);
    const std::int64_t dd = static_cast<std::int64_t>(dms::DMSINQ(w, io::trim_right(dst), 1)) *
                            dms::DMSINQ(w, io::trim_right(dst), 2);
    if (nw <= 0) return;
    if (as <= 0 || ad <= 0 || nw > ds || nw > dd || !w.contains(as, nw) || !w.contains(ad, nw)) {
        fail();
        return;
    }
    dms::VCOPYI(w.words(as, nw), w.words(ad, nw), static_cast<std::int32_t>(nw));
}

}  // namespace store
