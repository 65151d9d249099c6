#include "analysis/extremes.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace analysis {

namespace {

double orient(double x, Tail tail) {
    return tail == Tail::min ? -x : x;
}

// The finite values, negated for Tail::min.
std::vector<double> oriented_finite(std::span<const double> x, Tail tail) {
    std::vector<double> out;
    out.reserve(x.size());
    for (const double v : x) {
        if (std::isfinite(v)) out.push_back(orient(v, tail));
    }
    return out;
}

template <class T>
std::vector<double> peaks_of(std::span<const T> x, Tail tail) {
    double sum = 0.0;
    std::size_t n = 0;
    for (const T v : x) {
        const double d = static_cast<double>(v);
        if (std::isfinite(d)) {
            sum += d;
            ++n;
        }
    }
    if (n == 0) return {};
    PeakCollector c(sum / static_cast<double>(n), tail);
    c.push(x);
    return c.take();
}

bool all_equal(const std::vector<double>& x) {
    return std::all_of(x.begin(), x.end(), [&](double v) { return v == x.front(); });
}

bool positive_finite(double v) {
    return std::isfinite(v) && v > 0.0;
}

WeibullFit fail_weibull(std::string reason) {
    return {std::nullopt, std::move(reason)};
}
GumbelFit fail_gumbel(std::string reason) {
    return {std::nullopt, std::move(reason)};
}

WeibullFit weibull_of(double a, double b, double c, Tail tail, const char* method) {
    if (!std::isfinite(a) || !positive_finite(b) || !positive_finite(c)) {
        return fail_weibull(std::string("the ") + method + " fit gives no Weibull");
    }
    return {Weibull{orient(a, tail), b, c, tail}, {}};
}

// Probability-weighted moments over the sorted values.
WeibullFit fit_pwm(std::vector<double>& x, Tail tail) {
    std::sort(x.begin(), x.end());
    const double n = static_cast<double>(x.size());
    double m[4] = {0.0, 0.0, 0.0, 0.0};
    for (std::size_t k = 0; k < x.size(); ++k) {
        // i = k + 1; the weight of x(i) in M_j is C(i-1, j) / C(n-1, j).
        const double i = static_cast<double>(k + 1);
        double w = 1.0;
        for (int j = 0; j < 4; ++j) {
            if (j > 0) w *= (i - j) / (n - j);
            m[j] += w * x[k];
        }
    }
    for (double& v : m) v /= n;
    const double ratio =
        (2.0 * m[1] - m[0]) / (2.0 * (5.0 * m[1] - m[0] - 6.0 * m[2] + 2.0 * m[3]));
    const double c = std::numbers::ln2 / std::log(ratio);
    const double a = 4.0 * (m[0] * (3.0 * m[2] - m[3] - m[1]) - m[1] * m[1]) /
                     (m[0] - 8.0 * m[1] + 12.0 * m[2] - 4.0 * m[3]);
    const double b = (m[0] - a) / std::tgamma(1.0 + 1.0 / c);
    return weibull_of(a, b, c, tail, "pwm");
}

// The Weibull's skewness for shape c, with g1..g3 = G(1 + k/c).
struct ShapeMoments {
    double g1 = 0.0;
    double var = 0.0;  // G(1+2/c) - G(1+1/c)^2, the variance for b = 1
    double skew = 0.0;
};

ShapeMoments shape_moments(double c) {
    ShapeMoments s;
    s.g1 = std::tgamma(1.0 + 1.0 / c);
    const double g2 = std::tgamma(1.0 + 2.0 / c);
    const double g3 = std::tgamma(1.0 + 3.0 / c);
    s.var = g2 - s.g1 * s.g1;
    s.skew = (g3 - 3.0 * s.g1 * g2 + 2.0 * s.g1 * s.g1 * s.g1) / std::pow(s.var, 1.5);
    return s;
}

WeibullFit fit_msm(const std::vector<double>& x, Tail tail) {
    const double n = static_cast<double>(x.size());
    double sum = 0.0;
    for (const double v : x) sum += v;
    const double m = sum / n;
    double s2 = 0.0;
    double s3 = 0.0;
    for (const double v : x) {
        const double d = v - m;
        s2 += d * d;
        s3 += d * d * d;
    }
    const double v = s2 / n;
    const double g = (s3 / n) / std::pow(v, 1.5);
    constexpr double kLo = 0.1;
    constexpr double kHi = 1000.0;
    const char* const no_root = "no Weibull shape from 0.1 to 1000 has the skewness of the peaks";
    if (!std::isfinite(g)) return fail_weibull(no_root);
    // The skewness falls as the shape grows; bisect in ln c between the ends.
    double lo = std::log(kLo);
    double hi = std::log(kHi);
    const double f_lo = shape_moments(kLo).skew - g;
    const double f_hi = shape_moments(kHi).skew - g;
    if (f_lo == 0.0) {
        hi = lo;
    } else if (f_hi == 0.0) {
        lo = hi;
    } else if ((f_lo > 0.0) == (f_hi > 0.0)) {
        return fail_weibull(no_root);
    }
    const bool lo_positive = f_lo > 0.0;
    for (int it = 0; it < 200 && lo < hi; ++it) {
        const double mid = 0.5 * (lo + hi);
        if (mid <= lo || mid >= hi) break;
        const double f = shape_moments(std::exp(mid)).skew - g;
        if (f == 0.0) {
            lo = hi = mid;
        } else if ((f > 0.0) == lo_positive) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    const double c = std::exp(0.5 * (lo + hi));
    const ShapeMoments s = shape_moments(c);
    const double b = std::sqrt(v / s.var);
    const double a = m - s.g1 * b;
    return weibull_of(a, b, c, tail, "msm");
}

// Maximum-likelihood Gumbel of y (mean 0, not all equal): the scale solves
// f(s) = s + sum y w / sum w = 0 with w = exp(-(y - y_min) / s). f rises
// (f' = 1 + var_w(y) / s^2), tends to y_min < 0 as s -> 0 and is at least
// s + y_min, so the root lies in (0, -y_min].
std::optional<std::pair<double, double>> gumbel_mle_standard(const std::vector<double>& y) {
    const double y_min = *std::min_element(y.begin(), y.end());
    struct Eval {
        double f = 0.0;
        double df = 0.0;
        double sum_w = 0.0;
    };
    const auto eval = [&](double s) {
        double sw = 0.0;
        double swy = 0.0;
        double swyy = 0.0;
        for (const double v : y) {
            const double w = std::exp(-(v - y_min) / s);
            sw += w;
            swy += w * v;
            swyy += w * v * v;
        }
        const double mean_w = swy / sw;
        const double var_w = std::max(0.0, swyy / sw - mean_w * mean_w);
        return Eval{s + mean_w, 1.0 + var_w / (s * s), sw};
    };
    double lo = 0.0;
    double hi = -y_min;
    double s = 0.5 * hi;
    bool done = false;
    for (int it = 0; it < 500; ++it) {
        const Eval e = eval(s);
        if (e.f == 0.0) {
            done = true;
            break;
        }
        if (e.f > 0.0) {
            hi = s;
        } else {
            lo = s;
        }
        double next = s - e.f / e.df;
        if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
        const double step = std::fabs(next - s);
        s = next;
        if (step <= 1e-13 * s || hi - lo <= 1e-12 * s) {
            done = true;
            break;
        }
    }
    if (!done || !positive_finite(s)) return std::nullopt;
    const Eval e = eval(s);
    const double loc = y_min - s * std::log(e.sum_w / static_cast<double>(y.size()));
    return std::pair{loc, s};
}

}  // namespace

std::vector<double> PeakCollector::take() {
    std::vector<double> out = std::move(peaks_);
    *this = PeakCollector(orient(level_, tail_), tail_);
    return out;
}

std::vector<double> peaks(std::span<const float> x, Tail tail) {
    return peaks_of(x, tail);
}
std::vector<double> peaks(std::span<const double> x, Tail tail) {
    return peaks_of(x, tail);
}

WeibullFit fit_weibull(std::span<const double> peaks, WeibullMethod method, Tail tail) {
    std::vector<double> x = oriented_finite(peaks, tail);
    const std::size_t need = method == WeibullMethod::pwm ? 4 : 3;
    if (x.size() < need) {
        return fail_weibull(method == WeibullMethod::pwm ? "fewer than 4 peaks for the pwm fit"
                                                         : "fewer than 3 peaks");
    }
    if (all_equal(x)) return fail_weibull("the peaks are all equal");
    return method == WeibullMethod::pwm ? fit_pwm(x, tail) : fit_msm(x, tail);
}

std::optional<double> storm_peak_count(double duration, double t_first, double t_last,
                                       std::size_t n_peaks) {
    if (!std::isfinite(t_first) || !std::isfinite(t_last) || !(t_last > t_first) ||
        !positive_finite(duration)) {
        return std::nullopt;
    }
    const double n = std::round(duration / (t_last - t_first) * static_cast<double>(n_peaks));
    if (!std::isfinite(n)) return std::nullopt;
    return n;
}

GumbelFit gumbel_of_largest(const Weibull& w, double n) {
    if (!std::isfinite(n) || !(n >= 2.0)) return fail_gumbel("the storm holds fewer than 2 peaks");
    const double a = orient(w.loc, w.tail);
    const double b = w.scale;
    const double c = w.shape;
    const double ln_n = std::log(n);
    const double loc = a + b * std::pow(ln_n, 1.0 / c);
    const double scale = b / (c * std::pow(ln_n, (c - 1.0) / c));
    if (!std::isfinite(loc) || !positive_finite(scale)) {
        return fail_gumbel("the Gumbel of the largest peak is out of range");
    }
    return {Gumbel{orient(loc, w.tail), scale, w.tail}, {}};
}

std::optional<double> gumbel_quantile(const Gumbel& g, double q) {
    if (!(q > 0.0 && q < 1.0)) return std::nullopt;
    const double p = orient(g.loc, g.tail) - g.scale * std::log(-std::log(q));
    return orient(p, g.tail);
}

ExtremesFit fit_extremes(std::span<const double> values, GumbelMethod method, Tail tail) {
    ExtremesFit out;
    std::vector<double> x = oriented_finite(values, tail);
    out.n = x.size();
    if (x.empty()) {
        out.fit = fail_gumbel("no values");
        return out;
    }
    double sum = 0.0;
    for (const double v : x) sum += v;
    const double m = sum / static_cast<double>(x.size());
    out.mean = orient(m, tail);
    if (x.size() < 2) {
        out.fit = fail_gumbel("fewer than 2 values");
        return out;
    }
    double s2 = 0.0;
    for (const double v : x) s2 += (v - m) * (v - m);
    const double s = std::sqrt(s2 / static_cast<double>(x.size() - 1));
    out.std = s;
    if (all_equal(x)) {
        out.fit = fail_gumbel("the values are all equal");
        return out;
    }
    double loc = 0.0;
    double scale = 0.0;
    if (method == GumbelMethod::moments) {
        scale = s * std::sqrt(6.0) / std::numbers::pi;
        loc = m - 0.5772156649 * scale;
    } else if (!positive_finite(s)) {
        out.fit = fail_gumbel("the Gumbel fit is out of range");
        return out;
    } else {
        // Solved on the standardised values, so the tolerance and the
        // exponentials do not depend on the values' size or offset.
        std::vector<double> y(x.size());
        for (std::size_t i = 0; i < x.size(); ++i) y[i] = (x[i] - m) / s;
        const auto fit = gumbel_mle_standard(y);
        if (!fit) {
            out.fit = fail_gumbel("the maximum-likelihood fit did not converge");
            return out;
        }
        loc = m + s * fit->first;
        scale = s * fit->second;
    }
    if (!std::isfinite(loc) || !positive_finite(scale)) {
        out.fit = fail_gumbel("the Gumbel fit is out of range");
        return out;
    }
    out.fit = {Gumbel{orient(loc, tail), scale, tail}, {}};
    return out;
}

}  // namespace analysis
