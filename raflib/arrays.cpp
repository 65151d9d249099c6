#include "raflib/arrays.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "raflib/files.h"
#include "raflib/layout.h"
#include "raflib/messages.h"

namespace raflib {

namespace {

void fail(Raflib& raf, std::int32_t& ierr, std::int32_t number, std::string_view routine,
          std::int32_t ivalue = kUndefined) {
    ierr = number;
    RFMESS(raf, ierr, routine, 0, ivalue, "");
}

std::int32_t element_size(const Raflib& raf, std::int32_t type) {
    if (type < 1 || type > 5) return 0;
    return raf.machine.element_size[static_cast<std::size_t>(type)];
}

// The four words of the context's entry in the cache.
std::span<std::int32_t, 4> cached_entry(Raflib& raf) {
    auto& page = raf.cur().pages[static_cast<std::size_t>(raf.ctx.cache_slot - 1)];
    return std::span<std::int32_t, 4>(page.data() + 4 * (raf.ctx.entry - 1), 4);
}

void mark_dirty(Raflib& raf) {
    Slot& s = raf.cur();
    s.dirty[static_cast<std::size_t>(raf.ctx.cache_slot - 1)] = 1;
    s.pending = true;
}

std::int32_t page_record(const Slot& s, std::int64_t page) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        s.mfpadr + 2 * (page - 1), std::numeric_limits<std::int32_t>::min(),
        std::numeric_limits<std::int32_t>::max()));
}

// Words of count elements of a type (integer division, exact for types 1-4).
std::int64_t words_of(const Raflib& raf, std::int32_t type, std::int32_t count) {
    return static_cast<std::int64_t>(count) * element_size(raf, type) / 4;
}

// Message 1044 under routine when the buffer holds fewer than `words` words.
bool fits(Raflib& raf, std::string_view routine, std::int32_t op, std::int64_t words,
          std::size_t size, std::int32_t& ierr) {
    if (words <= static_cast<std::int64_t>(size)) return true;
    ierr = kFfileBufferTooSmall;
    RFIOER(raf, ierr, routine, op);
    return false;
}

// Transfers `words` words between the buffer and the data area of the
// current array and updates the access state; false after the I/O message.
template <class Word>
bool transfer(Raflib& raf, std::string_view routine, std::int32_t op, std::int32_t unit,
              std::span<Word> buffer, std::int64_t words, std::int32_t& ierr) {
    std::int32_t address = raf.ctx.address;
    FFILE(raf, unit, op, address, buffer, static_cast<std::int32_t>(words), ierr);
    if (ierr != 0) {
        RFIOER(raf, ierr, routine, op);
        return false;
    }
    RFACCS(raf, op);
    return true;
}

void read_array(Raflib& raf, std::string_view routine, std::int32_t type, std::string_view kind,
                std::span<std::int32_t> buffer, std::int32_t count, std::int32_t arrayno,
                std::int32_t unit, std::int32_t& ierr) {
    ierr = 0;
    RFFNFP(raf, unit, arrayno, type, count, kOpRead, ierr);
    if (ierr != 0) {
        RFTRAC(raf, routine);
        return;
    }
    if (raf.cur().lock == 2) {
        fail(raf, ierr, 1023, routine);
        return;
    }
    const std::int64_t words = words_of(raf, raf.ctx.type, count);
    if (!fits(raf, routine, kOpRead, words, buffer.size(), ierr) ||
        !transfer(raf, routine, kOpRead, unit, buffer, words, ierr)) {
        return;
    }
    RFCNVD(raf, kind, buffer, static_cast<std::int32_t>(words), ierr);
    if (ierr != 0) RFTRAC(raf, routine);
}

void write_array(Raflib& raf, std::string_view routine, std::int32_t type,
                 std::span<const std::int32_t> buffer, std::int32_t count, std::int32_t arrayno,
                 std::int32_t unit, std::int32_t& ierr) {
    ierr = 0;
    // Locate the entry first: the checks below then report the array.
    RFFNFP(raf, unit, arrayno, type, count, kOpLocate, ierr);
    if (ierr == 0) RFCHKW(raf, ierr);
    if (ierr != 0) {
        RFTRAC(raf, routine);
        return;
    }
    // Nothing is allocated or changed for a request that cannot be written.
    if (count < 0) {
        ierr = kFfileNegativeCount;
        RFIOER(raf, ierr, routine, kOpWrite);
        return;
    }
    const std::int64_t words = words_of(raf, type, count);
    if (!fits(raf, routine, kOpWrite, words, buffer.size(), ierr)) return;
    RFFNFP(raf, unit, arrayno, type, count, kOpWrite, ierr);
    if (ierr != 0) {
        RFTRAC(raf, routine);
        return;
    }
    if (transfer(raf, routine, kOpWrite, unit, buffer, words, ierr)) raf.cur().pending = true;
}

}  // namespace

void RAFGIN(Raflib& raf, std::span<std::int32_t> buffer, std::int32_t count, std::int32_t arrayno,
            std::int32_t unit, std::int32_t& ierr) {
    read_array(raf, "RAFGIN", 1, "IN", buffer, count, arrayno, unit, ierr);
}

void RAFGRE(Raflib& raf, std::span<std::int32_t> buffer, std::int32_t count, std::int32_t arrayno,
            std::int32_t unit, std::int32_t& ierr) {
    read_array(raf, "RAFGRE", 2, "RE", buffer, count, arrayno, unit, ierr);
}

void RAFGDP(Raflib& raf, std::span<std::int32_t> buffer, std::int32_t count, std::int32_t arrayno,
            std::int32_t unit, std::int32_t& ierr) {
    read_array(raf, "RAFGDP", 3, "DP", buffer, count, arrayno, unit, ierr);
}

void RAFGRD(Raflib& raf, std::span<std::int32_t> buffer, std::int32_t count, std::int32_t arrayno,
            std::int32_t unit, std::int32_t& ierr) {
    // The single values are read into the front half of the buffer, so a
    // buffer of fewer than 2 * count words is refused before the transfer.
    RAFGRE(raf, buffer.first(buffer.size() / 2), count, arrayno, unit, ierr);
    if (ierr != 0) {
        RFTRAC(raf, "RAFGRD");
        return;
    }
    RFR2DP(count, buffer, 1, buffer, 1);
}

void RAFPIN(Raflib& raf, std::span<const std::int32_t> buffer, std::int32_t count,
            std::int32_t arrayno, std::int32_t unit, std::int32_t& ierr) {
    write_array(raf, "RAFPIN", 1, buffer, count, arrayno, unit, ierr);
}

void RAFPRE(Raflib& raf, std::span<const std::int32_t> buffer, std::int32_t count,
            std::int32_t arrayno, std::int32_t unit, std::int32_t& ierr) {
    write_array(raf, "RAFPRE", 2, buffer, count, arrayno, unit, ierr);
}

void RAFPDP(Raflib& raf, std::span<const std::int32_t> buffer, std::int32_t count,
            std::int32_t arrayno, std::int32_t unit, std::int32_t& ierr) {
    write_array(raf, "RAFPDP", 3, buffer, count, arrayno, unit, ierr);
}

void RFFNFP(Raflib& raf, std::int32_t unit, std::int32_t arrayno, std::int32_t type,
            std::int32_t count, std::int32_t op, std::int32_t& ierr) {
    RFFINO(raf, unit, ierr);
    if (ierr != 0) {
        RFTRAC(raf, "RFFNFP");
        return;
    }
    RFMFPB(raf, arrayno, ierr);
    if (ierr != 0) {
        RFTRAC(raf, "RFFNFP");
        return;
    }
    if (op == kOpLocate) return;
    ArrayContext& c = raf.ctx;
    if (c.address > 0) {
        if (op == kOpAllocate) {
            fail(raf, ierr, 1047, "RFFNFP");
            return;
        }
        if (op == kOpWrite) {
            if (count > c.allocated) {
                fail(raf, ierr, 1027, "RFFNFP");
                return;
            }
            // A write of the wrong type changes nothing in the entry.
            if (type != c.type) {
                fail(raf, ierr, 1025, "RFFNFP");
                return;
            }
            if (count != c.current) {
                c.current = count;
                cached_entry(raf)[3] = count;
                mark_dirty(raf);
            }
        }
    } else if (c.address == 0) {
        if (op == kOpRead) {
            fail(raf, ierr, 1048, "RFFNFP");
            return;
        }
        if (op == kOpAllocate || op == kOpWrite) {
            RFALL(raf, unit, arrayno, type, count, op == kOpWrite ? count : 0, ierr);
            if (ierr != 0) {
                RFTRAC(raf, "RFFNFP");
                return;
            }
        }
    }
    if (type != c.type) {
        fail(raf, ierr, 1025, "RFFNFP");
    } else if (count < c.current) {
        fail(raf, ierr, 1026, "RFFNFP");
    } else if (count > c.allocated) {
        fail(raf, ierr, 1027, "RFFNFP");
    } else {
        ierr = 0;
    }
}

void RFMFPB(Raflib& raf, std::int32_t arrayno, std::int32_t& ierr) {
    ArrayContext& c = raf.ctx;
    c.arrayno = arrayno;
    if (raf.current == 0) {
        fail(raf, ierr, 1022, "RFMFPB");
        return;
    }
    Slot& s = raf.cur();
    if (arrayno <= 0 || arrayno > s.mfpmax) {
        fail(raf, ierr, 1069, "RFMFPB");
        return;
    }
    ierr = 0;
    const std::int32_t p = (arrayno - 1) / kPageEntries + 1;
    c.page = p;
    std::size_t hit = kCachePages;
    for (std::size_t i = 0; i < kCachePages; ++i) {
        if (s.page_no[i] == p) {
            hit = i;
            break;
        }
    }
    if (hit < kCachePages) {
        c.cache_slot = static_cast<std::int32_t>(hit + 1);
        const std::int32_t a = s.age[hit];
        if (a != 1) {
            for (auto& age : s.age)
                if (age < a) ++age;
            s.age[hit] = 1;
        }
    } else {
        // The least recently used slot has age 10; should none have it, the
        // oldest slot is taken.
        std::size_t j = 0;
        for (std::size_t i = 0; i < kCachePages; ++i)
            if (s.age[i] > s.age[j]) j = i;
        for (std::size_t i = 0; i < kCachePages; ++i) {
            if (s.age[i] == kCachePages) {
                j = i;
                break;
            }
        }
        c.cache_slot = static_cast<std::int32_t>(j + 1);
        RFSMFP(raf, ierr);
        for (auto& age : s.age) age = std::min(age + 1, static_cast<std::int32_t>(kCachePages));
        s.age[j] = 1;
    }
    c.entry = (arrayno - 1) % kPageEntries + 1;
    const auto e = cached_entry(raf);
    c.address = e[0];
    c.type = e[1];
    c.allocated = e[2];
    c.current = e[3];
}

void RFSMFP(Raflib& raf, std::int32_t& ierr) {
    ierr = 0;
    Slot& s = raf.cur();
    const auto j = static_cast<std::size_t>(raf.ctx.cache_slot - 1);
    const std::int32_t unit = s.unit;
    auto& page = s.pages[j];
    if (s.page_no[j] != 0 && s.dirty[j] != 0) {
        RFCHKW(raf, ierr);
        if (ierr != 0) {
            RFTRAC(raf, "RFSMFP");
            return;
        }
        std::int32_t a = page_record(s, s.page_no[j]);
        FFILE(raf, unit, kOpWrite, a, std::span<const std::int32_t>(page), kPageWords, ierr);
        if (ierr != 0) {
            RFIOER(raf, ierr, "RFSMFP", kOpWrite);
            RFTRAC(raf, "RFSMFP");
            return;
        }
        ++raf.iwfile;
    }
    s.page_no[j] = 0;
    s.dirty[j] = 0;
    std::int32_t a = page_record(s, raf.ctx.page);
    FFILE(raf, unit, kOpRead, a, std::span<std::int32_t>(page), kPageWords, ierr);
    if (ierr != 0) {
        RFIOER(raf, ierr, "RFSMFP", kOpRead);
        RFTRAC(raf, "RFSMFP");
        return;
    }
    RFCNVD(raf, "IN", page, kPageWords, ierr);
    if (ierr != 0) {
        RFTRAC(raf, "RFSMFP");
        return;
    }
    s.page_no[j] = raf.ctx.page;
}

void RFPMFP(Raflib& raf, std::int32_t& ierr) {
    RFCHKW(raf, ierr);
    if (ierr != 0) {
        RFTRAC(raf, "RFPMFP");
        return;
    }
    Slot& s = raf.cur();
    for (std::size_t j = 0; j < kCachePages; ++j) {
        if (s.page_no[j] != 0 && s.dirty[j] > 0) {
            std::int32_t a = page_record(s, s.page_no[j]);
            FFILE(raf, s.unit, kOpWrite, a, std::span<const std::int32_t>(s.pages[j]), kPageWords,
                  ierr);
            if (ierr != 0) {
                RFIOER(raf, ierr, "RFPMFP", kOpWrite);
                return;
            }
            s.dirty[j] = 0;
        }
    }
    ++raf.iwfile;
}

void RFALL(Raflib& raf, std::int32_t unit, std::int32_t arrayno, std::int32_t type,
           std::int32_t allocated, std::int32_t current, std::int32_t& ierr) {
    Slot& s = raf.cur();
    const std::int32_t size = element_size(raf, type);
    if (size == 0) {
        fail(raf, ierr, 1032, "RFALL ", type);
        return;
    }
    // The new MFPNXT is found before anything changes, so that a refused
    // allocation leaves entry and key as they were.
    const std::int64_t bytes = static_cast<std::int64_t>(allocated) * size;
    const std::int64_t words = bytes >= 0 ? (bytes + 3) / 4 : -1;
    if (words > std::numeric_limits<std::int32_t>::max()) {
        fail(raf, ierr, 1063, "RFALL ");
        return;
    }
    std::int32_t next = s.mfpnxt;
    FFILE(raf, unit, 0, next, std::span<const std::int32_t>{}, static_cast<std::int32_t>(words),
          ierr);
    if (ierr != 0) {
        RFIOER(raf, ierr, "RFALL ", 0);
        return;
    }
    if (next > kMaxI8) {
        fail(raf, ierr, 1063, "RFALL ", next);
        return;
    }
    const std::int32_t address = s.mfpnxt;
    const auto e = cached_entry(raf);
    e[0] = address;
    e[1] = type;
    e[2] = allocated;
    e[3] = current;
    mark_dirty(raf);
    raf.ctx.address = address;
    raf.ctx.type = type;
    raf.ctx.allocated = allocated;
    raf.ctx.current = current;
    s.mfpnxt = next;
    s.mfpcur = std::max(s.mfpcur, arrayno);
}

void RFCNVD(Raflib& raf, std::string_view kind, std::span<std::int32_t> buffer, std::int32_t words,
            std::int32_t& ierr) {
    ierr = 0;
    const std::int32_t self = raf.machine.type;
    const std::int32_t t = raf.current != 0 ? raf.cur().computer_type : raf.file_type;
    if (t == self) return;
    const ByteOrder rule = byte_order_rule(self, t);
    if (rule == ByteOrder::Refused) {
        ierr = 1070;
        RFMESS(raf, ierr, "RFCNVD", 0, kUndefined, computer_name(raf, t));
        return;
    }
    if (rule == ByteOrder::Same) return;
    const auto bytes = std::as_writable_bytes(buffer);
    if (kind == "IN" || kind == "RE" || kind == "CO") {
        RFSWAP(bytes, words, 4, ierr);
    } else if (kind == "DP") {
        RFSWAP(bytes, words / 2, 8, ierr);
    }
    if (ierr != 0) RFTRAC(raf, "RFCNVD");
}

void RFSWAP(std::span<std::byte> buffer, std::int32_t count, std::int32_t length,
            std::int32_t& ierr) {
    if (count < 0) {
        ierr = -1;
        return;
    }
    if (length < 2 || length > 8) {
        ierr = -2;
        return;
    }
    const auto n = static_cast<std::size_t>(count);
    const auto len = static_cast<std::size_t>(length);
    if (n > buffer.size() / len) {
        ierr = -3;
        return;
    }
    ierr = 0;
    for (std::size_t k = 0; k < n; ++k) {
        auto* e = buffer.data() + k * len;
        std::reverse(e, e + len);
    }
}

void RFR2DP(std::int32_t n, std::span<const std::int32_t> x, std::int32_t incx,
            std::span<std::int32_t> y, std::int32_t incy) {
    if (n < 1 || incx == 0 || incy == 0) return;
    const std::int64_t ax = incx < 0 ? -static_cast<std::int64_t>(incx) : incx;
    const std::int64_t ay = incy < 0 ? -static_cast<std::int64_t>(incy) : incy;
    const std::int64_t last_x = 1 + (static_cast<std::int64_t>(n) - 1) * ax;  // element positions
    const std::int64_t last_y = 1 + (static_cast<std::int64_t>(n) - 1) * ay;
    if (last_x > static_cast<std::int64_t>(x.size()) ||
        2 * last_y > static_cast<std::int64_t>(y.size()))
        return;
    const auto widen = [&](std::int64_t ix, std::int64_t iy) {
        float v = 0;
        std::memcpy(&v, x.data() + (ix - 1), sizeof v);
        const double d = v;
        std::memcpy(y.data() + 2 * (iy - 1), &d, sizeof d);
    };
    if (incx == 1 && incy == 1) {
        // Last to first: y may start where x starts.
        for (std::int64_t i = n; i >= 1; --i) widen(i, i);
        return;
    }
    std::int64_t ix = incx < 0 ? last_x : 1;
    std::int64_t iy = incy < 0 ? last_y : 1;
    for (std::int32_t i = 1; i <= n; ++i) {
        widen(ix, iy);
        ix += incx;
        iy += incy;
    }
}

}  // namespace raflib
