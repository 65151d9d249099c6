// The operations as the dialogue calls them: one object that owns the
// named-array store over the program's units and RAFLIB state, and runs each
// operation on the work array it is handed.
#pragma once

#include <cstdint>
#include <string>

#include "dms/work_array.h"
#include "io/units.h"
#include "ops/engine.h"
#include "ops/operations.h"
#include "raflib/raflib.h"
#include "store/store.h"

namespace ops {

class Pektor final : public Operations {
  public:
    // per_step: never take the fast path (the reference path, for comparisons).
    Pektor(io::Units& units, raflib::Raflib& raf, bool per_step = false)
        : store_(units, raf), engine_(!per_step) {}

    double PEKTOR0(dms::WorkArray& w, const std::string& file, double first, double last,
                   std::int32_t idr, std::int32_t isign, std::int32_t iout,
                   std::int32_t& ierr) override;
    void Pektor3(dms::WorkArray& w, const std::string& file, double first, double last,
                 std::int32_t idr, std::int32_t iout, std::int32_t& ierr) override;
    void Pektor4(dms::WorkArray& w, const std::string& file, double first, double last,
                 std::int32_t iout, std::int32_t& ierr) override;
    void Pektor5(dms::WorkArray& w, const std::string& file, double first, double last,
                 std::int32_t iout, std::int32_t& ierr) override;

    store::Store& store() { return store_; }

  private:
    store::Store store_;
    Engine engine_;
};

}  // namespace ops
