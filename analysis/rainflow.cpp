#include "analysis/rainflow.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace analysis {

namespace {

template <class T>
std::vector<RainflowCycle> count_all(std::span<const T> x, Residuals residuals) {
    std::vector<RainflowCycle> out;
    RainflowCounter counter(residuals);
    const auto sink = [&out](const RainflowCycle& c) { out.push_back(c); };
    for (const T v : x) counter.push(static_cast<double>(v), sink);
    counter.finish(sink);
    return out;
}

// x^m for an integer m >= 1 by repeated squaring.
double ipow(double x, int m) {
    double r = 1.0;
    double b = x;
    for (;;) {
        if (m & 1) r *= b;
        m >>= 1;
        if (m == 0) return r;
        b *= b;
    }
}

// The binary exponent e with v < 2^e <= 2v (v > 0, finite).
int exponent_above(double v) {
    int e = 0;
    static_cast<void>(std::frexp(v, &e));
    return e;
}

// Lower edge of bin k of `bins` from 0 to top (the upper edge of the last
// bin is top itself).
double edge(double top, std::size_t k, std::size_t bins) {
    if (k == 0) return 0.0;
    if (k >= bins) return top;
    return top * static_cast<double>(k) / static_cast<double>(bins);
}

}  // namespace

std::vector<RainflowCycle> rainflow(std::span<const float> x, Residuals residuals) {
    return count_all(x, residuals);
}

std::vector<RainflowCycle> rainflow(std::span<const double> x, Residuals residuals) {
    return count_all(x, residuals);
}

DamageSum::DamageSum(std::span<const double> exponents) {
    terms_.reserve(exponents.size());
    for (const double m : exponents) {
        Term t;
        t.m = m;
        if (m >= 1.0 && m <= 64.0 && m == std::floor(m)) t.im = static_cast<int>(m);
        terms_.push_back(t);
    }
}

void DamageSum::rescale(int new_exp) {
    const int shift = new_exp - exp_;
    for (Term& t : terms_) {
        if (t.im > 0) {
            t.sum = std::ldexp(t.sum, -shift * t.im);
        } else {
            t.sum *= std::exp2(-static_cast<double>(shift) * t.m);
        }
    }
    exp_ = new_exp;
}

void DamageSum::add(const RainflowCycle& c) {
    cycles_ += c.count;
    if (!(c.range > 0.0) || !std::isfinite(c.range)) return;
    if (c.range > largest_) largest_ = c.range;
    const int e = exponent_above(c.range);
    if (!any_) {
        exp_ = e;
        any_ = true;
    } else if (e > exp_) {
        rescale(e);
    }
    const double s = std::ldexp(c.range, -exp_);
    for (Term& t : terms_) {
        const double p = t.im > 0 ? ipow(s, t.im) : std::pow(s, t.m);
        t.sum += c.count * p;
    }
}

std::optional<double> DamageSum::del(std::size_t k, double neq) const {
    if (k >= terms_.size()) return std::nullopt;
    const Term& t = terms_[k];
    if (!any_ || !(t.sum > 0.0)) return 0.0;
    if (!std::isfinite(neq) || !(neq > 0.0)) return std::nullopt;
    const double r = t.sum / neq;
    double root = 0.0;
    if (std::isnormal(r) && std::isfinite(r)) {
        root = std::pow(r, 1.0 / t.m);
    } else {
        root = std::exp((std::log(t.sum) - std::log(neq)) / t.m);
    }
    const double v = std::ldexp(root, exp_);
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

std::vector<CycleBin> bin_cycles(std::span<const RainflowCycle> cycles, std::size_t bins) {
    if (bins == 0) return {};
    double top = 0.0;
    for (const RainflowCycle& c : cycles) {
        if (std::isfinite(c.range) && c.range > top) top = c.range;
    }
    std::vector<CycleBin> out(bins);
    std::vector<double> weighted(bins, 0.0);
    for (std::size_t k = 0; k < bins; ++k) {
        out[k].lo = edge(top, k, bins);
        out[k].hi = edge(top, k + 1, bins);
    }
    for (const RainflowCycle& c : cycles) {
        if (!std::isfinite(c.range)) continue;
        std::size_t k = 0;
        if (top > 0.0) {
            const double guess = std::floor(c.range / top * static_cast<double>(bins));
            k = guess <= 0.0 ? 0 : std::min(bins - 1, static_cast<std::size_t>(guess));
            // The printed edges decide: lo <= range < hi.
            while (k > 0 && c.range < out[k].lo) --k;
            while (k + 1 < bins && c.range >= out[k + 1].lo) ++k;
        }
        out[k].count += c.count;
        weighted[k] += c.count * c.mean;
    }
    for (std::size_t k = 0; k < bins; ++k) {
        if (out[k].count > 0.0) out[k].mean = weighted[k] / out[k].count;
    }
    return out;
}

}  // namespace analysis
