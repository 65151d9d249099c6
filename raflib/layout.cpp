#include "raflib/layout.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>

#include "io/fmt.h"
#include "io/listin.h"
#include "io/text.h"

namespace raflib {

LocalTime local_now() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

namespace {

// One implementation for both buffer kinds: src for writes, dst for reads.
void ffile_impl(Raflib& raf, std::int32_t unit, std::int32_t op, std::int32_t& address,
                const std::int32_t* src, std::int32_t* dst, std::size_t size, std::int32_t count,
                std::int32_t& ierr) {
    if (count <= 0) {
        ierr = count == 0 ? 0 : kFfileNegativeCount;
        return;
    }
    if (op != 0) {
        if (unit < 1 || unit > 99) {
            ierr = kFfileBadUnit;
            return;
        }
        if (op != 1 && op != 2) {
            ierr = kFfileBadOp;
            return;
        }
    }
    const std::int64_t records = records_for(count);
    if (address <= 0) {
        ierr = kFfileBadAddress;
        return;
    }
    // Records that would run past the largest record number lie beyond the
    // end of any file: a read there fails as a read past the end of the file
    // does, a write as a file that cannot grow. The address stays as it was.
    if (address + records > std::numeric_limits<std::int32_t>::max()) {
        ierr = op == 2 ? -io::kIostatShortRecord : op == 1 ? -EFBIG : kFfileBadAddress;
        return;
    }
    if (op == 0) {
        ierr = 0;
        address = static_cast<std::int32_t>(address + records);
        return;
    }
    if (size < static_cast<std::size_t>(count)) {
        ierr = kFfileBufferTooSmall;
        return;
    }
    if (op == 2 && dst == nullptr) {
        // A read needs a buffer that may be written.
        ierr = kFfileBadOp;
        return;
    }
    ierr = 0;
    const auto fail = [&](const io::Units::Transfer& t, std::int64_t first) {
        // The record in which the transfer stopped counts as transferred.
        const std::int64_t failed = first + static_cast<std::int64_t>(t.bytes / kRecordBytes);
        address = static_cast<std::int32_t>(failed + 1);
        ierr = -std::abs(t.iostat);
    };
    const std::size_t n = static_cast<std::size_t>(count);
    if (op == 2) {
        const auto t =
            raf.units.read_direct(unit, address, std::as_writable_bytes(std::span(dst, n)));
        if (t.iostat != 0) {
            fail(t, address);
            return;
        }
    } else {
        const std::size_t full = n / kRecordWords;
        const std::size_t rest = n % kRecordWords;
        if (full > 0) {
            const auto t = raf.units.write_direct(
                unit, address, std::as_bytes(std::span(src, full * kRecordWords)));
            if (t.iostat != 0) {
                fail(t, address);
                return;
            }
        }
        if (rest > 0) {
            // The last record is written whole, its unused tail as zeros.
            std::array<std::int32_t, kRecordWords> last{};
            std::memcpy(last.data(), src + full * kRecordWords, rest * sizeof(std::int32_t));
            const std::int64_t rec = address + static_cast<std::int64_t>(full);
            const auto t = raf.units.write_direct(unit, rec, std::as_bytes(std::span(last)));
            if (t.iostat != 0) {
                fail(t, rec);
                return;
            }
        }
    }
    address = static_cast<std::int32_t>(address + records);
}

constexpr std::array<std::string_view, kComputerTypes + 1> kComputerNames = {
    "",
    "",
    "",
    "",
    "Apollo / UNIX",
    "DECstation / Ultrix",
    "VAXstation / Ultrix",
    "HP MC-68xxx / HP-UX",
    "HP PA-Risc / HP-UX",
    "CRAY / Unicos",
    "IBM Powerstation / AIX",
    "Sun SPARC / SunOS",
    "Silicon Graphics / IRIX",
    "CRAY T3E / UnicosMk",
    "PC / DIGITAL Visual Fortran",
    "LINUX i386",
};

constexpr std::int32_t kThisComputer = 14;

bool little_endian_type(std::int32_t t) {
    return t == 5 || t == 14 || t == 15;
}
bool big_endian_type(std::int32_t t) {
    return t == 8 || t == 12;
}

}  // namespace

void FFILE(Raflib& raf, std::int32_t unit, std::int32_t op, std::int32_t& address,
           std::span<std::int32_t> buffer, std::int32_t count, std::int32_t& ierr) {
    ffile_impl(raf, unit, op, address, buffer.data(), buffer.data(), buffer.size(), count, ierr);
}

void FFILE(Raflib& raf, std::int32_t unit, std::int32_t op, std::int32_t& address,
           std::span<const std::int32_t> buffer, std::int32_t count, std::int32_t& ierr) {
    ffile_impl(raf, unit, op, address, buffer.data(), nullptr, buffer.size(), count, ierr);
}

void RFMACH(Raflib& raf) {
    Machine& m = raf.machine;
    m.element_size = {0, 4, 4, 8, 4, 1};
    m.bytes_per_word = 4;
    m.records_per_page = 2;
    m.record_length = kRecordWords;
    for (std::size_t t = 0; t < kComputerNames.size(); ++t)
        m.names[t] = io::fixed(kComputerNames[t], 40);
    m.type = kThisComputer;
    m.name = m.names[static_cast<std::size_t>(kThisComputer)];
    m.type_text = io::fmt::I(kThisComputer, 4);
}

ByteOrder byte_order_rule(std::int32_t self, std::int32_t file) {
    if (self == file) return ByteOrder::Same;
    if (little_endian_type(self)) {
        if (little_endian_type(file)) return ByteOrder::Same;
        if (big_endian_type(file)) return ByteOrder::Swap;
    } else if (big_endian_type(self)) {
        if (big_endian_type(file)) return ByteOrder::Same;
        if (little_endian_type(file)) return ByteOrder::Swap;
    }
    return ByteOrder::Refused;
}

std::string computer_name(const Raflib& raf, std::int32_t type) {
    if (type < 1 || type > kComputerTypes) return std::string(40, ' ');
    return raf.machine.names[static_cast<std::size_t>(type)];
}

int decode_field(std::string_view field, std::int32_t& value) {
    std::string s;
    for (char c : field)
        if (c != ' ') s += c;
    if (s.empty()) {
        value = 0;
        return 0;
    }
    std::size_t i = 0;
    bool neg = false;
    if (s[0] == '+' || s[0] == '-') {
        neg = s[0] == '-';
        i = 1;
    }
    if (i == s.size()) return io::kIostatBadInteger;
    std::int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return io::kIostatBadInteger;
        v = v * 10 + (s[i] - '0');
        if (v > std::numeric_limits<std::int32_t>::max()) return io::kIostatBadInteger;
    }
    value = static_cast<std::int32_t>(neg ? -v : v);
    return 0;
}

int decode_fields(std::string_view text, std::size_t pos, std::span<const int> widths,
                  std::span<std::int32_t*> values) {
    std::size_t p = pos - 1;
    for (std::size_t k = 0; k < widths.size() && k < values.size(); ++k) {
        const auto w = static_cast<std::size_t>(widths[k]);
        const std::string_view f = p < text.size() ? text.substr(p, w) : std::string_view{};
        if (const int s = decode_field(f, *values[k]); s != 0) return s;
        p += w;
    }
    return 0;
}

void encode_field(std::string& text, std::size_t pos, int w, std::int32_t value) {
    const std::string f = io::fmt::I(value, w);
    if (text.size() < pos - 1 + f.size()) text.resize(pos - 1 + f.size(), ' ');
    text.replace(pos - 1, f.size(), f);
}

void key_to_words(std::string_view key, std::span<std::int32_t> words) {
    const std::string k = io::fixed(key, words.size() * 4);
    std::memcpy(words.data(), k.data(), k.size());
}

std::string words_to_key(std::span<const std::int32_t> words) {
    std::string k(words.size() * 4, ' ');
    std::memcpy(k.data(), words.data(), k.size());
    return k;
}

}  // namespace raflib
