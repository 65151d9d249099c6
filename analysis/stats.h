// Statistics of a series and the peak by a sign convention: over a whole
// series held in memory, or streamed sample by sample in two passes without
// keeping the series. The figures are those of the batch commands' `stats`
// and `peak` columns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace analysis {

// Divisor of the central moments: `sample` n - 1 (the classic operation 3 to
// the last bit: numpy.std(x, ddof=1)), `population` n (numpy.std(x)).
enum class Moments { sample, population };

// The classic sign conventions of a peak: the largest value (1), the
// smallest (-1), the largest absolute value given as that value (0), the
// largest magnitude with its sign (-2).
enum class Sign { max, min, abs, signed_ };

// The statistics of one series. Samples that are not finite numbers are left
// out of every figure; n counts the samples used.
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

// Statistics of x at the sample times t (same length), finite samples only:
// - max, min: the largest and smallest value and the first sample of each;
// - mean: the classic sum of x(i) * (1/n) (x itself for n = 1);
// - with d = x - mean and D = n - 1 (`sample`) or n (`population`):
//   std = sqrt(Σd²/D), skew = (Σd³/D) / (Σd²/D)^1.5, kurt = (Σd⁴/D) / (Σd²/D)²
//   (not reduced by 3). `sample` is scipy.stats.skew(x, bias=True) *
//   sqrt((n-1)/n) and scipy.stats.kurtosis(x, fisher=False, bias=True) *
//   (n-1)/n; `population` is scipy.stats.skew(x, bias=True) and
//   scipy.stats.kurtosis(x, fisher=False, bias=True);
// - a series whose max equals its min has std 0 and no skew or kurt;
// - tz, the mean up-crossing period: (t_last - t_first) over the number of
//   consecutive (finite) pairs with x[i] < mean <= x[i+1], none without one.
SeriesStats series_stats(std::span<const double> x, std::span<const float> t, Moments moments);

// The times of a streamed series: the window's first and last sample, the
// times of the maximum and the minimum, and the samples of the window (with
// those left out).
struct StatsTimes {
    float first = 0.0f;
    float last = 0.0f;
    float max = 0.0f;
    float min = 0.0f;
    std::int64_t samples = 0;
};

// series_stats of m series streamed sample by sample, to the bit, in two
// passes over the samples (a sample: its time and the m values, one per
// series):
//   StreamingStats s(m, expected_n, moments);
//   for each sample: s.first(values, time);          // pass 1
//   if (s.end_first()) for each sample: s.mean_again(values);
//   if (s.begin_second()) for each sample: s.second(values);     // pass 2
//   s.finish(stats, times);
// The classic mean's sum x(i) * (1/n) needs n first: pass 1 sums with the
// expected number of samples, and end_first() asks for one more pass when a
// series turns out to have another number (samples left out, or a wrong
// guess).
class StreamingStats {
  public:
    StreamingStats(std::size_t m, std::int64_t expected_samples, Moments moments);

    // Pass 1: the extremes with the time of their first sample, and the sum
    // of the mean.
    void first(const float* values, float time);
    // After pass 1: true when the mean must be summed again (mean_again for
    // every sample of the window, in order).
    bool end_first();
    void mean_again(const float* values);
    // Pass 2: the central moments about the mean and its up-crossings.
    // begin_second() is false when no series needs them (fewer than 2
    // samples each); then finish() follows at once.
    bool begin_second();
    void second(const float* values);
    // The figures, one per series.
    void finish(std::vector<SeriesStats>& stats, std::vector<StatsTimes>& times) const;

    std::int64_t samples() const { return samples_; }

  private:
    std::size_t m_;
    Moments moments_;
    std::int64_t samples_ = 0;
    float t_first_ = 0.0f;
    float t_last_ = 0.0f;
    bool moments_needed_ = false;
    bool clean_ = true;  // no sample left out
    std::vector<double> sum_, rn_;
    std::vector<float> vmax_, vmin_;
    std::vector<std::uint32_t> tmax_, tmin_;  // the times' bits
    std::vector<std::int64_t> missing_;
    std::vector<double> mean_, s2_, s3_, s4_, before_, ups_, r_;
    std::int64_t expected_ = 0;
};

// Index of the peak of x by the sign convention: the largest value, the
// smallest, the largest magnitude (peak |x|) or the largest magnitude with
// its sign; among equal peaks the earliest sample. Samples that are not
// finite numbers are left out: nullopt when no sample is finite. numpy:
// argmax(x), argmin(x), argmax(abs(x)) over the finite samples.
std::optional<std::size_t> finite_peak_index(std::span<const float> x, Sign sign);
// The same for x with at least one finite sample (0 when it has none).
std::size_t peak_index(std::span<const float> x, Sign sign);
// The number of finite samples of x.
std::int64_t finite_count(std::span<const float> x);
// The peak value at that index: x, or |x| for Sign::abs.
float peak_value(float v, Sign sign);

}  // namespace analysis
