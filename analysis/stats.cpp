#include "analysis/stats.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "analysis/classic_moments.h"

namespace analysis {

namespace {

bool finite(double x) {
    return std::isfinite(x);
}

// The rules shared by both ways of computing: std, skew and kurt from the
// central sums, none of skew and kurt for a series whose max equals its min
// (its std is 0: the computed sums of a constant series are only rounding).
void finish_moments(SeriesStats& s, double s2, double s3, double s4) {
    if (s.n < 2) return;
    if (s.max == s.min) {
        s.std = 0.0;
        return;
    }
    s.std = std::sqrt(s2);
    if (*s.std > 0.0) {
        const double r = 1.0 / std::sqrt(s2);
        s.skew = r * r * (s3 * r);
        s.kurt = s4 / (s2 * s2);
    }
}

// The kernels of the two passes over one sample of m values. The plain
// ones serve a sample whose values are all finite (the usual case), the
// others leave out the values that are not.

bool all_finite(const float* __restrict v, std::size_t m) {
    std::uint32_t bad = 0;
    for (std::size_t j = 0; j < m; ++j)
        bad |= static_cast<std::uint32_t>((std::bit_cast<std::uint32_t>(v[j]) & 0x7f800000u) ==
                                          0x7f800000u);
    return bad == 0;
}

// The extremes (the first sample of each: strict comparisons) with their
// times' bits, and the mean's sum of x * (1/n).
void first_pass(const float* __restrict v, std::size_t m, std::uint32_t tb, float* __restrict mx,
                float* __restrict mn, std::uint32_t* __restrict tx, std::uint32_t* __restrict tn,
                double* __restrict sm, const double* __restrict rn) {
    for (std::size_t j = 0; j < m; ++j) {
        const float x = v[j];
        const float high = mx[j];
        const float low = mn[j];
        const std::uint32_t up = 0u - static_cast<std::uint32_t>(high < x);
        const std::uint32_t down = 0u - static_cast<std::uint32_t>(x < low);
        mx[j] = high < x ? x : high;
        mn[j] = x < low ? x : low;
        tx[j] = (tb & up) | (tx[j] & ~up);
        tn[j] = (tb & down) | (tn[j] & ~down);
    }
    for (std::size_t j = 0; j < m; ++j) sm[j] += static_cast<double>(v[j]) * rn[j];
}

void first_pass_finite(const float* __restrict v, std::size_t m, std::uint32_t tb,
                       float* __restrict mx, float* __restrict mn, std::uint32_t* __restrict tx,
                       std::uint32_t* __restrict tn, double* __restrict sm,
                       const double* __restrict rn, std::int64_t* __restrict missing) {
    for (std::size_t j = 0; j < m; ++j) {
        const float x = v[j];
        if (!std::isfinite(x)) {
            ++missing[j];
            continue;
        }
        if (mx[j] < x) {
            mx[j] = x;
            tx[j] = tb;
        }
        if (x < mn[j]) {
            mn[j] = x;
            tn[j] = tb;
        }
        sm[j] += static_cast<double>(x) * rn[j];
    }
}

void mean_sum(const float* __restrict v, std::size_t m, double* __restrict sm,
              const double* __restrict rn) {
    for (std::size_t j = 0; j < m; ++j) {
        const float x = v[j];
        if (std::isfinite(x)) sm[j] += static_cast<double>(x) * rn[j];
    }
}

// The central sums about the mean and the up-crossings of the mean from the
// (finite) sample before.
struct MomentSums {
    double* __restrict s2;
    double* __restrict s3;
    double* __restrict s4;
    double* __restrict before;
    double* __restrict ups;
    const double* __restrict mean;
    const double* __restrict r;
};

void second_pass(const float* __restrict v, std::size_t m, const MomentSums& a) {
    double* __restrict s2 = a.s2;
    double* __restrict s3 = a.s3;
    double* __restrict s4 = a.s4;
    double* __restrict before = a.before;
    double* __restrict ups = a.ups;
    const double* __restrict mean = a.mean;
    const double* __restrict r = a.r;
    for (std::size_t j = 0; j < m; ++j) {
        const double d = static_cast<double>(v[j]) - mean[j];
        const double d2 = d * d;
        s2[j] += d2 * r[j];
        s3[j] += d2 * d * r[j];
        s4[j] += d2 * d2 * r[j];
    }
    for (std::size_t j = 0; j < m; ++j) {
        const double x = v[j];
        ups[j] += ((before[j] < mean[j]) & (mean[j] <= x)) ? 1.0 : 0.0;
        before[j] = x;
    }
}

void second_pass_finite(const float* __restrict v, std::size_t m, const MomentSums& a) {
    for (std::size_t j = 0; j < m; ++j) {
        if (!std::isfinite(v[j])) continue;
        const double x = v[j];
        const double d = x - a.mean[j];
        const double d2 = d * d;
        a.s2[j] += d2 * a.r[j];
        a.s3[j] += d2 * d * a.r[j];
        a.s4[j] += d2 * d2 * a.r[j];
        if (a.before[j] < a.mean[j] && a.mean[j] <= x) a.ups[j] += 1.0;
        a.before[j] = x;
    }
}

}  // namespace

SeriesStats series_stats(std::span<const double> x, std::span<const float> t, Moments moments) {
    SeriesStats s;
    // The finite samples only; i_max and i_min are indices into x.
    std::vector<double> kept;
    std::vector<std::size_t> at;
    const bool all_finite = std::all_of(x.begin(), x.end(), finite);
    if (!all_finite) {
        for (std::size_t i = 0; i < x.size(); ++i) {
            if (!finite(x[i])) continue;
            kept.push_back(x[i]);
            at.push_back(i);
        }
    }
    const std::span<const double> v = all_finite ? x : std::span<const double>(kept);
    const auto index = [&](std::size_t i) { return all_finite ? i : at[i]; };
    const auto n = static_cast<std::int32_t>(v.size());
    s.n = n;
    if (n < 1) return s;
    s.max = v[0];
    s.min = v[0];
    for (std::size_t i = 1; i < v.size(); ++i) {
        if (v[i] > s.max) {
            s.max = v[i];
            s.i_max = i;
        }
        if (v[i] < s.min) {
            s.min = v[i];
            s.i_min = i;
        }
    }
    s.i_max = index(s.i_max);
    s.i_min = index(s.i_min);
    const auto xs = sview(v);
    s.mean = VMEAN(xs, n);
    if (n >= 2) {
        double s2 = 0.0;
        double s3 = 0.0;
        double s4 = 0.0;
        if (moments == Moments::sample) {
            // The classic kernels' sums, to the bit.
            const detail::Moments m = detail::central_moments(xs, n);
            s2 = m.s2;
            s3 = m.s3;
            s4 = m.s4;
        } else {
            const double r = 1.0 / static_cast<double>(n);
            for (const double e : v) {
                const double d = e - s.mean;
                const double d2 = d * d;
                s2 += d2 * r;
                s3 += d2 * d * r;
                s4 += d2 * d2 * r;
            }
        }
        finish_moments(s, s2, s3, s4);
    }
    std::int64_t ups = 0;
    for (std::size_t i = 0; i + 1 < v.size(); ++i) {
        if (v[i] < s.mean && s.mean <= v[i + 1]) ++ups;
    }
    if (ups > 0 && !t.empty())
        s.tz = (static_cast<double>(t.back()) - static_cast<double>(t.front())) /
               static_cast<double>(ups);
    return s;
}

StreamingStats::StreamingStats(std::size_t m, std::int64_t expected_samples, Moments moments)
    : m_(m),
      moments_(moments),
      sum_(m, 0.0),
      rn_(m, expected_samples > 0 ? 1.0 / static_cast<double>(expected_samples) : 0.0),
      vmax_(m, -std::numeric_limits<float>::infinity()),
      vmin_(m, std::numeric_limits<float>::infinity()),
      tmax_(m, 0),
      tmin_(m, 0),
      missing_(m, 0),
      expected_(expected_samples) {}

void StreamingStats::first(const float* values, float time) {
    if (samples_ == 0) t_first_ = time;
    t_last_ = time;
    ++samples_;
    const auto tb = std::bit_cast<std::uint32_t>(time);
    if (all_finite(values, m_)) {
        first_pass(values, m_, tb, vmax_.data(), vmin_.data(), tmax_.data(), tmin_.data(),
                   sum_.data(), rn_.data());
    } else {
        first_pass_finite(values, m_, tb, vmax_.data(), vmin_.data(), tmax_.data(), tmin_.data(),
                          sum_.data(), rn_.data(), missing_.data());
    }
}

bool StreamingStats::end_first() {
    bool redo = false;
    for (std::size_t j = 0; j < m_; ++j) {
        const std::int64_t count = samples_ - missing_[j];
        if (count != expected_ && count > 1) redo = true;
        rn_[j] = count > 0 ? 1.0 / static_cast<double>(count) : 0.0;
        if (missing_[j] != 0) clean_ = false;
    }
    if (redo) std::fill(sum_.begin(), sum_.end(), 0.0);
    return redo;
}

void StreamingStats::mean_again(const float* values) {
    mean_sum(values, m_, sum_.data(), rn_.data());
}

bool StreamingStats::begin_second() {
    if (samples_ == 0) return false;
    mean_.assign(m_, 0.0);
    s2_.assign(m_, 0.0);
    s3_.assign(m_, 0.0);
    s4_.assign(m_, 0.0);
    before_.assign(m_, std::numeric_limits<double>::infinity());
    ups_.assign(m_, 0.0);  // counts, exact in a double
    r_.assign(m_, 0.0);
    moments_needed_ = false;
    for (std::size_t j = 0; j < m_; ++j) {
        const std::int64_t count = samples_ - missing_[j];
        if (count == 0) continue;
        mean_[j] = count == 1 ? static_cast<double>(vmax_[j]) : sum_[j];
        // Divisor n - 1 for the classic (sample) moments, n for population.
        const std::int64_t divisor = moments_ == Moments::sample ? count - 1 : count;
        if (count >= 2) {
            r_[j] = 1.0 / static_cast<double>(divisor);
            moments_needed_ = true;
        }
    }
    return moments_needed_;
}

void StreamingStats::second(const float* values) {
    const MomentSums sums{s2_.data(),  s3_.data(),   s4_.data(), before_.data(),
                          ups_.data(), mean_.data(), r_.data()};
    if (clean_) {
        second_pass(values, m_, sums);
    } else {
        second_pass_finite(values, m_, sums);
    }
}

void StreamingStats::finish(std::vector<SeriesStats>& stats, std::vector<StatsTimes>& times) const {
    stats.assign(m_, SeriesStats{});
    times.assign(m_, StatsTimes{});
    for (std::size_t j = 0; j < m_; ++j) {
        const std::int64_t count = samples_ - missing_[j];
        times[j].first = t_first_;
        times[j].last = t_last_;
        times[j].samples = samples_;
        SeriesStats& s = stats[j];
        s.n = count;
        if (count == 0) continue;
        s.max = vmax_[j];
        s.min = vmin_[j];
        s.mean = count == 1 ? s.max : sum_[j];
        times[j].max = std::bit_cast<float>(tmax_[j]);
        times[j].min = std::bit_cast<float>(tmin_[j]);
        if (s2_.empty()) continue;
        finish_moments(s, s2_[j], s3_[j], s4_[j]);
        if (ups_[j] > 0.0)
            s.tz = (static_cast<double>(t_last_) - static_cast<double>(t_first_)) / ups_[j];
    }
}

std::optional<std::size_t> finite_peak_index(std::span<const float> x, Sign sign) {
    std::optional<std::size_t> best;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const float v = x[i];
        if (!std::isfinite(v)) continue;
        if (!best) {
            best = i;
            continue;
        }
        const float b = x[*best];
        bool better = false;
        switch (sign) {
            case Sign::max:
                better = v > b;
                break;
            case Sign::min:
                better = v < b;
                break;
            case Sign::abs:
            case Sign::signed_:
                better = std::fabs(v) > std::fabs(b);
                break;
        }
        if (better) best = i;
    }
    return best;
}

std::size_t peak_index(std::span<const float> x, Sign sign) {
    return finite_peak_index(x, sign).value_or(0);
}

std::int64_t finite_count(std::span<const float> x) {
    return std::count_if(x.begin(), x.end(), [](float v) { return std::isfinite(v); });
}

float peak_value(float v, Sign sign) {
    return sign == Sign::abs ? std::fabs(v) : v;
}

}  // namespace analysis
