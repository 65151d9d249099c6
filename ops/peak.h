// Peak of a DynRes, and the window extraction shared by the operations.
#pragma once

#include <cstdint>
#include <string>

#include "dms/work_array.h"
#include "store/store.h"

namespace ops {

class Engine;

// Peak of DynRes idr of `file` inside [first, last] by sign convention isign
// (1 largest, -1 smallest, -2 largest magnitude with its sign, anything else
// largest absolute value); idr 0 lists the DynRes labels on the console.
// ierr = -1 on failure (after the message blocks), untouched on success.
double PEKTOR0(store::Store& st, dms::WorkArray& w, const std::string& file, double first,
               double last, std::int32_t idr, std::int32_t isign, std::int32_t iout,
               std::int32_t& ierr, Engine* engine = nullptr);

// Cuts DynRes idr to the window: the values of the samples with
// first <= t <= last (the ends rounded to the single precision of the stored
// times) go to elements 1..n of the double-precision array at
// pointer `values` (room for `capacity` elements); tlast receives the time of
// the last of them (left alone when n = 0). ierr = -1 on failure (more
// samples than capacity, a failed look-up), untouched on success.
void Pektor3_1(store::Store& st, dms::WorkArray& w, std::int32_t idr, double first, double last,
               std::int32_t& n, double& tlast, std::int32_t values, std::int32_t capacity,
               std::int32_t iout, std::int32_t& ierr, Engine* engine = nullptr);

// The same selection, filling the array at pointer `times` with the times.
// Flag as Pektor3_1.
void Pektor1_1(store::Store& st, dms::WorkArray& w, std::int32_t idr, double first, double last,
               std::int32_t& n, std::int32_t times, std::int32_t capacity, std::int32_t iout,
               std::int32_t& ierr, Engine* engine = nullptr);

}  // namespace ops
