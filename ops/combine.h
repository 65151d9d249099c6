// Operation 4: combination of time series into resultant forces and
// user-defined components.
#pragma once

#include <cstdint>
#include <string>

#include "dms/work_array.h"
#include "store/store.h"

namespace ops {

void Pektor4(store::Store& st, dms::WorkArray& w, const std::string& file, double first,
             double last, std::int32_t iout, std::int32_t& ierr);

}  // namespace ops
