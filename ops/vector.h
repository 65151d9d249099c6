// Operation 5: vector length of two time series.
#pragma once

#include <cstdint>
#include <string>

#include "dms/work_array.h"
#include "store/store.h"

namespace ops {

inline constexpr std::int32_t kVectorUnit = 45;  // the three series ("fort.45")

void Pektor5(store::Store& st, dms::WorkArray& w, const std::string& file, double first,
             double last, std::int32_t iout, std::int32_t& ierr);

}  // namespace ops
