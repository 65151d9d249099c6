// The fatigue count of one series: rainflow cycles (analysis/rainflow.h)
// summed into damage-equivalent loads, or binned into a cycle table, fed one
// sample at a time (bounded by the number of reversals, not by the series).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/rainflow.h"

namespace analysis {

struct FatigueSettings {
    std::vector<double> exponents{3, 4, 5, 8, 10, 12};  // Woehler exponents m
    std::optional<double> neq;  // N_eq given; else the series' duration times feq
    double feq = 1.0;           // Hz
    Residuals residuals = Residuals::half;
    bool cycles = false;  // the cycle table instead of the DELs
    std::size_t bins = 10;
};

// What a count gives: the first and last time, the samples (used: the
// finite ones), the total count (half cycles as 0.5), N_eq, and
// DEL_m = (Σ n_i S_i^m / N_eq)^(1/m) per exponent (empty where it has no
// value: N_eq not above 0 with cycles, or beyond double precision), or the
// cycle table's bins.
struct FatigueResult {
    float t_first = 0.0f;
    float t_last = 0.0f;
    std::int64_t samples = 0;
    std::int64_t used = 0;
    double cycles = 0.0;
    double neq = 0.0;
    std::vector<std::optional<double>> dels;
    std::vector<CycleBin> bins;
    // The duration t_last - t_first in double precision.
    double duration() const { return static_cast<double>(t_last) - static_cast<double>(t_first); }
};

class FatigueCount {
  public:
    explicit FatigueCount(const FatigueSettings& s);

    void push(float time, float x);
    std::int64_t samples() const { return n_; }
    // Ends the series (after at least one sample).
    FatigueResult finish();

  private:
    const FatigueSettings* s_;
    RainflowCounter counter_;
    DamageSum damage_;
    std::vector<RainflowCycle> cycles_;
    float t_first_ = 0.0f;
    float t_last_ = 0.0f;
    std::int64_t n_ = 0;
};

}  // namespace analysis
