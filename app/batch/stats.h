// The statistics row of one series inside the window, and the peak by a
// sign convention with its sample.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/batch/options.h"
#include "app/batch/source.h"
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

// The same with the times given: the window's first and last sample, and
// the times of the maximum and the minimum.
struct StatsTimes {
    float first = 0.0f;
    float last = 0.0f;
    float max = 0.0f;
    float min = 0.0f;
    std::int64_t samples = 0;  // of the window, with those left out (stream_stats)
};
void append_stats(Row& row, const SeriesStats& s, const StatsTimes& t, bool stored);

// series_stats of the DynRes `dynres` of the source inside the window, to
// the bit, without keeping the series in full: the first pass over the file
// gives the extremes and the mean, the second the moments and the
// up-crossings of the mean. The mean's classic sum needs the number of
// samples first: it is taken from the source's count of the window (or the
// file's steps) and made again for a series that turns out to have another
// number (samples that are not finite numbers are left out of every figure;
// stats[j].n counts those used, times[j].samples all of the window). When
// the selected samples of the window take at most `keep_bytes`, they are
// kept from the first pass and the later passes run on them, so the file is
// read once. stats[j] and times[j] are those of dynres[j]. False with a
// one-line reason when the file cannot give the samples; an empty window
// gives true with no sample (times[j].samples == 0).
inline constexpr std::size_t kKeepBytes = std::size_t{8} << 20;
bool stream_stats(SeriesSource& src, const Window& window, std::span<const std::int32_t> dynres,
                  Moments moments, std::vector<SeriesStats>& stats, std::vector<StatsTimes>& times,
                  std::string& error, std::size_t keep_bytes = kKeepBytes);

// Names of those columns.
inline constexpr const char* kStatsColumns[] = {"t_first", "t_last", "n",   "max",  "t_max", "min",
                                                "t_min",   "mean",   "std", "skew", "kurt",  "tz"};

// Index of the peak of x by the sign convention: the largest value, the
// smallest, the largest magnitude (peak |x|) or the largest magnitude with
// its sign; among equal peaks the earliest sample. Samples that are not
// finite numbers are left out: nullopt when no sample is finite.
std::optional<std::size_t> finite_peak_index(std::span<const float> x, Sign sign);
// The same for x with at least one finite sample (0 when it has none).
std::size_t peak_index(std::span<const float> x, Sign sign);
// The finite samples of x.
std::int64_t finite_count(std::span<const float> x);
// The peak value at that index: x, or |x| for Sign::abs.
float peak_value(float v, Sign sign);

}  // namespace app::batch
