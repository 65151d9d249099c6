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

bool stream_stats(SeriesSource& src, const Window& window, std::span<const std::int32_t> dynres,
                  Moments moments, std::vector<SeriesStats>& stats, std::vector<StatsTimes>& times,
                  std::string& error, std::size_t keep_bytes) {
    const std::size_t m = dynres.size();
    stats.assign(m, SeriesStats{});
    times.assign(m, StatsTimes{});
    // The extremes as stored (single precision, compared as such: widening
    // keeps the order), with the times of their first samples; samples that
    // are not finite numbers are left out of everything.
    std::vector<double> sum(m, 0.0), rn(m);
    std::vector<float> vmax(m, -std::numeric_limits<float>::infinity());
    std::vector<float> vmin(m, std::numeric_limits<float>::infinity());
    std::vector<std::uint32_t> tmax(m), tmin(m);  // the times' bits (blended by masks)
    std::vector<std::int64_t> count(m, 0);        // finite samples
    std::vector<std::int64_t> missing(m, 0);      // samples left out
    Columns columns(m);

    const std::int64_t guess = src.count_hint(window).value_or(src.contents().steps);
    std::fill(rn.begin(), rn.end(), guess > 0 ? 1.0 / static_cast<double>(guess) : 0.0);
    // The selected samples of the window, m values each, when they fit.
    const std::size_t keep_floats = keep_bytes / sizeof(float);
    bool keep = m > 0 && guess > 0 && static_cast<std::size_t>(guess) <= keep_floats / m;
    std::vector<float> kept;
    if (keep) kept.reserve(static_cast<std::size_t>(guess) * m);

    float* const mx = vmax.data();
    float* const mn = vmin.data();
    std::uint32_t* const tx = tmax.data();
    std::uint32_t* const tn = tmin.data();
    std::int64_t* const nf = missing.data();
    double* const sm = sum.data();
    const double* const r1 = rn.data();
    // The mean's sum x(i) * (1/n) of one sample.
    const auto add_to_mean = [&](const float* v) { mean_sum(v, m, sm, r1); };

    // Pass 1: the number of samples, the extremes with their first sample
    // and the mean's sum with n as expected.
    std::int64_t samples = 0;  // of the window, finite or not
    float t_first = 0.0f;
    float t_last = 0.0f;
    const bool read = src.stream_blocks(
        window, dynres,
        [&](const SampleBlock& block) {
            if (block.count == 0) return;
            if (samples == 0) t_first = block.time(0);
            t_last = block.time(block.count - 1);
            samples += static_cast<std::int64_t>(block.count);
            if (keep && kept.size() + block.count * m > keep_floats) {
                keep = false;  // more samples than expected: read again
                kept = {};
            }
            columns.start(block);
            for (std::size_t i = 0; i < block.count; ++i) {
                const float* const v = columns.of(block, i);
                const auto tb = std::bit_cast<std::uint32_t>(block.time(i));
                if (all_finite(v, m)) {
                    first_pass(v, m, tb, mx, mn, tx, tn, sm, r1);
                } else {
                    first_pass_finite(v, m, tb, mx, mn, tx, tn, sm, r1, nf);
                }
                if (keep) kept.insert(kept.end(), v, v + m);
            }
        },
        error);
    if (!read) return false;
    for (std::size_t j = 0; j < m; ++j) count[j] = samples - missing[j];
    // Runs `each(values)` over the samples of the window again: the kept
    // ones, or a new read.
    const auto again = [&](const auto& each) {
        if (keep) {
            for (std::size_t at = 0; at < kept.size(); at += m) each(kept.data() + at);
            return true;
        }
        return src.stream_blocks(
            window, dynres,
            [&](const SampleBlock& block) {
                columns.start(block);
                for (std::size_t i = 0; i < block.count; ++i) each(columns.of(block, i));
            },
            error);
    };

    // The mean made again, each series with its own number of samples, when
    // one of them has another number than expected.
    bool redo = false;
    for (std::size_t j = 0; j < m; ++j) {
        if (count[j] != guess && count[j] > 1) redo = true;
        rn[j] = count[j] > 0 ? 1.0 / static_cast<double>(count[j]) : 0.0;
    }
    if (redo) {
        std::fill(sum.begin(), sum.end(), 0.0);
        if (!again(add_to_mean)) return false;
    }
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
        const MomentSums sums{s2.data(),  s3.data(),   s4.data(), previous.data(),
                              ups.data(), mean.data(), r.data()};
        const bool clean =
            std::all_of(missing.begin(), missing.end(), [](std::int64_t k) { return k == 0; });
        const auto moment_sums = [&](const float* v) {
            if (clean) {
                second_pass(v, m, sums);
            } else {
                second_pass_finite(v, m, sums);
            }
        };
        if (!again(moment_sums)) return false;
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
