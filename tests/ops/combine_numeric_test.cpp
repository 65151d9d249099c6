// The matrix routines of the combination and the resultants of RESFOR.
#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "io/fmt.h"
#include "ops/combine.h"
#include "support/scratch.h"
#include "support/scratch_units.h"

namespace {

using ops::DoubleView;
using test_support::ScratchDir;
using test_support::ScratchUnits;

// Rows (0 1 0), (-1 0 0), (0 0 1), stored column by column.
constexpr std::array<double, 9> kRotation = {0, -1, 0, 1, 0, 0, 0, 0, 1};

struct Console {
    std::istringstream in;
    std::ostringstream out;
    io::Units units{in, out};
};

TEST(Vectra, TransposeAndMatrixOnTheSubVector) {
    Console c;
    std::array<double, 9> t = kRotation;
    std::array<double, 5> x = {9, 1, 2, 3, 8};
    std::array<double, 3> y{};
    std::int32_t ierr = -7;
    ops::VECTRA(c.units, DoubleView{std::span(t)}, DoubleView{std::span(x)},
                DoubleView{std::span(y)}, 5, 3, 2, 2, 6, ierr);
    EXPECT_EQ(ierr, 0);
    // The transpose: new v1 = -old v2, new v2 = old v1.
    EXPECT_EQ(x, (std::array<double, 5>{9, -2, 1, 3, 8}));
    ops::VECTRA(c.units, DoubleView{std::span(t)}, DoubleView{std::span(x)},
                DoubleView{std::span(y)}, 5, 3, 2, 1, 6, ierr);
    EXPECT_EQ(x, (std::array<double, 5>{9, 1, 2, 3, 8}));

    // A full matrix: rows (1 2), (3 4) on x(3..4) of five.
    std::array<double, 4> t2 = {1, 3, 2, 4};
    std::array<double, 5> x2 = {0, 0, 5, 7, 0};
    ops::VECTRA(c.units, DoubleView{std::span(t2)}, DoubleView{std::span(x2)},
                DoubleView{std::span(y)}, 5, 2, 3, 1, 6, ierr);
    EXPECT_EQ(x2, (std::array<double, 5>{0, 0, 19, 43, 0}));
    x2 = {0, 0, 5, 7, 0};
    ops::VECTRA(c.units, DoubleView{std::span(t2)}, DoubleView{std::span(x2)},
                DoubleView{std::span(y)}, 4, 2, 3, 2, 6, ierr);
    EXPECT_EQ(x2, (std::array<double, 5>{0, 0, 26, 38, 0}));

    // Other modes change nothing and succeed.
    for (const std::int32_t mode : {0, 3, -1}) {
        ierr = -3;
        ops::VECTRA(c.units, DoubleView{std::span(t2)}, DoubleView{std::span(x2)},
                    DoubleView{std::span(y)}, 4, 2, 3, mode, 6, ierr);
        EXPECT_EQ(ierr, 0);
        EXPECT_EQ(x2, (std::array<double, 5>{0, 0, 26, 38, 0}));
    }
    EXPECT_EQ(c.out.str(), "");
}

TEST(Vectra, IllegalDimensions) {
    struct Case {
        std::int32_t m, n, ip;
    };
    for (const Case k : {Case{0, 1, 1}, Case{3, 0, 1}, Case{3, 3, 0}, Case{3, 3, 2}, Case{4, 2, 4},
                         Case{-2, 3, 1}}) {
        Console c;
        std::array<double, 9> t = kRotation;
        std::array<double, 4> x = {1, 2, 3, 4};
        std::array<double, 3> y{};
        std::int32_t ierr = 0;
        ops::VECTRA(c.units, DoubleView{std::span(t)}, DoubleView{std::span(x)},
                    DoubleView{std::span(y)}, k.m, k.n, k.ip, 2, 6, ierr);
        EXPECT_EQ(ierr, -1);
        EXPECT_EQ(x, (std::array<double, 4>{1, 2, 3, 4}));
        EXPECT_EQ(c.out.str(),
                  "\n\n\n *** ERROR RETURN FROM  V E K  LIBRARY ROUTINE VECTRA\n\n"
                  "     ILLEGAL MATRIX DIMENSION(S) :  M, N  =" +
                      io::fmt::I(k.m, 8) + io::fmt::I(k.n, 8) +
                      "\n     AND/OR SUBMATRIX POSITION            =" + io::fmt::I(k.ip, 8) + "\n");
    }
    // No message without a message unit.
    Console c;
    std::array<double, 1> t{};
    std::int32_t ierr = 0;
    ops::VECTRA(c.units, DoubleView{std::span(t)}, DoubleView{std::span(t)},
                DoubleView{std::span(t)}, 3, 3, 2, 2, 0, ierr);
    EXPECT_EQ(ierr, -1);
    EXPECT_EQ(c.out.str(), "");
    // Legal dimensions on arrays that are too short are never followed.
    EXPECT_THROW(ops::VECTRA(c.units, DoubleView{std::span(t)}, DoubleView{std::span(t)},
                             DoubleView{std::span(t)}, 3, 1, 3, 1, 6, ierr),
                 std::out_of_range);
}

TEST(Matrices, ProductModesAndStrides) {
    // A 2x3 = rows (1 2 3), (4 5 6); B 3x2 = columns (7 8 9), (1 0 -1).
    std::array<double, 6> a = {1, 4, 2, 5, 3, 6};
    std::array<double, 6> b = {7, 8, 9, 1, 0, -1};
    std::array<double, 4> p = {100, 100, 100, 100};
    const DoubleView av{std::span(a)}, bv{std::span(b)}, pv{std::span(p)};
    ops::MPRODD(av, bv, pv, 2, 3, 2, 0);
    EXPECT_EQ(p, (std::array<double, 4>{50, 122, -2, -2}));
    ops::MPRODD(av, bv, pv, 2, 3, 2, 5);
    EXPECT_EQ(p, (std::array<double, 4>{100, 244, -4, -4}));
    ops::MPRODD(av, bv, pv, 2, 3, 2, -1);
    EXPECT_EQ(p, (std::array<double, 4>{50, 122, -2, -2}));
    for (const auto& [m, k, n] : {std::array{0, 3, 2}, std::array{2, 0, 2}, std::array{2, 3, -1}}) {
        ops::MPRODD(av, bv, pv, m, k, n, 0);
        EXPECT_EQ(p, (std::array<double, 4>{50, 122, -2, -2}));
    }
    // One row of six factors on the six resultants of three steps.
    std::array<double, 6> f = {1, 0.5, 0, 0, -2, 1};
    std::array<double, 18> r{};
    for (std::size_t i = 0; i < r.size(); ++i) r[i] = static_cast<double>(i + 1);
    std::array<double, 3> ts{};
    ops::MPRODD(DoubleView{std::span(f)}, DoubleView{std::span(r)}, DoubleView{std::span(ts)}, 1, 6,
                3, 0);
    EXPECT_EQ(ts, (std::array<double, 3>{-2, 1, 4}));
    EXPECT_THROW(ops::MPRODD(av, bv, pv, 2, 3, 3, 0), std::out_of_range);
}

TEST(Matrices, CopyAndFill) {
    std::array<double, 4> a = {1, -2, 3, -4};
    std::array<double, 5> b = {9, 9, 9, 9, 9};
    const DoubleView av{std::span(a)}, bv{std::span(b)};
    ops::MCOPYD(av, bv, 2, 2, 1);
    EXPECT_EQ(b, (std::array<double, 5>{1, -2, 3, -4, 9}));
    ops::MCOPYD(av, bv, 3, 1, -1);
    EXPECT_EQ(b, (std::array<double, 5>{-1, 2, -3, -4, 9}));
    ops::MCOPYD(av, bv, 0, 5, 1);
    ops::MFILLD(bv, 2, 2, 0.5);
    EXPECT_EQ(b, (std::array<double, 5>{0.5, 0.5, 0.5, 0.5, 9}));
    ops::MFILLD(bv, -1, 2, 7);
    EXPECT_EQ(b, (std::array<double, 5>{0.5, 0.5, 0.5, 0.5, 9}));
    EXPECT_THROW(ops::MCOPYD(bv, av, 5, 1, 1), std::out_of_range);
    EXPECT_THROW(ops::MFILLD(av, 5, 1, 0), std::out_of_range);
    EXPECT_EQ(a, (std::array<double, 4>{1, -2, 3, -4}));
}

TEST(Matrices, ViewsOfTheWorkArrayStayInsideTheirRun) {
    dms::WorkArray w(20);
    for (std::int32_t p = 1; p <= 10; ++p) w.set_d(p, p);
    const DoubleView v(w, 3, 4);
    EXPECT_EQ(v(1), 3);
    EXPECT_EQ(v(4), 6);
    EXPECT_THROW((void)v(5), std::out_of_range);
    EXPECT_THROW(v.set(0, 1), std::out_of_range);
    const DoubleView s = v.sub(2, 2);
    s.set(2, -1);
    EXPECT_EQ(w.d(5), -1);
    EXPECT_THROW((void)v.sub(4, 2), std::out_of_range);
    EXPECT_THROW(DoubleView(w, 8, 4), std::out_of_range);
    EXPECT_THROW(DoubleView(w, 0, 1), std::out_of_range);
    EXPECT_EQ(DoubleView(w, 11, 0).size(), 0);
}

// Work array with the columns of AUX_1 (ld steps each), AUX_2 and TIMES.
struct Resultants {
    std::int32_t steps;
    ops::Groups g;
    dms::WorkArray w{400};
    std::int32_t aux1 = 1;
    std::int32_t aux2 = 0;
    std::int32_t times = 0;

    Resultants(std::int32_t nsteps, std::int32_t nr, std::int32_t nc) : steps(nsteps) {
        g.nr = nr;
        g.nc = nc;
        aux2 = aux1 + nr * nc * steps;
        times = aux2 + 6 * steps;
        for (std::int32_t p = 1; p < times + steps; ++p) w.set_d(p, -999.0);
    }
    void matrix(std::int32_t k, const std::array<double, 9>& t) {
        for (std::size_t e = 0; e < 9; ++e) g.t[9 * static_cast<std::size_t>(k - 1) + e] = t[e];
    }
    // Column i at step s.
    void set(std::int32_t i, std::int32_t s, double v) {
        w.set_d(aux1 + (i - 1) * steps + s - 1, v);
    }
};

TEST(Resfor, RotatedAndIdentityGroupsOnlyTheWindowRows) {
    ScratchUnits scratch;
    Resultants r(3, 2, 6);
    r.matrix(1, {1, 0, 0, 0, 1, 0, 0, 0, 1});
    r.matrix(2, kRotation);
    for (std::int32_t s = 1; s <= 2; ++s) {
        for (std::int32_t i = 1; i <= 12; ++i) r.set(i, s, 10.0 * s + i);
        r.w.set_d(r.times + s - 1, 0.5 * s);
    }
    std::int32_t ierr = 0;
    ops::RESFOR(scratch.units, r.w, r.g, 3, 2, r.aux1, r.aux2, r.times, 17, ierr);
    EXPECT_EQ(ierr, 0);
    // Group 2 (columns 7..12) enters as (-c8, c7, c9, -c11, c10, c12).
    const auto row = [&](double s) {
        const auto c = [&](int i) { return 10.0 * s + i; };
        return std::array<double, 6>{c(1) - c(8),  c(2) + c(7),  c(3) + c(9),
                                     c(4) - c(11), c(5) + c(10), c(6) + c(12)};
    };
    for (std::int32_t s = 1; s <= 2; ++s) {
        for (std::int32_t c = 1; c <= 6; ++c)
            EXPECT_EQ(r.w.d(r.aux2 + 6 * (s - 1) + c - 1), row(s)[static_cast<std::size_t>(c - 1)]);
    }
    // The third step lies outside the window: its resultants are not touched.
    EXPECT_EQ(r.w.d(r.aux2 + 12), -999.0);
    EXPECT_EQ(
        scratch.dir.read("fort.44"),
        "  5.0000E-01 -7.0000E+00  2.9000E+01  3.2000E+01 -7.0000E+00  3.5000E+01  3.8000E+01\n"
        "  1.0000E+00 -7.0000E+00  4.9000E+01  5.2000E+01 -7.0000E+00  5.5000E+01  5.8000E+01\n");
    EXPECT_FALSE(scratch.units.is_open(44));
    EXPECT_EQ(scratch.console.str(), "");
}

TEST(Resfor, ThreePerGroupLeavesTheMomentsZeroAndAnEmptyWindowWritesNothing) {
    ScratchUnits scratch;
    Resultants r(2, 3, 3);
    r.matrix(1, {1, 0, 0, 0, 1, 0, 0, 0, 1});
    r.matrix(2, kRotation);
    r.matrix(3, {2, 0, 0, 0, 0.5, 0, 0, 0, -1});
    for (std::int32_t i = 1; i <= 9; ++i) r.set(i, 1, i);
    r.w.set_d(r.times, 0.0);
    std::int32_t ierr = 0;
    ops::RESFOR(scratch.units, r.w, r.g, 2, 1, r.aux1, r.aux2, r.times, 17, ierr);
    EXPECT_EQ(ierr, 0);
    // R1 = 1 - 5 + 2*7, R2 = 2 + 4 + 0.5*8, R3 = 3 + 6 - 9.
    EXPECT_EQ(
        scratch.dir.read("fort.44"),
        "  0.0000E+00  1.0000E+01  1.0000E+01  0.0000E+00  0.0000E+00  0.0000E+00  0.0000E+00\n");

    ScratchDir empty;
    io::Units units2(scratch.keyboard, scratch.console, empty.path());
    ops::RESFOR(units2, r.w, r.g, 2, 0, r.aux1, r.aux2, r.times, 17, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_FALSE(empty.exists("fort.44"));
}

}  // namespace
