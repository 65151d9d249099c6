// Statistics of time series: operation 3 and the block printer shared with
// operations 4 and 5.
#pragma once

#include <cmath>
#include <concepts>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "analysis/classic_moments.h"
#include "dms/work_array.h"
#include "io/units.h"
#include "ops/engine.h"
#include "store/store.h"

namespace ops {

// ---- statistics kernels (analysis/classic_moments.h) ----
using analysis::kStatsHuge;
using analysis::sview;
using analysis::VKURT;
using analysis::VMAX;
using analysis::VMEAN;
using analysis::VMIN;
using analysis::VSKEW;
using analysis::VSTDEV;
namespace detail {
using analysis::detail::central_moments;
using analysis::detail::Moments;
}  // namespace detail

// Statistics of DynRes idr, or of every DynRes for idr = -99; any other
// number outside 1 .. nDynRes is refused with the illegal-number blocks.
// ierr = -1 on failure, untouched on success.
// With an engine that took over the gathering, the statistics of an ALL
// request come from its streaming passes (the same bits).
void Pektor3(store::Store& st, dms::WorkArray& w, const std::string& file, double first,
             double last, std::int32_t idr, std::int32_t iout, std::int32_t& ierr,
             Engine* engine = nullptr);

// The statistics block of PRSTAT for values computed elsewhere.
void write_statistics(io::Units& units, const Statistics& s, std::int32_t n, double first,
                      double last, std::string_view header, std::int32_t iout);

// Writes the statistics block of x(1..n) (the double-precision array at
// pointer x) to the console and then to the output unit, line by line: the
// header after an empty line, the first time to show, the last time to show,
// n, maximum and minimum (also relative to the mean), mean, standard
// deviation, skewness and kurtosis. Reports no errors of its own.
void PRSTAT(io::Units& units, const dms::WorkArray& w, std::int32_t x, std::int32_t n, double first,
            double last, std::string_view header, std::int32_t iout, std::int32_t& ierr);

}  // namespace ops
