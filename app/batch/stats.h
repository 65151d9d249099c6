// The statistics row of one series inside the window, and the peak by a
// sign convention with its sample.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "app/batch/options.h"
#include "app/batch/table.h"

namespace app::batch {

struct SeriesStats {
    std::int64_t n = 0;
    double max = 0.0;
    std::size_t i_max = 0;  // first sample with the maximum
    double min = 0.0;
    std::size_t i_min = 0;
    double mean = 0.0;
    std::optional<double> std;   // n >= 2
    std::optional<double> skew;  // std > 0
    std::optional<double> kurt;
    std::optional<double> tz;  // at least one up-crossing of the mean
};

// Statistics of x (n >= 1) at the sample times t (same length). The mean is
// the classic operation's; `sample` moments are the classic ones to the bit
// (divisor n - 1 throughout, kurtosis not reduced by 3), `population` ones
// have the divisor n.
SeriesStats series_stats(std::span<const double> x, std::span<const float> t, Moments moments);

// The stats columns from t_first on: t_first, t_last, n, max, t_max, min,
// t_min, mean, std, skew, kurt, tz. Stored values keep single precision.
void append_stats(Row& row, const SeriesStats& s, std::span<const float> t, bool stored);

// Names of those columns.
inline constexpr const char* kStatsColumns[] = {"t_first", "t_last", "n",   "max",  "t_max", "min",
                                                "t_min",   "mean",   "std", "skew", "kurt",  "tz"};

// Index of the peak of x (not empty) by the sign convention: the largest
// value, the smallest, the largest magnitude (peak |x|) or the largest
// magnitude with its sign; among equal peaks the earliest sample.
std::size_t peak_index(std::span<const float> x, Sign sign);
// The peak value at that index: x, or |x| for Sign::abs.
float peak_value(float v, Sign sign);

}  // namespace app::batch
