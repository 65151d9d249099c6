// Butterworth filters as second-order sections, and zero-phase filtering
// (the filter run forwards, then backwards).
//
// All arithmetic is in double precision. Arguments a filter cannot be made
// or run from throw ArgumentError (analysis/argument_error.h) with a
// one-line message; nothing here reads or writes files.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "analysis/argument_error.h"

namespace analysis {

enum class FilterKind { low, high, band, stop };

// The orders a filter may have.
inline constexpr int min_filter_order = 1;
inline constexpr int max_filter_order = 8;

// One second-order section b0 b1 b2 a0 a1 a2 (a0 = 1), its transfer function
//   H(z) = (b0 + b1 z^-1 + b2 z^-2) / (a0 + a1 z^-1 + a2 z^-2).
using SosSection = std::array<double, 6>;

// A filter as a cascade of sections, applied first to last; the gain is in
// the first section.
struct Sos {
    std::vector<SosSection> sections;
};

// A filter as a command names it: "low:F", "high:F", "band:F1:F2",
// "stop:F1:F2" and its order. f2 is used by band and stop only.
struct FilterSettings {
    FilterKind kind = FilterKind::low;
    int order = 4;
    double f1 = 0.0;  // Hz: the cut-off, or the lower band end
    double f2 = 0.0;  // Hz: the upper band end
};

// "low", "high", "band", "stop".
const char* filter_kind_name(FilterKind kind);
// The filter as it is written on the command line, with its order:
// "low:0.05 order 4", "band:0.5:1.5 order 8" (the frequencies as the
// shortest text that reads back to the same double).
std::string describe(const FilterSettings& settings);

// Checks a filter against the sampling frequency fs (Hz); throws
// ArgumentError, one message per fault:
//   order outside 1..8; fs not a finite positive number; a cut-off (or band
//   end) at or below 0 or at or above the Nyquist frequency fs / 2; band
//   ends not increasing (f1 >= f2).
void check_filter(const FilterSettings& settings, double fs);

// The digital Butterworth filter of the given order as second-order
// sections, the same coefficients as
//   scipy.signal.butter(order, Wn, btype, fs=fs, output="sos")
// with Wn = f1 (low, high) or [f1, f2] (band, stop) and btype "lowpass",
// "highpass", "bandpass", "bandstop": the analog prototype's poles
// -exp(i pi m / (2 order)), m = -order+1, -order+3, .., order-1; the edge
// frequencies prewarped to 4 tan(pi f / fs); the prototype transformed to
// the kind (band and stop about the centre sqrt(w1 w2) with width w2 - w1);
// the bilinear transform z = (4 + s) / (4 - s); poles paired with their
// nearest zeros into sections, the poles nearest the unit circle last.
// Low and high give ceil(order / 2) sections, band and stop order sections.
// Throws as check_filter, and when an edge is so near 0 or fs / 2 (within
// about 1e-8 fs at order 4) that the design underflows or rounds a pole onto
// the unit circle.
Sos butterworth(const FilterSettings& settings, double fs);
Sos butterworth(int order, FilterKind kind, double f1, double f2, double fs);

// Whether every section has finite coefficients, a0 != 0 and both poles
// strictly inside the unit circle (with a1, a2 divided by a0: |a2| < 1 and
// |a1| < 1 + a2): the cascade's output stays bounded and its steady state
// exists.
bool stable(const Sos& sos);

// The samples sosfiltfilt adds at each end:
//   3 * (2 * sections + 1 - min(sections with b2 = 0, sections with a2 = 0)).
std::size_t filtfilt_padlen(const Sos& sos);

// The series x filtered forwards and backwards (zero phase, the square of
// the filter's magnitude response), the same numbers as
//   scipy.signal.sosfiltfilt(sos, x)   (padtype="odd", padlen as above):
//   - x is extended at both ends by an odd reflection about its end value,
//     2 x[0] - x[padlen], .., 2 x[0] - x[1] before it and 2 x[n-1] - x[n-2],
//     .., 2 x[n-1] - x[n-1-padlen] after it;
//   - each pass (transposed direct form II, section by section) starts from
//     the sections' steady-state values for a unit step (scipy's
//     sosfilt_zi) times the first sample it filters;
//   - the extension is cut off again.
// Throws ArgumentError when the filter has no sections or is not stable,
// when x has no more than filtfilt_padlen(sos) samples, or a sample that is
// not finite. out has x's length and may be the same
// memory as x (filtering in place); apart from two buffers of padlen
// samples nothing is allocated.
void sosfiltfilt(const Sos& sos, std::span<const double> x, std::span<double> out);
void sosfiltfilt(const Sos& sos, std::span<const float> x, std::span<double> out);
std::vector<double> sosfiltfilt(const Sos& sos, std::span<const double> x);

}  // namespace analysis
