// Runs of result records that lie at one distance from each other, read
// together with one large read.
#pragma once

#include <cstdint>
#include <vector>

namespace ops {

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

}  // namespace ops
