// The analysis charts: the spectrum's peak frequency marked on its
// logarithmic axis, the histogram's bars counting every finite sample.
#include "pictures/charts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "support/xml_lite.h"

namespace {

namespace xml = test_support::xml;

TEST(Charts, SpectrumOnDecadesWithItsPeakFrequency) {
    std::vector<double> f, s;
    for (int k = 0; k <= 64; ++k) {
        f.push_back(k * 0.05);
        s.push_back(k == 10 ? 50.0 : 1e-3 * (1 + k % 3));
    }
    s[0] = 0.0;  // no place on a logarithmic axis
    const xml::Element root = xml::parse(pictures::render_spectrum(f, s, 0.5, "Spectrum: Fx", {}));
    EXPECT_EQ(root.attr("width"), "100%");
    EXPECT_EQ(xml::find_all(root, "text", "fp-label").at(0)->text, "fp 0.5 Hz");
    std::vector<std::string> decades;
    for (const auto* t : xml::find_all(root, "text", "ytick")) decades.push_back(t->text);
    EXPECT_EQ(decades, (std::vector<std::string>{"0.001", "0.01", "0.1", "1", "10", "100"}));
    const std::string d = xml::find_all(root, "path", "series").at(0)->attr("d");
    EXPECT_EQ(static_cast<int>(std::count(d.begin(), d.end(), ',')), 64);  // not f = 0
    std::vector<std::string> fticks;
    for (const auto* t : xml::find_all(root, "text", "xtick")) fticks.push_back(t->text);
    EXPECT_EQ(fticks, (std::vector<std::string>{"0.01", "0.1", "1", "10"}));
    // Nothing to draw: the chart says so.
    const xml::Element none = xml::parse(pictures::render_spectrum({}, {}, std::nullopt, "x", {}));
    EXPECT_EQ(xml::find_all(none, "text", "empty").at(0)->text, "no spectrum");
}

TEST(Charts, HistogramCountsEveryFiniteSample) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        const char* name;
        std::vector<float> v;
        long counted;
    } cases[] = {
        {"spread", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, nan}, 11},
        {"constant", {5, 5, 5}, 3},
        {"none", {nan}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const xml::Element root = xml::parse(pictures::render_histogram(c.v, 5, "h", {}));
        long total = 0;
        for (const auto* bar : xml::find_all(root, "rect", "bar")) {
            const std::string title = xml::find_all(*bar, "title").at(0)->text;
            total += std::stol(title.substr(title.rfind(": ") + 2));
        }
        EXPECT_EQ(total, c.counted);
        EXPECT_EQ(xml::find_all(root, "text", "empty").size(), c.counted == 0 ? 1u : 0u);
    }
}

}  // namespace
