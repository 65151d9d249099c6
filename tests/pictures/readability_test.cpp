// What makes a picture readable, checked on the SVG's own coordinates:
// peak labels that never overlap however many files share a panel, tick
// labels with one multiplier per axis, short numbers, notes on odd data,
// the legend's keys, text contrast, a picture that scales, and the zoom.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "pictures/svg.h"
#include "support/xml_lite.h"

namespace {

using pictures::Heading;
using pictures::Layout;
using pictures::Panel;
using pictures::Peak;
using pictures::Trace;
using pictures::Window;
namespace xml = test_support::xml;

struct Box {
    double x0, y0, x1, y1;
    bool overlaps(const Box& o) const { return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1; }
};

std::size_t chars(const std::string& s) {
    return static_cast<std::size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// The box of a text element from its position, anchor and the text's
// length (a sans-serif character is at most 0.6 em wide on average).
Box text_box(const xml::Element& t, double fs) {
    const double x = std::stod(t.attr("x")), y = std::stod(t.attr("y"));
    const double w = static_cast<double>(chars(t.text)) * fs * 0.6;
    const std::string anchor = t.attr("text-anchor");
    const double x0 = anchor == "end" ? x - w : anchor == "middle" ? x - w / 2 : x;
    return {x0, y - fs * 0.9, x0 + w, y + fs * 0.25};
}

// n files whose peaks all sit at one time and nearly one value: the worst
// case for labels beside their dots.
struct Files {
    std::vector<std::vector<float>> t, v;
};
Files crowded(std::size_t n) {
    Files f;
    for (std::size_t k = 0; k < n; ++k) {
        std::vector<float> t, v;
        for (int i = 0; i <= 2000; ++i) {
            t.push_back(static_cast<float>(i) * 0.05f);
            v.push_back(static_cast<float>(1000.0 * std::sin(i * 0.07 + static_cast<double>(k))));
        }
        v[1240] = 9000.0f + 150.0f * static_cast<float>(k);
        f.t.push_back(std::move(t));
        f.v.push_back(std::move(v));
    }
    return f;
}

TEST(Readability, PeakLabelsNeverOverlapForOneToEightFiles) {
    for (std::size_t n = 1; n <= 8; ++n) {
        for (const int width : {960, 480}) {
            SCOPED_TRACE(testing::Message() << n << " files, width " << width);
            const Files f = crowded(n);
            Panel p{1, "Base force Fx", {}};
            for (std::size_t k = 0; k < n; ++k) {
                p.traces.push_back(Trace{"run" + std::to_string(k + 1) + ".dyn", f.t[k], f.v[k],
                                         Peak{f.v[k][1240], f.t[k][1240]}, 10.0});
            }
            Layout layout;
            layout.width = width;
            layout.heading = Heading{"20:80", "signed", std::nullopt};
            const std::vector<Panel> panels{p};
            const xml::Element root =
                xml::parse(pictures::render_svg(panels, Window{20.0, 80.0}, layout));
            const auto labels = xml::find_all(root, "text", "peak-label");
            ASSERT_EQ(labels.size(), n);
            std::vector<Box> boxes;
            for (const auto* l : labels) boxes.push_back(text_box(*l, 12));
            for (std::size_t i = 0; i < boxes.size(); ++i) {
                for (std::size_t j = i + 1; j < boxes.size(); ++j) {
                    EXPECT_FALSE(boxes[i].overlaps(boxes[j]))
                        << labels[i]->text << " / " << labels[j]->text;
                }
            }
            // Clear of the legend, the heading and the title, inside the picture.
            std::istringstream vb(root.attr("viewBox"));
            double vx = 0, vy = 0, pic_w = 0;
            vb >> vx >> vy >> pic_w;
            std::vector<const xml::Element*> others = xml::find_all(root, "text", "heading");
            for (const auto* g : xml::find_all(root, "g", "legend")) {
                for (const auto* t : xml::find_all(*g, "text")) others.push_back(t);
            }
            for (const auto* t : xml::find_all(root, "text", "title")) others.push_back(t);
            const auto frame = xml::find_all(root, "rect", "frame").at(0);
            const double top = std::stod(frame->attr("y"));
            for (std::size_t i = 0; i < boxes.size(); ++i) {
                EXPECT_GE(boxes[i].y0, top - 0.5) << labels[i]->text;
                EXPECT_GE(boxes[i].x0, 0.0);
                EXPECT_LE(boxes[i].x1, pic_w + 0.5) << labels[i]->text;
                for (const auto* o : others) {
                    EXPECT_FALSE(boxes[i].overlaps(text_box(*o, 12)))
                        << labels[i]->text << " / " << o->text;
                }
            }
        }
    }
}

double power_of(const std::string& multiplier) {
    // "×10" then superscript digits, possibly with a superscript minus.
    static const std::vector<std::string> sup = {"⁰", "¹", "²", "³", "⁴", "⁵", "⁶", "⁷", "⁸", "⁹"};
    if (multiplier.empty()) return 0;
    std::string rest = multiplier.substr(std::string("×10").size());
    int sign = 1;
    if (rest.rfind("⁻", 0) == 0) {
        sign = -1;
        rest = rest.substr(std::string("⁻").size());
    }
    int e = 0;
    while (!rest.empty()) {
        bool found = false;
        for (int d = 0; d < 10; ++d) {
            if (rest.rfind(sup[static_cast<std::size_t>(d)], 0) == 0) {
                e = e * 10 + d;
                rest = rest.substr(sup[static_cast<std::size_t>(d)].size());
                found = true;
            }
        }
        if (!found) return std::nan("");
    }
    return sign * e;
}

TEST(Readability, TickLabelsShareOneMultiplierPerAxis) {
    const struct {
        double lo, hi;
        std::string multiplier;
    } cases[] = {
        {-3.0e-6, 4.5e-6, "×10⁻⁶"},     {-0.8, 1.3, ""},
        {2.0e6, 7.5e6, "×10⁶"},         {-4.3e10, 2.0e11, "×10⁹"},
        {1.0e11, 1.3331175e11, "×10⁹"}, {0.0, 99.95, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lo << " to " << c.hi);
        const double step = pictures::tick_step_125(c.lo, c.hi, 7);
        const auto ticks = pictures::ticks_125(c.lo, c.hi, 7);
        std::string multiplier = "unset";
        const auto labels = pictures::tick_labels(ticks, step, &multiplier);
        EXPECT_EQ(multiplier, c.multiplier);
        ASSERT_EQ(labels.size(), ticks.size());
        ASSERT_GE(labels.size(), 2u);
        const double scale = std::pow(10.0, power_of(multiplier));
        for (std::size_t i = 0; i < labels.size(); ++i) {
            EXPECT_EQ(labels[i].find('e'), std::string::npos) << labels[i];
            EXPECT_LE(labels[i].size(), 7u) << labels[i];
            EXPECT_NEAR(std::stod(labels[i]) * scale, ticks[i], step * 1e-6) << labels[i];
            if (i > 0) {
                EXPECT_NE(labels[i], labels[i - 1]);
            }
        }
    }
}

TEST(Readability, NumbersShowSixSignificantDigits) {
    const struct {
        double v;
        const char* text;
    } cases[] = {
        {145.4724611620, "145.472"},
        {7.6884613037109375, "7.68846"},
        {-44949.601882812, "-44949.6"},
        {133311750000.0, "1.33312×10¹¹"},
        {-4.3e-7, "-4.3×10⁻⁷"},
        {999999.7, "1×10⁶"},
        {1234.5, "1234.5"},
        {0.0, "0"},
        {0.5, "0.5"},
        {-45440.0, "-45440"},
    };
    for (const auto& c : cases) EXPECT_EQ(pictures::short_number(c.v), c.text) << c.v;
}

// The relative luminance contrast of a colour "#rrggbb" on white.
double contrast_on_white(const std::string& hex) {
    auto lin = [](int c) {
        const double s = c / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    const int r = std::stoi(hex.substr(1, 2), nullptr, 16);
    const int g = std::stoi(hex.substr(3, 2), nullptr, 16);
    const int b = std::stoi(hex.substr(5, 2), nullptr, 16);
    const double l = 0.2126 * lin(r) + 0.7152 * lin(g) + 0.0722 * lin(b);
    return 1.05 / (l + 0.05);
}

TEST(Readability, PictureScalesAndItsTextContrasts) {
    const Files f = crowded(9);
    Panel p{1, "Fx", {}};
    for (std::size_t k = 0; k < 9; ++k) {
        p.traces.push_back(
            Trace{"f" + std::to_string(k), f.t[k], f.v[k], Peak{f.v[k][1240], f.t[k][1240]}, 0.0});
    }
    const std::vector<Panel> panels{p};
    const xml::Element root = xml::parse(pictures::render_svg(panels, Window{20.0, 80.0}, {}));
    EXPECT_EQ(root.attr("width"), "100%");
    EXPECT_EQ(root.attr("height"), "");
    EXPECT_EQ(root.attr("viewBox").rfind("0 0 960 ", 0), 0u);
    std::size_t coloured = 0;
    for (const auto* t : xml::find_all(root, "text")) {
        const std::string fill = t->attr("fill");
        if (fill.empty()) continue;  // the default black
        ++coloured;
        const std::string hex = fill.size() == 4 ? std::string{'#',     fill[1], fill[1], fill[2],
                                                               fill[2], fill[3], fill[3]}
                                                 : fill;
        EXPECT_GE(contrast_on_white(hex), 4.5) << fill << " " << t->text;
    }
    EXPECT_GE(coloured, 18u);  // legend and peak labels in their colours
}

TEST(Readability, OddDataIsNotedInThePanel) {
    const std::vector<float> t = {0, 1, 2, 3, 4};
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> constant = {1234.5f, 1234.5f, 1234.5f, 1234.5f, 1234.5f};
    const std::vector<float> holes = {1, inf, 3, nan, 2};
    const std::vector<float> fine = {1, 2, 3, 2, 1};
    const struct {
        const char* name;
        const std::vector<float>& v;
        std::string note;
    } cases[] = {
        {"constant", constant, "constant: 1234.5"},
        {"non-finite", holes, "2 non-finite samples left out"},
        {"fine", fine, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Panel> panels{Panel{1, "x", {Trace{"a", t, c.v, Peak{c.v[0], 0}, 1.0}}}};
        const xml::Element root = xml::parse(pictures::render_svg(panels, Window{}, Layout{}));
        const auto notes = xml::find_all(root, "text", "note");
        if (c.note.empty()) {
            EXPECT_TRUE(notes.empty());
        } else {
            ASSERT_EQ(notes.size(), 1u);
            EXPECT_EQ(notes[0]->text, c.note);
        }
        for (const auto* y : xml::find_all(root, "text", "ytick")) EXPECT_LE(y->text.size(), 7u);
    }
}

TEST(Readability, HeadingLegendKeysAndTheSignOfAMagnitudePeak) {
    const std::vector<float> t = {0, 1, 2, 3};
    const std::vector<float> v = {1, -45440, 3, 2};
    const std::vector<Panel> panels{
        Panel{1, "Fx", {Trace{"a.dyn", t, v, Peak{45440, 1, -45440.0f}, 0.5}}}};
    Layout layout;
    layout.heading = Heading{"0.5:2.5", "abs", std::nullopt};
    const xml::Element root = xml::parse(pictures::render_svg(panels, Window{0.5, 2.5}, layout));
    EXPECT_EQ(xml::find_all(root, "text", "heading").at(0)->text,
              "window: 0.5:2.5 s · peak: abs · filter: none");
    std::vector<std::string> keys;
    for (const auto* k : xml::find_all(root, "g", "legend-key")) keys.push_back(k->all_text());
    EXPECT_EQ(keys, (std::vector<std::string>{"peak (abs)", "mean of window", "window"}));
    EXPECT_EQ(xml::find_all(root, "text", "peak-label").at(0)->all_text().substr(0, 0), "");
    const auto label = xml::find_all(root, "text", "peak-label").at(0);
    EXPECT_EQ(label->text, "-45440 (|x| 45440) at t = 1 s");
    // The axes have titles: the label and the time with its unit.
    std::vector<std::string> titles;
    for (const auto* a : xml::find_all(root, "text", "axis-title")) titles.push_back(a->text);
    EXPECT_EQ(titles, (std::vector<std::string>{"Fx", "time [s]"}));

    layout.heading->filter = "low-pass 0.5 Hz";
    const xml::Element filtered =
        xml::parse(pictures::render_svg(panels, Window{0.5, 2.5}, layout));
    EXPECT_EQ(xml::find_all(filtered, "text", "heading").at(0)->text,
              "window: 0.5:2.5 s · peak: abs · filter: low-pass 0.5 Hz");
}

TEST(Readability, ZoomSpansTheWindowAlone) {
    std::vector<float> t, v;
    for (int i = 0; i <= 20000; ++i) {
        t.push_back(static_cast<float>(i));
        v.push_back(static_cast<float>(std::sin(i * 0.01)));
    }
    const std::vector<Panel> panels{Panel{1, "x", {Trace{"a", t, v, std::nullopt, 0.0}}}};
    Layout layout;
    layout.zoom = true;
    const xml::Element root =
        xml::parse(pictures::render_svg(panels, Window{10000.0, 10100.0}, layout));
    const auto xt = xml::find_all(root, "text", "xtick");
    ASSERT_GE(xt.size(), 3u);
    std::string multiplier;
    for (const auto* x : xt) {
        const double tick = std::stod(x->text);
        EXPECT_GE(tick, 10000.0) << x->text;
        EXPECT_LE(tick, 10100.0) << x->text;
    }
    const auto area = xml::find_all(root, "g", "plot-area").at(0);
    EXPECT_EQ(std::stod(area->attr("data-t0")), 10000.0);
    EXPECT_EQ(std::stod(area->attr("data-t1")), 10100.0);
    // Only the window's samples are drawn.
    const std::string d = xml::find_all(root, "path", "series").at(0)->attr("d");
    EXPECT_LT(std::count(d.begin(), d.end(), ','), 500);
}

}  // namespace
