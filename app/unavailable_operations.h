// Stand-ins for the operations of a build that does not contain them: every
// call reports that the operation is not available and fails.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "io/units.h"
#include "ops/operations.h"

namespace app {

class UnavailableOperations final : public ops::Operations {
  public:
    explicit UnavailableOperations(io::Units& units) : units_(units) {}

    double PEKTOR0(dms::WorkArray& w, const std::string& file, double first, double last,
                   std::int32_t idr, std::int32_t isign, std::int32_t iout,
                   std::int32_t& ierr) override;
    void Pektor3(dms::WorkArray& w, const std::string& file, double first, double last,
                 std::int32_t idr, std::int32_t iout, std::int32_t& ierr) override;
    void Pektor4(dms::WorkArray& w, const std::string& file, double first, double last,
                 std::int32_t iout, std::int32_t& ierr) override;
    void Pektor5(dms::WorkArray& w, const std::string& file, double first, double last,
                 std::int32_t iout, std::int32_t& ierr) override;

  private:
    // Writes the error block of the routine to iout and to the console and
    // sets ierr to -1.
    void fail(std::string_view routine, std::int32_t iout, std::int32_t& ierr);

    io::Units& units_;
};

}  // namespace app
