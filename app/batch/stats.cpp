#include "app/batch/stats.h"

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
    const auto value = [&](double v) -> Cell {
        if (stored) return static_cast<float>(v);
        return v;
    };
    const auto opt = [](const std::optional<double>& v) -> Cell {
        if (v) return *v;
        return std::monostate{};
    };
    row.emplace_back(t.front());
    row.emplace_back(t.back());
    row.emplace_back(s.n);
    row.push_back(value(s.max));
    row.emplace_back(t[s.i_max]);
    row.push_back(value(s.min));
    row.emplace_back(t[s.i_min]);
    row.emplace_back(s.mean);
    row.push_back(opt(s.std));
    row.push_back(opt(s.skew));
    row.push_back(opt(s.kurt));
    row.push_back(opt(s.tz));
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
