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

// The same hues darkened to a contrast of at least 4.5:1 on white, for text.
constexpr std::array<std::string_view, 9> kTextColours = {
    "#0072b2", "#bf5400", "#008460", "#a15f83", "#9c6c00",
    "#3a7a9e", "#000000", "#8c564b", "#747474",
};

std::string_view colour(std::size_t i) {
    return kColours[i % kColours.size()];
}
std::string_view text_colour(std::size_t i) {
    return kTextColours[i % kTextColours.size()];
}
// Beyond the palette the colours repeat with a dashed line.
std::string_view dash(std::size_t i) {
    return i < kColours.size() ? std::string_view() : std::string_view(" stroke-dasharray=\"5 2\"");
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
        if (!finite(t) || !std::isfinite(v) || t < t_lo || t > t_hi) {
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

// A power of ten as "×10" and superscript digits.
std::string power_text(int e) {
    static constexpr std::array<std::string_view, 10> kSup = {"⁰", "¹", "²", "³", "⁴",
                                                              "⁵", "⁶", "⁷", "⁸", "⁹"};
    std::string out = "×10";
    if (e < 0) out += "⁻";
    const std::string digits = std::to_string(std::abs(e));
    for (const char c : digits) out += kSup[static_cast<std::size_t>(c - '0')];
    return out;
}

// The common power of ten (a multiple of 3) of an axis whose largest
// magnitude is max_abs: 0 while plain numbers read well.
int axis_power(double max_abs) {
    if (!(max_abs > 0.0) || !finite(max_abs)) return 0;
    if (max_abs < 1.0e5 && max_abs >= 1.0e-3) return 0;
    return static_cast<int>(std::floor(std::log10(max_abs) / 3.0)) * 3;
}

std::string tick_text(double v, double step, int power) {
    const double scale = std::pow(10.0, power);
    const double s = step / scale;
    const int d = s > 0.0 && finite(s)
                      ? std::clamp(static_cast<int>(-std::floor(std::log10(s) + 1.0e-9)), 0, 17)
                      : 0;
    std::string text = fmt::format("{:.{}f}", v / scale, d);
    if (text.find_first_not_of("-0.") == std::string::npos) text = d > 0 ? "0" : "0";
    return text;
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

struct PanelPlan {
    std::string title;
    std::string axis_title;  // of the value axis
    std::vector<Drawn> drawn;
    Range y;  // nice range of the values
    std::vector<double> yticks;
    double ystep = 0.0;
    std::vector<std::string> ylabels;
    std::string ymultiplier;  // of the value labels, empty for none
    std::string notes;        // samples left out, a constant series
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

std::vector<std::string> tick_labels(std::span<const double> ticks, double step,
                                     std::string* multiplier) {
    double max_abs = 0.0;
    for (const double v : ticks) {
        if (finite(v)) max_abs = std::max(max_abs, std::abs(v));
    }
    const int power = axis_power(max_abs);
    if (multiplier != nullptr) *multiplier = power == 0 ? std::string() : power_text(power);
    std::vector<std::string> out;
    out.reserve(ticks.size());
    for (const double v : ticks) out.push_back(tick_text(v, step, power));
    return out;
}

std::string short_number(double v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    if (v == 0.0) return "0";
    const double a = std::abs(v);
    if (a >= 1.0e-4 && a < 1.0e6) {
        std::string t = fmt::format("{:.6g}", v);
        // {:.6g} turns to exponents just below 1e6 after rounding (999999.7).
        if (t.find('e') == std::string::npos) return t;
    }
    // Mantissa and power from the rounded digits, so 9.999996e5 gives 1×10⁶.
    const std::string e = fmt::format("{:.5e}", v);
    const std::size_t at = e.find('e');
    std::string mant = e.substr(0, at);
    if (mant.find('.') != std::string::npos) {
        while (mant.back() == '0') mant.pop_back();
        if (mant.back() == '.') mant.pop_back();
    }
    const int power = std::stoi(e.substr(at + 1));
    return mant + power_text(power);
}

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

// The panels as drawn, with the colour of every series, and the legend.
struct PanelSet {
    std::vector<PanelPlan> plans;
    std::vector<std::pair<std::string, std::size_t>> legend;  // text, colour
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
    plan.axis_title = "value";
    if (panels.size() == 1) {
        plan.title = fmt::format("DynRes {}: {}", panels[0].dynres, panels[0].label);
        plan.axis_title = panels[0].label;
    }
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
        plan.axis_title = p.label;
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
        plan.ylabels = tick_labels(plan.yticks, plan.ystep, &plan.ymultiplier);
        for (const std::string& l : plan.ylabels) label_chars = std::max(label_chars, l.size());
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

// The notes of each panel: per series the samples that are not finite
// numbers (left out of the line, the peak and the mean) and a series whose
// finite samples are all one value.
void note_panels(std::vector<PanelPlan>& plans) {
    for (PanelPlan& plan : plans) {
        std::vector<std::string> notes;
        for (const Drawn& d : plan.drawn) {
            const Trace& t = *d.trace;
            const std::size_t n = std::min(t.times.size(), t.values.size());
            std::size_t left_out = 0, finite_n = 0;
            float first = 0.0f;
            bool constant = true;
            for (std::size_t i = 0; i < n; ++i) {
                if (!std::isfinite(t.values[i]) || !finite(t.times[i])) {
                    ++left_out;
                    continue;
                }
                if (finite_n++ == 0) first = t.values[i];
                constant = constant && t.values[i] == first;
            }
            const std::string who = plan.drawn.size() > 1 ? t.file + ": " : std::string();
            if (left_out > 0) {
                notes.push_back(fmt::format("{}{} non-finite sample{} left out", who, left_out,
                                            left_out == 1 ? "" : "s"));
            }
            if (finite_n > 1 && constant) {
                notes.push_back(fmt::format("{}constant: {}", who, short_number(first)));
            }
        }
        for (const std::string& note : notes) {
            if (!plan.notes.empty()) plan.notes += "; ";
            plan.notes += note;
        }
    }
}

// The text of a peak's label: the value, and for a peak that is not the
// sample's own value (the magnitude of a negative sample) the sample too.
std::string peak_text(const Peak& p) {
    if (p.sample && *p.sample != p.value) {
        return fmt::format("{} (|x| {}) at t = {} s", short_number(*p.sample),
                           short_number(p.value), short_number(p.time));
    }
    return fmt::format("{} at t = {} s", short_number(p.value), short_number(p.time));
}

bool has_peak(const Trace& t) {
    return t.peak && std::isfinite(t.peak->value) && std::isfinite(t.peak->time) &&
           std::isfinite(t.peak->sample.value_or(t.peak->value));
}

// Where a legend entry starts: the left end of its line and its baseline.
struct LegendPlace {
    double x, y;
};

// What the legend's keys explain: the dot, the dashed line, the shading.
enum class Key { none, peak, mean, window };

struct LegendItem {
    std::string text;
    std::size_t colour = 0;
    Key key = Key::none;
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
    double heading_y = 0.0;            // baseline of the heading's first line
    std::vector<std::string> heading;  // its lines
    double panels_top = 0.0;           // of the first plot area
    double panel_step = 0.0;           // from one plot area's top to the next
    std::vector<LegendItem> legend;
    std::vector<LegendPlace> legend_at;
    Range trange;
    bool any_time = false;  // some sample has a finite time and value
    Axis x{0.0, 1.0, 0.0, 1.0};
    std::vector<double> xticks;
    std::vector<std::string> xlabels;
    std::string xmultiplier;
    int columns = 1;  // pixel columns of a plot area
    bool shade = false;
    double w0 = 0.0, w1 = 0.0;  // the window, inside the time range
    bool peak_column = false;   // peak labels in a column right of the plots
};

// The legend's entries in rows from the left of the plot areas, a new row
// when the next entry would reach past the right margin. Sets
// frame.legend_at; returns the bottom of the legend (top without entries).
double place_legend(Frame& frame, double top) {
    const double fs = frame.fs;
    const double row_h = fs * 1.6;
    double lx = frame.left, ly = top + fs * 1.4;
    for (const LegendItem& e : frame.legend) {
        const double w = 24.0 + static_cast<double>(text_chars(e.text)) * fs * 0.6 + fs * 1.5;
        if (lx > frame.left && lx + w > frame.width - 8.0) {
            lx = frame.left;
            ly += row_h;
        }
        frame.legend_at.push_back({lx, ly});
        lx += w;
    }
    return frame.legend_at.empty() ? top : ly + fs * 0.8;
}

// The width of the column of peak labels: 0 when no panel has more than one
// labelled peak.
double peak_column_width(const std::vector<PanelPlan>& plans, double fs, std::size_t* lines) {
    double w = 0.0;
    *lines = 0;
    for (const PanelPlan& plan : plans) {
        std::size_t n = 0;
        double pw = 0.0;
        for (const Drawn& d : plan.drawn) {
            if (!has_peak(*d.trace)) continue;
            ++n;
            pw =
                std::max(pw, static_cast<double>(text_chars(peak_text(*d.trace->peak))) * fs * 0.6);
        }
        if (n > 1) {
            w = std::max(w, pw + 24.0);
            *lines = std::max(*lines, n);
        }
    }
    return w;
}

// The heading's parts joined into lines of at most `width` (characters of
// `char_w` each).
std::vector<std::string> heading_lines(const Heading& h, double width, double char_w) {
    const std::string parts[] = {
        "window: " + (h.window.empty() ? std::string("whole series") : h.window + " s"),
        "peak: " + (h.sign.empty() ? std::string("signed") : h.sign),
        "filter: " + h.filter.value_or("none")};
    std::vector<std::string> lines;
    for (const std::string& part : parts) {
        if (!lines.empty() &&
            static_cast<double>(text_chars(lines.back()) + 3 + text_chars(part)) * char_w <=
                width) {
            lines.back() += " · " + part;
        } else {
            lines.push_back(part);
        }
    }
    return lines;
}

// The time ticks: the range rounded out to whole steps, so both ends are
// labelled.
void fit_time_axis(Frame& f, Range trange) {
    const int xtick_max = std::max(3, static_cast<int>(f.plot_w / (f.fs * 4.0)));
    const double step = tick_step_125(trange.lo, trange.hi, xtick_max);
    const double lo = std::floor(trange.lo / step) * step;
    const double hi = std::ceil(trange.hi / step) * step;
    // Rounding out only when it adds little; a short stretch past a long
    // series' end is better than an unlabelled end.
    if (finite(lo) && finite(hi) && hi > lo && (hi - lo) <= (trange.hi - trange.lo) * 1.25) {
        trange = {lo, hi};
    }
    f.trange = trange;
    f.x = Axis{trange.lo, trange.hi, f.left, f.left + f.plot_w};
    f.xticks = multiples(trange.lo, trange.hi, step);
    f.xlabels = tick_labels(f.xticks, step, &f.xmultiplier);
}

// The margins and sizes from the widest tick label, the legend and the
// peak column, the time axis and its ticks, and the window clipped to the
// time range.
Frame make_frame(const Layout& layout, const Window& window, const std::vector<PanelPlan>& plans,
                 std::size_t label_chars, std::vector<LegendItem> legend, Range trange,
                 bool any_time) {
    Frame f;
    f.fs = font_size(layout);
    f.width = std::max(layout.width, 200);
    const double fs = f.fs;
    f.legend = std::move(legend);
    std::size_t lines = 0;
    const double column = layout.peak_text ? peak_column_width(plans, fs, &lines) : 0.0;
    f.peak_column = column > 0.0;
    f.plot_h = std::max(plot_height(layout), static_cast<double>(lines) * fs * 1.3 + fs);
    // Room for the value labels and, beside them, the axis title.
    f.left = std::max(48.0, static_cast<double>(label_chars) * fs * 0.62 + 14.0) + fs * 1.4;
    const double right = f.peak_column ? column + 10.0 : 24.0;
    f.plot_w = std::max(40.0, f.width - f.left - right);

    double top = 0.0;
    if (layout.heading) {
        f.heading = heading_lines(*layout.heading, f.width - 8.0, fs * 0.6 * 0.9);
        f.heading_y = fs * 1.3;
        top = fs * (0.5 + 1.2 * static_cast<double>(f.heading.size()));
    }
    const double legend_bottom = place_legend(f, top);

    const double title_h = fs * 1.9;
    const double gap = fs * 0.8;
    f.panels_top = legend_bottom + title_h;
    f.panel_step = f.plot_h + gap + title_h;
    const double n_plans = static_cast<double>(plans.size());
    const double bottom = f.panels_top + n_plans * f.plot_h + (n_plans - 1.0) * (gap + title_h);
    f.height = std::ceil(bottom + fs * 3.6);

    f.shade = window.t0.has_value() || window.t1.has_value();
    if (layout.zoom && f.shade && any_time) {
        const double lo = std::max(window.t0.value_or(trange.lo), trange.lo);
        const double hi = std::min(window.t1.value_or(trange.hi), trange.hi);
        if (lo < hi) trange = {lo, hi};
    }
    f.any_time = any_time;
    f.columns = static_cast<int>(std::ceil(f.plot_w));
    if (layout.zoom) {
        f.trange = trange;
        f.x = Axis{trange.lo, trange.hi, f.left, f.left + f.plot_w};
        const int xtick_max = std::max(3, static_cast<int>(f.plot_w / (fs * 4.0)));
        const double step = tick_step_125(trange.lo, trange.hi, xtick_max);
        f.xticks = multiples(trange.lo, trange.hi, step);
        f.xlabels = tick_labels(f.xticks, step, &f.xmultiplier);
    } else {
        fit_time_axis(f, trange);
    }
    f.w0 = std::max(window.t0.value_or(f.trange.lo), f.trange.lo);
    f.w1 = std::min(window.t1.value_or(f.trange.hi), f.trange.hi);
    return f;
}

// The start tag of the picture (scaling to its container) and its white
// background.
void write_start(std::string& out, const Frame& f, bool xml_declaration) {
    auto w = std::back_inserter(out);
    if (xml_declaration) out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    fmt::format_to(w,
                   "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100%\" "
                   "viewBox=\"0 0 {0} {1}\" font-family=\"sans-serif\" font-size=\"{2}\">\n",
                   f.width, f.height, f.fs);
    fmt::format_to(w, "<rect class=\"background\" width=\"{}\" height=\"{}\" fill=\"#fff\"/>\n",
                   f.width, f.height);
}

// The first line (or lines, in a narrow picture): the window, the sign
// convention and the filter; a line breaks only between the three.
void write_heading(std::string& out, const Frame& f) {
    for (std::size_t i = 0; i < f.heading.size(); ++i) {
        fmt::format_to(std::back_inserter(out),
                       "<text class=\"heading\" x=\"4\" y=\"{:.1f}\" font-size=\"{:.1f}\" "
                       "fill=\"#333\">{}</text>\n",
                       f.heading_y + f.fs * 1.2 * static_cast<double>(i), f.fs * 0.9,
                       xml_escape(f.heading[i]));
    }
}

// Each entry: a short thick line in its colour and its text; the keys: a
// dot, a dashed line, a shaded box.
void write_legend(std::string& out, const Frame& f) {
    if (f.legend_at.empty()) return;
    auto w = std::back_inserter(out);
    const double fs = f.fs;
    out += "<g class=\"legend\">\n";
    for (std::size_t i = 0; i < f.legend_at.size(); ++i) {
        const auto [x, y] = f.legend_at[i];
        const LegendItem& e = f.legend[i];
        const double my = y - fs * 0.35;
        switch (e.key) {
            case Key::none:
                fmt::format_to(w,
                               "<g class=\"legend-entry\"><line x1=\"{:.1f}\" y1=\"{:.1f}\" "
                               "x2=\"{:.1f}\" y2=\"{:.1f}\" stroke=\"{}\" stroke-width=\"3\"{}/>",
                               x, my, x + 18.0, my, colour(e.colour), dash(e.colour));
                break;
            case Key::peak:
                fmt::format_to(w,
                               "<g class=\"legend-key\"><circle cx=\"{:.1f}\" cy=\"{:.1f}\" "
                               "r=\"3.5\" fill=\"#444\"/>",
                               x + 9.0, my);
                break;
            case Key::mean:
                fmt::format_to(w,
                               "<g class=\"legend-key\"><line x1=\"{:.1f}\" y1=\"{:.1f}\" "
                               "x2=\"{:.1f}\" y2=\"{:.1f}\" stroke=\"#444\" stroke-width=\"2\" "
                               "stroke-dasharray=\"6 3\"/>",
                               x, my, x + 18.0, my);
                break;
            case Key::window:
                fmt::format_to(w,
                               "<g class=\"legend-key\"><rect x=\"{:.1f}\" y=\"{:.1f}\" "
                               "width=\"18\" height=\"{:.1f}\" fill=\"#dde6f3\" "
                               "stroke=\"#9ab\"/>",
                               x, y - fs * 0.9, fs);
                break;
        }
        fmt::format_to(w, "<text x=\"{:.1f}\" y=\"{:.1f}\" fill=\"{}\">", x + 24.0, y,
                       e.key == Key::none ? text_colour(e.colour) : "#333");
        append_escaped(out, e.text);
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

// The panel's title (and its notes at the right), its white plot area and
// the shaded window.
void write_backdrop(std::string& out, const Frame& f, const PanelPlan& plan, const PanelPlace& at) {
    auto w = std::back_inserter(out);
    fmt::format_to(w, "<text class=\"title\" x=\"{:.1f}\" y=\"{:.1f}\" font-weight=\"bold\">",
                   f.left, at.top - f.fs * 0.6);
    append_escaped(out, plan.title);
    out += "</text>\n";
    if (!plan.notes.empty()) {
        fmt::format_to(w,
                       "<text class=\"note\" x=\"{:.1f}\" y=\"{:.1f}\" text-anchor=\"end\" "
                       "fill=\"#8a1c00\">",
                       f.left + f.plot_w, at.top - f.fs * 0.6);
        append_escaped(out, plan.notes);
        out += "</text>\n";
    }
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

// The value labels, the value axis title (the DynRes label) and its
// multiplier; under the lowest panel the time labels and the axis title.
void write_ticks(std::string& out, const Frame& f, const PanelPlan& plan, const PanelPlace& at) {
    auto w = std::back_inserter(out);
    const double fs = f.fs;
    for (std::size_t i = 0; i < plan.yticks.size(); ++i) {
        fmt::format_to(w,
                       "<text class=\"ytick\" x=\"{:.1f}\" y=\"{:.1f}\" "
                       "text-anchor=\"end\">{}</text>\n",
                       f.left - 6.0, at.y(plan.yticks[i]) + fs * 0.35, plan.ylabels[i]);
    }
    const double cy = at.top + f.plot_h / 2.0;
    fmt::format_to(w,
                   "<text class=\"axis-title y\" x=\"{0:.1f}\" y=\"{1:.1f}\" "
                   "text-anchor=\"middle\" transform=\"rotate(-90 {0:.1f} {1:.1f})\">",
                   fs * 1.0, cy);
    append_escaped(out, plan.axis_title);
    if (!plan.ymultiplier.empty()) out += " [" + plan.ymultiplier + "]";
    out += "</text>\n";
    if (!at.last) return;
    for (std::size_t i = 0; i < f.xticks.size(); ++i) {
        fmt::format_to(w,
                       "<text class=\"xtick\" x=\"{:.1f}\" y=\"{:.1f}\" "
                       "text-anchor=\"middle\">{}</text>\n",
                       f.x(f.xticks[i]), at.top + f.plot_h + fs * 1.3, f.xlabels[i]);
    }
    fmt::format_to(w,
                   "<text class=\"axis-title\" x=\"{:.1f}\" y=\"{:.1f}\" "
                   "text-anchor=\"middle\">time [{}s]</text>\n",
                   f.left + f.plot_w / 2.0, at.top + f.plot_h + fs * 2.8,
                   f.xmultiplier.empty() ? std::string() : f.xmultiplier + " ");
}

// Each series as one path, reduced to the pixel columns, broken where
// samples are left out; samples outside the time axis are left out.
void write_series(std::string& out, const Frame& f, const PanelPlan& plan, const PanelPlace& at) {
    auto w = std::back_inserter(out);
    for (const Drawn& d : plan.drawn) {
        const Trace& t = *d.trace;
        const auto kept = reduce(t.times, t.values, f.trange.lo, f.trange.hi, f.columns);
        if (kept.empty()) continue;
        fmt::format_to(w,
                       "<path class=\"series\" fill=\"none\" stroke=\"{}\" "
                       "stroke-width=\"1\" stroke-linejoin=\"round\"{} d=\"",
                       colour(d.colour), dash(d.colour));
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

// The means as dashed lines across the window, thick and on a white halo so
// they stay visible over dense data.
void write_means(std::string& out, const Frame& f, const PanelPlan& plan, const PanelPlace& at) {
    auto w = std::back_inserter(out);
    for (const Drawn& d : plan.drawn) {
        const Trace& t = *d.trace;
        if (!t.mean || !finite(*t.mean) || !f.any_time || f.w0 > f.w1) continue;
        const double y = at.y(*t.mean);
        fmt::format_to(w,
                       "<line class=\"mean-halo\" x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" "
                       "y2=\"{:.1f}\" stroke=\"#fff\" stroke-width=\"4\" opacity=\"0.85\"/>\n",
                       f.x(f.w0), y, f.x(f.w1), y);
        fmt::format_to(w,
                       "<line class=\"mean\" x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" "
                       "y2=\"{:.1f}\" stroke=\"{}\" stroke-width=\"2\" "
                       "stroke-dasharray=\"6 3\"><title>",
                       f.x(f.w0), y, f.x(f.w1), y, text_colour(d.colour));
        out += xml_escape(fmt::format("{}: mean {}", t.file, *t.mean));
        out += "</title></line>\n";
    }
}

// The baseline of a peak label of width tw starting at bx, beside the dot at
// height y: above it or below it, always inside the plot area.
double place_peak_label(const Frame& f, const PanelPlace& at, double y) {
    const double fs = f.fs;
    const double above = y - fs * 0.5, below = y + fs * 1.2;
    if (above - fs >= at.top) return above;
    if (below <= at.top + f.plot_h) return below;
    return at.top + fs * 1.1;
}

// The peaks: a dot on the sample (its full value in a tooltip) and, unless
// switched off, its value and time: beside the dot for a single series, else
// in a column right of the plot area.
void write_peaks(std::string& out, const Frame& f, const PanelPlan& plan, const PanelPlace& at,
                 bool show_text) {
    auto w = std::back_inserter(out);
    std::size_t line = 0;
    const std::size_t labelled = static_cast<std::size_t>(std::count_if(
        plan.drawn.begin(), plan.drawn.end(), [](const Drawn& d) { return has_peak(*d.trace); }));
    for (const Drawn& d : plan.drawn) {
        const Trace& t = *d.trace;
        // A peak outside the time axis (zoomed to the window) is not drawn.
        if (!has_peak(t) || t.peak->time < f.trange.lo || t.peak->time > f.trange.hi) continue;
        const float sample = t.peak->sample.value_or(t.peak->value);
        const double x = f.x(t.peak->time);
        const double y = at.y(sample);
        const std::string text = peak_text(*t.peak);
        const std::string full =
            fmt::format("{}: peak {} at t = {} s{}", t.file, t.peak->value, t.peak->time,
                        t.peak->sample ? fmt::format(" (sample {})", *t.peak->sample) : "");
        fmt::format_to(w,
                       "<circle class=\"peak\" cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"3.5\" "
                       "fill=\"{}\" stroke=\"#fff\" stroke-width=\"1\"><title>",
                       x, y, colour(d.colour));
        out += xml_escape(full);
        out += "</title></circle>\n";
        if (!show_text) continue;
        if (labelled > 1 && f.peak_column) {
            const double cx = f.left + f.plot_w + 10.0;
            const double ty = at.top + f.fs * (1.0 + 1.3 * static_cast<double>(line++));
            fmt::format_to(w,
                           "<circle class=\"peak-key\" cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"3.5\" "
                           "fill=\"{}\"/>\n",
                           cx + 4.0, ty - f.fs * 0.35, colour(d.colour));
            fmt::format_to(w,
                           "<text class=\"peak-label\" x=\"{:.1f}\" y=\"{:.1f}\" "
                           "text-anchor=\"start\" fill=\"{}\"><title>{}</title>{}</text>\n",
                           cx + 12.0, ty, text_colour(d.colour), xml_escape(full),
                           xml_escape(text));
            continue;
        }
        // Right of the dot, else left of it, else as far right as the plot
        // area lets it (above or below the dot, so clear of it).
        const double tw = static_cast<double>(text_chars(text)) * f.fs * 0.6;
        const double right_end = f.left + f.plot_w;
        double bx = x + 6.0;
        if (bx + tw > right_end) bx = x - 6.0 - tw >= f.left ? x - 6.0 - tw : right_end - tw;
        bx = std::max(bx, f.left + 2.0);
        const double ty = place_peak_label(f, at, y);
        fmt::format_to(w,
                       "<text class=\"peak-label\" x=\"{:.1f}\" y=\"{:.1f}\" "
                       "text-anchor=\"start\" fill=\"{}\" stroke=\"#fff\" "
                       "stroke-width=\"3\" paint-order=\"stroke\"><title>{}</title>{}</text>\n",
                       bx, ty, text_colour(d.colour), xml_escape(full), xml_escape(text));
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
                       "text-anchor=\"middle\" fill=\"#666\">no samples</text>\n",
                       f.left + f.plot_w / 2.0, at.top + f.plot_h / 2.0);
    }
    fmt::format_to(std::back_inserter(out),
                   "<g class=\"plot-area\" data-t0=\"{}\" data-t1=\"{}\" data-x0=\"{:.1f}\" "
                   "data-x1=\"{:.1f}\" data-v0=\"{}\" data-v1=\"{}\" data-y0=\"{:.1f}\" "
                   "data-y1=\"{:.1f}\">\n",
                   f.trange.lo, f.trange.hi, f.left, f.left + f.plot_w, plan.y.lo, plan.y.hi,
                   at.top + f.plot_h, at.top);
    write_series(out, f, plan, at);
    write_means(out, f, plan, at);
    out += "</g>\n";
    write_peaks(out, f, plan, at, layout.peak_text);
    fmt::format_to(std::back_inserter(out),
                   "<rect class=\"outline\" x=\"{:.1f}\" y=\"{:.1f}\" width=\"{:.1f}\" "
                   "height=\"{:.1f}\" fill=\"none\" stroke=\"#444\" stroke-width=\"0.8\"/>\n",
                   f.left, at.top, f.plot_w, f.plot_h);
    out += "</g>\n";
}

// The legend: the files (or series), then the keys of the marks.
std::vector<LegendItem> legend_items(const PanelSet& set, const Layout& layout,
                                     const Window& window) {
    std::vector<LegendItem> items;
    if (!layout.legend) return items;
    for (const auto& [text, c] : set.legend) items.push_back({text, c, Key::none});
    bool peaks = false, means = false;
    for (const PanelPlan& plan : set.plans) {
        for (const Drawn& d : plan.drawn) {
            peaks = peaks || has_peak(*d.trace);
            means = means || (d.trace->mean && finite(*d.trace->mean));
        }
    }
    const std::string sign = layout.heading && !layout.heading->sign.empty()
                                 ? " (" + layout.heading->sign + ")"
                                 : std::string();
    if (peaks) items.push_back({"peak" + sign, 0, Key::peak});
    const bool shaded = window.t0.has_value() || window.t1.has_value();
    if (means) items.push_back({shaded ? "mean of window" : "mean", 0, Key::mean});
    if (shaded && !layout.zoom) items.push_back({"window", 0, Key::window});
    return items;
}

}  // namespace

std::string render_svg(std::span<const Panel> panels, const Window& window, const Layout& layout) {
    PanelSet set = layout.overlay ? plan_overlay(panels) : plan_stacked(panels);

    Range trange = time_range(set.plans);
    const bool any_time = !trange.empty();
    trange = widened(trange);
    const int ytick_max =
        std::max(3, static_cast<int>(plot_height(layout) / (font_size(layout) * 3.0)));
    const std::size_t label_chars = fit_value_axes(set.plans, ytick_max);
    note_panels(set.plans);
    const Frame f = make_frame(layout, window, set.plans, label_chars,
                               legend_items(set, layout, window), trange, any_time);

    std::string out;
    write_start(out, f, layout.xml_declaration);
    write_heading(out, f);
    write_legend(out, f);
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
