// Power spectral density by Welch's method, the spectral moments of a
// one-sided density, and the check of a constant time step.
//
// All arithmetic is in double precision. Arguments an estimate cannot be made
// from throw ArgumentError (analysis/argument_error.h) with a one-line
// message; nothing here reads or writes files.
#pragma once

#include <complex>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "analysis/argument_error.h"

namespace analysis {

// The fewest samples a spectrum is estimated from, and the shortest segment.
inline constexpr std::size_t min_spectrum_samples = 16;

struct WelchOptions {
    // Samples per segment; 0 chooses a quarter of the series, at least
    // min_spectrum_samples (and at most the whole series).
    std::size_t nperseg = 0;
    // Overlap of neighbouring segments as a fraction of a segment, in
    // [0, 1): noverlap = floor(overlap * nperseg), which must leave a step of
    // at least one sample.
    double overlap = 0.5;
};

struct WelchResult {
    std::vector<double> freqs;  // k * fs / nperseg, k = 0 .. nperseg / 2
    std::vector<double> psd;    // one-sided density, value^2/Hz, one per frequency
    std::size_t nperseg = 0;
    std::size_t noverlap = 0;
    std::size_t segments = 0;      // segments averaged
    std::size_t samples_used = 0;  // (segments - 1) * (nperseg - noverlap) + nperseg
    double df = 0.0;               // frequency step fs / nperseg
};

// The segment length WelchOptions{nperseg} gives for a series of n samples:
// nperseg itself when not 0, else max(n / 4, min_spectrum_samples), never
// more than n.
std::size_t welch_segment_length(std::size_t n, std::size_t nperseg);

// Welch's estimate of the power spectral density of x sampled at fs (Hz):
//   - segments of N = nperseg samples starting every N - noverlap samples;
//     the trailing samples that do not fill a segment are not used;
//   - from each segment its mean is removed, it is multiplied by the
//     periodic Hann window w[k] = 0.5 - 0.5 cos(2 pi k / N), k = 0 .. N-1,
//     and transformed (real-input FFT, X[j], j = 0 .. N/2);
//   - its periodogram is P[j] = |X[j]|^2 / (fs * sum w[k]^2), doubled for
//     every j but 0 and, for even N, but N/2 (the one-sided density);
//   - psd is the mean of the segments' periodograms.
// The same numbers as
//   scipy.signal.welch(x, fs, window="hann", nperseg=N, noverlap=noverlap,
//                      detrend="constant", scaling="density")
// (noverlap = N // 2 for the default overlap of 0.5).
//
// Throws ArgumentError for fewer than min_spectrum_samples samples, a
// segment shorter than that or longer than the series, an overlap outside
// [0, 1), an fs that is not a finite positive number, or a sample that is
// not finite.
//
// A WelchEstimator keeps the transform's plan, the window and its buffers
// for one segment length, so a run over many series of that length
// allocates nothing per segment and, with a reused result, nothing per
// series. One estimator per thread.
class WelchEstimator {
  public:
    // nperseg >= min_spectrum_samples; overlap as in WelchOptions.
    WelchEstimator(std::size_t nperseg, double overlap = 0.5);
    ~WelchEstimator();
    WelchEstimator(WelchEstimator&&) noexcept;
    WelchEstimator& operator=(WelchEstimator&&) noexcept;

    std::size_t nperseg() const { return nperseg_; }
    std::size_t noverlap() const { return noverlap_; }

    // Estimates the density of x into out (its vectors are reused).
    void estimate(std::span<const double> x, double fs, WelchResult& out);
    WelchResult estimate(std::span<const double> x, double fs);

  private:
    struct Plan;
    std::size_t nperseg_ = 0;
    std::size_t noverlap_ = 0;
    std::unique_ptr<Plan> plan_;
};

// One estimate with a fresh estimator (the segment length from
// welch_segment_length(x.size(), options.nperseg)).
WelchResult welch(std::span<const double> x, double fs, const WelchOptions& options = {});

// Moments of a one-sided density S over its frequencies f (Hz, ascending):
//   m_k = integral f^k S(f) df   (k = 0, 1, 2, 4)
// by the trapezoidal rule over the given frequencies, as
// scipy.integrate.trapezoid(f**k * S, f). From them:
//   tz_spec   = sqrt(m0 / m2)      mean zero-upcrossing period (s)
//   t01       = m0 / m1            mean period (s)
//   fp        = the frequency of the largest density (the first of equal
//               ones), tp = 1 / fp  peak period (s)
//   bandwidth = sqrt(1 - m2^2 / (m0 m4))   spectral width, 0 for one line,
//               towards 1 for a broad spectrum; a negative 1 - m2^2/(m0 m4)
//               from rounding gives 0.
// A value whose divisor is 0 (a zero spectrum, or fp = 0) is absent.
struct SpectralMoments {
    double m0 = 0.0;
    double m1 = 0.0;
    double m2 = 0.0;
    double m4 = 0.0;
    std::optional<double> tz_spec;
    std::optional<double> t01;
    std::optional<double> tp;
    double fp = 0.0;
    std::optional<double> bandwidth;
};

// Throws ArgumentError when the spans differ in length or are empty.
SpectralMoments spectral_moments(std::span<const double> freqs, std::span<const double> psd);

// The time step of a series of sample times t (at least two, increasing):
//   mean_step          = (t[n-1] - t[0]) / (n - 1)
//   largest_deviation  = max |t[i+1] - t[i] - mean_step|
//   relative_deviation = largest_deviation / mean_step
//   sampling_frequency = 1 / mean_step
struct TimeStep {
    double mean_step = 0.0;
    double largest_deviation = 0.0;
    double relative_deviation = 0.0;
    double sampling_frequency = 0.0;
};

// The default tolerance of a varying step: 1 % of the mean step.
inline constexpr double time_step_tolerance = 0.01;

// Measures the step of t. Throws ArgumentError for fewer than two times, a
// time that is not finite, or a mean step that is not positive.
TimeStep measure_time_step(std::span<const double> t);

// Measures the step of t and also throws ArgumentError when it varies by
// more than tolerance times the mean step, naming the largest deviation:
//   "time step varies by <dev> s (<pct> % of the mean step <mean> s, at most 1 % allowed)"
TimeStep constant_time_step(std::span<const double> t, double tolerance = time_step_tolerance);

}  // namespace analysis
