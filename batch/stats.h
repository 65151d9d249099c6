// The statistics rows of the batch commands: the figures of the analysis
// library (analysis/stats.h) as table cells, and the streaming of a file's
// samples through them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/stats.h"
#include "batch/options.h"
#include "batch/source.h"
#include "batch/table.h"

namespace batch {

using analysis::finite_count;
using analysis::finite_peak_index;
using analysis::peak_index;
using analysis::peak_value;
using analysis::series_stats;
using analysis::SeriesStats;
using analysis::StatsTimes;

// The stats columns from t_first on: t_first, t_last, n, max, t_max, min,
// t_min, mean, std, skew, kurt, tz. Stored values keep single precision.
void append_stats(Row& row, const SeriesStats& s, std::span<const float> t, bool stored);

// The same with the times given.
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

}  // namespace batch
