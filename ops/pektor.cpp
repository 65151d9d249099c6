#include "ops/pektor.h"

#include "ops/combine.h"
#include "ops/peak.h"
#include "ops/stats.h"
#include "ops/vector.h"

namespace ops {

double Pektor::PEKTOR0(dms::WorkArray& w, const std::string& file, double first, double last,
                       std::int32_t idr, std::int32_t isign, std::int32_t iout,
                       std::int32_t& ierr) {
    return ops::PEKTOR0(store_, w, file, first, last, idr, isign, iout, ierr, &engine_);
}

void Pektor::Pektor3(dms::WorkArray& w, const std::string& file, double first, double last,
                     std::int32_t idr, std::int32_t iout, std::int32_t& ierr) {
    ops::Pektor3(store_, w, file, first, last, idr, iout, ierr, &engine_);
}

void Pektor::Pektor4(dms::WorkArray& w, const std::string& file, double first, double last,
                     std::int32_t iout, std::int32_t& ierr) {
    ops::Pektor4(store_, w, file, first, last, iout, ierr, &engine_);
}

void Pektor::Pektor5(dms::WorkArray& w, const std::string& file, double first, double last,
                     std::int32_t iout, std::int32_t& ierr) {
    ops::Pektor5(store_, w, file, first, last, iout, ierr, &engine_);
}

}  // namespace ops
