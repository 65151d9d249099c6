#include "ops/stats.h"

#include <array>
#include <utility>

#include "dms/vutil.h"
#include "io/fmt.h"
#include "io/text.h"
#include "ops/common.h"
#include "ops/engine.h"
#include "ops/extract.h"
#include "ops/peak.h"

namespace ops {

namespace {

constexpr std::string_view kPektor3Error = "*** ERROR IN Pektor3    ***";
constexpr std::int32_t kAllDynRes = -99;
constexpr std::size_t kLineLength = 256;

}  // namespace

void PRSTAT(io::Units& units, const dms::WorkArray& w, std::int32_t x, std::int32_t n, double first,
            double last, std::string_view header, std::int32_t iout, std::int32_t& /*ierr*/) {
    const auto xs = dms::dview(w, x);
    Statistics s;
    s.vmax = VMAX(xs, n);
    s.vmin = VMIN(xs, n);
    s.mean = VMEAN(xs, n);
    s.sdev = VSTDEV(xs, n);
    s.skew = VSKEW(xs, n);
    s.kurt = VKURT(xs, n);
    write_statistics(units, s, n, first, last, header, iout);
}

void write_statistics(io::Units& units, const Statistics& s, std::int32_t n, double first,
                      double last, std::string_view header, std::int32_t iout) {
    const auto [vmax, vmin, mean, sdev, skew, kurt] = s;
    using io::fmt::E;
    std::string head(1, '\n');
    head += header;
    const std::array<std::string, 10> lines{
        std::move(head),
        " First TS time  : " + io::fmt::F(first, 12, 3),
        " Last  TS time  : " + io::fmt::F(last, 12, 3),
        " nTS found      : " + io::fmt::I(n, 12),
        " Maximum        : " + E(vmax, 12, 4) + " (Relative to mean: " + E(vmax - mean, 12, 4) +
            " )",
        " Minimum        : " + E(vmin, 12, 4) + " (Relative to mean: " + E(vmin - mean, 12, 4) +
            " )",
        " Mean           : " + E(mean, 12, 4),
        " Std Dev        : " + E(sdev, 12, 4),
        " Skewness       : " + E(skew, 12, 4),
        " Kurtosis       : " + E(kurt, 12, 4),
    };
    for (const std::string& line : lines) {
        // Each line is formatted into the 256-character buffer first.
        const std::string buffer = io::fixed(line, kLineLength);
        const std::string_view text = io::trim_right(buffer);
        units.write(kConsole, text);
        units.write(iout, text);
    }
}

void Pektor3(store::Store& st, dms::WorkArray& w, const std::string& file, double first,
             double last, std::int32_t idr, std::int32_t iout, std::int32_t& ierr, Engine* engine) {
    std::int32_t jerr = 0;
    const auto fail = [&] {
        error_block(st.units, iout, kPektor3Error);
        ierr = -1;
    };

    Parameters p;
    if (!recall_prologue(st, w, file, iout, p, jerr)) return fail();
    // Besides the numbers above nDynRes, those below 1 (other than ALL)
    // name no DynRes either.
    if (idr > p.ndynres || (idr < 1 && idr != kAllDynRes)) {
        report_illegal_number(st.units, iout, kPektor3Error, idr, p.ndynres);
        ierr = -1;
        return;
    }
    if (!finish_prologue(st, w, iout, p, jerr, engine)) return fail();

    std::int32_t pts = 0;
    store::ARBOOK(st, w, "TS", pts, p.ndrstep, "SCRA", "RE", iout, jerr);
    if (jerr != 0) return fail();

    const std::int32_t from = idr == kAllDynRes ? 1 : idr;
    const std::int32_t to = idr == kAllDynRes ? p.ndynres : idr;
    // The last time shown for a window without samples: 0 at first, then the
    // last time found for an earlier DynRes of the same request.
    double tlast = 0.0;
    std::string label(kLineLength, ' ');
    // Several DynRes with the engine: all statistics in streaming passes
    // over the file, ALL_TS and TS untouched. The extraction of the first
    // DynRes still books its arrays (the later ones would book the same).
    const bool streamed = engine != nullptr && engine->active() && to > from;
    std::vector<Statistics> stats;
    std::int32_t nfound = 0;
    double tfound = tlast;
    if (streamed && !engine->statistics(st.units, from, to, first, last, nfound, tfound, stats)) {
        error_block(st.units, iout, "*** ERROR IN DynRes21   ***");
        return fail();
    }
    for (std::int32_t m = from; m <= to; ++m) {
        std::int32_t n = 0;
        if (!streamed || m == from) {
            if (streamed) engine->set_bookings_only(true);
            Pektor3_1(st, w, m, first, last, n, tlast, pts, p.ndrstep, iout, jerr, engine);
            if (streamed) engine->set_bookings_only(false);
            if (jerr != 0) return fail();
        }
        if (streamed) {
            n = nfound;
            tlast = tfound;
        }
        label.assign(kLineLength, ' ');
        const auto icdynr = array_words(st, w, "ICDYNR", iout, jerr);
        if (jerr == 0) XWRI04_C(st.units, icdynr, p.ncol, m, label, iout, jerr);
        if (jerr != 0) return fail();
        const std::string header = io::fixed(
            " Result no " + io::fmt::I(m, 4) + " :   " + std::string(io::trim_right(label)),
            kLineLength);
        if (streamed) {
            write_statistics(st.units, stats[static_cast<std::size_t>(m - from)], n, first, tlast,
                             header, iout);
        } else {
            PRSTAT(st.units, w, pts, n, first, tlast, header, iout, jerr);
        }
        if (jerr != 0) return fail();
    }
    store::ARFREE(st, w, "TSCRA ", "NOCLEAN", iout, jerr);
    if (jerr != 0) return fail();
}

}  // namespace ops
