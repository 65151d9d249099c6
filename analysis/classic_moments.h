// The classic statistics kernels of operation 3, to the bit: the maximum,
// minimum, mean, standard deviation, skewness and kurtosis of a series
// given by an element accessor. The batch statistics and operation 3 use the
// same kernels, so that `pektor stats --moments sample` is operation 3 to the
// last bit.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>

namespace analysis {

// ---- statistics kernels ----
//
// Each kernel takes an element accessor x (x(i) is element i, 1-based, as a
// double; dms::dview gives one over the work array) and the count n. Every
// moment uses the divisor n - 1 as a reciprocal formed once and multiplied
// into each term; a kernel that needs the mean computes it again.

inline constexpr double kStatsHuge = 1.0E35;

// The largest of -1.0E35 and x(1..n).
template <class X>
double VMAX(X&& x, std::int32_t n) {
    double r = -kStatsHuge;
    for (std::int32_t i = 1; i <= n; ++i) {
        const double v = x(i);
        if (v > r) r = v;
    }
    return r;
}

// The smallest of +1.0E35 and x(1..n).
template <class X>
double VMIN(X&& x, std::int32_t n) {
    double r = kStatsHuge;
    for (std::int32_t i = 1; i <= n; ++i) {
        const double v = x(i);
        if (v < r) r = v;
    }
    return r;
}

// 0 for n = 0, x(1) for n = 1, else the sum of x(i) * (1/n).
template <class X>
double VMEAN(X&& x, std::int32_t n) {
    if (n <= 0) return 0.0;
    if (n == 1) return x(1);
    const double rn = 1.0 / static_cast<double>(n);
    double s = 0.0;
    for (std::int32_t i = 1; i <= n; ++i) s += x(i) * rn;
    return s;
}

namespace detail {

// The central moments S2, S3, S4 with the divisor n - 1 (n >= 2).
struct Moments {
    double s2 = 0.0;
    double s3 = 0.0;
    double s4 = 0.0;
};

template <class X>
Moments central_moments(X&& x, std::int32_t n) {
    const double mean = VMEAN(x, n);
    const double r = 1.0 / static_cast<double>(n - 1);
    Moments m;
    for (std::int32_t i = 1; i <= n; ++i) {
        const double d = x(i) - mean;
        const double d2 = d * d;
        m.s2 += d2 * r;
        m.s3 += d2 * d * r;
        m.s4 += d2 * d2 * r;
    }
    return m;
}

}  // namespace detail

// Square root of S2 = sum of (x(i) - mean)^2 * (1/(n-1)); 0 for n < 2.
template <class X>
double VSTDEV(X&& x, std::int32_t n) {
    if (n < 2) return 0.0;
    return std::sqrt(detail::central_moments(x, n).s2);
}

// S3 / S2^(3/2) as r^2 * (S3 * r) with r = 1/sqrt(S2); 0 for n < 2. A
// constant series gives 0/0, not-a-number.
template <class X>
double VSKEW(X&& x, std::int32_t n) {
    if (n < 2) return 0.0;
    const detail::Moments m = detail::central_moments(x, n);
    const double r = 1.0 / std::sqrt(m.s2);
    return r * r * (m.s3 * r);
}

// S4 / S2^2 (no 3 subtracted); 0 for n < 2.
template <class X>
double VKURT(X&& x, std::int32_t n) {
    if (n < 2) return 0.0;
    const detail::Moments m = detail::central_moments(x, n);
    return m.s4 / (m.s2 * m.s2);
}

// Accessor over a local array: x(i) is values[i - 1].
inline auto sview(std::span<const double> values) {
    return [values](std::int64_t i) { return values[static_cast<std::size_t>(i - 1)]; };
}

}  // namespace analysis
