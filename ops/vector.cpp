#include "ops/vector.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "analysis/combination.h"
#include "io/fmt.h"
#include "io/listin.h"
#include "io/text.h"
#include "io/textio.h"
#include "ops/combine.h"
#include "ops/common.h"
#include "ops/engine.h"
#include "ops/peak.h"
#include "ops/stats.h"

namespace ops {

namespace {

constexpr std::string_view kErrorText = "*** ERROR IN Pektor5    ***";
constexpr std::string_view kAskFirst = "Give Dynres Number 1              :  ";
constexpr std::string_view kAskSecond = "Give Dynres Number 2              :  ";

enum class Answer { Number, Blank, Failed };

// Asks for one DynRes number on the keyboard. A blank line gives Blank; end
// of input or an answer that is not a number is reported on the console and
// gives Failed.
Answer ask_dynres(io::Units& units, std::string_view prompt, std::int32_t& idr) {
    units.write(kConsole, "  ");
    std::string answer(io::kAnswerLength, ' ');
    if (io::ask_line(units, prompt, answer) != 0) return Answer::Failed;
    if (io::is_blank_answer(answer)) return Answer::Blank;
    idr = 0;
    const std::array<io::ListItem, 1> items = {&idr};
    if (const int st = io::read_list(answer, items); st != 0) {
        io::report_input_error(
            units, prompt,
            st == io::kIostatEnd ? "a DynRes number was expected" : io::iostat_text(st));
        return Answer::Failed;
    }
    return Answer::Number;
}

}  // namespace

void Pektor5(store::Store& st, dms::WorkArray& w, const std::string& file, double first,
             double last, std::int32_t iout, std::int32_t& ierr, Engine* engine) {
    io::Units& units = st.units;
    std::int32_t jerr = 0;
    const auto fail = [&] { fail_operation(units, iout, kErrorText, ierr); };

    Parameters p;
    if (!recall_prologue(st, w, file, iout, p, jerr)) return fail();
    if (!finish_prologue(st, w, iout, p, jerr, engine)) return fail();

    std::int32_t d1 = 0;
    std::int32_t d2 = 0;
    for (const auto& [prompt, idr] : {std::pair{kAskFirst, &d1}, std::pair{kAskSecond, &d2}}) {
        switch (ask_dynres(units, prompt, *idr)) {
            case Answer::Blank:
                return;
            case Answer::Failed:
                return fail();
            case Answer::Number:
                break;
        }
        // The error block goes to the output file only; the console says why.
        if (*idr <= 0) {
            io::report_input_error(units, prompt,
                                   std::to_string(*idr) + " is not a DynRes number (from 1)");
            return fail();
        }
    }
    for (const std::int32_t d : {d1, d2}) {
        if (d > p.ndynres) {
            report_illegal_number(units, iout, kErrorText, d, p.ndynres);
            ierr = -1;
            return;
        }
    }

    const std::int32_t steps = std::max<std::int32_t>(p.ndrstep, 0);
    Scratch scratch;
    if (!read_and_book(st, w, engine, std::array{d1, d2}, {steps, steps, steps, steps}, scratch,
                       iout, jerr))
        return fail();

    std::int32_t n1 = 0;
    std::int32_t n2 = 0;
    double tlast = 0.0;
    Pektor3_1(st, w, d1, first, last, n1, tlast, scratch.aux1, steps, iout, jerr, engine);
    if (jerr != 0) return fail();
    scratch.aux2 = store::ARGTIP(st, w, "AUX_2 ", iout, jerr);
    if (jerr != 0) return fail();
    Pektor3_1(st, w, d2, first, last, n2, tlast, scratch.aux2, steps, iout, jerr, engine);
    if (jerr != 0) return fail();
    const std::int32_t n = std::max(std::min(n1, n2), 0);

    // The pointers again: the extractions book their scratch array.
    if (!refresh_scratch(st, w, scratch, iout, jerr)) return fail();
    const DoubleView a(w, scratch.aux1, steps);
    const DoubleView b(w, scratch.aux2, steps);
    const DoubleView ts(w, scratch.ts, steps);
    for (std::int64_t i = 1; i <= n; ++i) {
        const double x = a(i);
        const double y = b(i);
        ts.set(i, analysis::vector_length(x, y));
    }
    io::write_rows(units, kVectorUnit, n, 6 + 3 * 12, [&](std::int64_t row, char* line) {
        const std::int64_t i = row + 1;
        io::fmt::put_I(line, i, 6);
        io::fmt::put_E(line + 6, a(i), 12, 3);
        io::fmt::put_E(line + 18, b(i), 12, 3);
        io::fmt::put_E(line + 30, ts(i), 12, 3);
    });
    units.close(kVectorUnit);

    PRSTAT(units, w, scratch.ts, n, first, tlast, "Vector Length", iout, jerr);
    if (jerr == 0) units.write(kConsole, " Successfully completed.         ");

    free_scratch(st, w, iout, jerr);
    if (jerr != 0) fail();
}

}  // namespace ops
