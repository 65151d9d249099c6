#include "io/listin.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace io {

std::string iostat_text(int iostat) {
    switch (iostat) {
        case 0:
            return "no error";
        case kIostatEnd:
            return "end of input";
        case kIostatBadInteger:
            return "value is not a valid integer";
        case kIostatBadReal:
            return "value is not a valid real number";
        case kIostatShortRecord:
            return "record beyond the end of the file";
        case kIostatNotConnected:
            return "unit is not connected for this transfer";
        case kIostatLineTooLong:
            return "line longer than " + std::to_string(kMaxLineLength) + " characters";
        case kIostatProtected:
            return "the file is read or written by this run";
        default:
            break;
    }
    if (iostat > 0 && iostat < 5000) return std::strerror(iostat);
    return "I/O status " + std::to_string(iostat);
}

namespace {

bool is_sep(char c) {
    return c == ' ' || c == '\t' || c == ',' || c == '/';
}

}  // namespace

bool parse_integer(std::string_view tok, std::int32_t& out) {
    std::size_t i = 0;
    bool neg = false;
    if (i < tok.size() && (tok[i] == '+' || tok[i] == '-')) neg = tok[i++] == '-';
    if (i == tok.size()) return false;
    std::int64_t v = 0;
    for (; i < tok.size(); ++i) {
        if (tok[i] < '0' || tok[i] > '9') return false;
        v = v * 10 + (tok[i] - '0');
        if (v > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1)
            return false;
    }
    if (neg) v = -v;
    if (v > std::numeric_limits<std::int32_t>::max()) return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

bool parse_real(std::string_view tok, double& out) {
    std::string t;
    t.reserve(tok.size() + 1);
    for (char c : tok) t += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string_view body = (!t.empty() && (t[0] == '+' || t[0] == '-'))
                                      ? std::string_view(t).substr(1)
                                      : std::string_view(t);
    if (body == "inf" || body == "infinity" || body == "nan") {
        out = std::strtod(t.c_str(), nullptr);
        return true;
    }
    // Fortran forms: mantissa with optional point, exponent letter e, d or q,
    // or a signed exponent without a letter (1.5+3).
    std::string s;
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) s += t[i++];
    int digits = 0;
    bool point = false;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (c >= '0' && c <= '9') {
            ++digits;
            s += c;
        } else if (c == '.' && !point) {
            point = true;
            s += c;
        } else {
            break;
        }
    }
    if (digits == 0) return false;
    if (i < t.size()) {
        if (t[i] == 'e' || t[i] == 'd' || t[i] == 'q')
            ++i;
        else if (t[i] != '+' && t[i] != '-')
            return false;
        s += 'e';
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) s += t[i++];
        int edigits = 0;
        for (; i < t.size(); ++i) {
            if (t[i] < '0' || t[i] > '9') return false;
            s += t[i];
            ++edigits;
        }
        if (edigits == 0) return false;
    }
    errno = 0;
    out = std::strtod(s.c_str(), nullptr);
    return true;
}

int read_list(const std::function<int(std::string&)>& next_record,
              std::span<const ListItem> items) {
    std::string rec;
    std::size_t pos = 0;
    int st = next_record(rec);
    if (st != 0) return st;

    std::size_t k = 0;         // next item
    bool after_value = false;  // a value or null was taken and its separator is pending
    std::int32_t repeat = 0;   // remaining repetitions of `rep_tok`
    std::string rep_tok;
    bool rep_null = false;

    auto assign = [&](std::string_view tok) -> int {
        if (std::holds_alternative<std::int32_t*>(items[k])) {
            std::int32_t v = 0;
            if (!parse_integer(tok, v)) return kIostatBadInteger;
            *std::get<std::int32_t*>(items[k]) = v;
        } else {
            double v = 0;
            if (!parse_real(tok, v)) return kIostatBadReal;
            *std::get<double*>(items[k]) = v;
        }
        ++k;
        return 0;
    };

    while (k < items.size()) {
        if (repeat > 0) {
            --repeat;
            if (rep_null) {
                ++k;
            } else if (int e = assign(rep_tok); e != 0) {
                return e;
            }
            continue;
        }
        // Skip blanks; at the end of a record go on with the next one.
        while (pos < rec.size() && (rec[pos] == ' ' || rec[pos] == '\t')) ++pos;
        if (pos >= rec.size()) {
            st = next_record(rec);
            if (st != 0) return st;
            pos = 0;
            continue;
        }
        const char c = rec[pos];
        if (c == '/') return 0;
        if (c == ',') {
            ++pos;
            if (after_value) {
                after_value = false;  // the comma closes the previous value
            } else {
                ++k;  // null value
            }
            continue;
        }
        std::size_t end = pos;
        while (end < rec.size() && !is_sep(rec[end])) ++end;
        std::string_view tok(rec.data() + pos, end - pos);
        pos = end;
        after_value = true;
        if (const std::size_t star = tok.find('*'); star != std::string_view::npos) {
            std::int32_t r = 0;
            if (!parse_integer(tok.substr(0, star), r) || r < 1) {
                return std::holds_alternative<std::int32_t*>(items[k]) ? kIostatBadInteger
                                                                       : kIostatBadReal;
            }
            repeat = r;
            rep_tok = std::string(tok.substr(star + 1));
            rep_null = rep_tok.empty();
            continue;
        }
        if (int e = assign(tok); e != 0) return e;
    }
    return 0;
}

int read_list(std::string_view record, std::span<const ListItem> items) {
    bool given = false;
    return read_list(
        [&](std::string& out) {
            if (given) return kIostatEnd;
            given = true;
            out.assign(record);
            return 0;
        },
        items);
}

}  // namespace io
