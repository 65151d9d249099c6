#include "analysis/welch.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <sstream>
#include <string>
#include <unsupported/Eigen/FFT>

namespace analysis {

namespace {

std::string number(double v) {
    std::ostringstream s;
    s.precision(6);
    s << v;
    return s.str();
}

void check_fs(double fs) {
    if (!(std::isfinite(fs) && fs > 0.0)) {
        throw ArgumentError("sampling frequency " + number(fs) + " Hz is not a positive number");
    }
}

}  // namespace

std::size_t welch_segment_length(std::size_t n, std::size_t nperseg) {
    if (nperseg != 0) return nperseg;
    return std::min(n, std::max(n / 4, min_spectrum_samples));
}

struct WelchEstimator::Plan {
    Eigen::FFT<double> fft;
    std::vector<double> window;
    double window_power = 0.0;  // sum of w[k]^2
    std::vector<double> segment;
    std::vector<std::complex<double>> spectrum;
};

WelchEstimator::WelchEstimator(std::size_t nperseg, double overlap) : nperseg_(nperseg) {
    if (nperseg < min_spectrum_samples) {
        throw ArgumentError("segment of " + std::to_string(nperseg) + " samples is shorter than " +
                            std::to_string(min_spectrum_samples));
    }
    if (nperseg > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        throw ArgumentError("segment of " + std::to_string(nperseg) + " samples is too long");
    }
    if (!(overlap >= 0.0 && overlap < 1.0)) {
        throw ArgumentError("overlap " + number(overlap) + " is not a fraction from 0 to below 1");
    }
    noverlap_ = static_cast<std::size_t>(std::floor(overlap * static_cast<double>(nperseg)));
    if (noverlap_ >= nperseg) noverlap_ = nperseg - 1;

    plan_ = std::make_unique<Plan>();
    plan_->fft.SetFlag(Eigen::FFT<double>::HalfSpectrum);
    plan_->window.resize(nperseg);
    const double dn = static_cast<double>(nperseg);
    double power = 0.0;
    for (std::size_t k = 0; k < nperseg; ++k) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(k) / dn);
        plan_->window[k] = w;
        power += w * w;
    }
    plan_->window_power = power;
    plan_->segment.resize(nperseg);
    plan_->spectrum.resize(nperseg / 2 + 1);
}

WelchEstimator::~WelchEstimator() = default;
WelchEstimator::WelchEstimator(WelchEstimator&&) noexcept = default;
WelchEstimator& WelchEstimator::operator=(WelchEstimator&&) noexcept = default;

void WelchEstimator::estimate(std::span<const double> x, double fs, WelchResult& out) {
    check_fs(fs);
    const std::size_t n = x.size();
    const std::size_t len = nperseg_;
    if (n < min_spectrum_samples) {
        throw ArgumentError("series of " + std::to_string(n) +
                            " samples is too short for a spectrum (at least " +
                            std::to_string(min_spectrum_samples) + ")");
    }
    if (len > n) {
        throw ArgumentError("segment of " + std::to_string(len) +
                            " samples is longer than the series of " + std::to_string(n));
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(x[i])) {
            throw ArgumentError("sample " + std::to_string(i) + " is not a finite number");
        }
    }
    const std::size_t step = len - noverlap_;
    const std::size_t segments = (n - len) / step + 1;
    const std::size_t bins = len / 2 + 1;

    out.nperseg = len;
    out.noverlap = noverlap_;
    out.segments = segments;
    out.samples_used = (segments - 1) * step + len;
    out.df = fs / static_cast<double>(len);
    out.freqs.resize(bins);
    out.psd.assign(bins, 0.0);
    for (std::size_t j = 0; j < bins; ++j) out.freqs[j] = static_cast<double>(j) * out.df;

    Plan& p = *plan_;
    const double dlen = static_cast<double>(len);
    for (std::size_t s = 0; s < segments; ++s) {
        const double* seg = x.data() + s * step;
        double sum = 0.0;
        for (std::size_t k = 0; k < len; ++k) sum += seg[k];
        const double mean = sum / dlen;
        for (std::size_t k = 0; k < len; ++k) p.segment[k] = (seg[k] - mean) * p.window[k];
        p.fft.fwd(p.spectrum.data(), p.segment.data(), static_cast<Eigen::Index>(len));
        for (std::size_t j = 0; j < bins; ++j) out.psd[j] += std::norm(p.spectrum[j]);
    }
    const double scale = 1.0 / (fs * p.window_power * static_cast<double>(segments));
    for (std::size_t j = 0; j < bins; ++j) {
        const bool single = j == 0 || (len % 2 == 0 && j == bins - 1);
        out.psd[j] *= single ? scale : 2.0 * scale;
    }
}

WelchResult WelchEstimator::estimate(std::span<const double> x, double fs) {
    WelchResult r;
    estimate(x, fs, r);
    return r;
}

WelchResult welch(std::span<const double> x, double fs, const WelchOptions& options) {
    check_fs(fs);
    if (x.size() < min_spectrum_samples) {
        throw ArgumentError("series of " + std::to_string(x.size()) +
                            " samples is too short for a spectrum (at least " +
                            std::to_string(min_spectrum_samples) + ")");
    }
    const std::size_t len = welch_segment_length(x.size(), options.nperseg);
    // Before the estimator allocates a segment's buffers.
    if (len > x.size()) {
        throw ArgumentError("segment of " + std::to_string(len) +
                            " samples is longer than the series of " + std::to_string(x.size()));
    }
    WelchEstimator e(len, options.overlap);
    return e.estimate(x, fs);
}

SpectralMoments spectral_moments(std::span<const double> freqs, std::span<const double> psd) {
    if (freqs.size() != psd.size()) {
        throw ArgumentError("spectrum has " + std::to_string(freqs.size()) + " frequencies but " +
                            std::to_string(psd.size()) + " densities");
    }
    if (freqs.empty()) throw ArgumentError("spectrum is empty");
    SpectralMoments m;
    std::size_t peak = 0;
    for (std::size_t i = 1; i < psd.size(); ++i) {
        if (psd[i] > psd[peak]) peak = i;
    }
    m.fp = freqs[peak];
    auto term = [&](std::size_t i, double& t0, double& t1, double& t2, double& t4) {
        const double f = freqs[i];
        const double s = psd[i];
        t0 = s;
        t1 = f * s;
        t2 = f * f * s;
        t4 = f * f * f * f * s;
    };
    double a0 = 0, a1 = 0, a2 = 0, a4 = 0;
    term(0, a0, a1, a2, a4);
    for (std::size_t i = 1; i < freqs.size(); ++i) {
        double b0 = 0, b1 = 0, b2 = 0, b4 = 0;
        term(i, b0, b1, b2, b4);
        const double h = (freqs[i] - freqs[i - 1]) / 2.0;
        m.m0 += h * (a0 + b0);
        m.m1 += h * (a1 + b1);
        m.m2 += h * (a2 + b2);
        m.m4 += h * (a4 + b4);
        a0 = b0;
        a1 = b1;
        a2 = b2;
        a4 = b4;
    }
    if (m.m2 != 0.0) m.tz_spec = std::sqrt(m.m0 / m.m2);
    if (m.m1 != 0.0) m.t01 = m.m0 / m.m1;
    if (m.fp != 0.0) m.tp = 1.0 / m.fp;
    if (m.m0 * m.m4 != 0.0)
        m.bandwidth = std::sqrt(std::max(0.0, 1.0 - m.m2 * m.m2 / (m.m0 * m.m4)));
    return m;
}

TimeStep measure_time_step(std::span<const double> t) {
    if (t.size() < 2) throw ArgumentError("fewer than two samples: no time step");
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!std::isfinite(t[i]))
            throw ArgumentError("time of sample " + std::to_string(i) + " is not finite");
    }
    TimeStep r;
    r.mean_step = (t.back() - t.front()) / static_cast<double>(t.size() - 1);
    if (!(r.mean_step > 0.0)) {
        throw ArgumentError("mean time step " + number(r.mean_step) + " s is not positive");
    }
    for (std::size_t i = 1; i < t.size(); ++i) {
        r.largest_deviation =
            std::max(r.largest_deviation, std::fabs(t[i] - t[i - 1] - r.mean_step));
    }
    r.relative_deviation = r.largest_deviation / r.mean_step;
    r.sampling_frequency = 1.0 / r.mean_step;
    return r;
}

TimeStep constant_time_step(std::span<const double> t, double tolerance) {
    TimeStep r = measure_time_step(t);
    if (r.relative_deviation > tolerance) {
        throw ArgumentError("time step varies by " + number(r.largest_deviation) + " s (" +
                            number(100.0 * r.relative_deviation) + " % of the mean step " +
                            number(r.mean_step) + " s, at most " + number(100.0 * tolerance) +
                            " % allowed)");
    }
    return r;
}

}  // namespace analysis
