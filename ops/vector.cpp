#include "ops/vector.h"

#include "ops/common.h"

namespace ops {

// Not built yet: reports the failure.
void Pektor5(store::Store& st, dms::WorkArray& /*w*/, const std::string& /*file*/, double /*first*/,
             double /*last*/, std::int32_t iout, std::int32_t& ierr) {
    error_block(st.units, iout, "*** ERROR IN Pektor5    ***");
    ierr = -1;
}

}  // namespace ops
