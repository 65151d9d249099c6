// DMS book-keeping: open, name table, definition, allocation, release and
// inquiries.
#include "dms/dms.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "dms/dms_internal.h"
#include "dms/vutil.h"
#include "io/fmt.h"

namespace dms {

namespace {

using detail::count_error;
using detail::decrement;

constexpr std::int32_t kFirstArray = 11;  // numbers 1..10 hold control words
constexpr std::int32_t kMaxWordsPerElement = 10;
constexpr std::int32_t kNoNames = 10;  // NT(3) of an empty name table

// Words of the control block proper: MCM(K+j).
constexpr std::int32_t kTop = 1;
constexpr std::int32_t kLast = 2;
constexpr std::int32_t kHighWater = 3;
constexpr std::int32_t kNameTable = 5;

// Pseudo-arrays: the name table and the three tables.
constexpr std::int32_t kNT = 5;
constexpr std::int32_t kT2 = 7;
constexpr std::int32_t kT3 = 8;

// Message codes.
constexpr std::int32_t kTooLong = 11;
constexpr std::int32_t kIllegalChar = 12;
constexpr std::int32_t kCorrupt = 13;  // DMSMS2 (DMSMS1: character number)
constexpr std::int32_t kOutOfOrder = 14;
constexpr std::int32_t kNoRoomForNames = 15;
constexpr std::int32_t kOverflow = 14;  // DMSMS2
constexpr std::int32_t kNameInUse = 17;
constexpr std::int32_t kBadEntry = 20;
constexpr std::int32_t kIllegalNumber = 21;
constexpr std::int32_t kNotDefined = 22;
constexpr std::int32_t kBadNameNumber = 23;
constexpr std::int32_t kUndefined = 24;
constexpr std::int32_t kInconsistent = 25;
constexpr std::int32_t kOccured = 51;
constexpr std::int32_t kBadWordsPerElement = 12;  // DMSMS2
constexpr std::int32_t kNegativeDim = 26;
constexpr std::int32_t kHasStorage = 30;

constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// The checked shape of a control block. Every value has been verified against
// the work array, so word addresses derived from it lie inside.
struct Layout {
    std::int32_t n = 0;      // N, number of array numbers
    std::int32_t k = 0;      // K = 2N
    std::int32_t nwiwa = 0;  // last usable word
    std::int32_t top = 0;    // first free word
    std::int32_t nta = 0;    // name-table address, 0 = none
    std::int32_t base = 0;   // first word of primary storage

    // MCM(K+j) of pseudo-array j = 5..8.
    std::int64_t first_word(std::int32_t j) const {
        switch (j) {
            case kNT:
                return nta;
            case kT2:
                return static_cast<std::int64_t>(n) + 1;
            case kT3:
                return 2 * static_cast<std::int64_t>(n) + 1;
            default:
                return 1;
        }
    }
};

// The layout of the MCM, or nothing when any control word is out of place:
// MCM(1) != 2N, N <= 10, tables or name table outside the work array, top or
// NWIWA out of range, NT(3) outside 10..N.
std::optional<Layout> layout_of(const WorkArray& w) {
    if (w.size() < 10) return std::nullopt;
    Layout l;
    l.n = w.i(6);
    if (l.n <= kNoNames || w.i(7) != l.n || w.i(8) != l.n) return std::nullopt;
    const std::int64_t tables = 3 * static_cast<std::int64_t>(l.n);
    if (tables + 1 > w.size() || w.i(1) != 2 * l.n) return std::nullopt;
    l.k = 2 * l.n;
    const auto ctl = [&](std::int32_t j) { return w.i(static_cast<std::int64_t>(l.k) + j); };
    l.nwiwa = ctl(kLast);
    l.top = ctl(kTop);
    l.nta = ctl(kNameTable);
    if (l.nwiwa < tables + 1 || l.nwiwa > w.size() || l.nwiwa == kInt32Max) return std::nullopt;
    if (l.top < tables + 1 || static_cast<std::int64_t>(l.top) > l.nwiwa + std::int64_t{1})
        return std::nullopt;
    if (ctl(6) != 1 || ctl(7) != l.n + 1 || ctl(8) != 2 * l.n + 1) return std::nullopt;
    l.base = static_cast<std::int32_t>(tables + 1);
    if (l.nta != 0) {
        if (l.nta < tables + 1 || static_cast<std::int64_t>(l.nta) + l.k > l.top)
            return std::nullopt;
        const std::int32_t nt3 = w.i(static_cast<std::int64_t>(l.nta) + 2);
        if (nt3 < kNoNames || nt3 > l.n) return std::nullopt;
        l.base = l.nta + l.k;
    }
    return l;
}

// Table access through the pseudo-array rule; i must be in range.
std::int32_t get(const WorkArray& w, const Layout& l, std::int32_t j, std::int64_t i) {
    return w.i(l.first_word(j) + i - 1);
}
void put(WorkArray& w, const Layout& l, std::int32_t j, std::int64_t i, std::int32_t v) {
    w.set_i(l.first_word(j) + i - 1, v);
}

std::int32_t t1(const WorkArray& w, std::int32_t a) {
    return w.i(a);
}
std::int32_t t2(const WorkArray& w, const Layout& l, std::int32_t a) {
    return get(w, l, kT2, a);
}
std::int32_t t3(const WorkArray& w, const Layout& l, std::int32_t a) {
    return get(w, l, kT3, a);
}

void set_ctl(WorkArray& w, const Layout& l, std::int32_t j, std::int32_t v) {
    w.set_i(static_cast<std::int64_t>(l.k) + j, v);
}
std::int32_t ctl(const WorkArray& w, const Layout& l, std::int32_t j) {
    return w.i(static_cast<std::int64_t>(l.k) + j);
}

bool legal_number(const Layout& l, std::int32_t a) {
    return a >= kFirstArray && a <= l.n;
}

// Entry a (11..N) is sound: dimension >= 0, element size 0..10, and storage,
// if any, of a defined array inside primary storage below the top.
bool entry_ok(const WorkArray& w, const Layout& l, std::int32_t a) {
    const std::int32_t d = t1(w, a);
    const std::int32_t e = t2(w, l, a);
    const std::int32_t addr = t3(w, l, a);
    if (d < 0 || e < 0 || e > kMaxWordsPerElement || addr < 0) return false;
    if (addr == 0) return true;
    if (e == 0 || addr < l.base) return false;
    return addr + static_cast<std::int64_t>(d) * e <= l.top;
}

// 0, or the code of the fault (11 too long, 12 illegal character).
std::int32_t pack(std::string_view name, NameWords& words) {
    const auto packed = pack_name(name);
    words = packed.value_or(NameWords{});
    if (packed) return 0;
    return name.size() > kMaxNameLength ? kTooLong : kIllegalChar;
}

std::int32_t find(const WorkArray& w, const Layout& l, NameWords words) {
    if (l.nta == 0 || words == NameWords{}) return 0;
    const std::int32_t last = get(w, l, kNT, 3);
    for (std::int32_t a = kFirstArray; a <= last; ++a) {
        if (get(w, l, kNT, 2 * static_cast<std::int64_t>(a) - 1) == words.first &&
            get(w, l, kNT, 2 * static_cast<std::int64_t>(a)) == words.second)
            return a;
    }
    return 0;
}

// A DMSMS2 message of a routine: counted in MCM(3) and in ierr.
void fail2(WorkArray& w, io::Units& u, std::int32_t code, std::int64_t v1, std::int64_t v2,
           std::int64_t v3, std::int32_t label, std::int32_t& ierr) {
    DMSMS2(w, u, code, v1, v2, v3, label);
    count_error(w);
    decrement(ierr);
}

void corrupt(WorkArray& w, io::Units& u, std::int32_t label, std::int32_t& ierr) {
    fail2(w, u, kCorrupt, 0, 0, 0, label, ierr);
}

// The layout, or nothing after the "(MCM) is corrupt" message.
std::optional<Layout> checked(WorkArray& w, io::Units& u, std::int32_t label, std::int32_t& ierr) {
    auto l = layout_of(w);
    if (!l) corrupt(w, u, label, ierr);
    return l;
}

// The same for the name-based operations, which also need the name table.
std::optional<Layout> named(WorkArray& w, io::Units& u, std::int32_t label) {
    std::int32_t ierr = 0;
    auto l = checked(w, u, label, ierr);
    if (l && l->nta == 0) {
        DMSMS1(w, u, kOutOfOrder, "", 0, label);
        return std::nullopt;
    }
    return l;
}

// A name-based request: the checked layout with its name table and the
// name words, or nothing after the messages (a name that does not pack is
// followed by "Occured for array").
struct Request {
    Layout layout;
    NameWords words;
};

std::optional<Request> request(WorkArray& w, io::Units& u, std::string_view name,
                               std::int32_t label) {
    const auto l = named(w, u, label);
    if (!l) return std::nullopt;
    NameWords words;
    if (!DMSPAK(w, u, name, label, words)) {
        DMSMS1(w, u, kOccured, name, 0, label);
        return std::nullopt;
    }
    return Request{*l, words};
}

}  // namespace

// ---------------------------------------------------------------------------

void DMSOPN_32(WorkArray& w, io::Units& u, std::int32_t nwiwa, std::int32_t nla,
               std::int32_t /*isec*/, std::int32_t lpu, std::int32_t& ierr) {
    const std::int64_t n = nla < 0 ? -static_cast<std::int64_t>(nla) : nla;
    if (n <= kNoNames || nwiwa < 3 * n + 1 || nwiwa > w.size() || nwiwa == kInt32Max) {
        count_error(w);
        decrement(ierr);
        if (lpu > 0) {
            for (int i = 0; i < 3; ++i) u.write(lpu, "");
            u.write(lpu, " *** ERROR RETURN - V E K LIBRARY ROUTINE DMSOPN_32 **");
            u.write(lpu, "     ILLEGAL PARAMETER(S) : NWIWA, NLA  =" + io::fmt::I(nwiwa, 8) +
                             io::fmt::I(nla, 8));
        }
        return;
    }
    const auto nn = static_cast<std::int32_t>(n);
    const std::int32_t k = 2 * nn;
    w.set_free_from(3 * n + 2);
    VFILLI(w.words(1, 3 * n + 1), 1, 3 * nn + 1, 0);
    w.set_i(1, k);
    w.set_i(2, 3 * nn);
    w.set_i(4, lpu);
    w.set_i(5, 1);
    for (std::int32_t j = 6; j <= 8; ++j) {
        w.set_i(j, nn);      // T1(6..8): dimension of the tables
        w.set_i(nn + j, 1);  // T2(6..8): one word per element
    }
    w.set_i(k + kTop, 3 * nn + 1);
    w.set_i(k + kLast, nwiwa);
    w.set_i(k + kHighWater, 3 * nn + 1);
    w.set_i(k + 6, 1);
    w.set_i(k + 7, nn + 1);
    w.set_i(k + 8, 2 * nn + 1);
    // Everything above the tables is free: the arrays of an earlier control block are gone.
    w.set_free_from(3 * n + 1);
}

void DMSANN(WorkArray& mcm, io::Units& u, std::int32_t /*mode*/, std::int32_t fold,
            std::int32_t label) {
    const auto l = layout_of(mcm);
    if (!l || l->top > 3 * static_cast<std::int64_t>(l->n) + 1) {
        DMSMS1(mcm, u, kOutOfOrder, "", 0, label);
        return;
    }
    const std::int64_t p = l->top;
    const std::int64_t last = p + l->k - 1;
    if (last > l->nwiwa) {
        DMSMS1(mcm, u, kNoRoomForNames, "", last - l->nwiwa, label);
        return;
    }
    mcm.set_free_from(p + l->k);
    VFILLI(mcm.words(p, l->k), 1, l->k, 0);
    set_ctl(mcm, *l, kNameTable, static_cast<std::int32_t>(p));
    set_ctl(mcm, *l, kTop, static_cast<std::int32_t>(p + l->k));
    mcm.set_i(p + 1, fold);      // NT(2)
    mcm.set_i(p + 2, kNoNames);  // NT(3)
    const std::int64_t words = static_cast<std::int64_t>(mcm.i(2)) + l->k;
    mcm.set_i(2, static_cast<std::int32_t>(std::min<std::int64_t>(words, kInt32Max)));
}

bool DMSPAK(WorkArray& mcm, io::Units& u, std::string_view name, std::int32_t label,
            NameWords& words) {
    const std::int32_t code = pack(name, words);
    if (code == 0) return true;
    DMSMS1(mcm, u, code, name, 0, label);
    return false;
}

bool DMSUNP(WorkArray& mcm, io::Units& u, NameWords words, std::int32_t label, std::string& name,
            std::int32_t& count) {
    const UnpackedName unpacked = unpack_name(words);
    name.assign(kMaxNameLength, ' ');
    name.replace(0, unpacked.name.size(), unpacked.name);
    count = static_cast<std::int32_t>(unpacked.name.size());
    if (unpacked.bad != 0) {
        DMSMS1(mcm, u, kCorrupt, name, unpacked.bad, label);
        return false;
    }
    return true;
}

std::int32_t DMSFND(const WorkArray& mcm, NameWords words) {
    const auto l = layout_of(mcm);
    return l ? find(mcm, *l, words) : 0;
}

std::int32_t DMSGET(const WorkArray& mcm, std::int32_t j, std::int32_t i) {
    const auto l = layout_of(mcm);
    if (!l || j < kNT || j > kT3 || i < 1) return 0;
    if (j == kNT ? (l->nta == 0 || i > l->k) : i > l->n) return 0;
    return get(mcm, *l, j, i);
}

void DMSPUT(WorkArray& mcm, std::int32_t j, std::int32_t i, std::int32_t value) {
    const auto l = layout_of(mcm);
    if (!l || j < kNT || j > kT3 || i < 1) return;
    if (j == kNT ? (l->nta == 0 || i > l->k) : i > l->n) return;
    put(mcm, *l, j, i, value);
}

void DMSDIM(WorkArray& mcm, io::Units& u, std::int32_t a, std::int32_t dim, std::int32_t nwpe,
            std::int32_t label, std::int32_t& ierr) {
    const auto l = checked(mcm, u, label, ierr);
    if (!l) return;
    if (!legal_number(*l, a) || !entry_ok(mcm, *l, a)) {
        corrupt(mcm, u, label, ierr);
        return;
    }
    if (nwpe < 1 || nwpe > kMaxWordsPerElement) {
        fail2(mcm, u, kBadWordsPerElement, nwpe, a, 0, label, ierr);
        return;
    }
    if (dim < 0) {
        fail2(mcm, u, kNegativeDim, a, 0, 0, label, ierr);
        return;
    }
    if (t3(mcm, *l, a) > 0) {
        fail2(mcm, u, kHasStorage, a, 0, 0, label, ierr);
        return;
    }
    mcm.set_i(a, dim);
    put(mcm, *l, kT2, a, nwpe);
}

void DMSDCL(WorkArray& mcm, io::Units& u, std::string_view name, std::int32_t a, std::int32_t dim,
            std::int32_t nwpe, std::int32_t label) {
    const auto r = request(mcm, u, name, label);
    if (!r) return;
    const Layout& l = r->layout;
    const NameWords words = r->words;
    if (!legal_number(l, a)) {
        DMSMS1(mcm, u, kIllegalNumber, name, a, label);
        return;
    }
    const std::int32_t e = t2(mcm, l, a);
    if (e < 0 || e > kMaxWordsPerElement) {
        DMSMS1(mcm, u, kBadEntry, name, 0, label);
        return;
    }
    const std::int32_t owner = find(mcm, l, words);
    if (owner != 0 && (e == 0 || owner != a)) {
        DMSMS1(mcm, u, kNameInUse, name, owner, label);
        return;
    }
    std::int32_t ierr = 0;
    DMSDIM(mcm, u, a, dim, nwpe, label, ierr);
    if (ierr != 0) {
        DMSMS1(mcm, u, kOccured, name, 0, label);
        return;
    }
    put(mcm, l, kNT, 2 * static_cast<std::int64_t>(a) - 1, words.first);
    put(mcm, l, kNT, 2 * static_cast<std::int64_t>(a), words.second);
    if (e == 0) put(mcm, l, kNT, 3, std::max(get(mcm, l, kNT, 3), a));
}

void DMSALC(WorkArray& mcm, io::Units& u, std::int32_t a, std::int32_t& ptr, std::int32_t label,
            std::int32_t& ierr) {
    ptr = 0;
    const auto l = checked(mcm, u, label, ierr);
    if (!l) return;
    if (!legal_number(*l, a) || !entry_ok(mcm, *l, a) || t2(mcm, *l, a) == 0) {
        corrupt(mcm, u, label, ierr);
        return;
    }
    const std::int64_t e = t2(mcm, *l, a);
    const std::int64_t d = t1(mcm, a);
    const std::int64_t f = (l->top - 1 + e - 1) / e;  // ceiling((top - 1) / E)
    const std::int64_t addr = e * f + 1;
    const std::int64_t new_top = addr + e * d + (d == 0 ? 1 : 0);
    if (new_top - 1 > l->nwiwa) {
        fail2(mcm, u, kOverflow, l->nwiwa, new_top - 1 - l->nwiwa, a, label, ierr);
        return;
    }
    put(mcm, *l, kT3, a, static_cast<std::int32_t>(addr));
    set_ctl(mcm, *l, kTop, static_cast<std::int32_t>(new_top));
    mcm.set_free_from(new_top);
    if (new_top - 1 > ctl(mcm, *l, kHighWater))
        set_ctl(mcm, *l, kHighWater, static_cast<std::int32_t>(new_top - 1));
    ptr = static_cast<std::int32_t>(f + 1);
}

std::int32_t DMSPTR(WorkArray& mcm, io::Units& u, std::string_view name, std::int32_t label) {
    const auto r = request(mcm, u, name, label);
    if (!r) return 0;
    const Layout& l = r->layout;
    const NameWords words = r->words;
    const std::int32_t a = find(mcm, l, words);
    if (a < kFirstArray || t2(mcm, l, a) == 0) {
        DMSMS1(mcm, u, kUndefined, name, 0, label);
        return 0;
    }
    if (!entry_ok(mcm, l, a)) {
        DMSMS1(mcm, u, kInconsistent, name, 0, label);
        return 0;
    }
    const std::int32_t e = t2(mcm, l, a);
    const std::int32_t addr = t3(mcm, l, a);
    if (addr != 0) {
        if ((addr - 1) % e == 0) return (addr - 1) / e + 1;
        DMSMS1(mcm, u, kInconsistent, name, 0, label);
        return 0;
    }
    std::int32_t ptr = 0;
    std::int32_t ierr = 0;
    DMSALC(mcm, u, a, ptr, label, ierr);
    if (ierr != 0) {
        DMSMS1(mcm, u, kOccured, name, 0, label);
        return 0;
    }
    return ptr;
}

std::int32_t DMSINQ(const WorkArray& mcm, std::string_view name, std::int32_t sel) {
    NameWords words;
    if (pack(name, words) != 0) return -1;
    const auto l = layout_of(mcm);
    if (!l) return -1;
    const std::int32_t a = find(mcm, *l, words);
    if (a == 0 || !entry_ok(mcm, *l, a)) return -1;
    switch (sel) {
        case 1:
            return t1(mcm, a);
        case 2:
            return t2(mcm, *l, a);
        case 3:
            return t3(mcm, *l, a);
        default:
            return -1;
    }
}

std::int32_t DMSNUM(WorkArray& mcm, io::Units& u, std::string_view name, std::int32_t label) {
    const auto r = request(mcm, u, name, label);
    if (!r) return 0;
    const Layout& l = r->layout;
    const NameWords words = r->words;
    return find(mcm, l, words);
}

void DMSNAM(WorkArray& mcm, io::Units& u, std::int32_t a, std::int32_t label, std::string& name,
            std::int32_t& count) {
    name.assign(kMaxNameLength, ' ');
    count = 0;
    const auto l = named(mcm, u, label);
    if (!l) return;
    if (!legal_number(*l, a)) {  // MCM(8) = N
        DMSMS1(mcm, u, kBadNameNumber, "", a, label);
        return;
    }
    const NameWords words{get(mcm, *l, kNT, 2 * static_cast<std::int64_t>(a) - 1),
                          get(mcm, *l, kNT, 2 * static_cast<std::int64_t>(a))};
    if (!DMSUNP(mcm, u, words, label, name, count)) {
        DMSMS1(mcm, u, kOccured, name, 0, label);
        name.assign(kMaxNameLength, ' ');
        count = 0;
    }
}

void DMSFRE(WorkArray& mcm, io::Units& u, std::string_view name, std::int32_t label) {
    const std::int32_t a = DMSNUM(mcm, u, name, label);
    if (a <= kNoNames) {
        DMSMS1(mcm, u, kNotDefined, name, 0, label);
        return;
    }
    std::int32_t ierr = 0;
    DMSRLS(mcm, u, a, label, ierr);
    if (ierr != 0) DMSMS1(mcm, u, kOccured, name, 0, label);
}

void DMSRLS(WorkArray& mcm, io::Units& u, std::int32_t a, std::int32_t label, std::int32_t& ierr) {
    const auto l = checked(mcm, u, label, ierr);
    if (!l) return;
    if (!legal_number(*l, a)) {
        corrupt(mcm, u, label, ierr);
        return;
    }
    const std::int32_t dim = t1(mcm, a);
    const std::int32_t before = ierr;
    DMSSHR(mcm, u, a, 0, label, ierr);
    if (ierr != before) return;
    mcm.set_i(a, dim);
    put(mcm, *l, kT3, a, 0);
}

void DMSSHR(WorkArray& mcm, io::Units& u, std::int32_t a, std::int32_t newdim, std::int32_t label,
            std::int32_t& ierr) {
    const auto l = checked(mcm, u, label, ierr);
    if (!l) return;
    if (!legal_number(*l, a) || !entry_ok(mcm, *l, a)) {
        corrupt(mcm, u, label, ierr);
        return;
    }
    if (newdim < 0) {
        fail2(mcm, u, kNegativeDim, a, 0, 0, label, ierr);
        return;
    }
    const std::int32_t addr = t3(mcm, *l, a);
    if (newdim >= t1(mcm, a) || addr == 0) return;  // nothing to give back
    const std::int32_t ea = t2(mcm, *l, a);
    if (ea <= 0) {
        corrupt(mcm, u, label, ierr);
        return;
    }
    std::int64_t e = addr + static_cast<std::int64_t>(newdim) * ea;  // first word given back
    const std::int64_t old_top = l->top;

    std::int32_t hi = l->n;
    while (hi >= kFirstArray && t2(mcm, *l, hi) <= 0) --hi;
    // Every array that may move must be sound before the first word moves.
    for (std::int32_t b = kFirstArray; b <= hi; ++b) {
        if (t3(mcm, *l, b) > e && !entry_ok(mcm, *l, b)) {
            corrupt(mcm, u, label, ierr);
            return;
        }
    }

    // The words given back hold nothing any more (seen in the sanitizer build).
    mcm.fill_stale(e, addr + static_cast<std::int64_t>(t1(mcm, a)) * ea - e);

    // Move the arrays above e down, lowest address first.
    std::int32_t s = kFirstArray;
    for (;;) {
        std::int32_t b = 0;
        std::int32_t from = 0;
        std::int32_t next_s = 0;
        for (std::int32_t c = s; c <= hi; ++c) {
            const std::int32_t tc = t3(mcm, *l, c);
            if (tc <= e) continue;
            if (next_s == 0) next_s = c;
            if (b == 0 || tc < from) {
                b = c;
                from = tc;
            }
        }
        if (b == 0) break;
        s = next_s;
        const std::int64_t eb = t2(mcm, *l, b);
        const std::int64_t to = eb * ((e - 1 + eb - 1) / eb) + 1;
        if (to == from) {  // the arrays above are in place; the top stays
            mcm.set_i(a, newdim);
            return;
        }
        if (to > from) {
            corrupt(mcm, u, label, ierr);
            return;
        }
        const std::int64_t len = static_cast<std::int64_t>(t1(mcm, b)) * eb;
        put(mcm, *l, kT3, b, static_cast<std::int32_t>(to));
        VCOPYI(mcm.words(from, len), mcm.words(to, len), static_cast<std::int32_t>(len));
        e = to + len;
    }
    set_ctl(mcm, *l, kTop, static_cast<std::int32_t>(e));
    mcm.set_i(a, newdim);
    // The words the moves left behind and the old top fall free.
    if (e < old_top) mcm.set_free_from(e);
}

std::int32_t DMSERR(const WorkArray& mcm) {
    return mcm.size() >= 3 ? mcm.i(3) : -1;
}

std::int32_t DMSMOD(WorkArray& mcm, io::Units& u) {
    const auto l = layout_of(mcm);
    if (l && l->nta == 0) return 3;
    if (l && get(mcm, *l, kNT, 1) == 0) return 2;
    std::int32_t ierr = 0;
    corrupt(mcm, u, 0, ierr);
    return 0;
}

std::int32_t DMSCTL(const WorkArray& mcm, std::int32_t sel) {
    const auto l = layout_of(mcm);
    if (!l) return 0;
    switch (sel) {
        case 1:
            return l->n;
        case 3:
            return mcm.i(5);
        case 4:
            return l->top;
        case 5:
            return l->nwiwa;
        default:
            return 0;
    }
}

}  // namespace dms
