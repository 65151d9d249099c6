#include "analysis/butterworth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "expected_data.h"

namespace {

using analysis::ArgumentError;
using analysis::FilterKind;
using welch_test::load_cases;
using welch_test::test_series;

FilterKind kind_of(const welch_test::Case& c) {
    return static_cast<FilterKind>(static_cast<int>(c.param("kind")));
}

analysis::Sos design(const welch_test::Case& c) {
    return analysis::butterworth(static_cast<int>(c.param("order")), kind_of(c), c.param("f1"),
                                 c.param("f2"), c.param("fs"));
}

TEST(Butterworth, SectionsMatchScipyForOrders1To8AndEachKind) {
    double worst = 0.0;
    for (const auto& c : load_cases("butter")) {
        SCOPED_TRACE(c.name);
        const auto sos = design(c);
        const auto& expected = c.array("sos");
        ASSERT_EQ(sos.sections.size() * 6, expected.size());
        const int order = static_cast<int>(c.param("order"));
        const bool two = kind_of(c) == FilterKind::band || kind_of(c) == FilterKind::stop;
        EXPECT_EQ(sos.sections.size(), static_cast<std::size_t>(two ? order : (order + 1) / 2));
        for (std::size_t s = 0; s < sos.sections.size(); ++s) {
            double scale = 0.0;
            for (std::size_t k = 0; k < 6; ++k)
                scale = std::max(scale, std::fabs(expected[6 * s + k]));
            for (std::size_t k = 0; k < 6; ++k) {
                EXPECT_NEAR(sos.sections[s][k], expected[6 * s + k], 1e-12 * scale)
                    << s << "," << k;
                worst =
                    std::max(worst, std::fabs(sos.sections[s][k] - expected[6 * s + k]) / scale);
            }
        }
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", worst);
    RecordProperty("largest_relative_deviation", text);
}

TEST(Sosfiltfilt, MatchesScipyForEachKindNearZeroAndNyquist) {
    double worst = 0.0;
    for (const auto& c : load_cases("filtfilt")) {
        SCOPED_TRACE(c.name);
        const auto x = test_series(static_cast<std::size_t>(c.param("n")),
                                   static_cast<std::uint64_t>(c.param("seed")));
        const auto y = analysis::sosfiltfilt(design(c), x);
        const auto& expected = c.array("y");
        ASSERT_EQ(y.size(), expected.size());
        const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
        const double range = *hi - *lo;
        for (std::size_t i = 0; i < y.size(); ++i) {
            EXPECT_NEAR(y[i], expected[i], 1e-9 * range) << i;
            worst = std::max(worst, std::fabs(y[i] - expected[i]) / range);
        }
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", worst);
    RecordProperty("largest_relative_deviation", text);
}

TEST(Sosfiltfilt, InPlaceAndFloatInputGiveTheSame) {
    const auto sos = analysis::butterworth(4, FilterKind::band, 2.0, 8.0, 50.0);
    std::vector<float> xf(500);
    const auto src = test_series(xf.size(), 9);
    for (std::size_t i = 0; i < xf.size(); ++i) xf[i] = static_cast<float>(src[i]);
    std::vector<double> x(xf.begin(), xf.end());

    const auto expected = analysis::sosfiltfilt(sos, x);
    std::vector<double> from_float(xf.size());
    analysis::sosfiltfilt(sos, std::span<const float>(xf), from_float);
    EXPECT_EQ(from_float, expected);
    std::vector<double> in_place = x;
    analysis::sosfiltfilt(sos, in_place, in_place);
    EXPECT_EQ(in_place, expected);
}

TEST(Sosfiltfilt, LowPassKeepsTheSlowSineAndHighPassTheFastOne) {
    const double fs = 100.0, slow = 1.0, fast = 10.0, cut = std::sqrt(slow * fast);
    std::vector<double> a(10000), b(a.size()), x(a.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / fs;
        a[i] = std::sin(2.0 * std::numbers::pi * slow * t);
        b[i] = 0.5 * std::sin(2.0 * std::numbers::pi * fast * t + 1.0);
        x[i] = a[i] + b[i];
    }
    auto ratio = [](const std::vector<double>& y, const std::vector<double>& keep) {
        // std of what is left over, relative to std of what is kept, away
        // from the ends (where the padding's transient has not died out)
        double e = 0.0, k = 0.0;
        for (std::size_t i = y.size() / 10; i < y.size() - y.size() / 10; ++i) {
            e += (y[i] - keep[i]) * (y[i] - keep[i]);
            k += keep[i] * keep[i];
        }
        return std::sqrt(e / k);
    };
    EXPECT_LT(
        ratio(analysis::sosfiltfilt(analysis::butterworth(4, FilterKind::low, cut, 0.0, fs), x), a),
        1e-3);
    EXPECT_LT(
        ratio(analysis::sosfiltfilt(analysis::butterworth(4, FilterKind::high, cut, 0.0, fs), x),
              b),
        1e-3);
    // A band around the fast sine keeps it; a stop band around it removes it.
    EXPECT_LT(
        ratio(analysis::sosfiltfilt(analysis::butterworth(4, FilterKind::band, 5.0, 20.0, fs), x),
              b),
        1e-3);
    EXPECT_LT(
        ratio(analysis::sosfiltfilt(analysis::butterworth(4, FilterKind::stop, 5.0, 20.0, fs), x),
              a),
        1e-3);
}

TEST(Butterworth, BadArgumentsGiveOneClearLine) {
    struct Row {
        analysis::FilterSettings settings;
        double fs;
        const char* message;
    };
    const std::vector<Row> rows = {
        {{FilterKind::low, 0, 1.0, 0.0}, 10.0, "filter order 0 is outside 1..8"},
        {{FilterKind::low, 9, 1.0, 0.0}, 10.0, "filter order 9 is outside 1..8"},
        {{FilterKind::low, 4, 1.0, 0.0}, 0.0, "sampling frequency 0 Hz is not a positive number"},
        {{FilterKind::low, 4, 0.0, 0.0}, 10.0, "cut-off 0 Hz is not above 0"},
        {{FilterKind::high, 4, -1.0, 0.0}, 10.0, "cut-off -1 Hz is not above 0"},
        {{FilterKind::low, 4, 5.0, 0.0},
         10.0,
         "cut-off 5 Hz is not below the Nyquist frequency 5 Hz"},
        {{FilterKind::high, 4, 7.5, 0.0},
         10.0,
         "cut-off 7.5 Hz is not below the Nyquist frequency 5 Hz"},
        {{FilterKind::low, 4, std::numeric_limits<double>::quiet_NaN(), 0.0},
         10.0,
         "cut-off nan Hz is not above 0"},
        {{FilterKind::band, 4, 0.0, 2.0}, 10.0, "lower band end 0 Hz is not above 0"},
        {{FilterKind::stop, 4, 1.0, 5.0},
         10.0,
         "upper band end 5 Hz is not below the Nyquist frequency 5 Hz"},
        {{FilterKind::band, 4, 3.0, 2.0}, 10.0, "band ends 3 and 2 Hz are not increasing"},
        {{FilterKind::stop, 4, 2.0, 2.0}, 10.0, "band ends 2 and 2 Hz are not increasing"},
        // Edges a double cannot tell from 0 or the Nyquist frequency.
        {{FilterKind::low, 4, 1e-10, 0.0},
         1.0,
         "filter low:1e-10 order 4 is too near 0 or the Nyquist frequency 0.5 Hz to be made"},
        {{FilterKind::band, 8, 0.1, 0.4999999999},
         1.0,
         "filter band:0.1:0.4999999999 order 8 is too near 0 or the Nyquist frequency 0.5 Hz to be "
         "made"},
    };
    for (const Row& row : rows) {
        try {
            analysis::butterworth(row.settings, row.fs);
            ADD_FAILURE() << "no error for: " << row.message;
        } catch (const ArgumentError& e) {
            EXPECT_EQ(std::string(e.what()), row.message);
        }
    }
}

TEST(Sosfiltfilt, SeriesNoLongerThanThePaddingOrNotFiniteIsRefused) {
    const auto sos = analysis::butterworth(4, FilterKind::low, 1.0, 0.0, 10.0);
    EXPECT_EQ(analysis::filtfilt_padlen(sos), 15u);
    EXPECT_EQ(analysis::filtfilt_padlen(analysis::butterworth(1, FilterKind::low, 1.0, 0.0, 10.0)),
              6u);
    EXPECT_EQ(analysis::filtfilt_padlen(analysis::butterworth(8, FilterKind::band, 1.0, 2.0, 10.0)),
              51u);
    EXPECT_NO_THROW(analysis::sosfiltfilt(sos, std::vector<double>(16, 1.0)));
    std::vector<double> nan_in(100, 1.0);
    nan_in[7] = std::numeric_limits<double>::infinity();
    struct Row {
        std::vector<double> x;
        const char* message;
    };
    for (const Row& row : std::vector<Row>{
             {std::vector<double>(15, 1.0),
              "series of 15 samples is too short for this filter (more than 15 needed)"},
             {{}, "series of 0 samples is too short for this filter (more than 15 needed)"},
             {nan_in, "sample 7 is not a finite number"},
         }) {
        try {
            analysis::sosfiltfilt(sos, row.x);
            ADD_FAILURE() << row.message;
        } catch (const ArgumentError& e) {
            EXPECT_EQ(std::string(e.what()), row.message);
        }
    }
}

TEST(Sosfiltfilt, UnstableOrEmptyFiltersAreRefused) {
    const std::vector<double> x(100, 1.0);
    struct Row {
        analysis::Sos sos;
        const char* message;
    };
    for (const Row& row : std::vector<Row>{
             {{}, "filter has no sections"},
             {{{{1.0, 0.0, 0.0, 1.0, -1.0, 0.0}}}, "filter is not stable"},  // pole at z = 1
             {{{{1.0, 0.0, 0.0, 1.0, 0.0, 1.0}}}, "filter is not stable"},   // poles at z = +-i
             {{{{1.0, 0.0, 0.0, 0.0, 0.5, 0.0}}}, "filter is not stable"},   // a0 = 0
         }) {
        try {
            analysis::sosfiltfilt(row.sos, x);
            ADD_FAILURE() << row.message;
        } catch (const ArgumentError& e) {
            EXPECT_EQ(std::string(e.what()), row.message);
        }
    }
    EXPECT_TRUE(analysis::stable(analysis::butterworth(8, FilterKind::stop, 0.01, 49.99, 100.0)));
}

TEST(Butterworth, DescribedAsOnTheCommandLine) {
    EXPECT_EQ(analysis::describe({FilterKind::low, 4, 0.05, 0.0}), "low:0.05 order 4");
    EXPECT_EQ(analysis::describe({FilterKind::high, 2, 3.0, 0.0}), "high:3 order 2");
    EXPECT_EQ(analysis::describe({FilterKind::band, 8, 0.5, 1.5}), "band:0.5:1.5 order 8");
    EXPECT_EQ(analysis::describe({FilterKind::stop, 1, 40.0, 48.25}), "stop:40:48.25 order 1");
}

TEST(Sosfiltfilt, ConstantPassesLowPassUnchangedAndHighPassToZero) {
    const std::vector<double> x(200, 3.25);
    for (int order : {1, 4, 8}) {
        const auto low =
            analysis::sosfiltfilt(analysis::butterworth(order, FilterKind::low, 2.0, 0.0, 50.0), x);
        const auto high = analysis::sosfiltfilt(
            analysis::butterworth(order, FilterKind::high, 2.0, 0.0, 50.0), x);
        for (std::size_t i = 0; i < x.size(); ++i) {
            EXPECT_NEAR(low[i], 3.25, 1e-9) << order;
            EXPECT_NEAR(high[i], 0.0, 1e-9) << order;
        }
    }
}

}  // namespace
