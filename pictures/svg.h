// Pictures of DynRes series as SVG text: one panel per DynRes stacked over a
// shared time axis (or all series in one panel), each file in its own colour
// with a legend, the window shaded, the peak marked with a dot and its value
// and time, the mean as a thin line across the window.
//
// Long series are reduced per pixel column: of the samples that fall into
// one column the first, the last, the smallest and the largest are kept (in
// their order), so the drawn line still reaches every extreme and the text
// stays small however many steps the series has.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pictures {

// The peak of a series as found by the peak routine: its value and the time
// of its sample.
struct Peak {
    float value = 0.0f;
    float time = 0.0f;
    // The sample's own value when the peak is not it (the largest magnitude
    // |x| of a negative sample); the dot sits on the sample.
    std::optional<float> sample = std::nullopt;
};

// One file's series of one DynRes. The spans are borrowed: they must stay
// valid while the picture is written.
struct Trace {
    std::string file;  // the legend text
    std::span<const float> times;
    std::span<const float> values;
    std::optional<Peak> peak;
    std::optional<double> mean;  // drawn across the window
    // Drawn in grey, its own legend entry, no colour of the palette taken
    // (a reference such as the envelope of other files).
    bool muted = false;
};

// One DynRes: its number and label (the panel title) and its series, one per
// file, in the order of the files.
struct Panel {
    int dynres = 0;
    std::string label;
    std::vector<Trace> traces;
};

// The time window of the statistics, both ends inclusive; an end left open
// runs to the end of the series. Without any end nothing is shaded.
struct Window {
    std::optional<double> t0;
    std::optional<double> t1;
};

// The settings the numbers of a picture depend on, stated in its first line:
// the window (as given, e.g. "20:80"; empty: the whole series), the peak's
// sign convention, and the filter the series went through (none when not
// set).
struct Heading {
    std::string window;
    std::string sign;
    std::optional<std::string> filter;
};

struct Layout {
    int width = 960;              // of the picture's coordinates; it scales to its container
    int panel_height = 200;       // of one panel's plot area
    bool overlay = false;         // every series in one panel
    bool xml_declaration = true;  // false for a picture inside an HTML page
    int font_size = 12;
    bool peak_text = true;  // the peak's value and time beside its dot
    bool legend = true;
    // The first line of the picture; none without.
    std::optional<Heading> heading = std::nullopt;
    // The time axis spans the window alone (the samples outside are left
    // out); without a window the whole series.
    bool zoom = false;
    // A small panel in a corner of each panel showing the stretch around its
    // peak (of the first series with one) magnified.
    bool inset = false;
};

// The SVG text of the panels. The picture has a viewBox and a width of
// 100 %, so it scales to its container. Peak labels never overlap: with one
// series in a panel the label sits beside its dot inside the plot area; with
// more they stand in a column right of the plot area, one line per series
// in the legend's order and colour. Beyond the palette's nine colours the
// colours repeat with a dashed line. A panel notes in its title row the
// samples left out as not finite and a series that is constant. With
// layout.inset a panel with a peak shows the stretch around it magnified in
// a corner clear of the peak's dot and label. Never throws for any data
// (non-finite values are left out of the line; an empty series gives an empty panel).
std::string render_svg(std::span<const Panel> panels, const Window& window, const Layout& layout);

// Text for XML and HTML content and attribute values: &, <, >, " and ' as
// references; control characters (other than tab and line feed) and bytes
// that are not UTF-8 as '?'.
std::string xml_escape(std::string_view text);

// The tick values between lo and hi (inclusive) with a step of 1, 2 or 5
// times a power of ten, chosen so there are at most max_count ticks and as
// many as possible; when fewer than two would fit, the next smaller step.
// Empty when lo > hi or either is not finite.
std::vector<double> ticks_125(double lo, double hi, int max_count);

// The labels of ticks `step` apart on one axis: with a common power of ten
// (a multiple of 3) set in `multiplier` ("×10⁹", empty for none) when the
// largest magnitude is 10^5 or more or below 10^-3, and as many decimals as
// the step needs.
std::vector<std::string> tick_labels(std::span<const double> ticks, double step,
                                     std::string* multiplier);

// A number as the pictures and the report show it: 6 significant digits,
// trailing zeros dropped; magnitudes of 10^6 and more or below 10^-4 as
// mantissa ×10 to a power ("1.33312×10¹¹"). Non-finite values as "nan",
// "inf", "-inf".
std::string short_number(double v);

// The step ticks_125 uses.
double tick_step_125(double lo, double hi, int max_count);

// The indices of the samples kept when the series is drawn into `columns`
// pixel columns spanning times t_lo to t_hi: per run of consecutive samples in
// one column its first, last, smallest and largest sample, in index order.
// Samples with a non-finite time or value are left out.
std::vector<std::size_t> reduce_columns(std::span<const float> times, std::span<const float> values,
                                        double t_lo, double t_hi, int columns);

}  // namespace pictures
