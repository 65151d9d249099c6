// Statistics of time series: operation 3 and the block printer shared with
// operations 4 and 5.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dms/work_array.h"
#include "io/units.h"
#include "store/store.h"

namespace ops {

// Statistics of DynRes idr, or of every DynRes for idr = -99.
void Pektor3(store::Store& st, dms::WorkArray& w, const std::string& file, double first,
             double last, std::int32_t idr, std::int32_t iout, std::int32_t& ierr);

// Writes the statistics block of x(1..n) (the double-precision array at
// pointer x) to the console and then to the output unit.
void PRSTAT(io::Units& units, const dms::WorkArray& w, std::int32_t x, std::int32_t n, double first,
            double last, std::string_view header, std::int32_t iout, std::int32_t& ierr);

}  // namespace ops
