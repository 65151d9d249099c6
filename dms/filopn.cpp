#include "dms/filopn.h"

#include <string>

#include "io/text.h"

namespace dms {

void FILOPN(io::Units& units, std::string_view name, std::int32_t unit, std::int32_t status_code,
            std::int32_t type_code, std::int32_t form_code, std::int32_t blank_code,
            std::int32_t /*lrec*/, std::int32_t print, std::int32_t lpu, std::int32_t& ierr) {
    if (unit < 1 || unit > 99) {
        ierr = kIllegalUnit;
        return;
    }
    if ((status_code != 1 && status_code != 2) || type_code != 0 || form_code != 1 ||
        blank_code != 0) {
        ierr = kIllegalCode;
        return;
    }
    const io::OpenStatus status = status_code == 2 ? io::OpenStatus::Old : io::OpenStatus::Unknown;
    const int rc = units.open_text(unit, name, status);
    ierr = -rc;
    if (rc == 0 && print != 0 && lpu >= 1) {
        units.write(lpu,
                    " File opened on unit " + std::to_string(unit) + " : " + std::string(name));
    }
}

void OPNTXT(io::Units& units, std::string_view name, std::int32_t unit, std::int32_t mode,
            std::int32_t& ierr) {
    std::int32_t status = 0;
    FILOPN(units, io::trim_right(name), unit, mode == 0 ? 1 : 2, 0, 1, 0, 0, 0, -1, status);
    if (status != 0) ierr = -1;
}

}  // namespace dms
