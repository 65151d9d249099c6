#include "pictures/svg.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <limits>
#include <utility>

#include "io/text.h"

namespace pictures {

namespace {

// Colours that stay apart for common colour-vision deficiencies and on paper.
constexpr std::array<std::string_view, 9> kColours = {
    "#0072b2", "#d55e00", "#009e73", "#cc79a7", "#e69f00",
    "#56b4e9", "#000000", "#8c564b", "#7f7f7f",
};

std::string_view colour(std::size_t i) {
    return kColours[i % kColours.size()];
}

bool finite(double x) {
    return std::isfinite(x);
}

// A closed interval of finite numbers, empty until the first value.
struct Range {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    void add(double x) {
        if (!finite(x)) return;
        lo = std::min(lo, x);
        hi = std::max(hi, x);
    }
    bool empty() const { return lo > hi; }
};

// Widens a degenerate or empty range so it has a length. A range only a few
// roundings long (a constant series beside its mean) counts as degenerate:
// ticks on it could not be told apart.
Range widened(Range r) {
    if (r.empty()) return {-1.0, 1.0};
    if (r.hi - r.lo > std::max(std::abs(r.lo), std::abs(r.hi)) * 1.0e-9) return r;
    const double d = r.lo != 0.0 ? std::abs(r.lo) * 0.1 : 1.0;
    return {r.lo - d, r.hi + d};
}

// Number of UTF-8 characters (for width estimates).
std::size_t text_chars(std::string_view s) {
    return static_cast<std::size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// A kept sample and whether the line is broken before it.
struct Kept {
    std::size_t index;
    bool move;
};

std::vector<Kept> reduce(std::span<const float> times, std::span<const float> values, double t_lo,
                         double t_hi, int columns) {
    std::vector<Kept> kept;
    const std::size_t n = std::min(times.size(), values.size());
    const int cols = std::max(columns, 1);
    const double span = t_hi - t_lo;
    const double scale = span > 0.0 && finite(span) ? cols / span : 0.0;

    // The current run of samples in one column.
    bool in_run = false;
    bool run_move = true;
    long run_col = 0;
    std::size_t first = 0, last = 0, imin = 0, imax = 0;
    bool next_move = true;
    auto flush = [&] {
        if (!in_run) return;
        std::array<std::size_t, 4> idx = {first, imin, imax, last};
        std::sort(idx.begin(), idx.end());
        const auto end = std::unique(idx.begin(), idx.end());
        bool move = run_move;
        for (auto it = idx.begin(); it != end; ++it) {
            kept.push_back({*it, move});
            move = false;
        }
        in_run = false;
    };
    for (std::size_t i = 0; i < n; ++i) {
        const double t = times[i];
        const float v = values[i];
        if (!finite(t) || !std::isfinite(v)) {
            flush();
            next_move = true;
            continue;
        }
        double c = std::floor((t - t_lo) * scale);
        c = std::clamp(c, 0.0, static_cast<double>(cols - 1));
        const long col = static_cast<long>(c);
        if (in_run && col == run_col) {
            last = i;
            if (v < values[imin]) imin = i;
            if (v > values[imax]) imax = i;
            continue;
        }
        flush();
        in_run = true;
        run_move = next_move;
        next_move = false;
        run_col = col;
        first = last = imin = imax = i;
    }
    flush();
    return kept;
}

// The number of decimals that shows every multiple of step exactly enough,
// or -1 when the values want exponent notation.
int tick_decimals(double step, double max_abs) {
    if (!(step > 0.0)) return 0;
    if (max_abs >= 1.0e6 || step < 1.0e-4) return -1;
    return std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1.0e-9)));
}

std::string tick_text(double v, double step, double max_abs) {
    const int d = tick_decimals(step, max_abs);
    if (d >= 0) return fmt::format("{:.{}f}", v, d);
    if (v == 0.0) return "0";
    const int digits =
        static_cast<int>(std::floor(std::log10(max_abs)) - std::floor(std::log10(step)) + 1.0);
    return fmt::format("{:.{}g}", v, std::clamp(digits, 1, 17));
}

// A linear map from data to picture coordinates.
struct Axis {
    double d0, d1;  // data range
    double p0, p1;  // picture coordinates of d0 and d1
    double operator()(double d) const { return p0 + (d - d0) / (d1 - d0) * (p1 - p0); }
};

// One drawn series: the trace, its colour and legend index.
struct Drawn {
    const Trace* trace;
    std::size_t colour;
};

// A rectangle of the picture (for keeping labels apart).
struct Box {
    double x, y, w, h;
    bool overlaps(const Box& o) const {
        return x < o.x + o.w && o.x < x + w && y < o.y + o.h && o.y < y + h;
    }
};

struct PanelPlan {
    std::string title;
    std::vector<Drawn> drawn;
    Range y;  // nice range of the values
    std::vector<double> yticks;
    double ystep = 0.0;
    bool has_data = false;
};

void append_escaped(std::string& out, std::string_view text) {
    out += xml_escape(text);
}

}  // namespace

std::string xml_escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            switch (c) {
                case '&':
                    out += "&amp;";
                    break;
                case '<':
                    out += "&lt;";
                    break;
                case '>':
                    out += "&gt;";
                    break;
                case '"':
                    out += "&quot;";
                    break;
                case '\'':
                    out += "&#39;";
                    break;
                case '\t':
                case '\n':
                    out += static_cast<char>(c);
                    break;
                default:
                    out += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
            }
            ++i;
            continue;
        }
        // A well-formed UTF-8 sequence is kept; anything else (and the
        // non-characters XML refuses) becomes '?'.
        char32_t cp = 0;
        const std::size_t len = io::utf8_at(text, i, cp);
        const bool ok = len != 0 && cp != 0xFFFE && cp != 0xFFFF;
        if (ok) {
            out.append(text.substr(i, len));
            i += len;
        } else {
            out += '?';
            ++i;
        }
    }
    return out;
}

double tick_step_125(double lo, double hi, int max_count) {
    const double span = hi - lo;
    if (!finite(span) || !(span > 0.0)) return 1.0;
    const double raw = span / std::max(1, max_count - 1);
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    // The rungs of the ladder: j = 0, 1, 2, 3, ... give mag times 1, 2, 5,
    // 10, ...; j = -1 gives mag / 2.
    constexpr std::array<double, 3> kMantissa = {1.0, 2.0, 5.0};
    int k = 0;
    auto step_at = [&](int j) {
        const int e = j >= 0 ? j / 3 : -1;
        const int m = ((j % 3) + 3) % 3;
        return kMantissa[static_cast<std::size_t>(m)] * std::pow(10.0, e) * mag;
    };
    while (step_at(k) < raw * (1.0 - 1.0e-12)) ++k;
    // Fewer than two multiples inside the range: one rung down.
    const auto count = [&](double s) {
        return std::floor(hi / s + 1.0e-9) - std::ceil(lo / s - 1.0e-9) + 1.0;
    };
    if (count(step_at(k)) < 2.0 && max_count >= 2) --k;
    return step_at(k);
}

namespace {

// The multiples of step between lo and hi (inclusive, with a little slack
// for rounding).
std::vector<double> multiples(double lo, double hi, double step) {
    std::vector<double> out;
    if (!finite(lo) || !finite(hi) || lo > hi || !(step > 0.0)) return out;
    const double i0 = std::ceil(lo / step - 1.0e-9);
    const double i1 = std::floor(hi / step + 1.0e-9);
    for (double i = i0; i <= i1 && out.size() < 1000; i += 1.0) {
        double v = i * step;
        if (std::abs(v) < step * 1.0e-9) v = 0.0;
        out.push_back(v);
    }
    return out;
}

}  // namespace

std::vector<double> ticks_125(double lo, double hi, int max_count) {
    if (!finite(lo) || !finite(hi) || lo > hi) return {};
    return multiples(lo, hi, tick_step_125(lo, hi, max_count));
}

std::vector<std::size_t> reduce_columns(std::span<const float> times, std::span<const float> values,
                                        double t_lo, double t_hi, int columns) {
    std::vector<std::size_t> out;
    for (const Kept& k : reduce(times, values, t_lo, t_hi, columns)) out.push_back(k.index);
    return out;
}

namespace {

struct LegendEntry {
    std::string text;
    std::size_t colour;
};

// The panels as drawn, with the colour of every series, and the legend.
struct PanelSet {
    std::vector<PanelPlan> plans;
    std::vector<LegendEntry> legend;
};

// Every series in one panel, one colour per series; the legend names the
// file only when there is more than one.
PanelSet plan_overlay(std::span<const Panel> panels) {
    PanelSet set;
    PanelPlan plan;
    std::size_t files = 0;
    std::vector<std::string_view> names;
    for (const Panel& p : panels) {
        for (const Trace& t : p.traces) {
            if (std::find(names.begin(), names.end(), t.file) == names.end()) {
                names.push_back(t.file);
            }
        }
    }
    files = names.size();
    for (const Panel& p : panels) {
        if (!plan.title.empty()) plan.title += "; ";
        plan.title += fmt::format("{} {}", p.dynres, p.label);
        for (const Trace& t : p.traces) {
            const std::size_t c = set.legend.size();
            plan.drawn.push_back({&t, c});
            set.legend.push_back({files > 1 ? fmt::format("{}: {} {}", t.file, p.dynres, p.label)
                                            : fmt::format("{} {}", p.dynres, p.label),
                                  c});
        }
    }
    if (panels.size() == 1)
        plan.title = fmt::format("DynRes {}: {}", panels[0].dynres, panels[0].label);
    set.plans.push_back(std::move(plan));
    return set;
}

// One panel per DynRes, one colour per file.
PanelSet plan_stacked(std::span<const Panel> panels) {
    PanelSet set;
    std::vector<std::string_view> names;
    for (const Panel& p : panels) {
        PanelPlan plan;
        plan.title = fmt::format("DynRes {}: {}", p.dynres, p.label);
        for (const Trace& t : p.traces) {
            auto it = std::find(names.begin(), names.end(), t.file);
            if (it == names.end()) {
                set.legend.push_back({t.file, names.size()});
                names.push_back(t.file);
                it = std::prev(names.end());
            }
            plan.drawn.push_back({&t, static_cast<std::size_t>(it - names.begin())});
        }
        set.plans.push_back(std::move(plan));
    }
    return set;
}

// The time range shared by the panels: the times of the finite samples.
Range time_range(const std::vector<PanelPlan>& plans) {
    Range trange;
    for (const PanelPlan& plan : plans) {
        for (const Drawn& d : plan.drawn) {
            const auto& t = *d.trace;
            const std::size_t n = std::min(t.times.size(), t.values.size());
            for (std::size_t i = 0; i < n; ++i) {
                if (std::isfinite(t.values[i])) trange.add(t.times[i]);
            }
        }
    }
    return trange;
}

// The value range and ticks of each panel: the finite samples, the mean and
// the peak, padded and rounded out to whole ticks. Returns the characters of
// the widest tick label.
std::size_t fit_value_axes(std::vector<PanelPlan>& plans, int ytick_max) {
    std::size_t label_chars = 1;
    for (PanelPlan& plan : plans) {
        Range r;
        for (const Drawn& d : plan.drawn) {
            const auto& t = *d.trace;
            const std::size_t n = std::min(t.times.size(), t.values.size());
            for (std::size_t i = 0; i < n; ++i) {
                if (finite(t.times[i]) && std::isfinite(t.values[i])) r.add(t.values[i]);
            }
            if (t.mean) r.add(*t.mean);
            if (t.peak && finite(t.peak->time)) r.add(t.peak->sample.value_or(t.peak->value));
        }
        plan.has_data = !r.empty();
        r = widened(r);
        const double pad = (r.hi - r.lo) * 0.04;
        r.lo -= pad;
        r.hi += pad;
        plan.ystep = tick_step_125(r.lo, r.hi, ytick_max);
        r.lo = std::floor(r.lo / plan.ystep) * plan.ystep;
        r.hi = std::ceil(r.hi / plan.ystep) * plan.ystep;
        plan.y = r;
        plan.yticks = multiples(r.lo, r.hi, plan.ystep);
        const double max_abs = std::max(std::abs(r.lo), std::abs(r.hi));
        for (double v : plan.yticks) {
            label_chars = std::max(label_chars, tick_text(v, plan.ystep, max_abs).size());
        }
    }
    return label_chars;
}

// The font size and the height of a plot area, never below a readable size.
double font_size(const Layout& layout) {
    return std::max(layout.font_size, 6);
}
double plot_height(const Layout& layout) {
    return std::max(layout.panel_height, 40);
}

// Where a legend entry starts: the left end of its line and its baseline.
struct LegendPlace {
    double x, y;
};

// The geometry of a picture: sizes, the legend's places, the shared time
// axis and the shaded window.
struct Frame {
    double fs = 0.0;  // the font size
    double width = 0.0;
    double height = 0.0;
    double left = 0.0;  // of the plot areas
    double plot_w = 0.0;
    double plot_h = 0.0;
    double panels_top = 0.0;  // of the first plot area
    double panel_step = 0.0;  // from one plot area's top to the next
    std::vector<LegendPlace> legend_at;
    Range trange;
    bool any_time = false;  // some sample has a finite time and value
    Axis x{0.0, 1.0, 0.0, 1.0};
    std::vector<double> xticks;
    double xstep = 0.0;
    double xmax_abs = 0.0;
    int columns = 1;  // pixel columns of a plot area
    bool shade = false;
    double w0 = 0.0, w1 = 0.0;  // the window, inside the time range
};

// The legend's entries in rows from the left of the plot areas, a new row
// when the next entry would reach past the right margin. Sets
// frame.legend_at; returns the height of the legend (0 without entries).
double place_legend(Frame& frame, const std::vector<LegendEntry>& legend, double right) {
    const double fs = frame.fs;
    const double row_h = fs * 1.6;
    double lx = frame.left, ly = fs * 1.4;
    for (const LegendEntry& e : legend) {
        const double w = 24.0 + static_cast<double>(text_chars(e.text)) * fs * 0.6 + fs * 1.5;
        if (lx > frame.left && lx + w > frame.width - right) {
            lx = frame.left;
            ly += row_h;
        }
        frame.legend_at.push_back({lx, ly});
        lx += w;
    }
    return frame.legend_at.empty() ? 0.0 : ly + fs * 0.8;
}

// The margins and sizes from the widest tick label and the legend, the
// time axis and its ticks, and the window clipped to the time range.
Frame make_frame(const Layout& layout, const Window& window, std::size_t n_panels,
                 std::size_t label_chars, const std::vector<LegendEntry>& legend, Range trange,
                 bool any_time) {
    Frame f;
    f.fs = font_size(layout);
    f.width = std::max(layout.width, 200);
    f.plot_h = plot_height(layout);
    const double fs = f.fs;
    f.left = std::max(48.0, static_cast<double>(label_chars) * fs * 0.62 + 14.0);
    const double right = 24.0;
    f.plot_w = std::max(40.0, f.width - f.left - right);
    const double legend_h = place_legend(f, legend, right);

    const double title_h = fs * 1.9;
    const double gap = fs * 0.8;
    f.panels_top = legend_h + title_h;
    f.panel_step = f.plot_h + gap + title_h;
    const double n_plans = static_cast<double>(n_panels);
    const double bottom = f.panels_top + n_plans * f.plot_h + (n_plans - 1.0) * (gap + title_h);
    f.height = std::ceil(bottom + fs * 3.6);

    f.trange = trange;
    f.any_time = any_time;
    f.x = Axis{trange.lo, trange.hi, f.left, f.left + f.plot_w};
    const int xtick_max = std::max(2, static_cast<int>(f.plot_w / (fs * 7.0)));
    f.xticks = ticks_125(trange.lo, trange.hi, xtick_max);
    f.xstep = tick_step_125(trange.lo, trange.hi, xtick_max);
    f.xmax_abs = std::max(std::abs(trange.lo), std::abs(trange.hi));
    f.columns = static_cast<int>(std::ceil(f.plot_w));

    f.shade = window.t0.has_value() || window.t1.has_value();
    f.w0 = std::max(window.t0.value_or(trange.lo), trange.lo);
    f.w1 = std::min(window.t1.value_or(trange.hi), trange.hi);
    return f;
}

// The start tag of the picture and its white background.
void write_start(std::string& out, const Frame& f, bool xml_declaration) {
    auto w = std::back_inserter(out);
    if (xml_declaration) out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    fmt::format_to(w,
                   "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{0}\" height=\"{1}\" "
                   "viewBox=\"0 0 {0} {1}\" font-family=\"sans-serif\" font-size=\"{2}\">\n",
                   f.width, f.height, f.fs);
    fmt::format_to(w, "<rect class=\"background\" width=\"{}\" height=\"{}\" fill=\"#fff\"/>\n",
                   f.width, f.height);
}

// Each entry: a short thick line in its colour and its text.
void write_legend(std::string& out, const Frame& f, const std::vector<LegendEntry>& legend) {
    if (f.legend_at.empty()) return;
    auto w = std::back_inserter(out);
    const double fs = f.fs;
    out += "<g class=\"legend\">\n";
    for (std::size_t i = 0; i < f.legend_at.size(); ++i) {
        const auto [x, y] = f.legend_at[i];
        fmt::format_to(w,
                       "<g class=\"legend-entry\"><line x1=\"{:.1f}\" y1=\"{:.1f}\" "
                       "x2=\"{:.1f}\" y2=\"{:.1f}\" stroke=\"{}\" stroke-width=\"3\"/>"
                       "<text x=\"{:.1f}\" y=\"{:.1f}\">",
                       x, y - fs * 0.35, x + 18.0, y - fs * 0.35, colour(legend[i].colour),
                       x + 24.0, y);
        append_escaped(out, legend[i].text);
        out += "</text></g>\n";
    }
    out += "</g>\n";
}

// One panel's place in the picture: the top of its plot area, its value
// axis and whether it is the lowest (the one with the time labels).
struct PanelPlace {
    double top;
    Axis y;
    bool last;
};

// The panel's title, its white plot area and the shaded window.
void write_backdrop(std::string& out, const Frame& f, const PanelPlan& plan, const PanelPlace& at) {
    auto w = std::back_inserter(out);
    fmt::format_to(w, "<text class=\"title\" x=\"{:.1f}\" y=\"{:.1f}\" font-weight=\"bold\">",
                   f.left, at.top - f.fs * 0.6);
    append_escaped(out, plan.title);
    out += "</text>\n";
    fmt::format_to(w,
                   "<rect class=\"frame\" x=\"{:.1f}\" y=\"{:.1f}\" width=\"{:.1f}\" "
                   "height=\"{:.1f}\" fill=\"#fff\" stroke=\"none\"/>\n",
                   f.left, at.top, f.plot_w, f.plot_h);
    if (f.shade && f.w0 <= f.w1 && f.any_time) {
        fmt::format_to(w,
                       "<rect class=\"window\" x=\"{:.1f}\" y=\"{:.1f}\" width=\"{:.1f}\" "
                       "height=\"{:.1f}\" fill=\"#e8eef8\"><title>window</title></rect>\n",
                       f.x(f.w0), at.top, f.x(f.w1) - f.x(f.w0), f.plot_h);
    }
}

// The grid lines at the value and time ticks.
void write_grid(std::string& out, const Frame& f, const PanelPlan& plan, const PanelPlace& at) {
    auto w = std::back_inserter(out);
    out += "<g class=\"grid\" stroke=\"#ddd\" stroke-width=\"0.6\">";
    for (double v : plan.yticks) {
        fmt::format_to(w, "<line x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\"/>", f.left,
                       at.y(v), f.left + f.plot_w, at.y(v));
    }
    for (double t : f.xticks) {
        fmt::format_to(w, "<line x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\"/>", f.x(t),
                       at.top, f.x(t), at.top + f.plot_h);
    }
    out += "</g>\n";
}

// The value labels; under the lowest panel the time labels and the axis
// title.
void write_ticks(std::string& out, const Frame& f, const PanelPlan& plan, const PanelPlace& at) {
    auto w = std::back_inserter(out);
    const double fs = f.fs;
    const double ymax_abs = std::max(std::abs(plan.y.lo), std::abs(plan.y.hi));
    for (double v : plan.yticks) {
        fmt::format_to(w,
                       "<text class=\"ytick\" x=\"{:.1f}\" y=\"{:.1f}\" "
                       "text-anchor=\"end\">{}</text>\n",
                       f.left - 6.0, at.y(v) + fs * 0.35, tick_text(v, plan.ystep, ymax_abs));
    }
    if (!at.last) return;
    for (double t : f.xticks) {
        fmt::format_to(w,
                       "<text class=\"xtick\" x=\"{:.1f}\" y=\"{:.1f}\" "
                       "text-anchor=\"middle\">{}</text>\n",
                       f.x(t), at.top + f.plot_h + fs * 1.3, tick_text(t, f.xstep, f.xmax_abs));
    }
    fmt::format_to(w,
                   "<text class=\"axis-title\" x=\"{:.1f}\" y=\"{:.1f}\" "
                   "text-anchor=\"middle\">time</text>\n",
                   f.left + f.plot_w / 2.0, at.top + f.plot_h + fs * 2.8);
}

// Each series as one path, reduced to the pixel columns, broken where
// samples are left out.
void write_series(std::string& out, const Frame& f, const PanelPlan& plan, const PanelPlace& at) {
    auto w = std::back_inserter(out);
    for (const Drawn& d : plan.drawn) {
        const Trace& t = *d.trace;
        const auto kept = reduce(t.times, t.values, f.trange.lo, f.trange.hi, f.columns);
        if (kept.empty()) continue;
        fmt::format_to(w,
                       "<path class=\"series\" fill=\"none\" stroke=\"{}\" "
                       "stroke-width=\"1\" stroke-linejoin=\"round\" d=\"",
                       colour(d.colour));
        bool first_in_segment = false;
        for (const Kept& p : kept) {
            const double x = f.x(t.times[p.index]);
            const double y = at.y(t.values[p.index]);
            if (p.move) {
                fmt::format_to(w, "M{:.1f},{:.1f}", x, y);
                first_in_segment = true;
            } else if (first_in_segment) {
                fmt::format_to(w, "L{:.1f},{:.1f}", x, y);
                first_in_segment = false;
            } else {
                fmt::format_to(w, " {:.1f},{:.1f}", x, y);
            }
        }
        out += "\"/>\n";
    }
}

// The means as dashed lines across the window.
void write_means(std::string& out, const Frame& f, const PanelPlan& plan, const PanelPlace& at) {
    auto w = std::back_inserter(out);
    for (const Drawn& d : plan.drawn) {
        const Trace& t = *d.trace;
        if (!t.mean || !finite(*t.mean) || !f.any_time || f.w0 > f.w1) continue;
        fmt::format_to(w,
                       "<line class=\"mean\" x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" "
                       "y2=\"{:.1f}\" stroke=\"{}\" stroke-width=\"0.8\" "
                       "stroke-dasharray=\"6 3\"><title>",
                       f.x(f.w0), at.y(*t.mean), f.x(f.w1), at.y(*t.mean), colour(d.colour));
        out += xml_escape(fmt::format("{}: mean {}", t.file, *t.mean));
        out += "</title></line>\n";
    }
}

// The baseline of a peak label of width tw starting at bx, beside the dot
// at height y: above it or below it, on the first place clear of the labels
// already placed (else stepped upwards); the label's box joins `placed`.
double place_peak_label(std::vector<Box>& placed, const Frame& f, const PanelPlace& at, double bx,
                        double y, double tw) {
    const double fs = f.fs;
    auto box_at = [&](double baseline) { return Box{bx, baseline - fs, tw, fs * 1.2}; };
    const double above = y - fs * 0.5, below = y + fs * 1.2;
    std::vector<double> tries;
    if (above - fs >= at.top) tries.push_back(above);
    if (below <= at.top + f.plot_h) tries.push_back(below);
    for (int r = 1; r <= 6; ++r) tries.push_back(above - fs * 1.2 * r);
    double ty = tries.front();
    for (const double c : tries) {
        const Box b = box_at(c);
        if (std::none_of(placed.begin(), placed.end(),
                         [&](const Box& o) { return o.overlaps(b); })) {
            ty = c;
            break;
        }
    }
    placed.push_back(box_at(ty));
    return ty;
}

// The peaks: a dot on the sample and, unless switched off, its value and
// time beside it, on the side with room.
void write_peaks(std::string& out, const Frame& f, const PanelPlan& plan, const PanelPlace& at,
                 bool peak_text) {
    auto w = std::back_inserter(out);
    std::vector<Box> placed;  // the peak labels of this panel
    for (const Drawn& d : plan.drawn) {
        const Trace& t = *d.trace;
        if (!t.peak || !std::isfinite(t.peak->value) || !std::isfinite(t.peak->time)) {
            continue;
        }
        const float sample = t.peak->sample.value_or(t.peak->value);
        if (!std::isfinite(sample)) continue;
        const double x = f.x(t.peak->time);
        const double y = at.y(sample);
        const std::string text = fmt::format("{} at t={}", t.peak->value, t.peak->time);
        fmt::format_to(w,
                       "<circle class=\"peak\" cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"3.5\" "
                       "fill=\"{}\" stroke=\"#fff\" stroke-width=\"1\"><title>",
                       x, y, colour(d.colour));
        out += xml_escape(fmt::format("{}: peak {}", t.file, text));
        out += "</title></circle>\n";
        if (!peak_text) continue;
        const double tw = static_cast<double>(text_chars(text)) * f.fs * 0.6;
        const bool to_left = x + 6.0 + tw > f.left + f.plot_w && x - 6.0 - tw >= f.left - 6.0;
        const double bx = to_left ? x - 6.0 - tw : x + 6.0;
        const double ty = place_peak_label(placed, f, at, bx, y, tw);
        fmt::format_to(w,
                       "<text class=\"peak-label\" x=\"{:.1f}\" y=\"{:.1f}\" "
                       "text-anchor=\"{}\" fill=\"{}\" stroke=\"#fff\" "
                       "stroke-width=\"3\" paint-order=\"stroke\">{}</text>\n",
                       to_left ? x - 6.0 : x + 6.0, ty, to_left ? "end" : "start", colour(d.colour),
                       xml_escape(text));
    }
}

// One panel: backdrop, grid and ticks, the series, then the means and the
// peaks on top, and the outline of the plot area.
void write_panel(std::string& out, const Frame& f, const PanelPlan& plan, const PanelPlace& at,
                 const Layout& layout) {
    out += "<g class=\"panel\">\n";
    write_backdrop(out, f, plan, at);
    write_grid(out, f, plan, at);
    write_ticks(out, f, plan, at);
    if (!plan.has_data) {
        fmt::format_to(std::back_inserter(out),
                       "<text class=\"empty\" x=\"{:.1f}\" y=\"{:.1f}\" "
                       "text-anchor=\"middle\" fill=\"#888\">no samples</text>\n",
                       f.left + f.plot_w / 2.0, at.top + f.plot_h / 2.0);
    }
    write_series(out, f, plan, at);
    write_means(out, f, plan, at);
    write_peaks(out, f, plan, at, layout.peak_text);
    fmt::format_to(std::back_inserter(out),
                   "<rect class=\"outline\" x=\"{:.1f}\" y=\"{:.1f}\" width=\"{:.1f}\" "
                   "height=\"{:.1f}\" fill=\"none\" stroke=\"#444\" stroke-width=\"0.8\"/>\n",
                   f.left, at.top, f.plot_w, f.plot_h);
    out += "</g>\n";
}

}  // namespace

std::string render_svg(std::span<const Panel> panels, const Window& window, const Layout& layout) {
    PanelSet set = layout.overlay ? plan_overlay(panels) : plan_stacked(panels);
    if (!layout.legend) set.legend.clear();

    Range trange = time_range(set.plans);
    const bool any_time = !trange.empty();
    trange = widened(trange);
    const int ytick_max =
        std::max(3, static_cast<int>(plot_height(layout) / (font_size(layout) * 3.0)));
    const std::size_t label_chars = fit_value_axes(set.plans, ytick_max);
    const Frame f =
        make_frame(layout, window, set.plans.size(), label_chars, set.legend, trange, any_time);

    std::string out;
    write_start(out, f, layout.xml_declaration);
    write_legend(out, f, set.legend);
    for (std::size_t k = 0; k < set.plans.size(); ++k) {
        const PanelPlan& plan = set.plans[k];
        const double top = f.panels_top + static_cast<double>(k) * f.panel_step;
        const PanelPlace at{top, Axis{plan.y.lo, plan.y.hi, top + f.plot_h, top},
                            k + 1 == set.plans.size()};
        write_panel(out, f, plan, at, layout);
    }
    out += "</svg>\n";
    return out;
}

}  // namespace pictures
