// Small analysis charts of one DynRes as SVG text: its spectrum on a
// logarithmic frequency and density axes with the peak frequency marked, and the
// histogram of its samples. Plain numbers in, text out; the picture scales
// to its container like the series pictures.
#pragma once

#include <optional>
#include <span>
#include <string>

namespace pictures {

struct ChartLayout {
    int width = 300;
    int height = 150;  // of the plot area
    int font_size = 13;
};

// The one-sided density over frequency (both the same length), both axes
// logarithmic in whole decades; frequency 0 and non-positive densities are
// left out. fp, when given, is marked with a line and its value.
std::string render_spectrum(std::span<const double> freqs, std::span<const double> psd,
                            std::optional<double> fp, const std::string& title,
                            const ChartLayout& layout);

// The counts of `bins` equal bins from lo to hi (the edges lo + i * (hi -
// lo) / bins), drawn as bars. Non-finite values are not counted.
std::string render_histogram(std::span<const float> values, int bins, const std::string& title,
                             const ChartLayout& layout);

}  // namespace pictures
