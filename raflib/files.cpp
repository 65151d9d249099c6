#include "raflib/files.h"

#include <algorithm>
#include <array>
#include <fstream>

#include "io/fmt.h"
#include "io/text.h"
#include "raflib/arrays.h"
#include "raflib/layout.h"
#include "raflib/messages.h"

namespace raflib {

Raflib::Raflib(io::Units& u, Clock c) : units(u), clock(std::move(c)) {
    // Until RAFINI names a message unit the library prints nothing.
    RAFINI(*this, 0);
}

namespace {

// Key positions.
constexpr std::size_t kPosVersion = 9;
constexpr std::size_t kPosType = 57;
constexpr std::size_t kPosLastWrite = 77;
constexpr std::size_t kPosLastRead = 93;
constexpr std::size_t kPosLock = 109;
constexpr std::size_t kPosIntegers = 117;
constexpr std::size_t kPosRecordLength = 169;

constexpr std::array<int, 7> kIntegerWidths = {8, 8, 8, 8, 8, 4, 8};

void fail(Raflib& raf, std::int32_t& ierr, std::int32_t number, std::string_view routine,
          std::int32_t ivalue = kUndefined, std::string_view avalue = "") {
    ierr = number;
    RFMESS(raf, ierr, routine, 0, ivalue, avalue);
}

// The slot that holds +unit, 0 when none.
std::int32_t initialised_slot(const Raflib& raf, std::int32_t unit) {
    if (unit <= 0) return 0;
    for (std::int32_t f = 1; f <= kMaxFiles; ++f)
        if (raf.slot(f).unit == unit) return f;
    return 0;
}

// The slot opened (but not yet initialised) for unit; 1039 when the unit is
// already initialised, 1022 when no slot was opened for it. On failure the
// current slot is 0.
std::int32_t opened_slot(Raflib& raf, std::int32_t unit, std::string_view routine,
                         std::int32_t& ierr) {
    ierr = 0;
    if (unit > 0) {
        for (std::int32_t f = 1; f <= kMaxFiles; ++f) {
            if (raf.slot(f).unit == -unit) return f;
            if (raf.slot(f).unit == unit) {
                raf.current = 0;
                fail(raf, ierr, 1039, routine);
                return 0;
            }
        }
    }
    raf.current = 0;
    fail(raf, ierr, 1022, routine);
    return 0;
}

void write_integers(Slot& s) {
    const std::array<std::int32_t, 7> v = {s.mfpadr, s.mfpmax, s.mfpcur, s.mfpnxt,
                                           s.chkrs1, s.chkrs2, s.mfplen};
    std::size_t pos = kPosIntegers;
    for (std::size_t k = 0; k < v.size(); ++k) {
        encode_field(s.key, pos, kIntegerWidths[k], v[k]);
        pos += static_cast<std::size_t>(kIntegerWidths[k]);
    }
}

std::int32_t record_of_page(const Slot& s, std::int64_t page) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        s.mfpadr + 2 * (page - 1), std::numeric_limits<std::int32_t>::min(),
        std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

void RAFINI(Raflib& raf, std::int32_t msgunit) {
    raf.version = 2;
    raf.revision = 1;
    raf.levels[1] = {io::fixed("INFO", 11), "---", 0, 0};
    raf.levels[2] = {io::fixed("WARNING", 11), "===", msgunit, 0};
    raf.levels[3] = {io::fixed("ERROR", 11), "***", msgunit, 0};
    raf.levels[4] = {io::fixed("FATAL ERROR", 11), "!!!", msgunit, 0};
    raf.iwfile = 0;
    RFMACH(raf);
}

bool looks_like_raflib_file(const std::filesystem::path& path) {
    std::error_code ec;
    // Only regular files: opening a FIFO or a device to look would block or
    // consume its data.
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream f(path, std::ios::binary);
    std::array<char, 8> head{};
    if (!f.read(head.data(), head.size())) return false;
    return std::string_view(head.data(), head.size()) == "RAFLIB  ";
}

void RFFNAM(std::string& name, std::int32_t unit) {
    const std::string_view t = io::trim(name);
    if (t.empty()) {
        name = "raf" + io::fmt::I(unit, 3, 3) + ".raf";
    } else {
        name = std::string(t);
    }
}

void RFFIOP(Raflib& raf, std::string_view name, std::int32_t unit, io::OpenStatus status,
            std::int32_t& ierr) {
    ierr = 0;
    if (unit < 1 || unit > 99) {
        // Slots use 0 and the sign of the unit; only units 1..99 exist.
        raf.current = 0;
        fail(raf, ierr, 1041, "RFFIOP");
        return;
    }
    if (initialised_slot(raf, unit) != 0) {
        raf.current = 0;
        fail(raf, ierr, 1037, "RFFIOP");
        return;
    }
    // A slot left opened by a failed initialisation of this same unit is
    // taken again (the open below replaces that connection); otherwise the
    // first free slot.
    std::int32_t f = 0;
    for (std::int32_t k = 1; k <= kMaxFiles && f == 0; ++k)
        if (raf.slot(k).unit == -unit) f = k;
    for (std::int32_t k = 1; k <= kMaxFiles && f == 0; ++k)
        if (raf.slot(k).unit == 0) f = k;
    if (f == 0) {
        raf.current = 0;
        fail(raf, ierr, 1038, "RFFIOP", kMaxFiles);
        return;
    }
    raf.current = f;
    Slot& s = raf.slot(f);
    s = Slot{};
    const int st = raf.units.open_direct(unit, name, status, raf.machine.record_length * 4);
    if (st > 0) {
        raf.current = 0;
        fail(raf, ierr, 1034, "RFFIOP", st, name);
        return;
    }
    s.unit = -unit;
    s.stamp = RFDATE(raf, 1);
}

void RAFOLD(Raflib& raf, std::int32_t unit, std::string& name, std::int32_t& ierr) {
    ierr = 0;
    std::string fname = name.substr(0, std::min<std::size_t>(name.size(), 255));
    RFFNAM(fname, unit);
    RFFIOP(raf, fname, unit, io::OpenStatus::Old, ierr);
    if (ierr == 0) {
        name = fname;
        RFIOLD(raf, unit, ierr);
    }
    if (ierr != 0) RFTRAC(raf, "RAFOLD");
}

void RFIOLD(Raflib& raf, std::int32_t unit, std::int32_t& ierr) {
    const std::int32_t f = opened_slot(raf, unit, "RFIOLD", ierr);
    if (f == 0) return;
    raf.current = f;
    Slot& s = raf.slot(f);

    // Steps that fail leave the current slot at 0 before reporting.
    const auto refuse = [&](std::int32_t number, std::int32_t ivalue = kUndefined,
                            std::string_view avalue = "") {
        raf.current = 0;
        fail(raf, ierr, number, "RFIOLD", ivalue, avalue);
    };

    RFGKEY(raf, ierr);
    if (ierr != 0) {
        refuse(ierr);
        return;
    }
    if (s.key.compare(0, 8, "RAFLIB  ") != 0) return refuse(1020);

    std::int32_t version = 0;
    std::int32_t revision = 0;
    {
        constexpr std::array<int, 2> w = {4, 4};
        std::array<std::int32_t*, 2> v = {&version, &revision};
        if (const int st = decode_fields(s.key, kPosVersion, w, v); st != 0)
            return refuse(1064, st);
    }
    if (version > 2) return refuse(1029, kUndefined, std::to_string(version));
    // A negative version is no format this library ever wrote: it is refused
    // instead of being converted as version 0.
    if (version < 0) return refuse(1028, kUndefined, std::to_string(version));
    const bool old = version < 2;

    {
        std::int32_t l1 = 0;
        std::int32_t l2 = 0;
        constexpr std::array<int, 2> w = {4, 4};
        std::array<std::int32_t*, 2> v = {&l1, &l2};
        if (const int st = decode_fields(s.key, kPosLock, w, v); st != 0) return refuse(1064, st);
        s.lock = (l1 == 0 ? 1 : 0) + (l2 == 0 ? 2 : 0);
    }
    {
        std::array<std::int32_t*, 7> v = {&s.mfpadr, &s.mfpmax, &s.mfpcur, &s.mfpnxt,
                                          &s.chkrs1, &s.chkrs2, &s.mfplen};
        if (const int st = decode_fields(s.key, kPosIntegers, kIntegerWidths, v); st != 0)
            return refuse(1064, st);
    }
    if (s.mfpadr <= 1) return refuse(1060, s.mfpadr);
    if (s.mfpmax <= 0) return refuse(1061, s.mfpmax);
    if (s.mfpcur < 0 || s.mfpcur > s.mfpmax) return refuse(1062, s.mfpcur);
    if (s.mfpnxt <= s.mfpadr) return refuse(1063, s.mfpnxt);

    std::int32_t ftype = 0;
    std::int32_t self = 0;
    {
        constexpr std::array<int, 1> w = {4};
        std::array<std::int32_t*, 1> v = {&ftype};
        if (const int st = decode_fields(s.key, kPosType, w, v); st != 0) return refuse(1064, st);
        decode_field(raf.machine.type_text, self);
    }

    s.unit = unit;
    s.access = 0;
    s.age.fill(kCachePages);
    s.pending = false;
    raf.file_type = ftype;
    s.computer_type = ftype;

    if (ftype != self) {
        // The byte-order rule only: "CK" converts nothing.
        RFCNVD(raf, "CK", {}, 0, ierr);
        if (ierr != 0) {
            RFTRAC(raf, "RFIOLD");
            return;
        }
    }
    if (old) {
        RFCVER(raf, version, revision, ierr);
        if (ierr != 0) {
            refuse(ierr);
            return;
        }
    }
    ierr = 0;
}

void RFCVER(Raflib& raf, std::int32_t version, std::int32_t /*revision*/, std::int32_t& ierr) {
    // Version 0 stored the entry of array 64*i in entry 64 of page i+1; the
    // conversion moves it to entry 64 of page i, for i = 1..n in increasing
    // order, and then marks the key as version 2 revision 1.
    //
    // This is the only write into an existing file, so it is built to leave
    // either the unconverted or the fully converted file behind:
    //  - the file's computer type is checked before anything is written;
    //  - page i is rewritten from a copy of pages i and i+1 just read;
    //  - when a read or write fails part-way, or when the key cannot be
    //    written, the pages already written are put back: page j (j >= 2)
    //    takes its old entry 64 from page j-1, which still holds it as its
    //    new entry 64 (so the pages are restored from the last to the first),
    //    and page 1 takes the entry kept in memory; a page whose own write
    //    failed is rewritten from its saved original, and a failed key write
    //    is followed by writing the original key back.
    ierr = 0;
    if (version > 0) return;
    Slot& s = raf.cur();
    const std::int32_t n = s.mfpmax / kPageEntries - 1;
    if (n <= 0) return;
    // Pages 1..n+1 must lie inside the MFP, before the first data record.
    if (static_cast<std::int64_t>(s.mfpadr) + 2 * (static_cast<std::int64_t>(n) + 1) > s.mfpnxt) {
        fail(raf, ierr, 1063, "RFCVER", s.mfpnxt);
        return;
    }
    RFCHKW(raf, ierr);
    if (ierr != 0) {
        RFTRAC(raf, "RFCVER");
        return;
    }
    const std::int32_t unit = s.unit;
    std::array<std::int32_t, 2 * kPageWords> buf{};
    std::array<std::int32_t, 4> first_entry{};
    const std::span<std::int32_t> both(buf);
    const std::span<std::int32_t> lower = both.first(kPageWords);
    const std::span<std::int32_t> upper = both.last(kPageWords);
    constexpr std::size_t e64 = kPageWords - 4;       // entry 64 of the first page
    constexpr std::size_t e64b = 2 * kPageWords - 4;  // entry 64 of the second page

    // Puts pages k..1 back as they were.
    const auto restore = [&](std::int32_t k) {
        for (std::int32_t j = k; j >= 1; --j) {
            std::int32_t e = 0;
            std::int32_t op = 2;
            std::int32_t a = record_of_page(s, j >= 2 ? j - 1 : 1);
            if (j >= 2) {
                FFILE(raf, unit, op, a, both, 2 * kPageWords, e);
                if (e == 0) {
                    std::copy_n(buf.begin() + e64, 4, buf.begin() + e64b);
                    op = 1;
                    a = record_of_page(s, j);
                    FFILE(raf, unit, op, a, upper, kPageWords, e);
                }
            } else {
                FFILE(raf, unit, op, a, lower, kPageWords, e);
                if (e == 0) {
                    std::copy_n(first_entry.begin(), 4, buf.begin() + e64);
                    op = 1;
                    a = record_of_page(s, 1);
                    FFILE(raf, unit, op, a, lower, kPageWords, e);
                }
            }
            if (e != 0) RFIOER(raf, e, "RFCVER", op);
        }
    };

    for (std::int32_t i = 1; i <= n; ++i) {
        std::int32_t a = record_of_page(s, i);
        FFILE(raf, unit, 2, a, both, 2 * kPageWords, ierr);
        if (ierr != 0) {
            RFIOER(raf, ierr, "RFCVER", 2);
            restore(i - 1);
            return;
        }
        std::array<std::int32_t, 4> original{};
        std::copy_n(buf.begin() + e64, 4, original.begin());
        if (i == 1) first_entry = original;
        std::copy_n(buf.begin() + e64b, 4, buf.begin() + e64);
        a = record_of_page(s, i);
        FFILE(raf, unit, 1, a, lower, kPageWords, ierr);
        if (ierr != 0) {
            RFIOER(raf, ierr, "RFCVER", 1);
            std::copy_n(original.begin(), 4, buf.begin() + e64);
            std::int32_t e = 0;
            a = record_of_page(s, i);
            FFILE(raf, unit, 1, a, lower, kPageWords, e);
            if (e != 0) RFIOER(raf, e, "RFCVER", 1);
            restore(i - 1);
            return;
        }
    }

    const std::string original_key = s.key;
    encode_field(s.key, kPosVersion, 4, 2);
    encode_field(s.key, kPosVersion + 4, 4, 1);
    encode_field(s.key, kPosRecordLength, 8, kRecordBytes);
    RFPKEY(raf, ierr);
    if (ierr != 0) {
        RFTRAC(raf, "RFCVER");
        s.key = original_key;
        std::array<std::int32_t, kKeyWords> words{};
        key_to_words(s.key, words);
        std::int32_t e = 0;
        std::int32_t a = 1;
        FFILE(raf, unit, 1, a, std::span<const std::int32_t>(words), kKeyWords, e);
        if (e != 0) RFIOER(raf, e, "RFCVER", 1);
        restore(n);
        return;
    }
    ++raf.iwfile;
}

void RAFNEW(Raflib& raf, std::int32_t unit, std::string& name, std::string_view status,
            std::int32_t maxarr, std::int32_t& ierr) {
    ierr = 0;
    std::string fname = name.substr(0, std::min<std::size_t>(name.size(), 255));
    io::OpenStatus st{};
    switch (status.empty() ? ' ' : status[0]) {
        case 'N':
        case 'n':
            st = io::OpenStatus::New;
            break;
        case 'O':
        case 'o':
            st = io::OpenStatus::Old;
            break;
        case 'U':
        case 'u':
            st = io::OpenStatus::Unknown;
            break;
        default:
            fail(raf, ierr, 1040, "RAFNEW");
            return;
    }
    if (maxarr <= 0) {
        fail(raf, ierr, 1046, "RAFNEW");
        return;
    }
    if (maxarr > kMaxI8) {
        // MFPMAX has an eight-digit field in the key.
        raf.current = 0;
        fail(raf, ierr, 1061, "RAFNEW", maxarr);
        return;
    }
    RFFNAM(fname, unit);
    RFFIOP(raf, fname, unit, st, ierr);
    if (ierr == 0) {
        name = fname;
        RFINEW(raf, unit, maxarr, ierr);
    }
    if (ierr != 0) RFTRAC(raf, "RAFNEW");
}

void RFINEW(Raflib& raf, std::int32_t unit, std::int32_t maxarr, std::int32_t& ierr) {
    const std::int32_t f = opened_slot(raf, unit, "RFINEW", ierr);
    if (f == 0) return;
    if (maxarr <= 0 || maxarr > kMaxI8) {
        raf.current = 0;
        fail(raf, ierr, maxarr <= 0 ? 1046 : 1061, "RFINEW", maxarr);
        return;
    }
    raf.current = f;
    Slot& s = raf.slot(f);

    std::int32_t adr = 1;
    std::int32_t e = 0;
    FFILE(raf, unit, 0, adr, std::span<const std::int32_t>{}, kKeyWords, e);
    // The MFP of a new file is given whole pages: MFPMAX rounded up to a
    // multiple of 64 entries, two records per page. MFPNXT = 3 + 2 *
    // ceil(MFPMAX/64), so the last page never shares a record with the first
    // data area (with ceil(MFPMAX/32) records it would whenever that number
    // is odd).
    const std::int64_t pages =
        (static_cast<std::int64_t>(maxarr) + kPageEntries - 1) / kPageEntries;
    s.mfpadr = adr;
    s.mfpnxt = static_cast<std::int32_t>(adr + 2 * pages);
    s.mfpmax = maxarr;
    s.mfpcur = 0;
    s.chkrs1 = 0;
    s.chkrs2 = 0;
    s.mfplen = s.mfpnxt - s.mfpadr;

    const std::string z = "  000000  000000";
    s.key = io::fixed("RAFLIB  " + std::string("   0") + "   0" + raf.machine.name +
                          raf.machine.type_text + s.stamp + z + z + "   0" + "   0" + "       0" +
                          "       0" + "       0" + "       0" + "       0" + "   0",
                      kKeyLength);
    encode_field(s.key, kPosVersion, 4, raf.version);
    encode_field(s.key, kPosVersion + 4, 4, raf.revision);
    write_integers(s);
    encode_field(s.key, kPosRecordLength, 8, kRecordBytes);
    s.computer_type = raf.machine.type;

    RFPKEY(raf, ierr);
    if (ierr != 0) {
        raf.current = 0;
        RFMESS(raf, ierr, "RFINEW", 0, kUndefined, "");
        return;
    }

    // Zero pages, written in batches of up to 64 pages.
    constexpr std::int64_t kBatch = 64;
    const std::vector<std::int32_t> zeros(
        static_cast<std::size_t>(std::min(pages, kBatch) * kPageWords), 0);
    std::int32_t a = s.mfpadr;
    for (std::int64_t done = 0; done < pages;) {
        const std::int64_t k = std::min(kBatch, pages - done);
        FFILE(raf, unit, 1, a, std::span<const std::int32_t>(zeros),
              static_cast<std::int32_t>(k * kPageWords), ierr);
        if (ierr != 0) {
            raf.current = 0;
            RFIOER(raf, ierr, "RFINEW", 1);
            return;
        }
        done += k;
    }

    s.age.fill(kCachePages);
    s.lock = 3;
    s.access = 0;
    s.unit = unit;
    s.pending = false;
    ++raf.iwfile;
}

void RFFINO(Raflib& raf, std::int32_t unit, std::int32_t& ierr) {
    const std::int32_t type = raf.ctx.type;
    raf.ctx = ArrayContext{};
    raf.ctx.type = type;
    const std::int32_t f = initialised_slot(raf, unit);
    if (f != 0) {
        raf.current = f;
        ierr = 0;
        return;
    }
    raf.current = 0;
    fail(raf, ierr, 1022, "RFFINO");
    RFTRAC(raf, "RFFINO");
}

void RFGKEY(Raflib& raf, std::int32_t& ierr) {
    Slot& s = raf.cur();
    std::array<std::int32_t, kKeyWords> words{};
    std::int32_t a = 1;
    const std::int32_t unit = s.unit < 0 ? -s.unit : s.unit;
    FFILE(raf, unit, 2, a, std::span<std::int32_t>(words), kKeyWords, ierr);
    if (ierr != 0) {
        RFIOER(raf, ierr, "RFGKEY", 2);
        return;
    }
    s.key = words_to_key(words);
}

void RFPKEY(Raflib& raf, std::int32_t& ierr) {
    Slot& s = raf.cur();
    if (s.access == 5 || s.access == 6) s.key.replace(kPosLastWrite - 1, 16, s.stamp);
    if (s.access == 4 || s.access == 6) s.key.replace(kPosLastRead - 1, 16, s.stamp);
    write_integers(s);
    std::array<std::int32_t, kKeyWords> words{};
    key_to_words(s.key, words);
    RFCHKW(raf, ierr);
    if (ierr != 0) {
        RFTRAC(raf, "RFPKEY");
        return;
    }
    std::int32_t a = 1;
    const std::int32_t unit = s.unit < 0 ? -s.unit : s.unit;
    FFILE(raf, unit, 1, a, std::span<const std::int32_t>(words), kKeyWords, ierr);
    if (ierr != 0) {
        RFIOER(raf, ierr, "RFPKEY", 1);
        return;
    }
    if (s.access > 3) s.access -= 3;
    ++raf.iwfile;
}

void RFCHKW(Raflib& raf, std::int32_t& ierr) {
    const std::int32_t t = raf.current != 0 ? raf.cur().computer_type : raf.file_type;
    if (t != 0 && t != raf.machine.type) {
        fail(raf, ierr, 1071, "RFCHKW", kUndefined, computer_name(raf, t));
        return;
    }
    ierr = 0;
}

void RFACCS(Raflib& raf, std::int32_t op) {
    static constexpr std::array<std::int32_t, 7> kRead = {4, 4, 6, 6, 4, 6, 6};
    static constexpr std::array<std::int32_t, 7> kWrite = {5, 6, 5, 6, 6, 5, 6};
    if (raf.current == 0) return;
    Slot& s = raf.cur();
    const auto k = static_cast<std::size_t>(std::clamp(s.access, 0, 6));
    s.access = op == kOpRead ? kRead[k] : kWrite[k];
}

void RAFUPD(Raflib& raf, std::int32_t unit, std::int32_t& ierr) {
    RFFINO(raf, unit, ierr);
    if (ierr == 0) RFPMFP(raf, ierr);
    if (ierr == 0) RFPKEY(raf, ierr);
    if (ierr != 0) {
        RFTRAC(raf, "RAFUPD");
        return;
    }
    raf.cur().pending = false;
}

void RAFCLS(Raflib& raf, std::int32_t unit, std::int32_t& ierr) {
    ierr = 0;
    const std::int32_t f = initialised_slot(raf, unit);
    if (f == 0) return;
    raf.current = f;
    // Only a file with changes not yet written gets its pages and key written
    // back, so that a file that was only read is left exactly as it was.
    if (raf.slot(f).pending) {
        RAFUPD(raf, unit, ierr);
        if (ierr != 0) {
            RFTRAC(raf, "RAFCLS");
            return;
        }
    }
    raf.units.close(unit);
    raf.slot(f) = Slot{};
    raf.current = 0;
}

}  // namespace raflib
