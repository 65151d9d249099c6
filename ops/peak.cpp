#include "ops/peak.h"

#include <bit>
#include <cmath>

#include "ops/common.h"
#include "ops/engine.h"
#include "ops/extract.h"

namespace ops {

namespace {

constexpr std::string_view kPektor0Error = "*** ERROR IN PEKTOR0    ***";

// Start value of the peak search for a sign convention.
double initial_peak(std::int32_t isign) {
    switch (isign) {
        case 1:
            return -1.0E30;
        case -1:
            return 1.0E30;
        case -2:
            return 0.0;
        default:
            return -1.0E30;
    }
}

// One pass over x(1..n) in order from the start value.
double scan_peak(const dms::WorkArray& w, std::int32_t x, std::int32_t n, std::int32_t isign) {
    double peak = initial_peak(isign);
    for (std::int32_t i = 0; i < n; ++i) {
        const double v = w.d(x + i);
        switch (isign) {
            case 1:
                if (v > peak) peak = v;
                break;
            case -1:
                if (v < peak) peak = v;
                break;
            case -2:
                if (std::fabs(v) > std::fabs(peak)) peak = v;
                break;
            default:
                if (std::fabs(v) > peak) peak = std::fabs(v);
                break;
        }
    }
    return peak;
}

enum class Sample { Value, Time };

// The window selection of Pektor3_1 and Pektor1_1: the samples of DynRes idr
// with first <= t <= last, in order, their value or their time stored. The
// times are stored in single precision, so the window ends are compared
// rounded to single precision: a stored time that is the typed time is
// inside (0.15 stored is 0.150000006). Ends beyond the single-precision
// range round to an infinity and still bound nothing.
void select_window(store::Store& st, dms::WorkArray& w, std::int32_t idr, double first, double last,
                   std::int32_t& n, double* tlast, std::int32_t out, std::int32_t capacity,
                   Sample what, std::string_view error_text, std::int32_t iout, std::int32_t& ierr,
                   Engine* engine) {
    std::int32_t jerr = 0;
    n = 0;
    const auto fail = [&] {
        error_block(st.units, iout, error_text);
        ierr = -1;
    };
    const auto mstru = array_words(st, w, "MSTRU ", iout, jerr);
    if (jerr != 0) return fail();
    const std::int32_t steps = store::GTSTRU(st.units, mstru, "nDRStep ", iout, jerr);
    if (jerr != 0) return fail();
    DynRes21(st, w, idr, 1, 0, 1, 0, 0, iout, jerr, engine);
    if (jerr != 0) return fail();
    const auto ts = array_words(st, w, "TSCRA ", iout, jerr);
    if (jerr != 0) return fail();
    if (steps < 1) return;
    // TSCRA holds the pairs of nDRStep steps, and the target room for as many.
    if (static_cast<std::size_t>(steps) * 2 > ts.size() || steps > capacity ||
        !w.contains(2 * static_cast<std::int64_t>(out) - 1, 2 * static_cast<std::int64_t>(steps))) {
        return fail();
    }
    if (engine != nullptr && engine->bookings_only()) return;
    const auto lower = static_cast<float>(first);
    const auto upper = static_cast<float>(last);
    for (std::size_t j = 0; j < static_cast<std::size_t>(steps); ++j) {
        const float stored = std::bit_cast<float>(ts[2 * j]);
        if (stored < lower) continue;
        if (stored > upper) break;
        const double t = stored;
        ++n;
        if (what == Sample::Value) {
            w.set_d(out + n - 1, std::bit_cast<float>(ts[2 * j + 1]));
            *tlast = t;
        } else {
            w.set_d(out + n - 1, t);
        }
    }
}

}  // namespace

void Pektor3_1(store::Store& st, dms::WorkArray& w, std::int32_t idr, double first, double last,
               std::int32_t& n, double& tlast, std::int32_t values, std::int32_t capacity,
               std::int32_t iout, std::int32_t& ierr, Engine* engine) {
    select_window(st, w, idr, first, last, n, &tlast, values, capacity, Sample::Value,
                  "*** ERROR IN DynRes21   ***", iout, ierr, engine);
}

void Pektor1_1(store::Store& st, dms::WorkArray& w, std::int32_t idr, double first, double last,
               std::int32_t& n, std::int32_t times, std::int32_t capacity, std::int32_t iout,
               std::int32_t& ierr, Engine* engine) {
    select_window(st, w, idr, first, last, n, nullptr, times, capacity, Sample::Time,
                  "*** ERROR IN Pektor1_1  ***", iout, ierr, engine);
}

double PEKTOR0(store::Store& st, dms::WorkArray& w, const std::string& file, double first,
               double last, std::int32_t idr, std::int32_t isign, std::int32_t iout,
               std::int32_t& ierr, Engine* engine) {
    std::int32_t jerr = 0;
    double peak = initial_peak(isign);
    const auto fail = [&] {
        error_block(st.units, iout, kPektor0Error);
        ierr = -1;
        return peak;
    };

    Parameters p;
    if (!recall_prologue(st, w, file, iout, p, jerr)) return fail();
    if (idr < 0 || idr > p.ndynres) {
        report_illegal_number(st.units, iout, kPektor0Error, idr, p.ndynres);
        ierr = -1;
        return peak;
    }
    if (!finish_prologue(st, w, iout, p, jerr, engine)) return fail();

    if (idr == 0) {
        const auto icdynr = array_words(st, w, "ICDYNR", iout, jerr);
        if (jerr == 0) XWRI04_B(st.units, icdynr, p.ncol, p.ndynres, kConsole, jerr);
        if (jerr != 0) return fail();
        return peak;
    }

    std::int32_t pts = 0;
    store::ARBOOK(st, w, "TS", pts, p.ndrstep, "SCRA", "RE", iout, jerr);
    if (jerr != 0) return fail();
    std::int32_t n = 0;
    double tlast = 0.0;
    Pektor3_1(st, w, idr, first, last, n, tlast, pts, p.ndrstep, iout, jerr, engine);
    if (jerr != 0) return fail();
    if (n > 0) peak = scan_peak(w, pts, n, isign);
    store::ARFREE(st, w, "TSCRA ", "NOCLEAN", iout, jerr);
    if (jerr != 0) return fail();
    return peak;
}

}  // namespace ops
