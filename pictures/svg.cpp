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

// The colour of a muted trace (Trace::muted): grey, its text 7:1 on white.
constexpr std::size_t kMuted = std::numeric_limits<std::size_t>::max();

std::string_view colour(std::size_t i) {
    return i == kMuted ? "#9a9a9a" : kColours[i % kColours.size()];
}
std::string_view text_colour(std::size_t i) {
    return i == kMuted ? "#595959" : kTextColours[i % kTextColours.size()];
}
// Beyond the palette the colours repeat with a dashed line.
std::string_view dash(std::size_t i) {
    return i < kColours.size() || i == kMuted ? std::string_view()
                                              : std::string_view(" stroke-dasharray=\"5 2\"");
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

// A rectangle in picture coordinates, y downwards.
struct Box {
    double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
    // The area two boxes share, 0 when they only touch.
    double overlap(const Box& o) const {
        const double w = std::min(x1, o.x1) - std::max(x0, o.x0);
        const double h = std::min(y1, o.y1) - std::max(y0, o.y0);
        return w > 0.0 && h > 0.0 ? w * h : 0.0;
    }
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
    std::size_t next = 0;  // the next colour of the palette
    for (const Panel& p : panels) {
        if (!plan.title.empty()) plan.title += "; ";
        plan.title += fmt::format("{} {}", p.dynres, p.label);
        for (const Trace& t : p.traces) {
            const std::size_t c = t.muted ? kMuted : next++;
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
            if (t.muted) {
                if (std::none_of(set.legend.begin(), set.legend.end(),
                                 [&](const auto& e) { return e.first == t.file; }))
                    set.legend.push_back({t.file, kMuted});
                plan.drawn.push_back({&t, kMuted});
                continue;
            }
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

// The values a panel shows of the samples with times in `shown`: the finite
// samples, the mean and the peak.
Range panel_values(const PanelPlan& plan, Range shown) {
    Range r;
    const auto inside = [&](double t) { return finite(t) && t >= shown.lo && t <= shown.hi; };
    for (const Drawn& d : plan.drawn) {
        const auto& t = *d.trace;
        const std::size_t n = std::min(t.times.size(), t.values.size());
        for (std::size_t i = 0; i < n; ++i) {
            if (inside(t.times[i]) && std::isfinite(t.values[i])) r.add(t.values[i]);
        }
        if (t.mean) r.add(*t.mean);
        if (t.peak && inside(t.peak->time)) r.add(t.peak->sample.value_or(t.peak->value));
    }
    return r;
}

// The value range and ticks of each panel: the values it shows of the times
// in `shown` (all of them when none is there), padded and rounded out to
// whole ticks. Returns the characters of the widest tick label.
std::size_t fit_value_axes(std::vector<PanelPlan>& plans, int ytick_max, Range shown) {
    constexpr double kAll = std::numeric_limits<double>::infinity();
    std::size_t label_chars = 1;
    for (PanelPlan& plan : plans) {
        Range r = panel_values(plan, shown);
        if (r.empty()) r = panel_values(plan, Range{-kAll, kAll});
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

// A series as one path of class cls on the axes x and y, reduced to
// `columns` pixel columns, broken where samples are left out; samples
// outside the time axis are left out. Nothing when no sample is kept.
void write_path(std::string& out, std::string_view cls, const Drawn& d, const Axis& x,
                const Axis& y, int columns) {
    auto w = std::back_inserter(out);
    const Trace& t = *d.trace;
    const auto kept = reduce(t.times, t.values, x.d0, x.d1, columns);
    if (kept.empty()) return;
    fmt::format_to(w,
                   "<path class=\"{}\" fill=\"none\" stroke=\"{}\" "
                   "stroke-width=\"1\" stroke-linejoin=\"round\"{} d=\"",
                   cls, colour(d.colour), dash(d.colour));
    bool first_in_segment = false;
    for (const Kept& p : kept) {
        const double px = x(t.times[p.index]);
        const double py = y(t.values[p.index]);
        if (p.move) {
            fmt::format_to(w, "M{:.1f},{:.1f}", px, py);
            first_in_segment = true;
        } else if (first_in_segment) {
            fmt::format_to(w, "L{:.1f},{:.1f}", px, py);
            first_in_segment = false;
        } else {
            fmt::format_to(w, " {:.1f},{:.1f}", px, py);
        }
    }
    out += "\"/>\n";
}

// Each series as one path over the time axis.
void write_series(std::string& out, const Frame& f, const PanelPlan& plan, const PanelPlace& at) {
    for (const Drawn& d : plan.drawn) write_path(out, "series", d, f.x, at.y, f.columns);
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

// A peak label beside its dot at (x, y): where its text starts, its
// baseline and the box it covers. Right of the dot, else left of it, else
// as far right as the plot area lets it (above or below the dot, so clear
// of it).
struct LabelSpot {
    double x, baseline;
    Box box;
};
LabelSpot beside_dot(const Frame& f, const PanelPlace& at, double x, double y,
                     std::string_view text) {
    const double tw = static_cast<double>(text_chars(text)) * f.fs * 0.6;
    const double right_end = f.left + f.plot_w;
    double bx = x + 6.0;
    if (bx + tw > right_end) bx = x - 6.0 - tw >= f.left ? x - 6.0 - tw : right_end - tw;
    bx = std::max(bx, f.left + 2.0);
    const double ty = place_peak_label(f, at, y);
    return {bx, ty, Box{bx, ty - f.fs * 0.9, bx + tw, ty + f.fs * 0.25}};
}

// Whether a series' peak is drawn: one that is outside the time axis
// (zoomed to the window) is not.
bool peak_shown(const Frame& f, const Trace& t) {
    return has_peak(t) && t.peak->time >= f.trange.lo && t.peak->time <= f.trange.hi;
}

// The centre of a peak's dot: on the sample.
std::pair<double, double> peak_dot(const Frame& f, const Axis& y, const Peak& p) {
    return {f.x(p.time), y(p.sample.value_or(p.value))};
}

// Whether the panel's peak labels sit beside their dots (else in the
// column right of the plot area).
bool labels_beside(const Frame& f, const PanelPlan& plan) {
    const auto labelled = std::count_if(plan.drawn.begin(), plan.drawn.end(),
                                        [](const Drawn& d) { return has_peak(*d.trace); });
    return !(labelled > 1 && f.peak_column);
}

// The peaks: a dot on the sample (its full value in a tooltip) and, unless
// switched off, its value and time: beside the dot for a single series, else
// in a column right of the plot area.
void write_peaks(std::string& out, const Frame& f, const PanelPlan& plan, const PanelPlace& at,
                 bool show_text) {
    auto w = std::back_inserter(out);
    std::size_t line = 0;
    const bool beside = labels_beside(f, plan);
    for (const Drawn& d : plan.drawn) {
        const Trace& t = *d.trace;
        if (!peak_shown(f, t)) continue;
        const auto [x, y] = peak_dot(f, at.y, *t.peak);
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
        if (!beside) {
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
        const LabelSpot spot = beside_dot(f, at, x, y, text);
        fmt::format_to(w,
                       "<text class=\"peak-label\" x=\"{:.1f}\" y=\"{:.1f}\" "
                       "text-anchor=\"start\" fill=\"{}\" stroke=\"#fff\" "
                       "stroke-width=\"3\" paint-order=\"stroke\"><title>{}</title>{}</text>\n",
                       spot.x, spot.baseline, text_colour(d.colour), xml_escape(full),
                       xml_escape(text));
    }
}

// The small panel around a peak: the stretch of time and the values it
// shows, its white box in a corner of the plot area and its own plot area
// inside, its axes and ticks.
struct InsetPlan {
    const Drawn* peak = nullptr;  // the series whose peak it shows
    Range t, v;
    Box region;  // what it shows, on the panel's axes
    Box box;     // white and framed
    Box area;    // its plot area
    double fs = 0.0;
    Axis x{0.0, 1.0, 0.0, 1.0}, y{0.0, 1.0, 0.0, 1.0};
    std::vector<double> tticks, vticks;
    std::vector<std::string> tlabels, vlabels;
    int tpower = 0, vpower = 0;  // the axes' common powers of ten
};

// The stretch of time around the peak of p: a twentieth of the time axis
// and at least 20 of p's sample steps, centred on the peak, moved inside
// the samples on the time axis near their ends and cut to them when they
// are shorter. Empty when it has no length.
Range inset_times(const Frame& f, const PanelPlan& plan, const Trace& p) {
    Range data, own;
    std::size_t own_n = 0;
    for (const Drawn& d : plan.drawn) {
        const Trace& t = *d.trace;
        const std::size_t n = std::min(t.times.size(), t.values.size());
        for (std::size_t i = 0; i < n; ++i) {
            const double ti = t.times[i];
            if (!std::isfinite(t.values[i]) || !(ti >= f.trange.lo && ti <= f.trange.hi)) continue;
            data.add(ti);
            if (d.trace != &p) continue;
            own.add(ti);
            ++own_n;
        }
    }
    const double pt = p.peak->time;
    data.add(pt);
    double span = (f.trange.hi - f.trange.lo) / 20.0;
    if (own_n > 1) span = std::max(span, (own.hi - own.lo) / static_cast<double>(own_n - 1) * 20.0);
    Range r{pt - span / 2.0, pt + span / 2.0};
    if (r.lo < data.lo) {
        r.hi += data.lo - r.lo;
        r.lo = data.lo;
    }
    if (r.hi > data.hi) {
        r.lo = std::max(data.lo, r.lo - (r.hi - data.hi));
        r.hi = data.hi;
    }
    // Too short to tell its ticks apart: nothing to magnify.
    if (!(r.hi - r.lo > std::max(std::abs(r.lo), std::abs(r.hi)) * 1.0e-9)) return Range{};
    return r;
}

// The values of every series in the stretch t and the peak's sample, with
// a little room above and below.
Range inset_values(const PanelPlan& plan, Range t, const Peak& pk) {
    Range v;
    for (const Drawn& d : plan.drawn) {
        const Trace& tr = *d.trace;
        const std::size_t n = std::min(tr.times.size(), tr.values.size());
        for (std::size_t i = 0; i < n; ++i) {
            const double ti = tr.times[i];
            if (ti >= t.lo && ti <= t.hi && std::isfinite(tr.values[i])) v.add(tr.values[i]);
        }
    }
    v.add(pk.sample.value_or(pk.value));
    v = widened(v);
    const double pad = (v.hi - v.lo) * 0.1;
    return {v.lo - pad, v.hi + pad};
}

// Two or three ticks between lo and hi, min_gap apart, and their step:
// the finest step of 1, 2 or 5 times a power of ten that gives them, else
// every other tick of a finer one; two closer ticks only when no coarser
// step leaves two in the range.
std::vector<double> inset_ticks(double lo, double hi, double min_gap, double* step) {
    *step = tick_step_125(lo, hi, 3);
    std::vector<double> ticks = multiples(lo, hi, *step);
    while (ticks.size() > 3 || (ticks.size() > 1 && *step < min_gap)) {
        const double mag = std::pow(10.0, std::floor(std::log10(*step) + 1.0e-9));
        const double m = *step / mag;
        const double coarser = (m < 1.5 ? 2.0 : m < 3.5 ? 5.0 : 10.0) * mag;
        std::vector<double> next = multiples(lo, hi, coarser);
        if (next.size() < 2) {
            if (ticks.size() < 3) break;
            next.clear();
            for (std::size_t i = 0; i < ticks.size(); i += 2) next.push_back(ticks[i]);
            *step *= 2.0;
        } else {
            *step = coarser;
        }
        ticks = std::move(next);
    }
    return ticks;
}

// The labels of ticks with the axis's common power of ten.
std::vector<std::string> inset_labels(const std::vector<double>& ticks, double step, int power) {
    std::vector<std::string> labels;
    for (const double v : ticks) labels.push_back(tick_text(v, step, power));
    return labels;
}

// Where the inset's box of w by h goes: a corner of the plot area, first
// the top one away from the peak, then the bottom one on that side, then
// the other side. The first that covers none of: the peak's dot and the
// labels beside dots, the region the inset shows, the other peaks' dots;
// else the one that covers least of them, in that order.
Box place_inset(const Frame& f, const PanelPlan& plan, const PanelPlace& at, const InsetPlan& in,
                double w, double h, bool show_text) {
    std::vector<Box> must, region{in.region}, should;
    for (const Drawn& d : plan.drawn) {
        const Trace& t = *d.trace;
        if (!peak_shown(f, t)) continue;
        const auto [x, y] = peak_dot(f, at.y, *t.peak);
        const Box dot{x - 6.0, y - 6.0, x + 6.0, y + 6.0};
        (&d == in.peak ? must : should).push_back(dot);
        if (show_text && labels_beside(f, plan)) {
            must.push_back(beside_dot(f, at, x, y, peak_text(*t.peak)).box);
        }
    }
    const double m = 6.0;
    const double left = f.left + m, right = f.left + f.plot_w - m - w;
    const double top = at.top + m, bottom = at.top + f.plot_h - m - h;
    const bool peak_right = f.x(in.peak->trace->peak->time) > f.left + f.plot_w / 2.0;
    const double away = peak_right ? left : right, beside = peak_right ? right : left;
    const std::array<Box, 4> corners = {
        Box{away, top, away + w, top + h}, Box{away, bottom, away + w, bottom + h},
        Box{beside, top, beside + w, top + h}, Box{beside, bottom, beside + w, bottom + h}};
    const auto covered = [](const Box& b, const std::vector<Box>& boxes) {
        double sum = 0.0;
        for (const Box& o : boxes) sum += b.overlap(o);
        return sum;
    };
    const Box* best = &corners[0];
    std::array<double, 3> least{std::numeric_limits<double>::infinity(), 0.0, 0.0};
    for (const Box& c : corners) {
        const std::array<double, 3> cost{covered(c, must), covered(c, region), covered(c, should)};
        if (cost < least) {
            least = cost;
            best = &c;
        }
    }
    return *best;
}

// The inset's plot area inside its box and its ticks: the value labels at
// the left, the time labels below, the common powers of ten on a line at
// the top when the numbers need one; each label inside the box and clear
// of the other axis's labels. False when the box is too small to hold them.
bool fit_inset_axes(InsetPlan& in) {
    const double fs = in.fs;
    in.vpower = axis_power(std::max(std::abs(in.v.lo), std::abs(in.v.hi)));
    in.tpower = axis_power(std::max(std::abs(in.t.lo), std::abs(in.t.hi)));
    in.area.y0 = in.box.y0 + (in.vpower != 0 || in.tpower != 0 ? fs * 1.5 : fs * 0.6);
    in.area.y1 = in.box.y1 - fs * 1.5;
    if (in.area.y1 - in.area.y0 < fs * 2.0) return false;
    // The value labels reach half a line past the plot area's ends, left
    // of the time labels and inside the box.
    double vstep = 1.0;
    const double v_per_px = (in.v.hi - in.v.lo) / (in.area.y1 - in.area.y0);
    in.vticks = inset_ticks(in.v.lo, in.v.hi, v_per_px * fs * 1.5, &vstep);
    in.vlabels = inset_labels(in.vticks, vstep, in.vpower);
    std::size_t chars = 1;
    for (const std::string& l : in.vlabels) chars = std::max(chars, text_chars(l));
    in.area.x0 = in.box.x0 + static_cast<double>(chars) * fs * 0.6 + 7.0;
    in.area.x1 = in.box.x1 - 5.0;
    if (in.area.x1 - in.area.x0 < fs * 4.0) return false;
    // The time labels (centred on their ticks) inside the plot area's ends.
    double tstep = 1.0;
    std::size_t tchars = 1;
    for (const std::string& l :
         inset_labels(inset_ticks(in.t.lo, in.t.hi, 0.0, &tstep), tstep, in.tpower)) {
        tchars = std::max(tchars, text_chars(l));
    }
    const double t_per_px = (in.t.hi - in.t.lo) / (in.area.x1 - in.area.x0);
    const double dt = t_per_px * (static_cast<double>(tchars) * fs * 0.3 + 2.0);
    in.tticks = inset_ticks(in.t.lo + dt, in.t.hi - dt,
                            t_per_px * (static_cast<double>(tchars) * fs * 0.6 + fs), &tstep);
    in.tlabels = inset_labels(in.tticks, tstep, in.tpower);
    in.x = Axis{in.t.lo, in.t.hi, in.area.x0, in.area.x1};
    in.y = Axis{in.v.lo, in.v.hi, in.area.y1, in.area.y0};
    return true;
}

// The inset of a panel: around the peak of its first series with a shown
// one; none without such a peak or room for it.
std::optional<InsetPlan> plan_inset(const Frame& f, const PanelPlan& plan, const PanelPlace& at,
                                    bool show_text) {
    InsetPlan in;
    for (const Drawn& d : plan.drawn) {
        if (peak_shown(f, *d.trace)) {
            in.peak = &d;
            break;
        }
    }
    if (in.peak == nullptr) return std::nullopt;
    const Peak& pk = *in.peak->trace->peak;
    in.t = inset_times(f, plan, *in.peak->trace);
    // A stretch of half the time axis or more is hardly magnified.
    if (in.t.empty() || in.t.hi - in.t.lo >= (f.trange.hi - f.trange.lo) / 2.0) return std::nullopt;
    in.v = inset_values(plan, in.t, pk);
    const double bottom = at.top + f.plot_h;
    in.region = Box{f.x(in.t.lo), std::clamp(at.y(in.v.hi), at.top, bottom), f.x(in.t.hi),
                    std::clamp(at.y(in.v.lo), at.top, bottom)};
    in.fs = f.fs * 0.85;
    const double w = std::max(f.plot_w / 3.0, std::min(f.plot_w * 0.45, in.fs * 16.0));
    const double h = std::max(f.plot_h * 0.4, std::min(f.plot_h * 0.55, in.fs * 8.0));
    in.box = place_inset(f, plan, at, in, w, h, show_text);
    if (!fit_inset_axes(in)) return std::nullopt;
    return in;
}

// The inset's white box, its grid, tick labels and the outline of its plot
// area; the powers of ten above when the numbers need them.
void write_inset_axes(std::string& out, const InsetPlan& in) {
    auto w = std::back_inserter(out);
    const Box& b = in.box;
    const Box& a = in.area;
    fmt::format_to(w,
                   "<rect class=\"inset-frame\" x=\"{:.1f}\" y=\"{:.1f}\" width=\"{:.1f}\" "
                   "height=\"{:.1f}\" fill=\"#fff\" stroke=\"#666\" stroke-width=\"0.8\"/>\n",
                   b.x0, b.y0, b.x1 - b.x0, b.y1 - b.y0);
    out += "<g class=\"inset-grid\" stroke=\"#e4e4e4\" stroke-width=\"0.6\">";
    for (const double v : in.vticks) {
        fmt::format_to(w, "<line x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\"/>", a.x0,
                       in.y(v), a.x1, in.y(v));
    }
    for (const double t : in.tticks) {
        fmt::format_to(w, "<line x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\"/>",
                       in.x(t), a.y0, in.x(t), a.y1);
    }
    out += "</g>\n";
    fmt::format_to(w,
                   "<rect class=\"inset-area\" x=\"{:.1f}\" y=\"{:.1f}\" width=\"{:.1f}\" "
                   "height=\"{:.1f}\" fill=\"none\" stroke=\"#aaa\" stroke-width=\"0.6\"/>\n",
                   a.x0, a.y0, a.x1 - a.x0, a.y1 - a.y0);
    fmt::format_to(w, "<g class=\"inset-ticks\" font-size=\"{:.1f}\" fill=\"#333\">\n", in.fs);
    for (std::size_t i = 0; i < in.vticks.size(); ++i) {
        fmt::format_to(w,
                       "<text class=\"inset-vtick\" x=\"{:.1f}\" y=\"{:.1f}\" "
                       "text-anchor=\"end\">{}</text>\n",
                       a.x0 - 3.0, in.y(in.vticks[i]) + in.fs * 0.35, in.vlabels[i]);
    }
    for (std::size_t i = 0; i < in.tticks.size(); ++i) {
        fmt::format_to(w,
                       "<text class=\"inset-ttick\" x=\"{:.1f}\" y=\"{:.1f}\" "
                       "text-anchor=\"middle\">{}</text>\n",
                       in.x(in.tticks[i]), a.y1 + in.fs * 1.15, in.tlabels[i]);
    }
    const double py = b.y0 + in.fs * 1.05;
    if (in.vpower != 0) {
        fmt::format_to(w, "<text class=\"inset-power\" x=\"{:.1f}\" y=\"{:.1f}\">{}</text>\n",
                       b.x0 + 3.0, py, power_text(in.vpower));
    }
    if (in.tpower != 0) {
        fmt::format_to(w,
                       "<text class=\"inset-power\" x=\"{:.1f}\" y=\"{:.1f}\" "
                       "text-anchor=\"end\">time {} s</text>\n",
                       a.x1, py, power_text(in.tpower));
    }
    out += "</g>\n";
}

// The inset: on the panel a thin rectangle around the region it shows and a
// line from there to the inset; in the inset every series over its stretch
// and the peak's dot again.
void write_inset(std::string& out, const PanelPlan& plan, const InsetPlan& in) {
    auto w = std::back_inserter(out);
    const Box& r = in.region;
    const Box& b = in.box;
    fmt::format_to(w,
                   "<rect class=\"inset-region\" x=\"{:.1f}\" y=\"{:.1f}\" width=\"{:.1f}\" "
                   "height=\"{:.1f}\" fill=\"none\" stroke=\"#777\" stroke-width=\"0.8\"/>\n",
                   r.x0, r.y0, r.x1 - r.x0, r.y1 - r.y0);
    if (r.overlap(b) == 0.0) {
        // Between the nearest points of the two rectangles.
        const auto nearest = [](double a0, double a1, double b0, double b1) {
            if (a1 < b0) return std::pair{a1, b0};
            if (b1 < a0) return std::pair{a0, b1};
            const double mid = (std::max(a0, b0) + std::min(a1, b1)) / 2.0;
            return std::pair{mid, mid};
        };
        const auto [x0, x1] = nearest(r.x0, r.x1, b.x0, b.x1);
        const auto [y0, y1] = nearest(r.y0, r.y1, b.y0, b.y1);
        fmt::format_to(w,
                       "<line class=\"inset-link\" x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" "
                       "y2=\"{:.1f}\" stroke=\"#999\" stroke-width=\"0.8\"/>\n",
                       x0, y0, x1, y1);
    }
    const Trace& p = *in.peak->trace;
    fmt::format_to(w,
                   "<g class=\"inset\" data-t0=\"{}\" data-t1=\"{}\" data-v0=\"{}\" "
                   "data-v1=\"{}\"><title>",
                   in.t.lo, in.t.hi, in.v.lo, in.v.hi);
    out += xml_escape(fmt::format("around the peak of {}: t = {} to {} s", p.file,
                                  short_number(in.t.lo), short_number(in.t.hi)));
    out += "</title>\n";
    write_inset_axes(out, in);
    const int columns = static_cast<int>(std::ceil(in.area.x1 - in.area.x0));
    for (const Drawn& d : plan.drawn) write_path(out, "inset-series", d, in.x, in.y, columns);
    // The peaks in the stretch again, the one it is around last (on top).
    std::vector<const Drawn*> dots;
    for (const Drawn& d : plan.drawn) {
        const Trace& t = *d.trace;
        if (&d == in.peak || !has_peak(t)) continue;
        const double v = t.peak->sample.value_or(t.peak->value);
        const double ti = t.peak->time;
        if (ti >= in.t.lo && ti <= in.t.hi && v >= in.v.lo && v <= in.v.hi) dots.push_back(&d);
    }
    dots.push_back(in.peak);
    for (const Drawn* d : dots) {
        const Peak& pk = *d->trace->peak;
        fmt::format_to(w,
                       "<circle class=\"inset-peak\" cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"3\" "
                       "fill=\"{}\" stroke=\"#fff\" stroke-width=\"1\"/>\n",
                       in.x(pk.time), in.y(pk.sample.value_or(pk.value)), colour(d->colour));
    }
    out += "</g>\n";
}

// One panel: backdrop, grid and ticks, the series, then the means, the
// inset and the peaks on top, and the outline of the plot area.
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
    if (layout.inset) {
        if (const auto in = plan_inset(f, plan, at, layout.peak_text)) write_inset(out, plan, *in);
    }
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
    // Zoomed to the window, the value axes fit what the window shows.
    constexpr double kAll = std::numeric_limits<double>::infinity();
    Range shown{-kAll, kAll};
    if (layout.zoom && any_time) {
        shown = {std::max(window.t0.value_or(-kAll), trange.lo),
                 std::min(window.t1.value_or(kAll), trange.hi)};
        if (!(shown.lo < shown.hi)) shown = {-kAll, kAll};
    }
    const std::size_t label_chars = fit_value_axes(set.plans, ytick_max, shown);
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
