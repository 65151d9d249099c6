#include "io/fmt.h"

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
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", d, a);
    std::string s(buf);
    const std::size_t epos = s.find('e');
    std::string mant = s.substr(0, epos);
    if (d == 0) mant += '.';
    const int ex = std::atoi(s.c_str() + epos + 1);
    const int ae = std::abs(ex);
    std::string exp;
    if (ae <= 99) {
        exp = std::string("E") + (ex < 0 ? '-' : '+') + I(ae, 2, 2);
    } else if (ae <= 999) {
        exp = std::string(1, ex < 0 ? '-' : '+') + I(ae, 3, 3);
    } else {
        return stars(w);
    }
    std::string out = (neg ? "-" : "") + mant + exp;
    return right(std::move(out), w);
}

std::string A(std::string_view s, int w) {
    if (static_cast<int>(s.size()) >= w)
        return std::string(s.substr(0, static_cast<std::size_t>(w)));
    return std::string(static_cast<std::size_t>(w) - s.size(), ' ') + std::string(s);
}

}  // namespace io::fmt
