// The zero-phase filter of the batch commands (--filter): the whole stored
// series of each selected DynRes filtered before any window is cut, behind
// the same SeriesSource every command reads through.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "analysis/butterworth.h"
#include "batch/source.h"

namespace batch {

// Default of --max-memory: 4 GiB.
inline constexpr std::uint64_t kDefaultMaxMemory = std::uint64_t{4} << 30;
// Bytes a filtered sample is counted with against --max-memory.
inline constexpr std::uint64_t kFilterBytesPerSample = 8;

struct SeriesFilter {
    bool on = false;
    analysis::FilterSettings settings;
    std::uint64_t max_memory = kDefaultMaxMemory;
    // Threads that filter the DynRes of one file (the file's selected
    // series in parallel; 1 when files run in parallel).
    std::int32_t threads = 1;
};

// "low:F", "high:F", "band:F1:F2" or "stop:F1:F2" (Hz) with the order.
// Throws UsageError for any other text, a frequency that does not read in
// full or is not above 0 and finite, band ends not increasing, or an order
// outside 1..8: the faults known without a file.
analysis::FilterSettings parse_filter(std::string_view text, std::string_view order);

// A byte count: a whole number with an optional suffix K, M, G or T (powers
// of 1024; KiB .. TiB also read). Throws UsageError.
std::uint64_t parse_memory(std::string_view text);

// The filter as the outputs name it: "low:0.05 order 4".
std::string filter_text(const SeriesFilter& filter);

// Opens a dyn file as open_source does; with the filter on, the source's
// series are those of the filter: on the first read of a set of DynRes the
// whole stored series of each is read, checked (a constant time step, every
// sample a finite number, at most max_memory at 8 bytes a sample), filtered
// in double precision forwards and backwards (analysis::sosfiltfilt) and
// rounded to single precision like the stored values; every window is then
// cut from those series. A fault is the one-line reason of the read.
std::unique_ptr<SeriesSource> open_series(const std::filesystem::path& file,
                                          const SeriesFilter& filter, std::string& error,
                                          reader::ReadBuffers* buffers = nullptr);

}  // namespace batch
