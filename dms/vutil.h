// Word utilities: fill, copy and dot product over work-array words.
#pragma once

#include <concepts>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <type_traits>

#include "dms/work_array.h"

namespace dms {

// a(1..m*n) = value; nothing when m*n <= 0. Throws std::out_of_range when
// a holds fewer than m*n words.
void VFILLI(std::span<std::int32_t> a, std::int32_t m, std::int32_t n, std::int32_t value);

// dst(i) = src(i) for i = 1..n in ascending order, so a destination below an
// overlapping source is safe; nothing when n <= 0. Throws std::out_of_range
// when either span holds fewer than n words.
void VCOPYI(std::span<const std::int32_t> src, std::span<std::int32_t> dst, std::int32_t n);

// An element accessor: x(i) is element i (1-based) as a double.
template <class F>
concept DoubleAt = std::invocable<F&, std::int64_t> &&
                   std::convertible_to < std::invoke_result_t<F&, std::int64_t>,
double > ;

// Double-precision dot product of x(1 + (i-1)*incx) and y(1 + (i-1)*incy),
// i = 1..n; 0 when n <= 0. Strides below 1 throw std::invalid_argument.
// With unit strides the first n mod 5 products are summed first, then the
// rest five at a time, each product added to the running sum in turn.
template <DoubleAt X, DoubleAt Y>
double VDOTD(X&& x, Y&& y, std::int32_t incx, std::int32_t incy, std::int32_t n) {
    if (n <= 0) return 0.0;
    if (incx < 1 || incy < 1) throw std::invalid_argument("VDOTD: stride below 1");
    double s = 0.0;
    if (incx == 1 && incy == 1) {
        const std::int64_t m = n % 5;
        for (std::int64_t i = 1; i <= m; ++i) s = s + x(i) * y(i);
        for (std::int64_t i = m + 1; i <= n; i += 5) {
            s = s + x(i) * y(i) + x(i + 1) * y(i + 1) + x(i + 2) * y(i + 2) + x(i + 3) * y(i + 3) +
                x(i + 4) * y(i + 4);
        }
        return s;
    }
    std::int64_t ix = 1;
    std::int64_t iy = 1;
    for (std::int32_t i = 1; i <= n; ++i) {
        s = s + x(ix) * y(iy);
        ix += incx;
        iy += incy;
    }
    return s;
}

// The same over local arrays; throws std::out_of_range when a span is too
// short for n elements at its stride.
double VDOTD(std::span<const double> x, std::span<const double> y, std::int32_t incx,
             std::int32_t incy, std::int32_t n);

// Accessor for the double-precision view of the work array from pointer p:
// element i is w.d(p + i - 1).
inline auto dview(const WorkArray& w, std::int64_t p) {
    return [&w, p](std::int64_t i) { return w.d(p + i - 1); };
}

}  // namespace dms
