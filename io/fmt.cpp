#include "io/fmt.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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

std::string E(double v, int w, int d) {
    if (!std::isfinite(v)) return non_finite(v, w);
    const bool neg = std::signbit(v);
    const double a = std::fabs(v);
    // The digits as printf's %.*e gives them (both are correctly rounded).
    char buf[512];
    const auto r =
        std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, d < 0 ? 0 : d);
    if (r.ec != std::errc()) return stars(w);
    const char* e = std::find(buf, r.ptr, 'e');
    int ex = 0;
    for (const char* p = e + 2; p < r.ptr; ++p) ex = 10 * ex + (*p - '0');
    if (e + 1 < r.ptr && e[1] == '-') ex = -ex;
    const int ae = std::abs(ex);
    if (ae > 999) return stars(w);
    std::string out;
    out.reserve(static_cast<std::size_t>(std::max(w, 0)) + 8);
    if (neg) out += '-';
    out.append(buf, static_cast<std::size_t>(e - buf));
    if (d == 0) out += '.';
    if (ae <= 99) {
        out += 'E';
        out += ex < 0 ? '-' : '+';
    } else {
        out += ex < 0 ? '-' : '+';
        out += static_cast<char>('0' + ae / 100);
    }
    out += static_cast<char>('0' + ae / 10 % 10);
    out += static_cast<char>('0' + ae % 10);
    if (static_cast<int>(out.size()) > w) return stars(w);
    out.insert(0, static_cast<std::size_t>(w) - out.size(), ' ');
    return out;
}

std::string A(std::string_view s, int w) {
    if (static_cast<int>(s.size()) >= w)
        return std::string(s.substr(0, static_cast<std::size_t>(w)));
    return std::string(static_cast<std::size_t>(w) - s.size(), ' ') + std::string(s);
}

}  // namespace io::fmt
