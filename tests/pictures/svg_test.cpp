// The SVG pictures: tick steps, the per-column reduction, escaping, and the
// drawn picture read back as XML (panels, legend, window, peak markers at
// the coordinates the axis labels give).
#include "pictures/svg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "support/program.h"
#include "support/scratch.h"
#include "support/xml_lite.h"

namespace {

using pictures::Layout;
using pictures::Panel;
using pictures::Peak;
using pictures::Trace;
using pictures::Window;
namespace xml = test_support::xml;

// The leading digit of a power-of-ten multiple (1, 2 or 5 for a good step).
int mantissa(double step) {
    const double m = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    return static_cast<int>(std::lround(m));
}

TEST(Ticks, StepsOfOneTwoFiveInsideTheRange) {
    struct Case {
        double lo, hi;
        int max;
        double step;  // expected
    };
    const Case cases[] = {
        {0, 10, 6, 2},
        {0, 10, 11, 1},
        {0, 1, 5, 0.5},
        {-3.7, 12.1, 8, 5},
        {0.001, 0.0042, 5, 0.001},
        {99990, 100010, 6, 5},
        {-2e7, 3e7, 6, 1e7},
        {0, 100, 3, 50},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lo << ".." << c.hi << " max " << c.max);
        const double step = pictures::tick_step_125(c.lo, c.hi, c.max);
        EXPECT_NEAR(step, c.step, c.step * 1e-9);
        const auto t = pictures::ticks_125(c.lo, c.hi, c.max);
        ASSERT_GE(t.size(), 2u);
        EXPECT_LE(t.size(), static_cast<std::size_t>(c.max));
        for (std::size_t i = 0; i < t.size(); ++i) {
            EXPECT_GE(t[i], c.lo - step * 1e-9);
            EXPECT_LE(t[i], c.hi + step * 1e-9);
            const double r = t[i] / step;
            EXPECT_NEAR(r, std::round(r), 1e-6);
            if (i > 0) {
                EXPECT_NEAR(t[i] - t[i - 1], step, step * 1e-6);
            }
        }
    }
    // Many ranges: always a 1-2-5 step, never more ticks than asked for.
    for (double lo = -1234.5; lo < 1000; lo += 97.3) {
        for (double span : {1e-3, 0.37, 1.0, 7.7, 123.0, 4.5e4}) {
            for (int max : {3, 5, 8, 12}) {
                const double step = pictures::tick_step_125(lo, lo + span, max);
                const int m = mantissa(step);
                EXPECT_TRUE(m == 1 || m == 2 || m == 5 || m == 10) << step;
                // At least two ticks, even when that takes more than asked.
                const auto n = pictures::ticks_125(lo, lo + span, max).size();
                EXPECT_LE(n, static_cast<std::size_t>(std::max(max, 6)));
                EXPECT_GE(n, 2u);
            }
        }
    }
    EXPECT_TRUE(pictures::ticks_125(2, 1, 5).empty());
    EXPECT_TRUE(pictures::ticks_125(std::nan(""), 1, 5).empty());
    EXPECT_TRUE(pictures::ticks_125(0, std::numeric_limits<double>::infinity(), 5).empty());
}

TEST(Reduction, KeepsFirstLastAndEveryColumnsExtremes) {
    const std::size_t n = 100000;
    std::vector<float> t(n), v(n);
    for (std::size_t i = 0; i < n; ++i) {
        t[i] = static_cast<float>(i) * 0.01f;
        v[i] = static_cast<float>(std::sin(static_cast<double>(i) * 0.013) +
                                  0.3 * std::sin(static_cast<double>(i) * 0.71));
    }
    v[31337] = 9.5f;  // single-sample spikes
    v[77777] = -8.25f;
    const int cols = 800;
    const double lo = t.front(), hi = t.back();
    const auto kept = pictures::reduce_columns(t, v, lo, hi, cols);
    EXPECT_LE(kept.size(), 4u * cols);
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(kept.front(), 0u);
    EXPECT_EQ(kept.back(), n - 1);
    EXPECT_TRUE(std::is_sorted(kept.begin(), kept.end()));
    EXPECT_NE(std::find(kept.begin(), kept.end(), 31337u), kept.end());
    EXPECT_NE(std::find(kept.begin(), kept.end(), 77777u), kept.end());

    // Per column, the kept samples reach the column's true minimum and
    // maximum.
    auto column = [&](std::size_t i) {
        const double c = std::floor((t[i] - lo) / (hi - lo) * cols);
        return std::min<long>(static_cast<long>(c), cols - 1);
    };
    std::vector<float> true_min(cols, 1e30f), true_max(cols, -1e30f);
    std::vector<float> kept_min(cols, 1e30f), kept_max(cols, -1e30f);
    for (std::size_t i = 0; i < n; ++i) {
        true_min[column(i)] = std::min(true_min[column(i)], v[i]);
        true_max[column(i)] = std::max(true_max[column(i)], v[i]);
    }
    for (const std::size_t i : kept) {
        kept_min[column(i)] = std::min(kept_min[column(i)], v[i]);
        kept_max[column(i)] = std::max(kept_max[column(i)], v[i]);
    }
    EXPECT_EQ(kept_min, true_min);
    EXPECT_EQ(kept_max, true_max);

    // A short series is kept whole; non-finite samples are left out.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> st = {0, 1, 2, nan, 4, 5};
    const std::vector<float> sv = {1, 2, inf, 4, 5, 6};
    EXPECT_EQ(pictures::reduce_columns(st, sv, 0, 5, 100), (std::vector<std::size_t>{0, 1, 4, 5}));
    // Spans of different lengths: only the common part is read.
    EXPECT_EQ(pictures::reduce_columns(std::span(st).first(2), sv, 0, 5, 100).size(), 2u);
}

TEST(Escaping, MarkupCharactersControlCharactersAndBadBytes) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"plain", "plain"},
        {"a<b & \"c\" 'd' >", "a&lt;b &amp; &quot;c&quot; &#39;d&#39; &gt;"},
        {std::string("nul\0x", 5), "nul?x"},
        {"bell\a tab\t", "bell? tab\t"},
        {"deg \xc2\xb0 ok", "deg \xc2\xb0 ok"},  // UTF-8 kept
        {"latin1 \xb0 byte", "latin1 ? byte"},   // a lone byte is not UTF-8
        {"cut \xe2\x82", "cut ??"},              // truncated sequence
        {"overlong \xc0\xaf", "overlong ??"},    // overlong form
        {"surrogate \xed\xa0\x80", "surrogate ???"},
        {"euro \xe2\x82\xac", "euro \xe2\x82\xac"},
    };
    for (const auto& c : cases) EXPECT_EQ(pictures::xml_escape(c.in), c.out) << c.in;
}

// A test series: a slow sine with a spike of height `peak` at time t_peak.
struct Series {
    std::vector<float> t, v;
};
Series make_series(std::size_t n, float dt, float amp, float t_peak, float peak) {
    Series s;
    for (std::size_t i = 0; i < n; ++i) {
        s.t.push_back(static_cast<float>(i) * dt);
        s.v.push_back(amp * static_cast<float>(std::sin(static_cast<double>(i) * 0.05)));
    }
    const auto k = static_cast<std::size_t>(std::lround(t_peak / dt));
    s.v[k] = peak;
    return s;
}

// The linear map from data to picture coordinates, fitted through the first
// and last tick labels of the given class inside `scope`.
struct Fit {
    double a = 0, b = 0;  // picture = a + b * data
    double operator()(double d) const { return a + b * d; }
};
Fit fit_ticks(const xml::Element& scope, std::string_view cls, const char* coord) {
    const auto ticks = xml::find_all(scope, "text", cls);
    EXPECT_GE(ticks.size(), 2u);
    if (ticks.size() < 2) return {};
    const xml::Element& first = *ticks.front();
    const xml::Element& last = *ticks.back();
    const double d0 = std::stod(first.text), d1 = std::stod(last.text);
    double p0 = std::stod(first.attr(coord)), p1 = std::stod(last.attr(coord));
    if (std::string_view(coord) == "y") {
        // The labels sit a third of the font size below their grid line.
        p0 -= 12 * 0.35;
        p1 -= 12 * 0.35;
    }
    Fit f;
    f.b = (p1 - p0) / (d1 - d0);
    f.a = p0 - f.b * d0;
    return f;
}

// The points of a path's data ("M x,y L x,y x,y ...").
std::vector<std::pair<double, double>> path_points(const std::string& d, int* moves = nullptr) {
    std::vector<std::pair<double, double>> pts;
    std::size_t i = 0;
    if (moves) *moves = 0;
    while (i < d.size()) {
        if (d[i] == 'M' && moves) ++*moves;
        if (d[i] == 'M' || d[i] == 'L' || d[i] == ' ') {
            ++i;
            continue;
        }
        std::size_t used = 0;
        const double x = std::stod(d.substr(i), &used);
        i += used;
        EXPECT_EQ(d[i], ',');
        ++i;
        const double y = std::stod(d.substr(i), &used);
        i += used;
        pts.emplace_back(x, y);
    }
    return pts;
}

TEST(Picture, StackedPanelsLegendWindowPeaksAndMeans) {
    const Series a = make_series(2001, 0.05f, 100.0f, 31.5f, 750.0f);
    const Series b = make_series(2001, 0.05f, 80.0f, 55.0f, -420.0f);
    const Series c = make_series(2001, 0.05f, 3.0f, 12.25f, 9.0f);
    std::vector<Panel> panels(2);
    panels[0].dynres = 1;
    panels[0].label = "Base force Fx";
    panels[0].traces = {Trace{"run1.dyn", a.t, a.v, Peak{750.0f, 31.5f}, 12.5},
                        Trace{"run2.dyn", b.t, b.v, Peak{-420.0f, 55.0f}, -3.0}};
    panels[1].dynres = 3;
    panels[1].label = "Base moment My";
    panels[1].traces = {Trace{"run1.dyn", c.t, c.v, Peak{9.0f, 12.25f}, 0.25},
                        Trace{"run2.dyn", a.t, a.v, std::nullopt, std::nullopt}};
    const Window window{20.0, 80.0};
    const std::string svg = pictures::render_svg(panels, window, Layout{});
    ASSERT_EQ(svg.rfind("<?xml", 0), 0u);

    const xml::Element root = xml::parse(svg);
    EXPECT_EQ(root.name, "svg");
    EXPECT_EQ(root.attr("xmlns"), "http://www.w3.org/2000/svg");

    // Legend: one entry per file, in order, each in its own colour.
    const auto entries = xml::find_all(root, "g", "legend-entry");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0]->all_text(), "run1.dyn");
    EXPECT_EQ(entries[1]->all_text(), "run2.dyn");
    const std::string col1 = entries[0]->children.at(0).attr("stroke");
    const std::string col2 = entries[1]->children.at(0).attr("stroke");
    EXPECT_NE(col1, col2);

    const auto groups = xml::find_all(root, "g", "panel");
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(xml::find_all(*groups[0], "text", "title").at(0)->text, "DynRes 1: Base force Fx");
    EXPECT_EQ(xml::find_all(*groups[1], "text", "title").at(0)->text, "DynRes 3: Base moment My");

    // The shared time axis is labelled under the last panel only.
    EXPECT_TRUE(xml::find_all(*groups[0], "text", "xtick").empty());
    const Fit x = fit_ticks(*groups[1], "xtick", "x");

    const struct {
        std::size_t panel;
        double t, v;
        std::string colour, text;
    } peaks[] = {
        {0, 31.5, 750.0, col1, "750 at t = 31.5 s"},
        {0, 55.0, -420.0, col2, "-420 at t = 55 s"},
        {1, 12.25, 9.0, col1, "9 at t = 12.25 s"},
    };
    std::size_t seen[2] = {0, 0};
    for (const auto& p : peaks) {
        SCOPED_TRACE(p.text);
        const xml::Element& g = *groups[p.panel];
        const Fit y = fit_ticks(g, "ytick", "y");
        const auto dots = xml::find_all(g, "circle", "peak");
        const auto labels = xml::find_all(g, "text", "peak-label");
        ASSERT_LT(seen[p.panel], dots.size());
        const xml::Element& dot = *dots[seen[p.panel]];
        EXPECT_NEAR(std::stod(dot.attr("cx")), x(p.t), 0.15);
        EXPECT_NEAR(std::stod(dot.attr("cy")), y(p.v), 0.15);
        EXPECT_EQ(dot.attr("fill"), p.colour);
        EXPECT_EQ(labels.at(seen[p.panel])->text, p.text);
        ++seen[p.panel];
    }
    EXPECT_EQ(xml::find_all(*groups[1], "circle", "peak").size(), 1u);  // no peak given

    for (std::size_t k = 0; k < 2; ++k) {
        const xml::Element& g = *groups[k];
        // The window is shaded from 20 to 80 over the whole panel height.
        const auto win = xml::find_all(g, "rect", "window");
        ASSERT_EQ(win.size(), 1u);
        const double wx = std::stod(win[0]->attr("x"));
        EXPECT_NEAR(wx, x(20.0), 0.15);
        EXPECT_NEAR(wx + std::stod(win[0]->attr("width")), x(80.0), 0.3);
        const auto frame = xml::find_all(g, "rect", "frame").at(0);
        EXPECT_EQ(win[0]->attr("y"), frame->attr("y"));
        // The value axis runs from tick to tick: the first and last labels
        // sit at the bottom and top of the frame.
        const auto yt = xml::find_all(g, "text", "ytick");
        ASSERT_GE(yt.size(), 3u);
        const double fy = std::stod(frame->attr("y")), fh = std::stod(frame->attr("height"));
        EXPECT_NEAR(std::stod(yt.front()->attr("y")) - 12 * 0.35, fy + fh, 0.15);
        EXPECT_NEAR(std::stod(yt.back()->attr("y")) - 12 * 0.35, fy, 0.15);
        EXPECT_EQ(win[0]->attr("height"), frame->attr("height"));
        // Each series drawn once, from the first to the last time.
        const auto paths = xml::find_all(g, "path", "series");
        ASSERT_EQ(paths.size(), 2u);
        for (const auto* p : paths) {
            const auto pts = path_points(p->attr("d"));
            ASSERT_FALSE(pts.empty());
            EXPECT_NEAR(pts.front().first, x(0.0), 0.15);
            EXPECT_NEAR(pts.back().first, x(100.0), 0.15);
        }
        EXPECT_EQ(paths[0]->attr("stroke"), col1);
        EXPECT_EQ(paths[1]->attr("stroke"), col2);
    }
    // The means: thin lines across the window at their value.
    const auto means = xml::find_all(*groups[0], "line", "mean");
    ASSERT_EQ(means.size(), 2u);
    const Fit y0 = fit_ticks(*groups[0], "ytick", "y");
    EXPECT_NEAR(std::stod(means[0]->attr("y1")), y0(12.5), 0.15);
    EXPECT_NEAR(std::stod(means[1]->attr("y1")), y0(-3.0), 0.15);
    EXPECT_NEAR(std::stod(means[0]->attr("x1")), x(20.0), 0.15);
    EXPECT_NEAR(std::stod(means[0]->attr("x2")), x(80.0), 0.15);
    EXPECT_EQ(xml::find_all(*groups[1], "line", "mean").size(), 1u);
}

TEST(Picture, OverlayDrawsEverySeriesInOnePanel) {
    const Series a = make_series(500, 0.1f, 5.0f, 10.0f, 20.0f);
    const Series b = make_series(500, 0.1f, 2.0f, 30.0f, -7.5f);
    std::vector<Panel> panels(2);
    panels[0] = Panel{2,
                      "Fy",
                      {Trace{"a.dyn", a.t, a.v, Peak{20.0f, 10.0f}, 0.0},
                       Trace{"b.dyn", b.t, b.v, Peak{7.5f, 30.0f, -7.5f}, 0.0}}};
    panels[1] =
        Panel{4, "Mx", {Trace{"a.dyn", b.t, b.v, {}, {}}, Trace{"b.dyn", a.t, a.v, {}, {}}}};
    Layout layout;
    layout.overlay = true;
    const xml::Element root = xml::parse(pictures::render_svg(panels, Window{}, layout));
    ASSERT_EQ(xml::find_all(root, "g", "panel").size(), 1u);
    const auto entries = xml::find_all(root, "g", "legend-entry");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0]->all_text(), "a.dyn: 2 Fy");
    EXPECT_EQ(entries[3]->all_text(), "b.dyn: 4 Mx");
    const auto paths = xml::find_all(root, "path", "series");
    ASSERT_EQ(paths.size(), 4u);
    std::vector<std::string> colours;
    for (const auto* p : paths) colours.push_back(p->attr("stroke"));
    std::sort(colours.begin(), colours.end());
    EXPECT_EQ(std::unique(colours.begin(), colours.end()), colours.end());
    const auto dots = xml::find_all(root, "circle", "peak");
    ASSERT_EQ(dots.size(), 2u);
    // The largest magnitude of a negative sample: the text gives |x|, the dot
    // sits on the sample.
    const Fit x = fit_ticks(root, "xtick", "x");
    const Fit y = fit_ticks(root, "ytick", "y");
    EXPECT_NEAR(std::stod(dots[1]->attr("cx")), x(30.0), 0.15);
    EXPECT_NEAR(std::stod(dots[1]->attr("cy")), y(-7.5), 0.15);
    EXPECT_EQ(xml::find_all(root, "text", "peak-label").at(1)->text, "-7.5 (|x| 7.5) at t = 30 s");
    // No window given: nothing shaded.
    EXPECT_TRUE(xml::find_all(root, "rect", "window").empty());
}

TEST(Picture, LabelsAndFileNamesAreEscaped) {
    const Series a = make_series(100, 0.1f, 1.0f, 5.0f, 3.0f);
    const std::string label = "a<b & \"c\" 'd'";
    const std::string file = "x&y<'z'>.dyn";
    std::vector<Panel> panels{Panel{7, label, {Trace{file, a.t, a.v, Peak{3.0f, 5.0f}, 0.5}}}};
    const std::string svg = pictures::render_svg(panels, Window{1.0, {}}, Layout{});
    EXPECT_EQ(svg.find(label), std::string::npos);
    EXPECT_EQ(svg.find(file), std::string::npos);
    const xml::Element root = xml::parse(svg);
    EXPECT_EQ(xml::find_all(root, "text", "title").at(0)->text, "DynRes 7: " + label);
    EXPECT_EQ(xml::find_all(root, "g", "legend-entry").at(0)->all_text(), file);
    EXPECT_EQ(xml::find_all(root, "circle", "peak").at(0)->all_text(),
              file + ": peak 3 at t = 5 s");
    // Open end of the window: shaded to the end of the series.
    EXPECT_EQ(xml::find_all(root, "rect", "window").size(), 1u);
}

TEST(Picture, LongSeriesStaysSmallAndKeepsItsExtremes) {
    Series s = make_series(100000, 0.01f, 50.0f, 123.45f, 987.5f);
    s.v[4242] = -612.0f;
    std::vector<Panel> panels{
        Panel{1, "long", {Trace{"big.dyn", s.t, s.v, Peak{987.5f, s.t[12345]}, 0.0}}}};
    const std::string svg = pictures::render_svg(panels, Window{}, Layout{});
    EXPECT_LT(svg.size(), 200u * 1024u);
    const xml::Element root = xml::parse(svg);
    const auto paths = xml::find_all(root, "path", "series");
    ASSERT_EQ(paths.size(), 1u);
    const auto pts = path_points(paths[0]->attr("d"));
    EXPECT_LE(pts.size(), 4u * 960u);
    const Fit y = fit_ticks(root, "ytick", "y");
    double ymin = 1e9, ymax = -1e9;
    for (const auto& p : pts) {
        ymin = std::min(ymin, p.second);
        ymax = std::max(ymax, p.second);
    }
    EXPECT_NEAR(ymin, y(987.5), 0.15);   // the highest point drawn is the maximum
    EXPECT_NEAR(ymax, y(-612.0), 0.15);  // the lowest the minimum
}

// A muted trace (a reference such as an envelope) is grey with its own
// legend entry and takes no colour of the palette, stacked or overlaid.
TEST(Picture, MutedTracesAreGreyAndTakeNoColour) {
    const Series s = make_series(200, 0.1f, 5.0f, 10.0f, 9.0f);
    for (const bool overlay : {false, true}) {
        SCOPED_TRACE(overlay);
        Trace ref{"reference", s.t, s.v, std::nullopt, std::nullopt, true};
        Trace own{"a.dyn", s.t, s.v, Peak{9.0f, 10.0f}, std::nullopt};
        const std::vector<Panel> panels{Panel{1, "x", {ref, own}}};
        Layout layout;
        layout.overlay = overlay;
        const xml::Element root = xml::parse(pictures::render_svg(panels, Window{}, layout));
        const auto paths = xml::find_all(root, "path", "series");
        ASSERT_EQ(paths.size(), 2u);
        EXPECT_EQ(paths[0]->attr("stroke"), "#9a9a9a");
        EXPECT_EQ(paths[1]->attr("stroke"), "#0072b2");
        EXPECT_EQ(xml::find_all(root, "g", "legend-entry").size(), 2u);
    }
}

// Zoomed to the window, the value axis fits what the window shows: a spike
// outside it does not flatten the series inside.
TEST(Picture, ZoomedValueAxisFitsTheWindow) {
    Series s = make_series(2000, 0.05f, 50.0f, 10.0f, 1.0e6f);  // the spike at t = 10
    const std::vector<Panel> panels{
        Panel{1, "spiky", {Trace{"a.dyn", s.t, s.v, Peak{50.0f, s.t[1200]}, 0.0}}}};
    const auto top_tick = [&](bool zoom) {
        Layout layout;
        layout.zoom = zoom;
        const xml::Element root =
            xml::parse(pictures::render_svg(panels, Window{40.0, 80.0}, layout));
        double top = -1e30;
        for (const auto* t : xml::find_all(root, "text", "ytick")) {
            top = std::max(top, std::stod(t->text));
        }
        const bool scaled =
            xml::find_all(root, "text", "axis-title").size() > 0 &&
            xml::find_all(root, "text", "axis-title").at(0)->all_text().find("×10") !=
                std::string::npos;
        return scaled ? 1e30 : top;
    };
    EXPECT_LE(top_tick(true), 200.0);  // the window's |x| <= 50, ticks rounded out
    EXPECT_GT(top_tick(false), 1e5);   // the whole series: the spike
}

TEST(Picture, NonFiniteValuesBreakTheLineAndEmptySeriesGiveAnEmptyPanel) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> t = {0, 1, 2, 3, 4, 5, 6};
    const std::vector<float> v = {1, 2, nan, 3, std::numeric_limits<float>::infinity(), 4, 5};
    const std::vector<float> none;
    std::vector<Panel> panels{
        Panel{1, "gappy", {Trace{"f", t, v, Peak{5.0f, 6.0f}, std::nan("")}}},
        Panel{2, "empty", {Trace{"f", none, none, {}, {}}}},
    };
    const std::string svg = pictures::render_svg(panels, Window{2.0, 4.0}, Layout{});
    EXPECT_EQ(svg.find("nan"), std::string::npos);
    EXPECT_EQ(svg.find("inf"), std::string::npos);
    const xml::Element root = xml::parse(svg);
    const auto groups = xml::find_all(root, "g", "panel");
    ASSERT_EQ(groups.size(), 2u);
    const auto paths = xml::find_all(*groups[0], "path", "series");
    ASSERT_EQ(paths.size(), 1u);
    int moves = 0;
    EXPECT_EQ(path_points(paths[0]->attr("d"), &moves).size(), 5u);
    EXPECT_EQ(moves, 3);
    EXPECT_TRUE(xml::find_all(*groups[0], "line", "mean").empty());
    EXPECT_TRUE(xml::find_all(*groups[1], "path", "series").empty());
    EXPECT_EQ(xml::find_all(*groups[1], "text", "empty").size(), 1u);
    // Nothing at all still gives a picture.
    EXPECT_NO_THROW(xml::parse(pictures::render_svg({}, Window{}, Layout{})));
}

TEST(Picture, ExtremeAndDegenerateRangesGiveFiniteCoordinates) {
    const float big = std::numeric_limits<float>::max();
    const float tiny = std::numeric_limits<float>::denorm_min();
    const struct {
        const char* name;
        std::vector<float> t, v;
    } cases[] = {
        {"constant", {0, 1, 2}, {5, 5, 5}},
        {"zero", {0, 1, 2}, {0, 0, 0}},
        {"one sample", {3}, {-2}},
        {"largest floats", {0, 1, 2}, {big, -big, big}},
        {"denormals", {0, 1, 2}, {tiny, 0, -tiny}},
        {"huge offset", {0, 1, 2}, {1.0e7f, 1.0e7f + 1.0f, 1.0e7f}},
        {"same time", {1, 1, 1}, {1, 2, 3}},
        {"huge times", {-big, 0, big}, {1, 2, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Panel> panels{
            Panel{1, c.name, {Trace{"f", c.t, c.v, Peak{c.v[0], c.t[0]}, double(c.v[0])}}}};
        const std::string svg = pictures::render_svg(panels, Window{0.5, {}}, Layout{});
        EXPECT_EQ(svg.find("nan"), std::string::npos);
        EXPECT_EQ(svg.find("inf"), std::string::npos);
        const xml::Element root = xml::parse(svg);
        const auto yt = xml::find_all(root, "text", "ytick");
        EXPECT_GE(yt.size(), 2u);
        for (const auto* t : yt) EXPECT_NO_THROW((void)std::stod(t->text)) << t->text;
        EXPECT_EQ(xml::find_all(root, "circle", "peak").size(), 1u);
        // Distinct labels: the ticks can be told apart.
        for (std::size_t i = 1; i < yt.size(); ++i) EXPECT_NE(yt[i]->text, yt[i - 1]->text);
    }
}

// A range only a rounding long (a constant series whose mean came out a
// rounding off) is as degenerate as an empty one: a few distinct ticks, the
// line across the middle of the panel.
TEST(Picture, RangesOfARoundingAreWidenedLikeConstantOnes) {
    const std::vector<float> t = {0, 1, 2};
    const std::vector<float> v = {7, 7, 7};
    const std::vector<float> big = {3.0e30f, 3.0e30f, 3.0e30f};
    const struct {
        const char* name;
        const std::vector<float>& v;
        double mean;
    } cases[] = {
        {"mean a rounding below", v, std::nextafter(7.0, 0.0)},
        {"mean a rounding above", v, std::nextafter(7.0, 8.0)},
        {"mean a billionth off", v, 7.0 * (1.0 + 0.5e-9)},
        {"large values", big, std::nextafter(double(big[0]), 0.0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Panel> panels{Panel{1, "c", {Trace{"f", t, c.v, Peak{c.v[0], 0.0f}, c.mean}}}};
        const xml::Element root = xml::parse(pictures::render_svg(panels, Window{}, Layout{}));
        const auto yt = xml::find_all(root, "text", "ytick");
        EXPECT_GE(yt.size(), 2u);
        EXPECT_LE(yt.size(), 12u);
        for (std::size_t i = 1; i < yt.size(); ++i) EXPECT_NE(yt[i]->text, yt[i - 1]->text);
        const auto frame = xml::find_all(root, "rect", "frame").at(0);
        const double top = std::stod(frame->attr("y"));
        const double bottom = top + std::stod(frame->attr("height"));
        const auto pts = path_points(xml::find_all(root, "path", "series").at(0)->attr("d"));
        ASSERT_EQ(pts.size(), 3u);
        EXPECT_NEAR(pts[0].second, (top + bottom) / 2.0, (bottom - top) / 10.0);
    }
}

// The inset: a small panel around the peak, in a corner of the plot area.

struct Box {
    double x0, y0, x1, y1;
    bool overlaps(const Box& o) const { return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1; }
    // Within `slack` (the SVG's coordinates are rounded to 0.1).
    bool holds(double x, double y, double slack = 0.0) const {
        return x >= x0 - slack && x <= x1 + slack && y >= y0 - slack && y <= y1 + slack;
    }
    bool holds(const Box& o) const { return holds(o.x0, o.y0) && holds(o.x1, o.y1); }
};
Box rect_box(const xml::Element& r) {
    const double x = std::stod(r.attr("x")), y = std::stod(r.attr("y"));
    return {x, y, x + std::stod(r.attr("width")), y + std::stod(r.attr("height"))};
}
// A text's box from its position, anchor and length (a sans-serif
// character is at most 0.6 em wide on average).
Box text_box(const xml::Element& t, double fs) {
    const double x = std::stod(t.attr("x")), y = std::stod(t.attr("y"));
    std::size_t chars = 0;
    for (const char c : t.text) chars += (c & 0xC0) != 0x80 ? 1 : 0;
    const double w = static_cast<double>(chars) * fs * 0.6;
    const std::string anchor = t.attr("text-anchor");
    const double x0 = anchor == "end" ? x - w : anchor == "middle" ? x - w / 2 : x;
    return {x0, y - fs * 0.9, x0 + w, y + fs * 0.25};
}

// A panel's inset as drawn: its group, white box and plot area, the stretch
// of time and values it shows.
struct InsetSeen {
    const xml::Element* group = nullptr;
    Box frame{}, area{};
    double t0 = 0, t1 = 0, v0 = 0, v1 = 0;
    double fs = 0;
    // Picture coordinates of a time and a value inside the inset.
    double x(double t) const { return area.x0 + (t - t0) / (t1 - t0) * (area.x1 - area.x0); }
    double y(double v) const { return area.y1 - (v - v0) / (v1 - v0) * (area.y1 - area.y0); }
};
InsetSeen inset_of(const xml::Element& scope) {
    InsetSeen in;
    const auto groups = xml::find_all(scope, "g", "inset");
    EXPECT_EQ(groups.size(), 1u);
    if (groups.size() != 1) return in;
    in.group = groups[0];
    in.frame = rect_box(*xml::find_all(*in.group, "rect", "inset-frame").at(0));
    in.area = rect_box(*xml::find_all(*in.group, "rect", "inset-area").at(0));
    in.t0 = std::stod(in.group->attr("data-t0"));
    in.t1 = std::stod(in.group->attr("data-t1"));
    in.v0 = std::stod(in.group->attr("data-v0"));
    in.v1 = std::stod(in.group->attr("data-v1"));
    in.fs = std::stod(xml::find_all(*in.group, "g", "inset-ticks").at(0)->attr("font-size"));
    return in;
}

TEST(Inset, OnlyWithTheFlagAndAShownPeak) {
    const Series a = make_series(2001, 0.05f, 100.0f, 62.0f, 900.0f);
    const std::vector<float> t3 = {0, 1, 2}, v3 = {1, 5, 2};
    const std::vector<float> none;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        const char* name;
        bool inset, zoom;
        Window window;
        Trace trace;
        std::size_t insets;
    } cases[] = {
        {"without the flag", false, false, {}, Trace{"a", a.t, a.v, Peak{900, 62}, {}}, 0},
        {"with it", true, false, {}, Trace{"a", a.t, a.v, Peak{900, 62}, {}}, 1},
        {"zoomed to the peak",
         true,
         true,
         {50.0, 70.0},
         Trace{"a", a.t, a.v, Peak{900, 62}, {}},
         1},
        {"no peak", true, false, {}, Trace{"a", a.t, a.v, std::nullopt, {}}, 0},
        {"a peak that is no number", true, false, {}, Trace{"a", a.t, a.v, Peak{nan, 62}, {}}, 0},
        {"peak outside the zoomed window",
         true,
         true,
         {10.0, 20.0},
         Trace{"a", a.t, a.v, Peak{900, 62}, {}},
         0},
        {"too few samples to magnify", true, false, {}, Trace{"a", t3, v3, Peak{5, 1}, {}}, 0},
        {"no samples", true, false, {}, Trace{"a", none, none, Peak{5, 1}, {}}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Layout layout;
        layout.inset = c.inset;
        layout.zoom = c.zoom;
        const std::vector<Panel> panels{Panel{1, "Fx", {c.trace}}};
        const std::string svg = pictures::render_svg(panels, c.window, layout);
        const xml::Element root = xml::parse(svg);
        EXPECT_EQ(xml::find_all(root, "g", "inset").size(), c.insets);
        EXPECT_EQ(xml::find_all(root, "rect", "inset-region").size(), c.insets);
        // Nothing is said about a panel without an inset.
        EXPECT_TRUE(xml::find_all(root, "text", "note").empty());
    }
    // Stacked panels: each with a peak has its own.
    std::vector<Panel> panels{Panel{1, "Fx", {Trace{"a", a.t, a.v, Peak{900, 62}, {}}}},
                              Panel{2, "Fy", {Trace{"a", a.t, a.v, std::nullopt, {}}}},
                              Panel{3, "Fz", {Trace{"a", a.t, a.v, Peak{900, 62}, {}}}}};
    Layout layout;
    layout.inset = true;
    const xml::Element root = xml::parse(pictures::render_svg(panels, Window{}, layout));
    const auto groups = xml::find_all(root, "g", "panel");
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(xml::find_all(*groups[0], "g", "inset").size(), 1u);
    EXPECT_EQ(xml::find_all(*groups[1], "g", "inset").size(), 0u);
    EXPECT_EQ(xml::find_all(*groups[2], "g", "inset").size(), 1u);
}

// Wherever the peak and its label are, the inset stays inside the plot area
// and clear of them, shows the peak, and keeps its text readable and its
// lines inside its box.
TEST(Inset, ClearOfThePeakAndItsLabelInsideThePlotArea) {
    const struct {
        double t_peak;  // in 0 .. 100 s
        float peak;     // the spike; the sine is 100 high
        std::size_t files;
        int width;
        bool zoom;
    } cases[] = {
        {62.0, 900.0f, 1, 960, false},  {30.0, 900.0f, 1, 960, false},
        {50.0, 900.0f, 1, 480, false},  {49.0, 900.0f, 1, 300, false},
        {97.0, 900.0f, 1, 480, false},  {1.5, 900.0f, 1, 480, false},
        {62.0, -900.0f, 1, 960, false}, {8.0, -900.0f, 1, 480, false},
        {80.0, 95.0f, 1, 960, false},   {62.0, 900.0f, 3, 960, false},
        {20.0, 900.0f, 3, 480, false},  {62.0, 900.0f, 1, 960, true},
        {44.0, -900.0f, 1, 480, true},  {62.0, 900.0f, 2, 480, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "peak " << c.peak << " at " << c.t_peak << ", " << c.files
                     << " files, width " << c.width << (c.zoom ? ", zoomed" : ""));
        std::vector<Series> series;
        for (std::size_t k = 0; k < c.files; ++k) {
            series.push_back(make_series(2001, 0.05f, 100.0f, static_cast<float>(c.t_peak),
                                         c.peak * (1.0f + 0.1f * static_cast<float>(k))));
        }
        Panel p{1, "Base force Fx", {}};
        for (std::size_t k = 0; k < c.files; ++k) {
            const float v = c.peak * (1.0f + 0.1f * static_cast<float>(k));
            p.traces.push_back(Trace{"run" + std::to_string(k) + ".dyn", series[k].t, series[k].v,
                                     Peak{v, static_cast<float>(c.t_peak)}, 1.0});
        }
        Layout layout;
        layout.inset = true;
        layout.zoom = c.zoom;
        layout.width = c.width;
        const Window window = c.zoom ? Window{c.t_peak - 10.0, c.t_peak + 12.0} : Window{};
        const std::vector<Panel> panels{p};
        const xml::Element root = xml::parse(pictures::render_svg(panels, window, layout));
        const InsetSeen in = inset_of(root);
        ASSERT_NE(in.group, nullptr);

        const Box plot = rect_box(*xml::find_all(root, "rect", "frame").at(0));
        EXPECT_TRUE(plot.holds(in.frame));
        EXPECT_TRUE(in.frame.holds(in.area));
        for (const auto* l : xml::find_all(root, "text", "peak-label")) {
            EXPECT_FALSE(in.frame.overlaps(text_box(*l, 12))) << l->text;
        }
        for (const auto* t : xml::find_all(root, "text", "title")) {
            EXPECT_FALSE(in.frame.overlaps(text_box(*t, 12))) << t->text;
        }
        const auto dots = xml::find_all(root, "circle", "peak");
        ASSERT_EQ(dots.size(), c.files);
        for (const auto* d : dots) {
            const double cx = std::stod(d->attr("cx")), cy = std::stod(d->attr("cy"));
            EXPECT_FALSE(in.frame.overlaps(Box{cx - 3.5, cy - 3.5, cx + 3.5, cy + 3.5}));
        }

        // The stretch holds the peak, whose dot is repeated where it belongs.
        EXPECT_LE(in.t0, c.t_peak);
        EXPECT_GE(in.t1, c.t_peak);
        EXPECT_LT(in.v0, c.peak);
        EXPECT_GT(in.v1, c.peak);
        const auto inset_dots = xml::find_all(*in.group, "circle", "inset-peak");
        ASSERT_EQ(inset_dots.size(), c.files);
        const xml::Element& first = *inset_dots.back();  // the first series' peak, on top
        EXPECT_NEAR(std::stod(first.attr("cx")), in.x(c.t_peak), 0.1);
        EXPECT_NEAR(std::stod(first.attr("cy")), in.y(c.peak), 0.1);
        EXPECT_EQ(first.attr("fill"), dots[0]->attr("fill"));

        // Every series drawn, inside the plot area of the inset.
        const auto paths = xml::find_all(*in.group, "path", "inset-series");
        ASSERT_EQ(paths.size(), c.files);
        for (const auto* path : paths) {
            const auto pts = path_points(path->attr("d"));
            EXPECT_GE(pts.size(), 20u);
            for (const auto& [x, y] : pts) {
                ASSERT_TRUE(in.area.holds(x, y, 0.1)) << x << "," << y;
            }
        }
        // Two or three ticks on each axis, in a readable size, inside the box
        // and apart.
        EXPECT_GE(in.fs, 12 * 0.8);
        for (const char* cls : {"inset-vtick", "inset-ttick"}) {
            SCOPED_TRACE(cls);
            const auto ticks = xml::find_all(*in.group, "text", cls);
            EXPECT_GE(ticks.size(), 2u);
            EXPECT_LE(ticks.size(), 3u);
            for (std::size_t i = 0; i < ticks.size(); ++i) {
                const Box b = text_box(*ticks[i], in.fs);
                EXPECT_TRUE(in.frame.holds(b)) << ticks[i]->text;
                if (i > 0) {
                    EXPECT_FALSE(b.overlaps(text_box(*ticks[i - 1], in.fs)));
                }
            }
        }
        for (const auto* v : xml::find_all(*in.group, "text", "inset-vtick")) {
            for (const auto* t : xml::find_all(*in.group, "text", "inset-ttick")) {
                EXPECT_FALSE(text_box(*v, in.fs).overlaps(text_box(*t, in.fs)))
                    << v->text << " / " << t->text;
            }
        }
    }
}

// The stretch shown: a twentieth of the time axis, at least 20 samples,
// centred on the peak but inside the samples; the rectangle on the panel
// marks it.
TEST(Inset, ShowsATwentiethOfTheTimeAxisAndAtLeastTwentySamples) {
    const struct {
        const char* name;
        std::size_t n;
        float dt;
        float t_peak;
        Window window;
        bool zoom;
        double t0, t1;
    } cases[] = {
        {"dense", 10001, 0.01f, 50.0f, {}, false, 47.5, 52.5},
        {"sparse", 201, 0.5f, 50.0f, {}, false, 45.0, 55.0},
        {"peak near the start", 10001, 0.01f, 1.0f, {}, false, 0.0, 5.0},
        {"peak near the end", 10001, 0.01f, 99.0f, {}, false, 95.0, 100.0},
        {"zoomed", 10001, 0.01f, 30.0f, {20.0, 40.0}, true, 29.5, 30.5},
        {"zoomed, peak at the window's start", 10001, 0.01f, 20.0f, {20.0, 40.0}, true, 20.0, 21.0},
        {"window without zoom", 10001, 0.01f, 30.0f, {20.0, 40.0}, false, 27.5, 32.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Series s = make_series(c.n, c.dt, 10.0f, c.t_peak, 80.0f);
        const std::vector<Panel> panels{
            Panel{1, "Fx", {Trace{"a", s.t, s.v, Peak{80.0f, c.t_peak}, {}}}}};
        Layout layout;
        layout.inset = true;
        layout.zoom = c.zoom;
        const xml::Element root = xml::parse(pictures::render_svg(panels, c.window, layout));
        const InsetSeen in = inset_of(root);
        ASSERT_NE(in.group, nullptr);
        EXPECT_NEAR(in.t0, c.t0, 0.01);
        EXPECT_NEAR(in.t1, c.t1, 0.01);
        // The time labels are times inside the stretch.
        for (const auto* t : xml::find_all(*in.group, "text", "inset-ttick")) {
            EXPECT_GE(std::stod(t->text), in.t0) << t->text;
            EXPECT_LE(std::stod(t->text), in.t1) << t->text;
        }
        const Fit x = fit_ticks(root, "xtick", "x");
        const Box region = rect_box(*xml::find_all(root, "rect", "inset-region").at(0));
        EXPECT_NEAR(region.x0, x(c.t0), 0.2);
        EXPECT_NEAR(region.x1, x(c.t1), 0.2);
    }
}

// The values: of every series in the stretch (not beyond it), a little
// padded; in an overlay the inset is around the first series with a peak.
TEST(Inset, FitsTheValuesOfEverySeriesInTheStretch) {
    Series a = make_series(2001, 0.05f, 10.0f, 50.0f, 10.0f);
    a.v[200] = 500.0f;  // at t = 10, outside the stretch
    Series b = make_series(2001, 0.05f, 5.0f, 51.0f, -30.0f);
    const Series c = make_series(2001, 0.05f, 1.0f, 90.0f, 3.0f);
    std::vector<Panel> panels{Panel{1,
                                    "Fx",
                                    {Trace{"c.dyn", c.t, c.v, std::nullopt, {}},
                                     Trace{"a.dyn", a.t, a.v, Peak{10.0f, 50.0f}, {}}}},
                              Panel{2, "Fy", {Trace{"b.dyn", b.t, b.v, Peak{-30.0f, 51.0f}, {}}}}};
    Layout layout;
    layout.inset = true;
    layout.overlay = true;
    const xml::Element root = xml::parse(pictures::render_svg(panels, Window{}, layout));
    const InsetSeen in = inset_of(root);
    ASSERT_NE(in.group, nullptr);
    EXPECT_NEAR((in.t0 + in.t1) / 2.0, 50.0, 0.01);  // around a.dyn's peak
    // From b's dip to a's peak, a little padded; a's 500 far away is not in.
    EXPECT_LT(in.v0, -30.0);
    EXPECT_GT(in.v0, -30.0 - 40.0 * 0.2);
    EXPECT_GT(in.v1, 10.0);
    EXPECT_LT(in.v1, 10.0 + 40.0 * 0.2);
    EXPECT_EQ(xml::find_all(*in.group, "path", "inset-series").size(), 3u);
    // Both peaks of the stretch are marked.
    EXPECT_EQ(xml::find_all(*in.group, "circle", "inset-peak").size(), 2u);
}

// Large numbers on either axis: the ticks share a power of ten, stated once
// in the inset, and still lie inside the stretch.
TEST(Inset, LargeNumbersShareAPowerOfTen) {
    std::vector<float> t, v;
    for (int i = 0; i <= 4000; ++i) {
        t.push_back(200000.0f + static_cast<float>(i) * 0.25f);
        v.push_back(3.0e6f + 2.0e5f * static_cast<float>(std::sin(i * 0.01)));
    }
    v[2000] = 4.5e6f;
    const std::vector<Panel> panels{Panel{1, "My", {Trace{"a", t, v, Peak{4.5e6f, t[2000]}, {}}}}};
    Layout layout;
    layout.inset = true;
    const xml::Element root = xml::parse(pictures::render_svg(panels, Window{}, layout));
    const InsetSeen in = inset_of(root);
    ASSERT_NE(in.group, nullptr);
    std::vector<std::string> powers;
    for (const auto* p : xml::find_all(*in.group, "text", "inset-power")) {
        powers.push_back(p->text);
        EXPECT_TRUE(in.frame.holds(text_box(*p, in.fs))) << p->text;
    }
    EXPECT_EQ(powers, (std::vector<std::string>{"×10⁶", "time ×10³ s"}));
    const struct {
        const char* cls;
        double scale, lo, hi;
    } axes[] = {{"inset-vtick", 1e6, in.v0, in.v1}, {"inset-ttick", 1e3, in.t0, in.t1}};
    for (const auto& a : axes) {
        const auto ticks = xml::find_all(*in.group, "text", a.cls);
        ASSERT_GE(ticks.size(), 2u) << a.cls;
        for (const auto* tick : ticks) {
            EXPECT_GE(std::stod(tick->text) * a.scale, a.lo) << tick->text;
            EXPECT_LE(std::stod(tick->text) * a.scale, a.hi) << tick->text;
        }
    }
}

// Odd data around the peak still gives finite coordinates and ticks that can
// be told apart, or no inset at all.
TEST(Inset, OddDataGivesFiniteCoordinatesOrNoInset) {
    const float big = std::numeric_limits<float>::max();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::size_t n = 400;
    const auto series = [&](auto time, auto value) {
        std::pair<std::vector<float>, std::vector<float>> s;
        for (std::size_t i = 0; i < n; ++i) {
            s.first.push_back(time(static_cast<float>(i)));
            s.second.push_back(value(static_cast<float>(i)));
        }
        return s;
    };
    const auto step = [](float i) { return i * 0.1f; };
    const auto wave = [](float i) { return std::sin(i * 0.1f); };
    const struct {
        const char* name;
        std::pair<std::vector<float>, std::vector<float>> s;
        bool inset;
    } cases[] = {
        {"largest floats", series(step, [&](float i) { return i == 200 ? big : -big; }), true},
        {"huge times", series([&](float i) { return (i - 200) * (big / 200); }, wave), true},
        {"huge offset", series(step, [](float i) { return 1.0e7f + (i == 200 ? 1.0f : 0.0f); }),
         true},
        {"constant", series(step, [](float) { return 5.0f; }), true},
        {"gaps around the peak",
         series(step, [&](float i) { return i == 200             ? 9.0f
                                            : i > 190 && i < 210 ? nan
                                                                 : 1.0f; }),
         true},
        {"one time", series([](float) { return 3.0f; }, wave), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto& [t, v] = c.s;
        const std::vector<Panel> panels{
            Panel{1, c.name, {Trace{"f", t, v, Peak{v[200], t[200]}, std::nullopt}}}};
        Layout layout;
        layout.inset = true;
        const std::string svg = pictures::render_svg(panels, Window{}, layout);
        EXPECT_EQ(svg.find("nan"), std::string::npos);
        EXPECT_EQ(svg.find("inf"), std::string::npos);
        const xml::Element root = xml::parse(svg);
        const auto groups = xml::find_all(root, "g", "inset");
        ASSERT_EQ(groups.size(), c.inset ? 1u : 0u);
        if (!c.inset) continue;
        const InsetSeen in = inset_of(root);
        EXPECT_TRUE(rect_box(*xml::find_all(root, "rect", "frame").at(0)).holds(in.frame));
        for (const char* cls : {"inset-vtick", "inset-ttick"}) {
            const auto ticks = xml::find_all(*in.group, "text", cls);
            EXPECT_GE(ticks.size(), 2u) << cls;
            for (std::size_t i = 1; i < ticks.size(); ++i) {
                EXPECT_NE(ticks[i]->text, ticks[i - 1]->text) << cls;
            }
        }
    }
}

#ifdef PEKTOR_XMLLINT
TEST(Picture, XmllintAcceptsThePicture) {
    const Series a = make_series(3000, 0.05f, 10.0f, 20.0f, 40.0f);
    std::vector<Panel> panels{Panel{1, "<&\"'>", {Trace{"a&b.dyn", a.t, a.v, Peak{40, 20}, 1.0}}},
                              Panel{2, "two", {Trace{"a&b.dyn", a.t, a.v, {}, 2.0}}}};
    test_support::ScratchDir dir;
    dir.write("p.svg", pictures::render_svg(panels, Window{5.0, 50.0}, Layout{}));
    EXPECT_EQ(test_support::run_in(dir.path(), "'" PEKTOR_XMLLINT "' --noout p.svg 2> err.txt"), 0)
        << dir.read("err.txt");
}
#endif

}  // namespace
