#include "batch/stats.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <iterator>
#include <limits>

namespace batch {

void append_stats(Row& row, const SeriesStats& s, std::span<const float> t, bool stored) {
    append_stats(row, s, StatsTimes{t.front(), t.back(), t[s.i_max], t[s.i_min]}, stored);
}

void append_stats(Row& row, const SeriesStats& s, const StatsTimes& t, bool stored) {
    const auto value = [&](double v) -> Cell {
        if (stored) return static_cast<float>(v);
        return v;
    };
    const auto opt = [](const std::optional<double>& v) -> Cell {
        if (v) return *v;
        return std::monostate{};
    };
    row.emplace_back(t.first);
    row.emplace_back(t.last);
    row.emplace_back(s.n);
    if (s.n == 0) {
        // No finite sample: nothing to tell.
        row.resize(row.size() + std::size(kStatsColumns) - 3);
        return;
    }
    row.push_back(value(s.max));
    row.emplace_back(t.max);
    row.push_back(value(s.min));
    row.emplace_back(t.min);
    row.emplace_back(s.mean);
    row.push_back(opt(s.std));
    row.push_back(opt(s.skew));
    row.push_back(opt(s.kurt));
    row.push_back(opt(s.tz));
}

namespace {

// The values of the selected DynRes in a sample of a block: straight from
// the sample when they lie side by side, else gathered into `scratch`.
class Columns {
  public:
    explicit Columns(std::size_t m) : scratch_(m) {}

    // Before the samples of a block.
    void start(const SampleBlock& b) {
        const auto gap = [](std::size_t u, std::size_t w) { return w != u + 1; };
        side_by_side_ = !b.columns.empty() && std::adjacent_find(b.columns.begin(), b.columns.end(),
                                                                 gap) == b.columns.end();
    }

    const float* of(const SampleBlock& b, std::size_t i) {
        const float* row = b.sample(i);
        if (side_by_side_) return row + b.columns.front();
        for (std::size_t j = 0; j < scratch_.size(); ++j) scratch_[j] = row[b.columns[j]];
        return scratch_.data();
    }

  private:
    std::vector<float> scratch_;
    bool side_by_side_ = false;
};

}  // namespace

bool stream_stats(SeriesSource& src, const Window& window, std::span<const std::int32_t> dynres,
                  Moments moments, std::vector<SeriesStats>& stats, std::vector<StatsTimes>& times,
                  std::string& error, std::size_t keep_bytes) {
    const std::size_t m = dynres.size();
    const std::int64_t guess = src.count_hint(window).value_or(src.contents().steps);
    analysis::StreamingStats acc(m, guess, moments);
    Columns columns(m);
    // The selected samples of the window, m values each, when they fit.
    const std::size_t keep_floats = keep_bytes / sizeof(float);
    bool keep = m > 0 && guess > 0 && static_cast<std::size_t>(guess) <= keep_floats / m;
    std::vector<float> kept;
    if (keep) kept.reserve(static_cast<std::size_t>(guess) * m);

    // Pass 1: the number of samples, the extremes with their first sample
    // and the mean's sum with n as expected.
    const bool read = src.stream_blocks(
        window, dynres,
        [&](const SampleBlock& block) {
            if (keep && kept.size() + block.count * m > keep_floats) {
                keep = false;  // more samples than expected: read again
                kept = {};
            }
            columns.start(block);
            for (std::size_t i = 0; i < block.count; ++i) {
                const float* const v = columns.of(block, i);
                acc.first(v, block.time(i));
                if (keep) kept.insert(kept.end(), v, v + m);
            }
        },
        error);
    if (!read) return false;
    // Runs `each(values)` over the samples of the window again: the kept
    // ones, or a new read.
    const auto again = [&](const auto& each) {
        if (keep) {
            for (std::size_t at = 0; at < kept.size(); at += m) each(kept.data() + at);
            return true;
        }
        return src.stream_blocks(
            window, dynres,
            [&](const SampleBlock& block) {
                columns.start(block);
                for (std::size_t i = 0; i < block.count; ++i) each(columns.of(block, i));
            },
            error);
    };
    // The mean made again, each series with its own number of samples, when
    // one of them has another number than expected.
    if (acc.end_first() && !again([&](const float* v) { acc.mean_again(v); })) return false;
    // Pass 2: the central moments about that mean and its up-crossings.
    if (acc.begin_second() && !again([&](const float* v) { acc.second(v); })) return false;
    acc.finish(stats, times);
    return true;
}

}  // namespace batch
