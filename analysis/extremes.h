// Extreme values: the peaks of a series between up-crossings of its mean, a
// three-parameter Weibull fitted to them, the Gumbel distribution of the
// largest of N such peaks and its quantiles; and the Gumbel fitted to a set of
// maxima (one per simulation, e.g. per random seed) by moments or by maximum
// likelihood.
//
// Minima are handled by negation: with Tail::min every sample (and the mean)
// is negated, the fits are made on the negated values, and the locations and
// quantiles are negated back. Scales and shapes stay positive. All
// arithmetic is in double precision.
//
// A fit that cannot be made gives no value and a one-line reason (lower case,
// no full stop) that a command can print as a warning beside empty cells.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace analysis {

// Which extremes: the maxima, or the minima (fitted as maxima of -x).
enum class Tail { max, min };

// The peaks of a series fed in blocks, once its mean is known. With Tail::max
// an up-crossing of the mean is a pair of consecutive (finite) samples with
// x[i] < mean <= x[i+1]; for consecutive up-crossings at i1 and i2 the peak
// is the largest of x[i1+1] ... x[i2]. Samples before the first and after the
// last up-crossing give no peak, so k up-crossings give k - 1 peaks. With
// Tail::min the same is done on -x about -mean: a down-crossing is x[i] >
// mean >= x[i+1] and the peak is the smallest sample between two of them.
// Samples that are not finite are left out (the crossing is then between the
// finite samples on either side) and counted in skipped(). Only the peaks
// found so far, the running extreme and the previous sample are kept.
class PeakCollector {
  public:
    explicit PeakCollector(double mean, Tail tail = Tail::max)
        : tail_(tail), level_(tail == Tail::min ? -mean : mean) {}

    void push(double x) {
        if (!std::isfinite(x)) {
            ++skipped_;
            return;
        }
        const double v = tail_ == Tail::min ? -x : x;
        if (any_ && previous_ < level_ && level_ <= v) {
            if (crossed_) peaks_.push_back(tail_ == Tail::min ? -running_ : running_);
            crossed_ = true;
            running_ = v;
        } else if (crossed_ && v > running_) {
            running_ = v;
        }
        previous_ = v;
        any_ = true;
    }
    void push(std::span<const float> x) {
        for (const float v : x) push(static_cast<double>(v));
    }
    void push(std::span<const double> x) {
        for (const double v : x) push(v);
    }

    // The peaks closed so far, in series order, as sample values (minima for
    // Tail::min). The samples after the last up-crossing never give one.
    const std::vector<double>& peaks() const { return peaks_; }
    // Moves the peaks out; the collector is then empty as if new.
    std::vector<double> take();
    // Non-finite samples left out.
    std::int64_t skipped() const { return skipped_; }
    Tail tail() const { return tail_; }

  private:
    Tail tail_;
    double level_;           // the mean, negated for Tail::min
    double previous_ = 0.0;  // the last finite sample (negated for Tail::min)
    double running_ = 0.0;   // the largest (negated) sample since the last up-crossing
    bool any_ = false;       // a finite sample was seen
    bool crossed_ = false;   // an up-crossing was seen
    std::vector<double> peaks_;
    std::int64_t skipped_ = 0;
};

// The peaks of a whole series about the mean of its finite samples (summed in
// order in double precision), as PeakCollector gives them. A series without
// finite samples has no peaks.
std::vector<double> peaks(std::span<const float> x, Tail tail = Tail::max);
std::vector<double> peaks(std::span<const double> x, Tail tail = Tail::max);

// The three-parameter Weibull F(x) = 1 - exp(-((x - a) / b)^c), x >= a: loc a,
// scale b > 0, shape c > 0. For Tail::min it describes the peaks' negated
// values and loc is given negated back (the minima are then -a - b Y^(1/c)
// with Y a unit exponential).
struct Weibull {
    double loc = 0.0;    // a
    double scale = 0.0;  // b
    double shape = 0.0;  // c
    Tail tail = Tail::max;
};

// How the Weibull is fitted to the peaks.
//   pwm: probability-weighted moments. With the (oriented) peaks sorted
//        x(1) <= ... <= x(n) and, for j = 0..3,
//          M_j = (1/n) sum_{i=j+1..n} x(i) C(i-1, j) / C(n-1, j)
//        (the unbiased estimators of E[X F(X)^j]; M0 is the mean; no scipy
//        call fits this way, scipy's weibull_min.fit is maximum likelihood):
//          c = ln 2 / ln((2 M1 - M0) / (2 (5 M1 - M0 - 6 M2 + 2 M3)))
//          a = 4 (M0 (3 M2 - M3 - M1) - M1^2) / (M0 - 8 M1 + 12 M2 - 4 M3)
//          b = (M0 - a) / G(1 + 1/c)
//        (G the gamma function). M3 needs n >= 4.
//   msm: the method of moments. m the mean, v the variance with divisor n
//        (numpy.var(x)) and g the skewness (1/n sum (x - m)^3) / v^1.5
//        (scipy.stats.skew(x)); c solves
//          (G(1+3/c) - 3 G(1+1/c) G(1+2/c) + 2 G(1+1/c)^3)
//            / (G(1+2/c) - G(1+1/c)^2)^1.5 = g
//        on 0.1 <= c <= 1000 (by bisection in ln c, to the double precision),
//          b = sqrt(v / (G(1+2/c) - G(1+1/c)^2)),  a = m - G(1+1/c) b.
enum class WeibullMethod { pwm, msm };

struct WeibullFit {
    std::optional<Weibull> weibull;  // none when the fit failed
    std::string reason;              // why not, when it failed
};

// Fits the Weibull to the peaks (as sample values; negated first for
// Tail::min). Non-finite values are left out. Fails with fewer than 3 peaks
// (4 for pwm), when the peaks are all equal, when msm finds no shape in its
// range, or when the moments give no Weibull (a shape, scale or location that
// is not a finite number, or not above 0 for the shape and scale).
WeibullFit fit_weibull(std::span<const double> peaks, WeibullMethod method, Tail tail = Tail::max);

// The number of peaks in a storm: N = round(duration / (t_last - t_first) *
// n_peaks), the peak rate of the window scaled to the storm's duration (in the
// units of the times, seconds for a dyn file). None when the window has no
// length (t_last <= t_first), the duration is not above 0, or a value is not
// finite.
std::optional<double> storm_peak_count(double duration, double t_first, double t_last,
                                       std::size_t n_peaks);

// A Gumbel distribution F(x) = exp(-exp(-(x - loc) / scale)) of a maximum
// (scipy.stats.gumbel_r(loc, scale)); for Tail::min, the distribution of a
// minimum, -X with X Gumbel(-loc, scale) (scipy.stats.gumbel_l(loc, scale)).
// loc is the mode, the most probable extreme (mpm).
struct Gumbel {
    double loc = 0.0;
    double scale = 0.0;
    Tail tail = Tail::max;
};

struct GumbelFit {
    std::optional<Gumbel> gumbel;  // none when the fit failed
    std::string reason;            // why not, when it failed
};

// The Gumbel asymptote of the largest of N independent peaks of the Weibull
// w (oriented as w.tail):
//   gloc = a + b (ln N)^(1/c),  gscale = b / (c (ln N)^((c-1)/c)).
// gloc is the value the largest of N exceeds with probability 1 - 1/e
// approximately. Fails for N < 2 (ln N would vanish) or not finite, or a
// result that is not finite.
GumbelFit gumbel_of_largest(const Weibull& w, double n);

// The quantile p_q = loc - scale ln(-ln q) of g for 0 < q < 1
// (scipy.stats.gumbel_r.ppf(q, loc, scale)); for Tail::min the minimum's
// quantile -((-loc) - scale ln(-ln q)) = loc + scale ln(-ln q), the value the
// minimum falls below with probability 1 - q (scipy.stats.gumbel_l.ppf(1 - q,
// loc, scale)). q = 0.37 is customary for the most probable extreme (1/e
// rounded); the exact mode is loc. None for q outside (0, 1).
std::optional<double> gumbel_quantile(const Gumbel& g, double q);

// How a Gumbel is fitted to a set of extremes (one per simulation).
//   moments: s the standard deviation with divisor n - 1 (numpy.std(x,
//            ddof=1)) and m the mean, scale = s sqrt(6) / pi,
//            loc = m - 0.5772156649 scale (Euler's constant to 10 decimals).
//   mle:     maximum likelihood (scipy.stats.gumbel_r.fit(x)): scale solves
//            scale = m - sum x e^(-x/scale) / sum e^(-x/scale) (by Newton's
//            method kept in a bracket, to 1e-12 relative), then
//            loc = -scale ln((1/n) sum e^(-x/scale)).
enum class GumbelMethod { moments, mle };

// A set of extremes and the Gumbel fitted to them.
struct ExtremesFit {
    std::size_t n = 0;           // finite values used
    std::optional<double> mean;  // of the values as given; none without values
    std::optional<double> std;   // divisor n - 1; none for n < 2
    GumbelFit fit;
};

// Fits the Gumbel to the maxima (Tail::max) or minima (Tail::min, fitted as
// maxima of the negated values). Non-finite values are left out. Fails for
// fewer than 2 values or when they are all equal.
ExtremesFit fit_extremes(std::span<const double> values, GumbelMethod method,
                         Tail tail = Tail::max);

}  // namespace analysis
