// Runs of result records that lie at one distance from each other, read
// together with one large read.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "raflib/layout.h"

namespace reader {

// Adds the record at `address` to the last run when it continues it: a run
// of one record takes any distance from 1 to 4 * span records, a longer run
// only its own distance. False when a new run must be started.
template <typename Run>
bool extend_last_run(std::vector<Run>& runs, std::int64_t address, std::int64_t span) {
    if (runs.empty()) return false;
    Run& r = runs.back();
    const std::int64_t dist = address - (r.address + (r.count - 1) * r.distance);
    if (r.count == 1 && dist >= 1 && dist <= 4 * span) {
        r.distance = dist;
        ++r.count;
        return true;
    }
    if (r.count > 1 && dist == r.distance) {
        ++r.count;
        return true;
    }
    return false;
}

// One read of a run: `count` records from record number `record`, `stride`
// words from one to the next, `words` words in all (up to the end of the
// last record's data).
struct RunRead {
    std::int64_t record = 0;
    std::int64_t count = 0;
    std::size_t stride = 0;
    std::size_t words = 0;
};

// Cuts the runs into reads that fit a buffer of buffer_words words (at least
// one data area of span_words); a record's data is data_words long.
template <typename Run>
std::vector<RunRead> cut_runs(const std::vector<Run>& runs, std::size_t buffer_words,
                              std::size_t span_words, std::int64_t data_words) {
    std::vector<RunRead> reads;
    for (const Run& run : runs) {
        const auto stride = static_cast<std::size_t>(run.distance * raflib::kRecordWords);
        const auto per_read = static_cast<std::int64_t>((buffer_words - span_words) / stride + 1);
        for (std::int64_t i0 = 0; i0 < run.count; i0 += per_read) {
            const std::int64_t n = std::min(per_read, run.count - i0);
            reads.push_back(
                {run.address + i0 * run.distance, n, stride,
                 static_cast<std::size_t>(n - 1) * stride + static_cast<std::size_t>(data_words)});
        }
    }
    return reads;
}

// True when the reads are large enough, on average, to be worth a helper
// thread (64 KiB).
inline bool worth_two_cores(const std::vector<RunRead>& reads) {
    std::size_t total = 0;
    for (const RunRead& r : reads) total += r.words;
    return !reads.empty() && total / reads.size() >= std::size_t{16} * 1024;
}

}  // namespace reader
