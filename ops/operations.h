// The operations that the dialogue runs. Every call receives the work array,
// the dyn file name (a 256-character blank-padded field), the time window and
// the output unit; on failure it sets ierr to -1 and otherwise leaves it alone.
#pragma once

#include <cstdint>
#include <string>

#include "dms/work_array.h"

namespace ops {

class Operations {
  public:
    virtual ~Operations() = default;

    // Peak of DynRes idr by sign convention isign; idr 0 only lists the DynRes.
    virtual double PEKTOR0(dms::WorkArray& w, const std::string& file, double first, double last,
                           std::int32_t idr, std::int32_t isign, std::int32_t iout,
                           std::int32_t& ierr) = 0;

    // Statistics of DynRes idr, or of all DynRes for idr = -99.
    virtual void Pektor3(dms::WorkArray& w, const std::string& file, double first, double last,
                         std::int32_t idr, std::int32_t iout, std::int32_t& ierr) = 0;

    // Combination of time series.
    virtual void Pektor4(dms::WorkArray& w, const std::string& file, double first, double last,
                         std::int32_t iout, std::int32_t& ierr) = 0;

    // Vector length of two time series.
    virtual void Pektor5(dms::WorkArray& w, const std::string& file, double first, double last,
                         std::int32_t iout, std::int32_t& ierr) = 0;
};

}  // namespace ops
