#include "app/unavailable_operations.h"

#include "io/text.h"

namespace app {

void UnavailableOperations::fail(std::string_view routine, std::int32_t iout, std::int32_t& ierr) {
    const std::string head = "  *** ERROR IN " + io::fixed(routine, 11) + "***";
    const std::string detail =
        "      Operation " + std::string(routine) + " is not available in this build.";
    for (const std::int32_t unit : {iout, std::int32_t{io::kConsole}}) {
        units_.write(unit, "");
        units_.write(unit, head);
        units_.write(unit, detail);
        if (iout == io::kConsole) break;
    }
    ierr = -1;
}

double UnavailableOperations::PEKTOR0(dms::WorkArray& /*w*/, const std::string& /*file*/,
                                      double /*first*/, double /*last*/, std::int32_t /*idr*/,
                                      std::int32_t /*isign*/, std::int32_t iout,
                                      std::int32_t& ierr) {
    fail("PEKTOR0", iout, ierr);
    return 0.0;
}

void UnavailableOperations::Pektor3(dms::WorkArray& /*w*/, const std::string& /*file*/,
                                    double /*first*/, double /*last*/, std::int32_t /*idr*/,
                                    std::int32_t iout, std::int32_t& ierr) {
    fail("Pektor3", iout, ierr);
}

void UnavailableOperations::Pektor4(dms::WorkArray& /*w*/, const std::string& /*file*/,
                                    double /*first*/, double /*last*/, std::int32_t iout,
                                    std::int32_t& ierr) {
    fail("Pektor4", iout, ierr);
}

void UnavailableOperations::Pektor5(dms::WorkArray& /*w*/, const std::string& /*file*/,
                                    double /*first*/, double /*last*/, std::int32_t iout,
                                    std::int32_t& ierr) {
    fail("Pektor5", iout, ierr);
}

}  // namespace app
