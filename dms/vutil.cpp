#include "dms/vutil.h"

#include <cstddef>

namespace dms {

void VFILLI(std::span<std::int32_t> a, std::int32_t m, std::int32_t n, std::int32_t value) {
    const std::int64_t count = static_cast<std::int64_t>(m) * n;
    if (count <= 0) return;
    if (static_cast<std::uint64_t>(count) > a.size())
        throw std::out_of_range("VFILLI: too few words");
    for (std::int64_t i = 0; i < count; ++i) a[static_cast<std::size_t>(i)] = value;
}

void VCOPYI(std::span<const std::int32_t> src, std::span<std::int32_t> dst, std::int32_t n) {
    if (n <= 0) return;
    const auto count = static_cast<std::size_t>(n);
    if (count > src.size() || count > dst.size()) throw std::out_of_range("VCOPYI: too few words");
    for (std::size_t i = 0; i < count; ++i) dst[i] = src[i];
}

double VDOTD(std::span<const double> x, std::span<const double> y, std::int32_t incx,
             std::int32_t incy, std::int32_t n) {
    if (n <= 0) return 0.0;
    if (incx < 1 || incy < 1) throw std::invalid_argument("VDOTD: stride below 1");
    const auto last = [n](std::int32_t inc) {
        return 1 + static_cast<std::int64_t>(n - 1) * inc;  // highest element index used
    };
    if (static_cast<std::uint64_t>(last(incx)) > x.size() ||
        static_cast<std::uint64_t>(last(incy)) > y.size())
        throw std::out_of_range("VDOTD: too few elements");
    return VDOTD([x](std::int64_t i) { return x[static_cast<std::size_t>(i - 1)]; },
                 [y](std::int64_t i) { return y[static_cast<std::size_t>(i - 1)]; }, incx, incy, n);
}

}  // namespace dms
