// Expected strings were printed by gfortran with the same edit descriptors.
#include "io/fmt.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <utility>

namespace {

using io::fmt::E;
using io::fmt::F;
using io::fmt::I;

TEST(FortranFormat, ScientificMatchesGfortran) {
    EXPECT_EQ(E(0.0, 12, 4), "  0.0000E+00");
    EXPECT_EQ(E(-0.0, 12, 4), " -0.0000E+00");
    EXPECT_EQ(E(1.0e30, 12, 4), "  1.0000E+30");
    EXPECT_EQ(E(-1.0e30, 12, 4), " -1.0000E+30");
    EXPECT_EQ(E(1.0e35, 12, 4), "  1.0000E+35");
    EXPECT_EQ(E(-1.0e35, 12, 4), " -1.0000E+35");
    EXPECT_EQ(E(12345.5, 12, 4), "  1.2346E+04");
    EXPECT_EQ(E(0.00012345, 12, 4), "  1.2345E-04");
    EXPECT_EQ(E(0.9999951, 12, 4), "  1.0000E+00");
    EXPECT_EQ(E(9.99995, 12, 4), "  1.0000E+01");
    EXPECT_EQ(E(1.00005, 12, 4), "  1.0001E+00");
    EXPECT_EQ(E(123456.25, 12, 4), "  1.2346E+05");
    EXPECT_EQ(E(125.0, 13, 4), "   1.2500E+02");
    EXPECT_EQ(E(3.0, 12, 3), "   3.000E+00");
    EXPECT_EQ(E(1.2345, 12, 3), "   1.234E+00");
    EXPECT_EQ(E(9.9995, 12, 3), "   9.999E+00");
}

TEST(FortranFormat, ThreeDigitExponentDropsTheLetter) {
    EXPECT_EQ(E(1.0e100, 12, 4), "  1.0000+100");
    EXPECT_EQ(E(1.0e-100, 12, 4), "  1.0000-100");
    EXPECT_EQ(E(1.0e-310, 12, 4), "  1.0000-310");
    EXPECT_EQ(E(9.99995e99, 12, 4), "  1.0000+100");
    EXPECT_EQ(E(1.0e100, 12, 3), "   1.000+100");
}

TEST(FortranFormat, ScientificOverflowGivesAsterisks) {
    EXPECT_EQ(E(1.0, 9, 4), "*********");
    EXPECT_EQ(E(-1.0, 10, 4), "**********");
    EXPECT_EQ(E(1.0, 10, 4), "1.0000E+00");
}

TEST(FortranFormat, FixedMatchesGfortran) {
    EXPECT_EQ(F(0.0, 12, 3), "       0.000");
    EXPECT_EQ(F(-0.0, 12, 3), "      -0.000");
    EXPECT_EQ(F(-0.0004, 12, 3), "      -0.000");
    EXPECT_EQ(F(0.0005, 12, 3), "       0.001");
    EXPECT_EQ(F(0.0015, 12, 3), "       0.002");
    EXPECT_EQ(F(1.0005, 12, 3), "       1.000");
    EXPECT_EQ(F(1.0015, 12, 3), "       1.002");
    EXPECT_EQ(F(1.95, 12, 3), "       1.950");
    EXPECT_EQ(F(static_cast<double>(1.95f), 12, 3), "       1.950");
    EXPECT_EQ(F(1.0e-100, 12, 3), "       0.000");
    EXPECT_EQ(F(2.5, 4, 0), "  2.");
    EXPECT_EQ(F(-0.4, 5, 0), "  -0.");
    EXPECT_EQ(F(1.2, 12, 3), "       1.200");
}

TEST(FortranFormat, FixedRoundsExactTiesToEven) {
    EXPECT_EQ(F(0.125, 12, 2), "        0.12");
    EXPECT_EQ(F(0.375, 12, 2), "        0.38");
    EXPECT_EQ(F(0.625, 12, 2), "        0.62");
    EXPECT_EQ(F(-0.125, 12, 2), "       -0.12");
}

TEST(FortranFormat, FixedDropsLeadingZeroThenOverflows) {
    EXPECT_EQ(F(0.5, 5, 3), "0.500");
    EXPECT_EQ(F(-0.5, 5, 3), "-.500");
    EXPECT_EQ(F(0.5, 4, 3), ".500");
    EXPECT_EQ(F(-0.5, 4, 3), "****");
    EXPECT_EQ(F(99.9999, 6, 3), "******");
    EXPECT_EQ(F(9.9999, 6, 3), "10.000");
    EXPECT_EQ(F(-9.9999, 6, 3), "******");
    EXPECT_EQ(F(1.0e30, 12, 3), "************");
    EXPECT_EQ(F(1.0e35, 12, 3), "************");
    EXPECT_EQ(F(123456789.123, 12, 3), "************");
}

TEST(FortranFormat, NotANumberAndInfinity) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(E(nan, 12, 4), "         NaN");
    EXPECT_EQ(F(nan, 12, 3), "         NaN");
    EXPECT_EQ(E(inf, 12, 4), "    Infinity");
    EXPECT_EQ(F(-inf, 12, 3), "   -Infinity");
    EXPECT_EQ(F(-inf, 8, 3), "    -Inf");
    EXPECT_EQ(F(inf, 7, 3), "    Inf");
    EXPECT_EQ(F(inf, 3, 0), "Inf");
    EXPECT_EQ(F(-inf, 4, 1), "-Inf");
}

TEST(FortranFormat, Integers) {
    EXPECT_EQ(I(3, 4), "   3");
    EXPECT_EQ(I(12345, 4), "****");
    EXPECT_EQ(I(-999, 4), "-999");
    EXPECT_EQ(I(-1000, 4), "****");
    EXPECT_EQ(I(-2147483648LL, 6), "******");
    EXPECT_EQ(I(-12345, 10), "    -12345");
    EXPECT_EQ(I(7, 3, 3), "007");
    EXPECT_EQ(I(5, 2, 2), "05");
    EXPECT_EQ(I(2024, 4, 2), "2024");
    EXPECT_EQ(I(0, 8), "       0");
    // The in-place form prints the same fields.
    for (const auto& [v, w] : {std::pair<std::int64_t, int>{3, 4},
                               {12345, 4},
                               {-999, 4},
                               {-1000, 4},
                               {-2147483648LL, 6},
                               {-12345, 10},
                               {0, 8},
                               {100000, 6}}) {
        std::string out(static_cast<std::size_t>(w), '?');
        io::fmt::put_I(out.data(), v, w);
        EXPECT_EQ(out, I(v, w)) << v;
    }
}

}  // namespace

// E editing against the C library's %e digits over many magnitudes and
// precisions (the digits of the fast conversion must be printf's).
TEST(FmtE, DigitsAreThoseOfPrintfForManyValues) {
    const auto reference = [](double v, int w, int d) {
        char buf[512];
        std::snprintf(buf, sizeof buf, "%.*e", d, std::fabs(v));
        std::string s(buf);
        const std::size_t epos = s.find('e');
        std::string out = (std::signbit(v) ? "-" : "") + s.substr(0, epos) + (d == 0 ? "." : "");
        const int ex = std::atoi(s.c_str() + epos + 1);
        const int ae = std::abs(ex);
        char e[16];
        if (ae <= 99) {
            std::snprintf(e, sizeof e, "E%c%02d", ex < 0 ? '-' : '+', ae);
        } else if (ae <= 999) {
            std::snprintf(e, sizeof e, "%c%03d", ex < 0 ? '-' : '+', ae);
        } else {
            return std::string(static_cast<std::size_t>(w), '*');
        }
        out += e;
        if (static_cast<int>(out.size()) > w) return std::string(static_cast<std::size_t>(w), '*');
        return std::string(static_cast<std::size_t>(w) - out.size(), ' ') + out;
    };
    std::uint64_t x = 88172645463325252ULL;
    const auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return x;
    };
    for (int i = 0; i < 40000; ++i) {
        const std::uint64_t r = next();
        double v = 0.0;
        switch (i % 5) {
            case 0:  // any bit pattern
                v = std::bit_cast<double>(r);
                break;
            case 1:  // single-precision results of a few digits
                v = static_cast<float>((static_cast<double>(r % 2000001) - 1.0e6) * 1.0e-3);
                break;
            case 2:  // uniform in the exponent
                v = std::ldexp(1.0 + static_cast<double>(r >> 12) * 0x1p-52,
                               static_cast<int>(r % 2000) - 1000);
                break;
            case 3: {  // next to a decimal half at 1 to 9 decimals
                const int d = static_cast<int>(r % 9) + 1;
                const double low = std::pow(10.0, d);
                const double m =
                    low + static_cast<double>((r >> 8) % static_cast<std::uint64_t>(9 * low));
                v = (m + 0.5) * std::pow(10.0, static_cast<int>((r >> 20) % 41) - 20 - d);
                for (std::uint64_t k = (r >> 40) % 4; k > 0; --k) v = std::nextafter(v, 0.0);
                break;
            }
            default: {  // next to a power of ten
                v = std::pow(10.0, static_cast<int>(r % 601) - 300);
                const double to = (r >> 32) % 2 != 0 ? 0.0 : 1e308;
                for (std::uint64_t k = (r >> 40) % 3; k > 0; --k) v = std::nextafter(v, to);
                break;
            }
        }
        if (!std::isfinite(v)) continue;
        if ((r >> 63) != 0) v = -v;
        for (const int d : {0, 1, 3, 4, 6, 8, 9, 10}) {
            ASSERT_EQ(E(v, 12, d), reference(v, 12, d)) << v << " d=" << d;
            ASSERT_EQ(E(v, 24, d), reference(v, 24, d)) << v << " d=" << d;
        }
    }
    // Many decimals go through the exact conversion.
    EXPECT_EQ(E(1.0 / 3.0, 470, 450), reference(1.0 / 3.0, 470, 450));
    // Halfway cases round as printf does (to even on the exact binary value).
    for (const double v : {0.125, 0.5, 2.5, 1.25e-5, 9.99995, 9.9999500001, 1.00005e10})
        EXPECT_EQ(E(v, 12, 3), reference(v, 12, 3)) << v;
}
