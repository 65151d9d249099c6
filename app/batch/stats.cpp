#include "app/batch/stats.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "ops/stats.h"

namespace app::batch {

SeriesStats series_stats(std::span<const double> x, std::span<const float> t, Moments moments) {
    SeriesStats s;
    const auto n = static_cast<std::int32_t>(x.size());
    s.n = n;
    if (n < 1) return s;
    s.max = x[0];
    s.min = x[0];
    for (std::size_t i = 1; i < x.size(); ++i) {
        if (x[i] > s.max) {
            s.max = x[i];
            s.i_max = i;
        }
        if (x[i] < s.min) {
            s.min = x[i];
            s.i_min = i;
        }
    }
    const auto xs = ops::sview(x);
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
            for (const double v : x) {
                const double d = v - s.mean;
                const double d2 = d * d;
                s2 += d2 * r;
                s3 += d2 * d * r;
                s4 += d2 * d2 * r;
            }
        }
        s.std = std::sqrt(s2);
        if (*s.std > 0.0) {
            const double r = 1.0 / std::sqrt(s2);
            s.skew = r * r * (s3 * r);
            s.kurt = s4 / (s2 * s2);
        }
    }
    std::int64_t ups = 0;
    for (std::size_t i = 0; i + 1 < x.size(); ++i) {
        if (x[i] < s.mean && s.mean <= x[i + 1]) ++ups;
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

bool stream_stats(SeriesSource& src, const Window& window, std::span<const std::int32_t> dynres,
                  Moments moments, std::vector<SeriesStats>& stats, std::vector<StatsTimes>& times,
                  std::string& error) {
    const std::size_t m = dynres.size();
    stats.assign(m, SeriesStats{});
    times.assign(m, StatsTimes{});
    // The extremes as stored (single precision, compared as such: widening
    // keeps the order), with the times of their first samples.
    std::vector<double> sum(m);
    std::vector<float> vmax(m), vmin(m);
    std::vector<std::uint32_t> tmax(m), tmin(m);  // the times' bits (blended by masks)

    // Pass 1: the number of samples, the extremes with their first sample
    // and the mean's sum of x(i) * (1/n), n taken as every step of the file;
    // when the window holds fewer, the sum is made again with their number.
    std::int64_t n = 0;
    float t_first = 0.0f;
    float t_last = 0.0f;
    const auto mean_pass = [&](std::int64_t count, bool extremes) {
        const double rn = count > 0 ? 1.0 / static_cast<double>(count) : 0.0;
        std::fill(sum.begin(), sum.end(), 0.0);
        n = 0;
        float* const mx = vmax.data();
        float* const mn = vmin.data();
        std::uint32_t* const tx = tmax.data();
        std::uint32_t* const tn = tmin.data();
        double* const sm = sum.data();
        return src.stream(
            window, dynres,
            [&](float t, std::span<const float> values) {
                const float* const v = values.data();
                if (extremes) {
                    const auto tb = std::bit_cast<std::uint32_t>(t);
                    if (n == 0) {
                        t_first = t;
                        for (std::size_t j = 0; j < m; ++j) {
                            mx[j] = mn[j] = v[j];
                            tx[j] = tn[j] = tb;
                        }
                    }
                    t_last = t;
                    // The first sample of each extreme is kept (strict comparisons).
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
                }
                for (std::size_t j = 0; j < m; ++j) sm[j] += static_cast<double>(v[j]) * rn;
                ++n;
            },
            error);
    };
    const std::int64_t guess = src.contents().steps;
    if (!mean_pass(guess, true)) return false;
    if (n != guess && n > 1 && !mean_pass(n, false)) return false;
    if (n == 0) return true;
    for (std::size_t j = 0; j < m; ++j) {
        stats[j].max = vmax[j];
        stats[j].min = vmin[j];
        times[j].max = std::bit_cast<float>(tmax[j]);
        times[j].min = std::bit_cast<float>(tmin[j]);
    }

    // Pass 2: the central moments about that mean and its up-crossings.
    std::vector<double> mean(m), s2(m, 0.0), s3(m, 0.0), s4(m, 0.0), previous(m);
    std::vector<double> ups(m, 0.0);  // counts, exact in a double
    for (std::size_t j = 0; j < m; ++j) {
        stats[j].n = n;
        times[j].first = t_first;
        times[j].last = t_last;
        mean[j] = stats[j].mean = n == 1 ? stats[j].max : sum[j];
    }
    if (n >= 2) {
        // Divisor n - 1 for the classic (sample) moments, n for population.
        const double r = 1.0 / static_cast<double>(moments == Moments::sample ? n - 1 : n);
        std::int64_t i = 0;
        double* const a2 = s2.data();
        double* const a3 = s3.data();
        double* const a4 = s4.data();
        double* const before = previous.data();
        double* const up = ups.data();
        const double* const mu = mean.data();
        const bool ok = src.stream(
            window, dynres,
            [&](float, std::span<const float> values) {
                const float* const v = values.data();
                for (std::size_t j = 0; j < m; ++j) {
                    const double x = v[j];
                    const double d = x - mu[j];
                    const double d2 = d * d;
                    a2[j] += d2 * r;
                    a3[j] += d2 * d * r;
                    a4[j] += d2 * d2 * r;
                }
                // An up-crossing of the mean between the sample before and this one.
                if (i > 0) {
                    for (std::size_t j = 0; j < m; ++j) {
                        const double x = v[j];
                        up[j] += ((before[j] < mu[j]) & (mu[j] <= x)) ? 1.0 : 0.0;
                    }
                }
                for (std::size_t j = 0; j < m; ++j) before[j] = v[j];
                ++i;
            },
            error);
        if (!ok) return false;
    }
    for (std::size_t j = 0; j < m; ++j) {
        SeriesStats& s = stats[j];
        if (n >= 2) {
            s.std = std::sqrt(s2[j]);
            if (*s.std > 0.0) {
                const double rs = 1.0 / std::sqrt(s2[j]);
                s.skew = rs * rs * (s3[j] * rs);
                s.kurt = s4[j] / (s2[j] * s2[j]);
            }
        }
        if (ups[j] > 0.0)
            s.tz = (static_cast<double>(t_last) - static_cast<double>(t_first)) / ups[j];
    }
    return true;
}

std::size_t peak_index(std::span<const float> x, Sign sign) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < x.size(); ++i) {
        const float v = x[i];
        const float b = x[best];
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

float peak_value(float v, Sign sign) {
    return sign == Sign::abs ? std::fabs(v) : v;
}

}  // namespace app::batch
