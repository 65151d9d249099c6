#include "ops/combine.h"

#include <algorithm>
#include <array>
#include <limits>

#include "analysis/combination.h"
#include "dms/filopn.h"
#include "dms/vutil.h"
#include "io/fmt.h"
#include "io/listin.h"
#include "io/text.h"
#include "io/textio.h"
#include "ops/common.h"
#include "ops/engine.h"
#include "ops/extract.h"
#include "ops/peak.h"
#include "ops/stats.h"

namespace ops {

static_assert(kMaxGroups * kMaxPerGroup <= kMaxSelected,
              "the DynRes list holds every selection the group limits allow");

// ---- double-precision vectors and matrices ----

namespace {

void require(bool ok, const char* what) {
    if (!ok) throw std::out_of_range(what);
}

}  // namespace

void VECTRA(io::Units& units, const DoubleView& t, const DoubleView& x, const DoubleView& y,
            std::int32_t m, std::int32_t n, std::int32_t ip, std::int32_t mode, std::int32_t lpu,
            std::int32_t& ierr) {
    if (m <= 0 || n < 1 || ip <= 0 || m < static_cast<std::int64_t>(n) + ip - 1) {
        ierr = -1;
        if (lpu > 0) {
            for (int i = 0; i < 3; ++i) units.write(lpu, "");
            units.write(lpu, " *** ERROR RETURN FROM  V E K  LIBRARY ROUTINE VECTRA");
            units.write(lpu, "");
            units.write(lpu, "     ILLEGAL MATRIX DIMENSION(S) :  M, N  =" + io::fmt::I(m, 8) +
                                 io::fmt::I(n, 8));
            units.write(lpu, "     AND/OR SUBMATRIX POSITION            =" + io::fmt::I(ip, 8));
        }
        return;
    }
    ierr = 0;
    if (mode != 1 && mode != 2) return;
    const std::int64_t nn = n;
    require(t.size() >= nn * nn && x.size() >= m && y.size() >= nn,
            "VECTRA: array shorter than its dimensions");
    const DoubleView v = x.sub(ip, nn);
    for (std::int64_t i = 1; i <= nn; ++i) {
        if (mode == 1) {
            // Row i of T: T(i, j) at i + (j-1)n.
            y.set(i, dms::VDOTD([&](std::int64_t k) { return t(i + k - 1); }, v, n, 1, n));
        } else {
            // Column i of T: T(j, i) at (i-1)n + j.
            y.set(i, dms::VDOTD([&](std::int64_t k) { return t((i - 1) * nn + k); }, v, 1, 1, n));
        }
    }
    for (std::int64_t i = 1; i <= nn; ++i) v.set(i, y(i));
}

void MCOPYD(const DoubleView& a, const DoubleView& b, std::int32_t m, std::int32_t n,
            std::int32_t sign) {
    const std::int64_t mn = static_cast<std::int64_t>(m) * n;
    if (m <= 0 || n <= 0) return;
    require(a.size() >= mn && b.size() >= mn, "MCOPYD: array shorter than m*n");
    for (std::int64_t i = 1; i <= mn; ++i) b.set(i, sign < 0 ? -a(i) : a(i));
}

void MPRODD(const DoubleView& a, const DoubleView& b, const DoubleView& p, std::int32_t m,
            std::int32_t k, std::int32_t n, std::int32_t mode) {
    if (m < 1 || k < 1 || n < 1) return;
    const std::int64_t mm = m;
    const std::int64_t kk = k;
    require(a.size() >= mm * kk && b.size() >= kk * n && p.size() >= mm * n,
            "MPRODD: array shorter than its dimensions");
    for (std::int64_t j = 1; j <= n; ++j) {
        for (std::int64_t i = 1; i <= mm; ++i) {
            // Row i of A (stride m) with column j of B (stride 1).
            const double s =
                dms::VDOTD([&](std::int64_t q) { return a(i + q - 1); },
                           [&](std::int64_t q) { return b((j - 1) * kk + q); }, m, 1, k);
            const std::int64_t e = i + (j - 1) * mm;
            if (mode == 0) {
                p.set(e, s);
            } else if (mode > 0) {
                p.set(e, p(e) + s);
            } else {
                p.set(e, p(e) - s);
            }
        }
    }
}

void MFILLD(const DoubleView& a, std::int32_t m, std::int32_t n, double value) {
    if (m <= 0 || n <= 0) return;
    const std::int64_t mn = static_cast<std::int64_t>(m) * n;
    require(a.size() >= mn, "MFILLD: array shorter than m*n");
    for (std::int64_t i = 1; i <= mn; ++i) a.set(i, value);
}

// ---- the input file ----

namespace {

std::string read_problem(const io::Units& units, std::int32_t unit, int st) {
    if (st == io::kIostatEnd) return "the file ends before this item is complete";
    return units.read_error_text(unit, st);
}

std::string limit_problem(std::int32_t value, std::string_view what, std::int32_t low,
                          std::int32_t high) {
    return std::to_string(value) + " " + std::string(what) + "; " + std::to_string(low) + " to " +
           std::to_string(high) + " allowed";
}

}  // namespace

bool read_groups(io::Units& units, std::int32_t unit, Groups& g, InputError& e) {
    const auto read = [&](std::span<const io::ListItem> items, std::string item) {
        const int st = units.read_list(unit, items);
        if (st == 0) return true;
        e = {std::move(item), read_problem(units, unit, st)};
        return false;
    };
    g = Groups{};
    const std::array<io::ListItem, 1> nr = {&g.nr};
    if (!read(nr, "number of groups")) return false;
    if (g.nr < 1 || g.nr > kMaxGroups) {
        e = {"number of groups", limit_problem(g.nr, "groups", 1, kMaxGroups)};
        return false;
    }
    const std::array<io::ListItem, 1> nc = {&g.nc};
    if (!read(nc, "number of DynRes per group")) return false;
    if (g.nc < 1 || g.nc > kMaxPerGroup) {
        e = {"number of DynRes per group",
             limit_problem(g.nc, "DynRes per group", 1, kMaxPerGroup)};
        return false;
    }
    std::array<io::ListItem, kMaxPerGroup> numbers{};
    std::array<io::ListItem, 9> matrix{};
    for (std::int32_t k = 1; k <= g.nr; ++k) {
        const std::size_t base = static_cast<std::size_t>((k - 1) * g.nc);
        for (std::size_t c = 0; c < static_cast<std::size_t>(g.nc); ++c)
            numbers[c] = &g.dynres[base + c];
        const std::string group = io::fmt::I(k, 3);
        if (!read(std::span(numbers).first(static_cast<std::size_t>(g.nc)),
                  "DynRes numbers of group" + group))
            return false;
        // Given row by row, kept column by column.
        for (std::size_t i = 0; i < 3; ++i) {
            for (std::size_t j = 0; j < 3; ++j)
                matrix[3 * i + j] = &g.t[9 * static_cast<std::size_t>(k - 1) + i + 3 * j];
        }
        if (!read(matrix, "matrix of group" + group)) return false;
    }
    return true;
}

bool component_count(std::string_view line, std::int32_t& k, InputError& e) {
    constexpr std::int32_t kNone = std::numeric_limits<std::int32_t>::min();
    std::int32_t value = kNone;
    const std::array<io::ListItem, 1> items = {&value};
    const int st = io::read_list(line, items);
    if (st != 0 && st != io::kIostatEnd) {
        e = {"number of components", io::iostat_text(st)};
        return false;
    }
    if (value == kNone) {
        e = {"number of components", "no number given"};
        return false;
    }
    if (value < 0 || value > kMaxComponents) {
        e = {"number of components", limit_problem(value, "components", 0, kMaxComponents) +
                                         " (side files on units 45 to 99)"};
        return false;
    }
    k = value;
    return true;
}

std::string component_line(std::int32_t k, std::string_view description) {
    std::string line = " Component no" + io::fmt::I(k, 3) + ": ";
    if (!io::is_blank(description)) line += "   " + io::fixed(description, 59);
    return std::string(io::trim_right(line));
}

// ---- the operation ----

bool resultants(io::Units& /*units*/, const Groups& g, std::span<const double> values,
                std::array<double, 6>& r, std::int32_t /*lpu*/) {
    require(values.size() >= static_cast<std::size_t>(g.selected()),
            "resultants: fewer values than DynRes selected");
    r = analysis::resultants({g.nr, g.nc, std::span<const double>(g.t)}, values);
    return true;
}

void RESFOR(io::Units& units, dms::WorkArray& w, const Groups& g, std::int32_t ndrstep,
            std::int32_t nrows, std::int32_t aux1, std::int32_t aux2, std::int32_t times,
            std::int32_t iout, std::int32_t& ierr) {
    const std::int64_t steps = std::max<std::int32_t>(ndrstep, 0);
    require(nrows <= steps, "RESFOR: more rows than steps");
    const DoubleView a1(w, aux1, g.selected() * steps);
    const DoubleView a2(w, aux2, 6 * steps);
    const DoubleView tm(w, times, steps);
    std::array<double, 6> r{};
    std::array<double, kMaxSelected> values{};
    const DoubleView rv{std::span(r)};
    for (std::int64_t s = 1; s <= nrows; ++s) {
        for (std::int32_t i = 1; i <= g.selected(); ++i)
            values[static_cast<std::size_t>(i - 1)] =
                a1(s + static_cast<std::int64_t>(i - 1) * steps);
        if (!resultants(units, g, values, r, iout)) {
            ierr = -1;
            return;
        }
        MCOPYD(rv, a2.sub(6 * (s - 1) + 1, 6), 6, 1, 1);
    }
    io::write_rows(units, kResultantUnit, nrows, 7 * 12, [&](std::int64_t row, char* line) {
        const std::int64_t s = row + 1;
        io::fmt::put_E(line, tm(s), 12, 4);
        for (std::int64_t c = 1; c <= 6; ++c)
            io::fmt::put_E(line + 12 * c, a2(6 * (s - 1) + c), 12, 4);
    });
    units.close(kResultantUnit);
}

namespace {

constexpr std::string_view kErrorText = "*** ERROR IN Pektor4    ***";
constexpr std::string_view kAskInput = "Give Input  File Name             :  ";
constexpr std::string_view kAskCount = "Number of Components to compute   :  ";
constexpr std::int32_t kPromptLength = 37;
constexpr std::string_view kDashes = "------------------------------------------";

void input_block(io::Units& units, std::int32_t unit, std::string_view name, const InputError& e) {
    units.write(unit, "");
    units.write(unit, "  *** Illegal Input File Content");
    units.write(unit, "      Input file : " + std::string(io::trim_right(name)));
    units.write(unit, "      Item       : " + e.item);
    units.write(unit, "      Problem    : " + e.problem);
}

// The error block to the output unit and the console, then what was wrong
// with the input file to both.
void report_input(io::Units& units, std::int32_t iout, std::string_view name, const InputError& e) {
    error_block(units, iout, kErrorText);
    error_block(units, kConsole, kErrorText);
    input_block(units, iout, name, e);
    input_block(units, kConsole, name, e);
}

}  // namespace

void Pektor4(store::Store& st, dms::WorkArray& w, const std::string& file, double first,
             double last, std::int32_t iout, std::int32_t& ierr, Engine* engine) {
    io::Units& units = st.units;
    std::int32_t jerr = 0;
    const auto fail = [&] { fail_operation(units, iout, kErrorText, ierr); };

    // A file of this run that a side file would overwrite: the run stops
    // before the side file is written.
    const auto refuse = [&](const std::string& line) {
        units.write(kConsole, "");
        units.write(kConsole, line + ": refused");
        units.write(iout, "");
        units.write(iout, line + ": refused");
        fail();
    };
    const auto side_file_free = [&](std::int32_t unit) {
        const auto p = units.default_clash(unit);
        if (!p) return true;
        refuse(io::clash_line(unit == kRafMessageUnit ? "RAFLIB message file" : "Side file",
                              io::Units::default_name(unit), *p));
        return false;
    };

    // The input file, asked until one opens.
    std::string name(io::kAnswerLength, ' ');
    for (;;) {
        if (io::ask_line(units, kAskInput, name) != 0) return fail();
        std::int32_t oerr = 0;
        dms::OPNTXT(units, name, kInputUnit, 1, oerr);
        if (oerr == 0) break;
        units.write(kConsole, " Nonexisting file :" + name);
    }
    const io::UnitCloser input(units, kInputUnit);
    // The input file is read by this run: no side file may overwrite it.
    const std::string input_name(io::trim_right(name));
    if (const auto p = units.protected_file(input_name); p && p->role != "dyn file") {
        return refuse(" *** Input file \"" + input_name + "\" is the " + p->role + " \"" + p->name +
                      "\"");
    }
    units.protect(input_name, "input file");
    for (const std::int32_t unit : {kRafMessageUnit, kResultantUnit}) {
        if (!side_file_free(unit)) return;
    }

    Parameters p;
    if (!recall_prologue(st, w, file, iout, p, jerr)) return fail();
    if (!finish_prologue(st, w, iout, p, jerr, engine)) return fail();

    Groups g;
    InputError e;
    if (!read_groups(units, kInputUnit, g, e)) {
        report_input(units, iout, name, e);
        ierr = -1;
        return;
    }
    const std::int32_t nsel = g.selected();
    const auto legal = [&](std::int32_t d) {
        if (d >= 1 && d <= p.ndynres) return true;
        report_illegal_number(units, iout, kErrorText, d, p.ndynres);
        ierr = -1;
        return false;
    };

    units.write(kConsole, "");
    units.write(kConsole, " Selected Components : ");
    {
        const auto icdynr = array_words(st, w, "ICDYNR", iout, jerr);
        if (jerr != 0) return fail();
        for (std::int32_t i = 1; i <= nsel; ++i) {
            const std::int32_t d = g.dynres[static_cast<std::size_t>(i - 1)];
            if (!legal(d)) return;
            std::string label(io::kAnswerLength, ' ');
            XWRI04_C(units, icdynr, p.ncol, d, label, iout, jerr);
            if (jerr != 0) return fail();
            const std::string line = " Comp no " + io::fmt::I(i, 3) + ", " + " DynRes no " +
                                     io::fmt::I(d, 4) + " :   " +
                                     std::string(io::trim_right(label));
            units.write(kConsole, io::trim_right(line));
            units.write(iout, io::trim_right(line));
        }
    }

    const std::int32_t steps = std::max<std::int32_t>(p.ndrstep, 0);
    Scratch ptr;
    if (!read_and_book(st, w, engine, std::span(g.dynres).first(static_cast<std::size_t>(nsel)),
                       {booking_length(std::int64_t{nsel} * steps),
                        booking_length(std::int64_t{6} * steps), steps, steps},
                       ptr, iout, jerr))
        return fail();

    // Window samples of every selected DynRes into the columns of AUX_1.
    std::int32_t n = 0;
    double tlast = 0.0;
    for (std::int32_t i = 1; i <= nsel; ++i) {
        const std::int32_t d = g.dynres[static_cast<std::size_t>(i - 1)];
        if (!legal(d)) return;
        if (!refresh_scratch(st, w, ptr, iout, jerr)) return fail();
        std::int32_t ni = 0;
        Pektor3_1(st, w, d, first, last, ni, tlast, ptr.ts, steps, iout, jerr, engine);
        if (jerr != 0) return fail();
        if (i == 1) {
            if (!refresh_scratch(st, w, ptr, iout, jerr)) return fail();
            std::int32_t nt = 0;
            Pektor1_1(st, w, d, first, last, nt, ptr.times, steps, iout, jerr, engine);
            if (jerr != 0) return fail();
            n = std::min(ni, nt);
        } else {
            n = std::min(n, ni);
        }
        if (!refresh_scratch(st, w, ptr, iout, jerr)) return fail();
        const DoubleView columns(w, ptr.aux1, std::int64_t{nsel} * steps);
        MCOPYD(DoubleView(w, ptr.ts, steps), columns.sub(std::int64_t{i - 1} * steps + 1, steps),
               ni, 1, 1);
    }
    n = std::max(n, 0);

    if (!refresh_scratch(st, w, ptr, iout, jerr)) return fail();
    RESFOR(units, w, g, steps, n, ptr.aux1, ptr.aux2, ptr.times, iout, jerr);
    if (jerr != 0) return fail();

    units.write(kConsole, " Successfully completed.         ");
    units.write(kConsole, "");
    units.write(kConsole, " Starts processing the resultant forces ");
    units.write(kConsole, "  ");

    std::string answer(io::kAnswerLength, ' ');
    io::PROMPT(units, kConsole, kAskCount, kPromptLength);
    std::string line;
    if (const int rs = units.read_line(kInputUnit, line); rs != 0) {
        report_input(units, iout, name,
                     {"number of components", read_problem(units, kInputUnit, rs)});
        ierr = -1;
        return;
    }
    answer = io::fixed(line, io::kAnswerLength);
    if (io::is_blank_answer(answer)) return;
    std::int32_t ncomp = 0;
    if (!component_count(answer, ncomp, e)) {
        report_input(units, iout, name, e);
        ierr = -1;
        return;
    }

    for (std::int32_t k = 1; k <= ncomp; ++k) {
        if (!side_file_free(kResultantUnit + k)) return;
    }
    for (std::int32_t k = 1; k <= ncomp; ++k) {
        const std::int32_t unit = kResultantUnit + k;
        const std::string number = io::fmt::I(k, 3);
        io::PROMPT(units, kConsole, "Give Descriptive text for     " + number + " :  ",
                   kPromptLength);
        if (const int rs = units.read_line(kInputUnit, line); rs != 0) {
            report_input(
                units, iout, name,
                {"descriptive text of component" + number, read_problem(units, kInputUnit, rs)});
            ierr = -1;
            return;
        }
        const std::string description = io::fixed(line, io::kAnswerLength);
        io::PROMPT(units, kConsole, "Transfer function (6 nos) for " + number + " :  ",
                   kPromptLength);
        std::array<double, 6> f{};
        const std::array<io::ListItem, 6> items = {&f[0], &f[1], &f[2], &f[3], &f[4], &f[5]};
        if (const int rs = units.read_list(kInputUnit, items); rs != 0) {
            report_input(
                units, iout, name,
                {"transfer functions of component" + number, read_problem(units, kInputUnit, rs)});
            ierr = -1;
            return;
        }

        if (!refresh_scratch(st, w, ptr, iout, jerr)) return fail();
        const DoubleView ts(w, ptr.ts, steps);
        const DoubleView times(w, ptr.times, steps);
        MPRODD(DoubleView{std::span(f)}, DoubleView(w, ptr.aux2, std::int64_t{6} * steps), ts, 1, 6,
               n, 0);

        const std::string cline = component_line(k, description);
        units.write(iout, "");
        units.write(iout, "");
        units.write(iout, kDashes);
        units.write(iout, cline);
        units.write(iout, kDashes);
        units.write(iout, " ");
        for (std::int32_t l = 1; l <= 6; ++l) {
            units.write(iout, " Transfer function Dof" + io::fmt::I(l, 2) + ":" +
                                  io::fmt::E(f[static_cast<std::size_t>(l - 1)], 12, 4));
        }
        PRSTAT(units, w, ptr.ts, n, first, tlast, "=>", iout, jerr);
        if (jerr != 0) return fail();

        units.write(unit, "# " + cline);
        io::write_rows(units, unit, n, 2 * 12, [&](std::int64_t row, char* record) {
            io::fmt::put_E(record, times(row + 1), 12, 4);
            io::fmt::put_E(record + 12, ts(row + 1), 12, 4);
        });
        units.close(unit);
    }

    free_scratch(st, w, iout, jerr);
    if (jerr != 0) fail();
}

}  // namespace ops
