// Operation 5: vector length of two time series.
#pragma once

#include <cstdint>
#include <string>

#include "dms/work_array.h"
#include "store/store.h"

namespace ops {

class Engine;

inline constexpr std::int32_t kVectorUnit = 45;  // the three series ("fort.45")

// Operation 5: asks for two DynRes numbers, writes the vector length of
// every sample of the window to fort.45 and its statistics block. A blank
// answer ends it without output. ierr = -1 on failure, untouched otherwise.
void Pektor5(store::Store& st, dms::WorkArray& w, const std::string& file, double first,
             double last, std::int32_t iout, std::int32_t& ierr, Engine* engine = nullptr);

}  // namespace ops
