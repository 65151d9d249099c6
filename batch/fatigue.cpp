#include "batch/fatigue.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <string_view>

#include "batch/options.h"

namespace batch {

namespace {

constexpr double kLargestExponent = 1000.0;
constexpr std::size_t kMostBins = 1000000;

// A finite number above 0 that reads in full, or nullopt.
std::optional<double> positive_number(std::string_view text) {
    double v = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (!std::isfinite(v) || !(v > 0.0)) return std::nullopt;
    return v;
}

void parse_exponents(std::span<const std::string> values, FatigueOptions& o) {
    o.exponents.clear();
    o.exponent_texts.clear();
    for_each_item(values, "exponent", [&](const std::string& item) {
        const auto m = positive_number(item);
        if (!m || *m > kLargestExponent) {
            throw UsageError("Woehler exponent '" + item +
                             "' is not a number above 0 and at most 1000");
        }
        for (std::size_t k = 0; k < o.exponents.size(); ++k) {
            if (o.exponents[k] == *m) {
                throw UsageError("Woehler exponent '" + item + "' is given twice (as '" +
                                 o.exponent_texts[k] + "')");
            }
        }
        o.exponents.push_back(*m);
        o.exponent_texts.push_back(item);
    });
}

}  // namespace

FatigueOptions parse_fatigue_options(std::span<const std::string> wohler, const std::string& neq,
                                     const std::string& feq, const std::string& residuals,
                                     bool cycles, const std::string& bins) {
    FatigueOptions o;
    if (!wohler.empty()) parse_exponents(wohler, o);
    if (!neq.empty()) {
        o.neq = positive_number(trim(neq));
        if (!o.neq) throw UsageError("--neq '" + neq + "' is not a number above 0");
    }
    if (!feq.empty()) {
        if (o.neq) throw UsageError("--neq and --feq exclude each other");
        const auto f = positive_number(trim(feq));
        if (!f) throw UsageError("--feq '" + feq + "' is not a frequency above 0");
        o.feq = *f;
    }
    const std::string r = residuals.empty() ? std::string("half") : trim(residuals);
    if (r == "half") {
        o.residuals = analysis::Residuals::half;
    } else if (r == "full") {
        o.residuals = analysis::Residuals::full;
    } else {
        throw UsageError("--residuals '" + residuals + "' is not half or full");
    }
    o.cycles = cycles;
    if (!bins.empty()) {
        if (!cycles) throw UsageError("--bins gives the cycle table: use it with --cycles");
        const std::string b = trim(bins);
        std::size_t v = 0;
        const auto [end, ec] = std::from_chars(b.data(), b.data() + b.size(), v);
        if (ec != std::errc() || end != b.data() + b.size() || v < 1 || v > kMostBins)
            throw UsageError("--bins '" + bins + "' is not a whole number from 1 to 1000000");
        o.bins = v;
    }
    if (cycles && (!wohler.empty() || !neq.empty() || !feq.empty())) {
        throw UsageError(
            "-m, --neq and --feq set up the DELs; the cycle table (--cycles) has none");
    }
    return o;
}

std::vector<std::string> fatigue_columns(const FatigueOptions& o) {
    std::vector<std::string> c{"file", "dynres", "label"};
    if (o.cycles) {
        c.insert(c.end(), {"range_lo", "range_hi", "mean", "count"});
        return c;
    }
    c.insert(c.end(), {"t_first", "t_last", "n", "cycles", "neq"});
    for (const std::string& m : o.exponent_texts) c.push_back("del_m" + m);
    return c;
}

FatigueSeries::FatigueSeries(const FatigueOptions& o) : o_(&o), count_(o) {}

void FatigueSeries::finish(const Row& head, const std::string& what, std::vector<Row>& rows,
                           std::vector<std::string>& notes) {
    const analysis::FatigueResult f = count_.finish();
    const std::int64_t skipped = f.samples - f.used;
    const std::string left_out = what + ": " + std::to_string(skipped) +
                                 " samples that are not finite numbers left out of the count";
    if (o_->cycles) {
        for (const analysis::CycleBin& b : f.bins) {
            Row row = head;
            row.emplace_back(b.lo);
            row.emplace_back(b.hi);
            if (b.mean) {
                row.emplace_back(*b.mean);
            } else {
                row.emplace_back(std::monostate{});
            }
            row.emplace_back(b.count);
            rows.push_back(std::move(row));
        }
    } else {
        Row row = head;
        row.emplace_back(f.t_first);
        row.emplace_back(f.t_last);
        // n counts the samples used; without any there is nothing to tell.
        row.emplace_back(f.used);
        if (f.used == 0) {
            row.resize(row.size() + 2 + o_->exponents.size());
            rows.push_back(std::move(row));
            notes.push_back(left_out);
            return;
        }
        row.emplace_back(f.cycles);
        row.emplace_back(f.neq);
        bool missing = false;
        for (const std::optional<double>& d : f.dels) {
            if (d) {
                row.emplace_back(*d);
            } else {
                row.emplace_back(std::monostate{});
                missing = true;
            }
        }
        rows.push_back(std::move(row));
        if (missing) {
            notes.push_back(o_->neq || !(f.neq <= 0.0)
                                ? what +
                                      ": a DEL is beyond the range of double precision; left empty"
                                : what + ": the window lasts " + fmt::format("{}", f.duration()) +
                                      " s, so N_eq is not above 0; DELs left empty (give --neq)");
        }
    }
    if (skipped > 0) notes.push_back(left_out);
}

void fatigue_rows(const FatigueOptions& o, const Row& head, std::span<const float> t,
                  std::span<const float> x, const std::string& what, std::vector<Row>& rows,
                  std::vector<std::string>& notes) {
    FatigueSeries s(o);
    for (std::size_t i = 0; i < x.size() && i < t.size(); ++i) s.push(t[i], x[i]);
    if (s.samples() > 0) s.finish(head, what, rows, notes);
}

}  // namespace batch
