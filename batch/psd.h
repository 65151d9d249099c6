// The psd command: Welch's power spectral density of the selected DynRes in
// the window, as spectral moments (one row per DynRes) or as the spectrum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "batch/runner.h"

namespace batch {

struct Params;

struct PsdOptions {
    std::size_t nperseg = 0;  // 0: a quarter of the window's samples, at least 16
    double overlap = 0.5;     // fraction of a segment
    bool curve = false;       // the spectrum's rows instead of the summary
    // DynRes estimated in parallel within one file (1 when files run in
    // parallel).
    std::int32_t threads = 1;
};

// --nperseg, --overlap (empty: the defaults), --curve. Throws UsageError for
// a segment below 16 samples or an overlap outside [0, 1).
PsdOptions parse_psd_options(std::string_view nperseg, std::string_view overlap, bool curve);

// The columns: the summary's or, with --curve, the spectrum's.
std::vector<std::string> psd_columns(const PsdOptions& options);

// One file's rows.
FileResult psd_file(const Params& p, const std::string& file,
                    reader::ReadBuffers* buffers = nullptr);

}  // namespace batch
