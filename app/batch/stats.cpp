#include "app/batch/stats.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <iterator>
#include <limits>

#include "ops/stats.h"

namespace app::batch {

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
    const auto xs = ops::sview(v);
    s.mean = ops::VMEAN(xs, n);
    if (n >= 2) {
        double s2 = 0.0;
        double s3 = 0.0;
        double s4 = 0.0;
        if (moments == Moments::sample) {
            // The classic kernels' sums, to the bit.
            const ops::detail::Moments m = ops::detail::central_moments(xs, n);
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

void append_stats(Row& row, const SeriesStats& s, std::span<const float> t, bool stored) {
    append_stats(row, s, StatsTimes{t.front(), t.back(), t[s.i_max], t[s.i_min]}, stored);
}

void append_stats(Row& row, const SeriesStats& s, const StatsTimes& t, bool stored) {
    const auto value = [&](double v) -> Cell {
        if (stored) return static_cast<float>(v);
        return v;
    };
    const auto opt = [](const std::optional<double>& v) -> Cell {
        if (v) return *v;
        return std::monostate{};
    };
    row.emplace_back(t.first);
    row.emplace_back(t.last);
    row.emplace_back(s.n);
    if (s.n == 0) {
        // No finite sample: nothing to tell.
        row.resize(row.size() + std::size(kStatsColumns) - 3);
        return;
    }
    row.push_back(value(s.max));
    row.emplace_back(t.max);
    row.push_back(value(s.min));
    row.emplace_back(t.min);
    row.emplace_back(s.mean);
    row.push_back(opt(s.std));
    row.push_back(opt(s.skew));
    row.push_back(opt(s.kurt));
    row.push_back(opt(s.tz));
}

namespace {

// The values of the selected DynRes in a sample of a block: straight from
// the sample when they lie side by side, else gathered into `scratch`.
class Columns {
  public:
    explicit Columns(std::size_t m) : scratch_(m) {}

    // Before the samples of a block.
    void start(const SampleBlock& b) {
        const auto gap = [](std::size_t u, std::size_t w) { return w != u + 1; };
        side_by_side_ = !b.columns.empty() && std::adjacent_find(b.columns.begin(), b.columns.end(),
                                                                 gap) == b.columns.end();
    }

    const float* of(const SampleBlock& b, std::size_t i) {
        const float* row = b.sample(i);
        if (side_by_side_) return row + b.columns.front();
        for (std::size_t j = 0; j < scratch_.size(); ++j) scratch_[j] = row[b.columns[j]];
        return scratch_.data();
    }

  private:
    std::vector<float> scratch_;
    bool side_by_side_ = false;
};

// A finite single-precision number (not infinite, not NaN), without a branch.
inline bool finite_bits(float x) {
    return (std::bit_cast<std::uint32_t>(x) & 0x7f800000u) != 0x7f800000u;
}

}  // namespace

bool stream_stats(SeriesSource& src, const Window& window, std::span<const std::int32_t> dynres,
                  Moments moments, std::vector<SeriesStats>& stats, std::vector<StatsTimes>& times,
                  std::string& error) {
    const std::size_t m = dynres.size();
    stats.assign(m, SeriesStats{});
    times.assign(m, StatsTimes{});
    // The extremes as stored (single precision, compared as such: widening
    // keeps the order), with the times of their first samples; samples that
    // are not finite numbers are left out of everything.
    std::vector<double> sum(m), rn(m);
    std::vector<float> vmax(m), vmin(m);
    std::vector<std::uint32_t> tmax(m), tmin(m);  // the times' bits (blended by masks)
    std::vector<std::int64_t> count(m);           // finite samples
    Columns columns(m);

    // Pass 1: the number of samples, the extremes with their first sample
    // and the mean's sum of x(i) * (1/n), n taken as the samples the window
    // is expected to hold; a series with another number (a window that the
    // times did not tell, samples left out) gets its sum made again with its
    // own number.
    std::int64_t samples = 0;  // of the window, finite or not
    float t_first = 0.0f;
    float t_last = 0.0f;
    const auto mean_pass = [&](bool extremes) {
        std::fill(sum.begin(), sum.end(), 0.0);
        samples = 0;
        float* const mx = vmax.data();
        float* const mn = vmin.data();
        std::uint32_t* const tx = tmax.data();
        std::uint32_t* const tn = tmin.data();
        std::int64_t* const nf = count.data();
        double* const sm = sum.data();
        const double* const r = rn.data();
        if (extremes) {
            std::fill(vmax.begin(), vmax.end(), -std::numeric_limits<float>::infinity());
            std::fill(vmin.begin(), vmin.end(), std::numeric_limits<float>::infinity());
            std::fill(count.begin(), count.end(), 0);
        }
        return src.stream_blocks(
            window, dynres,
            [&](const SampleBlock& block) {
                if (block.count == 0) return;
                if (samples == 0) t_first = block.time(0);
                t_last = block.time(block.count - 1);
                samples += static_cast<std::int64_t>(block.count);
                columns.start(block);
                for (std::size_t i = 0; i < block.count; ++i) {
                    const float* const v = columns.of(block, i);
                    if (extremes) {
                        const auto tb = std::bit_cast<std::uint32_t>(block.time(i));
                        // The first sample of each extreme is kept (strict comparisons).
                        for (std::size_t j = 0; j < m; ++j) {
                            const float x = v[j];
                            const bool ok = finite_bits(x);
                            const float high = mx[j];
                            const float low = mn[j];
                            const bool above = ok & (high < x);
                            const bool below = ok & (x < low);
                            const std::uint32_t up = 0u - static_cast<std::uint32_t>(above);
                            const std::uint32_t down = 0u - static_cast<std::uint32_t>(below);
                            mx[j] = above ? x : high;
                            mn[j] = below ? x : low;
                            tx[j] = (tb & up) | (tx[j] & ~up);
                            tn[j] = (tb & down) | (tn[j] & ~down);
                            nf[j] += ok ? 1 : 0;
                            sm[j] = ok ? sm[j] + static_cast<double>(x) * r[j] : sm[j];
                        }
                    } else {
                        for (std::size_t j = 0; j < m; ++j) {
                            const float x = v[j];
                            sm[j] = finite_bits(x) ? sm[j] + static_cast<double>(x) * r[j] : sm[j];
                        }
                    }
                }
            },
            error);
    };
    const std::int64_t guess = src.count_hint(window).value_or(src.contents().steps);
    std::fill(rn.begin(), rn.end(), guess > 0 ? 1.0 / static_cast<double>(guess) : 0.0);
    if (!mean_pass(true)) return false;
    bool again = false;
    for (std::size_t j = 0; j < m; ++j) {
        if (count[j] != guess && count[j] > 1) again = true;
        rn[j] = count[j] > 0 ? 1.0 / static_cast<double>(count[j]) : 0.0;
    }
    if (again && !mean_pass(false)) return false;
    for (std::size_t j = 0; j < m; ++j) {
        times[j].first = t_first;
        times[j].last = t_last;
        times[j].samples = samples;
        stats[j].n = count[j];
        if (count[j] == 0) continue;
        stats[j].max = vmax[j];
        stats[j].min = vmin[j];
        stats[j].mean = count[j] == 1 ? stats[j].max : sum[j];
        times[j].max = std::bit_cast<float>(tmax[j]);
        times[j].min = std::bit_cast<float>(tmin[j]);
    }
    if (samples == 0) return true;

    // Pass 2: the central moments about that mean and its up-crossings
    // (from one finite sample to the next).
    std::vector<double> mean(m), s2(m, 0.0), s3(m, 0.0), s4(m, 0.0);
    std::vector<double> previous(m, std::numeric_limits<double>::infinity());
    std::vector<double> ups(m, 0.0);  // counts, exact in a double
    std::vector<double> r(m, 0.0);
    bool moments_needed = false;
    for (std::size_t j = 0; j < m; ++j) {
        mean[j] = stats[j].mean;
        // Divisor n - 1 for the classic (sample) moments, n for population.
        const std::int64_t divisor = moments == Moments::sample ? count[j] - 1 : count[j];
        if (count[j] >= 2) {
            r[j] = 1.0 / static_cast<double>(divisor);
            moments_needed = true;
        }
    }
    if (moments_needed) {
        double* const a2 = s2.data();
        double* const a3 = s3.data();
        double* const a4 = s4.data();
        double* const before = previous.data();
        double* const up = ups.data();
        const double* const mu = mean.data();
        const double* const rj = r.data();
        const bool ok = src.stream_blocks(
            window, dynres,
            [&](const SampleBlock& block) {
                columns.start(block);
                for (std::size_t i = 0; i < block.count; ++i) {
                    const float* const v = columns.of(block, i);
                    for (std::size_t j = 0; j < m; ++j) {
                        const bool use = finite_bits(v[j]);
                        const double x = v[j];
                        const double d = x - mu[j];
                        const double d2 = d * d;
                        a2[j] = use ? a2[j] + d2 * rj[j] : a2[j];
                        a3[j] = use ? a3[j] + d2 * d * rj[j] : a3[j];
                        a4[j] = use ? a4[j] + d2 * d2 * rj[j] : a4[j];
                        // An up-crossing of the mean between the finite sample
                        // before and this one (none before the first).
                        up[j] += (use & (before[j] < mu[j]) & (mu[j] <= x)) ? 1.0 : 0.0;
                        before[j] = use ? x : before[j];
                    }
                }
            },
            error);
        if (!ok) return false;
    }
    for (std::size_t j = 0; j < m; ++j) {
        SeriesStats& s = stats[j];
        if (s.n == 0) continue;
        finish_moments(s, s2[j], s3[j], s4[j]);
        if (ups[j] > 0.0)
            s.tz = (static_cast<double>(t_last) - static_cast<double>(t_first)) / ups[j];
    }
    return true;
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

}  // namespace app::batch
