#include "app/entry.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <limits>
#include <new>
#include <string>

#include "app/pektor.h"

namespace app {

namespace {

constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();

// Formats one printf-style message with one value.
template <typename T>
std::string message(const char* format, T value) {
    char buf[256];
    const int n = std::snprintf(buf, sizeof buf, format, value);
    if (n < 0) return {};
    return std::string(buf, static_cast<std::size_t>(n) < sizeof buf ? static_cast<std::size_t>(n)
                                                                     : sizeof buf - 1);
}

void internal_error(io::Units& units, const char* what) noexcept {
    try {
        units.prompt(kScreenUnit, "\n *** Internal error: " + std::string(what) + "\n");
    } catch (...) {
        std::fputs("\n *** Internal error\n", stdout);
    }
}

}  // namespace

std::int32_t truncate_to_int32(float x) {
    // Every float in [-2^31, 2^31) truncates to a representable value; the
    // comparison is false for NaN.
    if (!(x >= -2147483648.0f && x < 2147483648.0f)) return kInt32Min;
    return static_cast<std::int32_t>(x);
}

WorkArraySize work_array_size(const char* arg) {
    if (arg == nullptr) return {kDefaultWords, static_cast<float>(kDefaultWords)};
    // The size is decimal text: a hexadecimal form ("0x10") stops at the x
    // like any other character that cannot continue a decimal number.
    std::string text(arg);
    const std::size_t lead = text.find_first_not_of(" \t\n\v\f\r");
    if (lead != std::string::npos) {
        const std::size_t digits = lead + (text[lead] == '+' || text[lead] == '-' ? 1 : 0);
        if (text.size() > digits + 1 && text[digits] == '0' &&
            (text[digits + 1] == 'x' || text[digits + 1] == 'X')) {
            text.resize(digits + 1);
        }
    }
    const double d = std::strtod(text.c_str(), nullptr);
    // Narrowing a double beyond the float range is not defined: such a value
    // becomes an infinity, whose product is outside the 32-bit range anyway.
    float millions = 0.0f;
    if (std::isnan(d)) {
        millions = std::numeric_limits<float>::quiet_NaN();
    } else if (std::fabs(d) > static_cast<double>(std::numeric_limits<float>::max())) {
        millions = d > 0 ? std::numeric_limits<float>::infinity()
                         : -std::numeric_limits<float>::infinity();
    } else {
        millions = static_cast<float>(d);
    }
    const float x = millions * 1.0e6f;
    return {truncate_to_int32(x), x};
}

std::unique_ptr<dms::WorkArray> allocate_work_array(std::int32_t nwiwa) {
    return std::make_unique<dms::WorkArray>(nwiwa);
}

int entry(int argc, const char* const* argv, io::Units& units, ops::Operations& ops,
          const WorkArrayAllocator& allocate) {
    try {
        const WorkArraySize size = work_array_size(argc > 1 ? argv[1] : nullptr);
        const std::int32_t nwiwa = size.nwiwa;
        if (nwiwa <= 0) {
            units.prompt(kScreenUnit,
                         message("\n The nwiwa value (%d) is zero or negative! \n", nwiwa));
            return 1;
        }

        const std::int32_t m = nwiwa / 1'000'000;
        std::unique_ptr<dms::WorkArray> w;
        try {
            w = allocate(nwiwa);
        } catch (const std::bad_alloc&) {
            w.reset();
        }
        if (!w) {
            units.prompt(kScreenUnit, "\a");
            units.prompt(kScreenUnit,
                         "\n\n ***************************************************** ");
            units.prompt(kScreenUnit,
                         message("\n ******  Allocating %4d million words failed!  ****** ", m));
            units.prompt(kScreenUnit,
                         "\n ***************************************************** \n\n");
            return 1;
        }

        if (m >= 1) {
            units.prompt(kScreenUnit,
                         message("\n\n %d million words successfully allocated \n\n", m));
        } else {
            units.prompt(kScreenUnit, message("\n\n %.2f million words successfully allocated \n\n",
                                              static_cast<double>(size.x / 1.0e6f)));
        }

        const std::int32_t status = pektor(*w, units, ops);
        w.reset();

        if (status == 0) return 0;
        units.prompt(kScreenUnit, message("\n Return value from pektor: %d \n", status));
        return 1;
    } catch (const dms::WorkArray::OutOfRange& e) {
        internal_error(units, e.what());
    } catch (const std::exception& e) {
        internal_error(units, e.what());
    } catch (...) {
        internal_error(units, "unknown exception");
    }
    return 1;
}

}  // namespace app
