#include "io/fmt.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace io::fmt {

std::string stars(int w) {
    return std::string(static_cast<std::size_t>(w > 0 ? w : 0), '*');
}

namespace {

std::string right(std::string s, int w) {
    if (static_cast<int>(s.size()) > w) return stars(w);
    return std::string(static_cast<std::size_t>(w) - s.size(), ' ') + s;
}

// NaN and Infinity as gfortran prints them for F and E editing.
std::string non_finite(double v, int w) {
    if (std::isnan(v)) return w < 3 ? stars(w) : right("NaN", w);
    const bool neg = std::signbit(v);
    if (w >= 9 || (w == 8 && !neg)) return right(neg ? "-Infinity" : "Infinity", w);
    if (w >= 4 || (w == 3 && !neg)) return right(neg ? "-Inf" : "Inf", w);
    return stars(w);
}

}  // namespace

std::string I(std::int64_t v, int w, int m) {
    const bool neg = v < 0;
    std::uint64_t mag = neg ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    std::string digits = (mag == 0 && m == 0) ? std::string() : std::to_string(mag);
    if (static_cast<int>(digits.size()) < m)
        digits.insert(0, static_cast<std::size_t>(m) - digits.size(), '0');
    if (neg) digits.insert(0, 1, '-');
    return right(std::move(digits), w);
}

void put_I(char* out, std::int64_t v, int w) {
    if (w <= 0) return;
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, v);
    const auto n = static_cast<int>(r.ptr - digits);
    if (n > w) {
        std::memset(out, '*', static_cast<std::size_t>(w));
        return;
    }
    std::memset(out, ' ', static_cast<std::size_t>(w - n));
    std::memcpy(out + (w - n), digits, static_cast<std::size_t>(n));
}

std::string F(double v, int w, int d) {
    if (!std::isfinite(v)) return non_finite(v, w);
    const bool neg = std::signbit(v);
    const double a = std::fabs(v);
    // Widest finite double needs 309 digits before the point.
    std::string s(static_cast<std::size_t>(d) + 400, '\0');
    const int n = std::snprintf(s.data(), s.size(), "%.*f", d, a);
    s.resize(static_cast<std::size_t>(n));
    if (d == 0) s += '.';
    if (neg) s.insert(0, 1, '-');
    if (static_cast<int>(s.size()) > w) {
        // The optional leading zero goes first when the field is tight.
        const std::size_t z = neg ? 1 : 0;
        if (s.size() > z + 1 && s[z] == '0' && s[z + 1] == '.') s.erase(z, 1);
    }
    return right(std::move(s), w);
}

namespace {

// 10^k for k = -kPowRange .. kPowRange, each correctly rounded (strtod).
constexpr int kPowRange = 300;

const std::array<double, 2 * kPowRange + 1>& powers_of_ten() {
    static const auto table = [] {
        std::array<double, 2 * kPowRange + 1> t{};
        for (int k = -kPowRange; k <= kPowRange; ++k) {
            const std::string text = "1e" + std::to_string(k);
            t[static_cast<std::size_t>(k + kPowRange)] = std::strtod(text.c_str(), nullptr);
        }
        return t;
    }();
    return table;
}

// The d+1 significant digits of a > 0, correctly rounded, and the decimal
// exponent of the first, by double arithmetic: the scaled value a * 10^(d-ex)
// is within about one unit in the last place of the true one, so its
// rounding is certain unless it lies very near a half. Returns false (nothing decided)
// near a half, outside the exponent range of the table or for more than 8
// decimals; the caller then asks the exact conversion.
bool quick_digits(double a, int d, char* digits, int& ex) {
    if (d < 1 || d > 8 || !(a >= 1e-280 && a <= 1e280)) return false;
    const double* p10 = powers_of_ten().data() + kPowRange;
    const double lo = p10[d];
    const double hi = p10[d + 1];
    // a lies in [2^e2, 2^(e2+1)), so its decimal exponent is floor(e2 log10 2)
    // or one more.
    const int e2 = static_cast<int>((std::bit_cast<std::uint64_t>(a) >> 52) & 0x7ff) - 1023;
    ex = (e2 * 78913) >> 18;
    ex += a >= p10[ex + 1] ? 1 : 0;
    const double s = a * p10[d - ex];
    if (!(s >= lo && s < hi)) return false;
    auto m = static_cast<std::uint32_t>(s);
    const double frac = s - static_cast<double>(m);
    // The scaled value is within about one unit in its last place of the true
    // one (one rounding in the table, one in the product): a margin of some
    // twenty units keeps every doubtful case for the exact conversion.
    if (std::fabs(frac - 0.5) <= s * 4e-15) return false;
    m += frac > 0.5 ? 1 : 0;
    if (static_cast<double>(m) == hi) {
        // Rounded up into the next decade: 9.99996 is 1.0000 times ten.
        m = static_cast<std::uint32_t>(lo);
        ++ex;
    }
    // Two digits at a time, from the last.
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    int i = d;
    for (; i >= 1; i -= 2) {
        const std::uint32_t pair = m % 100;
        m /= 100;
        digits[i - 1] = kPairs[2 * pair];
        digits[i] = kPairs[2 * pair + 1];
    }
    if (i == 0) digits[0] = static_cast<char>('0' + m);
    return true;
}

// The same by the exact conversion (printf's %.*e digits: both are
// correctly rounded). Returns false when the exponent has four digits.
bool exact_digits(double a, int d, char* digits, int& ex) {
    char buf[512];
    const auto r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, d);
    if (r.ec != std::errc()) return false;
    const char* e = std::find(buf, r.ptr, 'e');
    ex = 0;
    for (const char* p = e + 2; p < r.ptr; ++p) ex = 10 * ex + (*p - '0');
    if (e + 1 < r.ptr && e[1] == '-') ex = -ex;
    // "d.ddd": the digits without the point.
    digits[0] = buf[0];
    for (int i = 1; i <= d; ++i) digits[i] = buf[i + 1];
    return true;
}

}  // namespace

void put_E(char* out, double v, int w, int d) {
    if (w <= 0) return;
    const auto fill = [&](std::string_view text) { std::memcpy(out, text.data(), text.size()); };
    if (!std::isfinite(v)) return fill(non_finite(v, w));
    if (d < 0) d = 0;
    const bool neg = std::signbit(v);
    const double a = std::fabs(v);
    // Sign, d+1 digits, point, and E+dd or +ddd.
    const int length = (neg ? 1 : 0) + d + 2 + 4;
    if (length > w || d > 510) {
        std::memset(out, '*', static_cast<std::size_t>(w));
        return;
    }
    char digits[512];
    int ex = 0;
    if (a == 0.0) {
        std::memset(digits, '0', static_cast<std::size_t>(d) + 1);
    } else if (!quick_digits(a, d, digits, ex) && !exact_digits(a, d, digits, ex)) {
        std::memset(out, '*', static_cast<std::size_t>(w));
        return;
    }
    const int ae = std::abs(ex);
    if (ae > 999) {
        std::memset(out, '*', static_cast<std::size_t>(w));
        return;
    }
    char* p = out;
    for (int i = length; i < w; ++i) *p++ = ' ';
    if (neg) *p++ = '-';
    *p++ = digits[0];
    *p++ = '.';
    for (int i = 1; i <= d; ++i) *p++ = digits[i];
    if (ae <= 99) {
        *p++ = 'E';
        *p++ = ex < 0 ? '-' : '+';
    } else {
        *p++ = ex < 0 ? '-' : '+';
        *p++ = static_cast<char>('0' + ae / 100);
    }
    *p++ = static_cast<char>('0' + ae / 10 % 10);
    *p = static_cast<char>('0' + ae % 10);
}

std::string E(double v, int w, int d) {
    std::string out(static_cast<std::size_t>(std::max(w, 0)), ' ');
    put_E(out.data(), v, w, d);
    return out;
}

std::string A(std::string_view s, int w) {
    if (static_cast<int>(s.size()) >= w)
        return std::string(s.substr(0, static_cast<std::size_t>(w)));
    return std::string(static_cast<std::size_t>(w) - s.size(), ' ') + std::string(s);
}

}  // namespace io::fmt
