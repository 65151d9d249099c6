#include "pictures/charts.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <vector>

#include "pictures/svg.h"

namespace pictures {

namespace {

// The frame shared by the charts: the plot area and the axis labels.
struct Chart {
    double fs, width, height, left, top, plot_w, plot_h;
};

Chart chart_frame(const ChartLayout& layout) {
    Chart c{};
    c.fs = std::max(layout.font_size, 6);
    c.width = std::max(layout.width, 160);
    c.plot_h = std::max(layout.height, 60);
    c.left = c.fs * 5.2;
    c.top = c.fs * 1.8;
    c.plot_w = c.width - c.left - c.fs;
    c.height = std::ceil(c.top + c.plot_h + c.fs * 3.2);
    return c;
}

void start(std::string& out, const Chart& c, const std::string& title, const char* cls) {
    auto w = std::back_inserter(out);
    fmt::format_to(w,
                   "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"{}\" width=\"100%\" "
                   "viewBox=\"0 0 {} {}\" font-family=\"sans-serif\" font-size=\"{}\">\n"
                   "<rect width=\"{}\" height=\"{}\" fill=\"#fff\"/>\n",
                   cls, c.width, c.height, c.fs, c.width, c.height);
    fmt::format_to(
        w, "<text class=\"title\" x=\"{:.1f}\" y=\"{:.1f}\" font-weight=\"bold\">{}</text>\n",
        c.left, c.fs * 1.2, xml_escape(title));
}

void finish(std::string& out, const Chart& c, const std::string& x_title,
            std::string_view y_title = {}) {
    auto w = std::back_inserter(out);
    if (!y_title.empty()) {
        fmt::format_to(
            w,
            "<text class=\"axis-title y\" x=\"{0:.1f}\" y=\"{1:.1f}\" "
            "text-anchor=\"middle\" transform=\"rotate(-90 {0:.1f} {1:.1f})\">{2}</text>\n",
            c.fs, c.top + c.plot_h / 2.0, xml_escape(y_title));
    }
    fmt::format_to(w,
                   "<rect class=\"outline\" x=\"{:.1f}\" y=\"{:.1f}\" width=\"{:.1f}\" "
                   "height=\"{:.1f}\" fill=\"none\" stroke=\"#444\" stroke-width=\"0.8\"/>\n",
                   c.left, c.top, c.plot_w, c.plot_h);
    fmt::format_to(w,
                   "<text class=\"axis-title\" x=\"{:.1f}\" y=\"{:.1f}\" "
                   "text-anchor=\"middle\">{}</text>\n</svg>\n",
                   c.left + c.plot_w / 2.0, c.top + c.plot_h + c.fs * 2.7, xml_escape(x_title));
}

// Ticks and labels of a linear x axis from lo to hi.
void x_ticks(std::string& out, const Chart& c, double lo, double hi) {
    const int max = std::max(3, static_cast<int>(c.plot_w / (c.fs * 4.0)));
    const double step = tick_step_125(lo, hi, max);
    const std::vector<double> ticks = ticks_125(lo, hi, max);
    std::string mult;
    const std::vector<std::string> labels = tick_labels(ticks, step, &mult);
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        const double x = c.left + (ticks[i] - lo) / (hi - lo) * c.plot_w;
        fmt::format_to(std::back_inserter(out),
                       "<line x1=\"{0:.1f}\" y1=\"{1:.1f}\" x2=\"{0:.1f}\" y2=\"{2:.1f}\" "
                       "stroke=\"#ddd\" stroke-width=\"0.6\"/><text class=\"xtick\" x=\"{0:.1f}\" "
                       "y=\"{3:.1f}\" text-anchor=\"middle\">{4}{5}</text>\n",
                       x, c.top, c.top + c.plot_h, c.top + c.plot_h + c.fs * 1.3, labels[i],
                       i + 1 == ticks.size() && !mult.empty() ? " " + mult : "");
    }
}

}  // namespace

std::string render_spectrum(std::span<const double> freqs, std::span<const double> psd,
                            std::optional<double> fp, const std::string& title,
                            const ChartLayout& layout) {
    const Chart c = chart_frame(layout);
    std::string out;
    start(out, c, title, "spectrum");
    const std::size_t n = std::min(freqs.size(), psd.size());
    // Both axes logarithmic: the frequencies above 0 with a positive density.
    auto usable = [&](std::size_t i) {
        return std::isfinite(freqs[i]) && freqs[i] > 0.0 && std::isfinite(psd[i]) && psd[i] > 0.0;
    };
    double flo = std::numeric_limits<double>::infinity(), fhi = -flo;
    double dlo = flo, dhi = -flo;
    for (std::size_t i = 0; i < n; ++i) {
        if (!usable(i)) continue;
        flo = std::min(flo, freqs[i]);
        fhi = std::max(fhi, freqs[i]);
        dlo = std::min(dlo, psd[i]);
        dhi = std::max(dhi, psd[i]);
    }
    if (!(flo < fhi) || !(dlo <= dhi)) {
        fmt::format_to(std::back_inserter(out),
                       "<text class=\"empty\" x=\"{:.1f}\" y=\"{:.1f}\" text-anchor=\"middle\" "
                       "fill=\"#666\">no spectrum</text>\n",
                       c.left + c.plot_w / 2.0, c.top + c.plot_h / 2.0);
        finish(out, c, "frequency [Hz]");
        return out;
    }
    // Whole decades, at most eight below the largest density.
    const double e1 = std::ceil(std::log10(dhi));
    const double e0 = std::max(std::floor(std::log10(dlo)), e1 - 8.0);
    const double e_hi = e1 > e0 ? e1 : e0 + 1.0;
    const double g0 = std::floor(std::log10(flo));
    const double g1 = std::max(std::ceil(std::log10(fhi)), g0 + 1.0);
    auto x = [&](double f) { return c.left + (std::log10(f) - g0) / (g1 - g0) * c.plot_w; };
    auto y = [&](double d) {
        const double e = std::clamp(std::log10(d), e0, e_hi);
        return c.top + c.plot_h - (e - e0) / (e_hi - e0) * c.plot_h;
    };
    auto w = std::back_inserter(out);
    for (double e = e0; e <= e_hi; e += 1.0) {
        fmt::format_to(w,
                       "<line x1=\"{0:.1f}\" y1=\"{1:.1f}\" x2=\"{2:.1f}\" y2=\"{1:.1f}\" "
                       "stroke=\"#ddd\" stroke-width=\"0.6\"/><text class=\"ytick\" x=\"{3:.1f}\" "
                       "y=\"{4:.1f}\" text-anchor=\"end\">{5}</text>\n",
                       c.left, y(std::pow(10.0, e)), c.left + c.plot_w, c.left - 4.0,
                       y(std::pow(10.0, e)) + c.fs * 0.35, short_number(std::pow(10.0, e)));
    }
    for (double g = g0; g <= g1; g += 1.0) {
        const double xg = x(std::pow(10.0, g));
        fmt::format_to(w,
                       "<line x1=\"{0:.1f}\" y1=\"{1:.1f}\" x2=\"{0:.1f}\" y2=\"{2:.1f}\" "
                       "stroke=\"#ddd\" stroke-width=\"0.6\"/><text class=\"xtick\" "
                       "x=\"{0:.1f}\" y=\"{3:.1f}\" text-anchor=\"middle\">{4}</text>\n",
                       xg, c.top, c.top + c.plot_h, c.top + c.plot_h + c.fs * 1.3,
                       short_number(std::pow(10.0, g)));
    }
    out += "<path class=\"series\" fill=\"none\" stroke=\"#0072b2\" stroke-width=\"1\" d=\"";
    bool first = true;
    for (std::size_t i = 0; i < n; ++i) {
        if (!usable(i)) continue;
        fmt::format_to(w, "{}{:.1f},{:.1f}", first ? "M" : " ", x(freqs[i]), y(psd[i]));
        first = false;
    }
    out += "\"/>\n";
    if (fp && std::isfinite(*fp) && *fp >= flo && *fp <= fhi) {
        const double xf = x(*fp);
        const bool left = xf > c.left + c.plot_w * 0.6;
        fmt::format_to(w,
                       "<line class=\"fp\" x1=\"{0:.1f}\" y1=\"{1:.1f}\" x2=\"{0:.1f}\" "
                       "y2=\"{2:.1f}\" stroke=\"#bf5400\" stroke-width=\"1.2\" "
                       "stroke-dasharray=\"4 2\"/><text class=\"fp-label\" x=\"{3:.1f}\" "
                       "y=\"{4:.1f}\" text-anchor=\"{5}\" fill=\"#bf5400\">fp {6} Hz</text>\n",
                       xf, c.top, c.top + c.plot_h, left ? xf - 4.0 : xf + 4.0, c.top + c.fs * 1.1,
                       left ? "end" : "start", short_number(*fp));
    }
    finish(out, c, "frequency [Hz]", "density");
    return out;
}

std::string render_histogram(std::span<const float> values, int bins, const std::string& title,
                             const ChartLayout& layout) {
    const Chart c = chart_frame(layout);
    std::string out;
    start(out, c, title, "histogram");
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (const float v : values) {
        if (!std::isfinite(v)) continue;
        lo = std::min(lo, static_cast<double>(v));
        hi = std::max(hi, static_cast<double>(v));
    }
    const int nb = std::clamp(bins, 1, 200);
    auto w = std::back_inserter(out);
    if (!(lo <= hi)) {
        fmt::format_to(w,
                       "<text class=\"empty\" x=\"{:.1f}\" y=\"{:.1f}\" text-anchor=\"middle\" "
                       "fill=\"#666\">no samples</text>\n",
                       c.left + c.plot_w / 2.0, c.top + c.plot_h / 2.0);
        finish(out, c, "value");
        return out;
    }
    if (hi - lo <= std::max(std::abs(lo), std::abs(hi)) * 1e-9) {
        const double d = lo != 0.0 ? std::abs(lo) * 0.1 : 1.0;
        lo -= d;
        hi += d;
    }
    std::vector<long> counts(static_cast<std::size_t>(nb), 0);
    for (const float v : values) {
        if (!std::isfinite(v)) continue;
        const double k = std::floor((static_cast<double>(v) - lo) / (hi - lo) * nb);
        ++counts[static_cast<std::size_t>(std::clamp(k, 0.0, static_cast<double>(nb - 1)))];
    }
    const long most = std::max(1L, *std::max_element(counts.begin(), counts.end()));
    const int ymax_ticks = std::max(3, static_cast<int>(c.plot_h / (c.fs * 2.5)));
    const double step =
        std::max(1.0, std::ceil(tick_step_125(0.0, static_cast<double>(most), ymax_ticks)));
    const double top_count = std::ceil(static_cast<double>(most) / step) * step;
    auto y = [&](double n) { return c.top + c.plot_h - n / top_count * c.plot_h; };
    for (double t = 0.0; t <= top_count + 0.5; t += step) {
        fmt::format_to(w,
                       "<line x1=\"{0:.1f}\" y1=\"{1:.1f}\" x2=\"{2:.1f}\" y2=\"{1:.1f}\" "
                       "stroke=\"#ddd\" stroke-width=\"0.6\"/><text class=\"ytick\" x=\"{3:.1f}\" "
                       "y=\"{4:.1f}\" text-anchor=\"end\">{5}</text>\n",
                       c.left, y(t), c.left + c.plot_w, c.left - 4.0, y(t) + c.fs * 0.35,
                       short_number(t));
    }
    x_ticks(out, c, lo, hi);
    const double bw = c.plot_w / nb;
    out += "<g class=\"bars\" fill=\"#56b4e9\" stroke=\"#0072b2\" stroke-width=\"0.5\">";
    for (int k = 0; k < nb; ++k) {
        const long n = counts[static_cast<std::size_t>(k)];
        if (n == 0) continue;
        const double b0 = lo + (hi - lo) * k / nb, b1 = lo + (hi - lo) * (k + 1) / nb;
        fmt::format_to(w,
                       "<rect class=\"bar\" x=\"{:.1f}\" y=\"{:.1f}\" width=\"{:.1f}\" "
                       "height=\"{:.1f}\"><title>{} to {}: {}</title></rect>",
                       c.left + bw * k, y(static_cast<double>(n)), bw,
                       c.top + c.plot_h - y(static_cast<double>(n)), short_number(b0),
                       short_number(b1), n);
    }
    out += "</g>\n";
    finish(out, c, "value", "samples");
    return out;
}

}  // namespace pictures
