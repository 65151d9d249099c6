#include "analysis/butterworth.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <complex>
#include <numbers>
#include <numeric>
#include <sstream>

namespace analysis {

namespace {

using Complex = std::complex<double>;
using Roots = std::vector<Complex>;

std::string shortest(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

bool is_real(Complex c) {
    return c.imag() == 0.0;
}

Complex product(const Roots& r, Complex shift, double sign) {
    // prod(shift + sign * r)
    Complex p = 1.0;
    for (const Complex& c : r) p *= shift + sign * c;
    return p;
}

// Splits roots into one of each complex-conjugate pair (ordered by real
// part, equal real parts by |imag|) followed by the real ones (ascending),
// roots within a relative 100 eps of the real axis counting as real.
Roots conjugate_pairs_then_reals(Roots z) {
    const double tol = 100.0 * std::numeric_limits<double>::epsilon();
    std::stable_sort(z.begin(), z.end(), [](Complex a, Complex b) {
        if (a.real() != b.real()) return a.real() < b.real();
        return std::fabs(a.imag()) < std::fabs(b.imag());
    });
    Roots reals, pos, neg;
    for (const Complex& c : z) {
        if (std::fabs(c.imag()) <= tol * std::abs(c)) {
            reals.emplace_back(c.real(), 0.0);
        } else if (c.imag() > 0) {
            pos.push_back(c);
        } else {
            neg.push_back(c);
        }
    }
    // Within runs of (nearly) equal real parts, order by |imag|.
    auto sort_runs = [&](Roots& v) {
        std::size_t start = 0;
        while (start < v.size()) {
            std::size_t stop = start + 1;
            while (stop < v.size() &&
                   v[stop].real() - v[stop - 1].real() <= tol * std::abs(v[stop - 1]))
                ++stop;
            std::stable_sort(
                v.begin() + static_cast<std::ptrdiff_t>(start),
                v.begin() + static_cast<std::ptrdiff_t>(stop),
                [](Complex a, Complex b) { return std::fabs(a.imag()) < std::fabs(b.imag()); });
            start = stop;
        }
    };
    sort_runs(pos);
    sort_runs(neg);
    Roots out;
    const std::size_t pairs = std::min(pos.size(), neg.size());
    for (std::size_t i = 0; i < pairs; ++i) out.push_back((pos[i] + std::conj(neg[i])) / 2.0);
    out.insert(out.end(), reals.begin(), reals.end());
    return out;
}

enum class Which { any, real, complex };

// The index of the root of `from` nearest to `to` of the given sort (the
// first of equally near ones).
std::size_t nearest(const Roots& from, Complex to, Which which) {
    std::size_t best = from.size();
    double best_d = 0.0;
    for (std::size_t i = 0; i < from.size(); ++i) {
        if (which == Which::real && !is_real(from[i])) continue;
        if (which == Which::complex && is_real(from[i])) continue;
        const double d = std::abs(from[i] - to);
        if (best == from.size() || d < best_d) {
            best = i;
            best_d = d;
        }
    }
    if (best == from.size()) throw std::logic_error("filter design: no root to pair");
    return best;
}

// The index of the root nearest the unit circle (the first of equal ones),
// among those accepted.
template <class Accept>
std::size_t worst(const Roots& p, Accept accept) {
    std::size_t best = p.size();
    double best_d = 0.0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (!accept(p[i])) continue;
        const double d = std::fabs(1.0 - std::abs(p[i]));
        if (best == p.size() || d < best_d) {
            best = i;
            best_d = d;
        }
    }
    if (best == p.size()) throw std::logic_error("filter design: no pole to pair");
    return best;
}

Complex take(Roots& r, std::size_t i) {
    const Complex c = r[i];
    r.erase(r.begin() + static_cast<std::ptrdiff_t>(i));
    return c;
}

SosSection section(Complex z1, Complex z2, Complex p1, Complex p2, double gain) {
    return {gain, gain * (-(z1 + z2)).real(), gain * (z1 * z2).real(),
            1.0,  (-(p1 + p2)).real(),        (p1 * p2).real()};
}

// Pairs the digital zeros z and poles p (equal in number) into sections,
// nearest zeros to each pole, starting from the pole nearest the unit
// circle; that section ends up last. The gain k goes into the first.
Sos pair_sections(Roots z, Roots p, double k) {
    if (p.size() % 2 == 1) {
        p.emplace_back(0.0, 0.0);
        z.emplace_back(0.0, 0.0);
    }
    const std::size_t n_sections = p.size() / 2;
    z = conjugate_pairs_then_reals(std::move(z));
    p = conjugate_pairs_then_reals(std::move(p));
    auto count_real = [](const Roots& r) {
        return static_cast<std::size_t>(std::count_if(r.begin(), r.end(), is_real));
    };
    struct Pair {
        Complex z1, z2, p1, p2;
    };
    std::vector<Pair> pairs;
    for (std::size_t si = 0; si < n_sections; ++si) {
        const Complex p1 = take(p, worst(p, [](Complex) { return true; }));
        if (is_real(p1) && count_real(p) == 0) {
            // The last real pole: with the nearest real zero.
            const Complex z1 = take(z, nearest(z, p1, Which::real));
            pairs.push_back({z1, 0.0, p1, 0.0});
        } else if (p.size() + 1 == z.size() && !is_real(p1) && count_real(p) == 1 &&
                   count_real(z) == 1) {
            // One real pole and one real zero left: this pole takes a
            // complex zero.
            const Complex z1 = take(z, nearest(z, p1, Which::complex));
            pairs.push_back({z1, std::conj(z1), p1, std::conj(p1)});
        } else {
            Complex p2 = std::conj(p1);
            if (is_real(p1)) p2 = take(p, worst(p, is_real));
            if (z.empty()) {
                pairs.push_back({0.0, 0.0, p1, p2});
                continue;
            }
            const Complex z1 = take(z, nearest(z, p1, Which::any));
            if (!is_real(z1)) {
                pairs.push_back({z1, std::conj(z1), p1, p2});
            } else if (!z.empty()) {
                const Complex z2 = take(z, nearest(z, p1, Which::real));
                pairs.push_back({z1, z2, p1, p2});
            } else {
                pairs.push_back({z1, 0.0, p1, p2});
            }
        }
    }
    Sos sos;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const Pair& q = pairs[pairs.size() - 1 - i];
        sos.sections.push_back(section(q.z1, q.z2, q.p1, q.p2, i == 0 ? k : 1.0));
    }
    return sos;
}

}  // namespace

bool stable(const Sos& sos) {
    for (const SosSection& q : sos.sections) {
        for (double c : q) {
            if (!std::isfinite(c)) return false;
        }
        if (q[3] == 0.0) return false;
        // Both roots of a0 z^2 + a1 z + a2 strictly inside the unit circle.
        const double a1 = q[4] / q[3], a2 = q[5] / q[3];
        if (!(std::fabs(a2) < 1.0 && std::fabs(a1) < 1.0 + a2)) return false;
    }
    return true;
}

const char* filter_kind_name(FilterKind kind) {
    switch (kind) {
        case FilterKind::low:
            return "low";
        case FilterKind::high:
            return "high";
        case FilterKind::band:
            return "band";
        case FilterKind::stop:
            return "stop";
    }
    return "?";
}

std::string describe(const FilterSettings& settings) {
    std::string s = std::string(filter_kind_name(settings.kind)) + ":" + shortest(settings.f1);
    if (settings.kind == FilterKind::band || settings.kind == FilterKind::stop)
        s += ":" + shortest(settings.f2);
    return s + " order " + std::to_string(settings.order);
}

void check_filter(const FilterSettings& settings, double fs) {
    if (settings.order < min_filter_order || settings.order > max_filter_order) {
        throw ArgumentError("filter order " + std::to_string(settings.order) + " is outside " +
                            std::to_string(min_filter_order) + ".." +
                            std::to_string(max_filter_order));
    }
    if (!(std::isfinite(fs) && fs > 0.0)) {
        throw ArgumentError("sampling frequency " + shortest(fs) + " Hz is not a positive number");
    }
    const double nyquist = fs / 2.0;
    const bool two = settings.kind == FilterKind::band || settings.kind == FilterKind::stop;
    auto check_edge = [&](double f, const char* what) {
        if (!(f > 0.0)) {
            throw ArgumentError(std::string(what) + " " + shortest(f) + " Hz is not above 0");
        }
        if (!(f < nyquist)) {
            throw ArgumentError(std::string(what) + " " + shortest(f) +
                                " Hz is not below the Nyquist frequency " + shortest(nyquist) +
                                " Hz");
        }
    };
    if (!two) {
        check_edge(settings.f1, "cut-off");
        return;
    }
    check_edge(settings.f1, "lower band end");
    check_edge(settings.f2, "upper band end");
    if (!(settings.f1 < settings.f2)) {
        throw ArgumentError("band ends " + shortest(settings.f1) + " and " + shortest(settings.f2) +
                            " Hz are not increasing");
    }
}

Sos butterworth(const FilterSettings& settings, double fs) {
    check_filter(settings, fs);
    const int n = settings.order;
    // Analog prototype: no zeros, poles on the left unit half circle, gain 1.
    Roots z;
    Roots p;
    for (int m = -n + 1; m < n; m += 2) {
        p.push_back(-std::exp(Complex(0.0, std::numbers::pi * m / (2.0 * n))));
    }
    double k = 1.0;
    const std::size_t degree = p.size();

    // Prewarped edges (scipy normalises to fs = 2, so 2 * 2 tan(pi Wn / 2)).
    auto warp = [&](double f) { return 4.0 * std::tan(std::numbers::pi * (2.0 * f / fs) / 2.0); };
    switch (settings.kind) {
        case FilterKind::low: {
            const double wo = warp(settings.f1);
            for (Complex& c : p) c *= wo;
            k *= std::pow(wo, static_cast<double>(degree));
            break;
        }
        case FilterKind::high: {
            const double wo = warp(settings.f1);
            k *= (product(z, 0.0, -1.0) / product(p, 0.0, -1.0)).real();
            for (Complex& c : p) c = wo / c;
            z.assign(degree, Complex(0.0, 0.0));
            break;
        }
        case FilterKind::band: {
            const double w1 = warp(settings.f1), w2 = warp(settings.f2);
            const double bw = w2 - w1, wo = std::sqrt(w1 * w2);
            Roots pb;
            for (const Complex& c : p) pb.push_back(c * bw / 2.0);
            Roots out;
            for (const Complex& c : pb) out.push_back(c + std::sqrt(c * c - wo * wo));
            for (const Complex& c : pb) out.push_back(c - std::sqrt(c * c - wo * wo));
            p = out;
            z.assign(degree, Complex(0.0, 0.0));
            k *= std::pow(bw, static_cast<double>(degree));
            break;
        }
        case FilterKind::stop: {
            const double w1 = warp(settings.f1), w2 = warp(settings.f2);
            const double bw = w2 - w1, wo = std::sqrt(w1 * w2);
            k *= (product(z, 0.0, -1.0) / product(p, 0.0, -1.0)).real();
            Roots ph;
            for (const Complex& c : p) ph.push_back((bw / 2.0) / c);
            Roots out;
            for (const Complex& c : ph) out.push_back(c + std::sqrt(c * c - wo * wo));
            for (const Complex& c : ph) out.push_back(c - std::sqrt(c * c - wo * wo));
            p = out;
            z.assign(degree, Complex(0.0, wo));
            z.insert(z.end(), degree, Complex(0.0, -wo));
            break;
        }
    }

    // Bilinear transform with fs = 2: z = (4 + s) / (4 - s); zeros at
    // infinity go to -1.
    const double fs2 = 4.0;
    k *= (product(z, fs2, -1.0) / product(p, fs2, -1.0)).real();
    const std::size_t extra = p.size() - z.size();
    for (Complex& c : z) c = (fs2 + c) / (fs2 - c);
    for (Complex& c : p) c = (fs2 + c) / (fs2 - c);
    z.insert(z.end(), extra, Complex(-1.0, 0.0));
    Sos sos = pair_sections(std::move(z), std::move(p), k);
    // An edge so near 0 or the Nyquist frequency that the gain underflows
    // or a pole rounds onto the unit circle gives no usable filter.
    if (!(k != 0.0 && std::isfinite(k)) || !stable(sos)) {
        throw ArgumentError("filter " + describe(settings) +
                            " is too near 0 or the Nyquist frequency " + shortest(fs / 2.0) +
                            " Hz to be made");
    }
    return sos;
}

Sos butterworth(int order, FilterKind kind, double f1, double f2, double fs) {
    return butterworth(FilterSettings{kind, order, f1, f2}, fs);
}

std::size_t filtfilt_padlen(const Sos& sos) {
    std::size_t zb = 0, za = 0;
    for (const SosSection& s : sos.sections) {
        zb += s[2] == 0.0;
        za += s[5] == 0.0;
    }
    return 3 * (2 * sos.sections.size() + 1 - std::min(zb, za));
}

namespace {

// The running state of a cascade in transposed direct form II.
class Cascade {
  public:
    explicit Cascade(const Sos& sos)
        : n_(sos.sections.size()), c_(5 * n_), zi_(2 * n_), z_(2 * n_) {
        double scale = 1.0;
        for (std::size_t s = 0; s < n_; ++s) {
            const SosSection& q = sos.sections[s];
            const double a0 = q[3];
            const double b0 = q[0] / a0, b1 = q[1] / a0, b2 = q[2] / a0, a1 = q[4] / a0,
                         a2 = q[5] / a0;
            c_[5 * s + 0] = b0;
            c_[5 * s + 1] = b1;
            c_[5 * s + 2] = b2;
            c_[5 * s + 3] = a1;
            c_[5 * s + 4] = a2;
            // Steady state of the section for a unit step at its input:
            // (I - A^T) zi = b[1:] - a[1:] b0, solved in closed form.
            const double zi0 = (b1 + b2 - (a1 + a2) * b0) / (1.0 + a1 + a2);
            zi_[2 * s] = scale * zi0;
            zi_[2 * s + 1] = scale * (b2 - a2 * b0 - a2 * zi0);
            scale *= (q[0] + q[1] + q[2]) / (q[3] + q[4] + q[5]);
        }
    }

    // Starts a pass at the steady state for a constant input x0.
    void start(double x0) {
        for (std::size_t i = 0; i < z_.size(); ++i) z_[i] = zi_[i] * x0;
    }

    double step(double x) {
        const double* c = c_.data();
        double* z = z_.data();
        for (std::size_t s = 0; s < n_; ++s, c += 5, z += 2) {
            // The terms of x and the older state first: the chain from
            // one output to the next is then one multiply and two adds.
            const double y = c[0] * x + z[0];
            z[0] = (c[1] * x + z[1]) - c[3] * y;
            z[1] = c[2] * x - c[4] * y;
            x = y;
        }
        return x;
    }

  private:
    std::size_t n_;
    std::vector<double> c_;   // b0 b1 b2 a1 a2 per section
    std::vector<double> zi_;  // steady state for a unit input
    std::vector<double> z_;
};

template <class T>
void filtfilt(const Sos& sos, std::span<const T> x, std::span<double> out) {
    if (sos.sections.empty()) throw ArgumentError("filter has no sections");
    if (!stable(sos)) throw ArgumentError("filter is not stable");
    if (out.size() != x.size()) {
        throw ArgumentError("output of " + std::to_string(out.size()) +
                            " samples for a series of " + std::to_string(x.size()));
    }
    const std::size_t n = x.size();
    const std::size_t pad = filtfilt_padlen(sos);
    if (n <= pad) {
        throw ArgumentError("series of " + std::to_string(n) +
                            " samples is too short for this filter (more than " +
                            std::to_string(pad) + " needed)");
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(static_cast<double>(x[i]))) {
            throw ArgumentError("sample " + std::to_string(i) + " is not a finite number");
        }
    }
    // The odd extensions, made before out (which may be x) is written.
    const double first = static_cast<double>(x[0]);
    const double last = static_cast<double>(x[n - 1]);
    std::vector<double> left(pad), right(pad);
    for (std::size_t i = 0; i < pad; ++i) {
        left[i] = 2.0 * first - static_cast<double>(x[pad - i]);
        right[i] = 2.0 * last - static_cast<double>(x[n - 2 - i]);
    }

    Cascade c(sos);
    // Forwards over left, x, right; left's outputs are cut off in the end
    // and are not needed by the backward pass, right's are.
    c.start(left[0]);
    for (std::size_t i = 0; i < pad; ++i) c.step(left[i]);
    for (std::size_t i = 0; i < n; ++i) out[i] = c.step(static_cast<double>(x[i]));
    for (std::size_t i = 0; i < pad; ++i) right[i] = c.step(right[i]);
    // Backwards from the end of right.
    c.start(right[pad - 1]);
    for (std::size_t i = pad; i-- > 0;) c.step(right[i]);
    for (std::size_t i = n; i-- > 0;) out[i] = c.step(out[i]);
}

}  // namespace

void sosfiltfilt(const Sos& sos, std::span<const double> x, std::span<double> out) {
    filtfilt(sos, x, out);
}

void sosfiltfilt(const Sos& sos, std::span<const float> x, std::span<double> out) {
    filtfilt(sos, x, out);
}

std::vector<double> sosfiltfilt(const Sos& sos, std::span<const double> x) {
    std::vector<double> out(x.size());
    filtfilt(sos, x, std::span<double>(out));
    return out;
}

}  // namespace analysis
