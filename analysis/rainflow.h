// Rainflow cycle counting (ASTM E1049-85, 5.4.4) and damage-equivalent loads.
//
// A series is fed sample by sample. The reversal filter passes on its turning
// points only; the counter keeps the turning points not yet closed into a
// cycle on a stack (its size is bounded by the number of reversals, in
// practice a few dozen) and hands every cycle to a sink as soon as it is
// known. Nothing else of the series is kept.
//
// Every range, mean and damage sum is formed in double precision.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace analysis {

// How the ranges left on the stack at the end of the series (the residue)
// are counted: as half cycles (ASTM E1049-85, IEC 61400-1) or as full cycles.
enum class Residuals { half, full };

// One counted range: its range |b - a|, its mean (a + b) / 2 and its count,
// 0.5 for a half cycle or 1 for a full cycle.
struct RainflowCycle {
    double range = 0.0;
    double mean = 0.0;
    double count = 0.0;
};

// Reduces a series to its turning points. The first sample is always one;
// a sample equal to its predecessor (a plateau) never starts a reversal, so
// a plateau at an extreme gives one turning point; the last sample is one
// when it differs from the turning point before it. A constant series gives
// its first sample only, a two-sample series its two samples (or one when
// they are equal). Samples that are not finite (NaN, infinity) are left out
// and counted in skipped().
class ReversalFilter {
  public:
    // Takes sample x; calls emit(double) for the turning point it confirms,
    // if any (the extreme before x, once x has moved away from it).
    template <class Emit>
    void push(double x, Emit&& emit) {
        if (!std::isfinite(x)) {
            ++skipped_;
            return;
        }
        if (!started_) {
            started_ = true;
            emit(x);
            last_ = x;
            return;
        }
        if (dir_ == 0) {
            if (x != last_) {
                dir_ = x > last_ ? 1 : -1;
                last_ = x;
            }
        } else if (dir_ > 0) {
            if (x >= last_) {
                last_ = x;
            } else {
                emit(last_);
                dir_ = -1;
                last_ = x;
            }
        } else {
            if (x <= last_) {
                last_ = x;
            } else {
                emit(last_);
                dir_ = 1;
                last_ = x;
            }
        }
    }

    // Ends the series: calls emit for the last extreme when it has not been
    // passed on yet. The filter is then ready for a new series.
    template <class Emit>
    void finish(Emit&& emit) {
        if (dir_ != 0) emit(last_);
        started_ = false;
        dir_ = 0;
    }

    // Non-finite samples left out since construction.
    std::int64_t skipped() const { return skipped_; }

  private:
    bool started_ = false;
    int dir_ = 0;        // +1 rising, -1 falling, 0 no movement since the first sample
    double last_ = 0.0;  // the first sample while dir_ is 0, else the running extreme
    std::int64_t skipped_ = 0;
};

// The three-point rainflow count with the starting-point rule, fed with
// samples (its own reversal filter reduces them to turning points):
//   - with at least three points on the stack, X is the range of the two
//     newest points and Y the range before it;
//   - while X >= Y: if Y holds the starting point (the oldest point on the
//     stack), Y is a half cycle and the starting point is dropped; otherwise
//     Y is a full cycle and its two points are dropped;
//   - at the end, each range between neighbours left on the stack is a half
//     cycle (Residuals::half) or a full cycle (Residuals::full).
// The sink is called as sink(const RainflowCycle&) for each cycle, in the
// order the cycles are counted.
class RainflowCounter {
  public:
    explicit RainflowCounter(Residuals residuals = Residuals::half) : residuals_(residuals) {}

    template <class Sink>
    void push(double x, Sink&& sink) {
        filter_.push(x, [&](double p) { add_point(p, sink); });
    }

    // Ends the series: the last turning point, then the residue. The counter
    // is then ready for a new series.
    template <class Sink>
    void finish(Sink&& sink) {
        filter_.finish([&](double p) { add_point(p, sink); });
        const double c = residuals_ == Residuals::full ? 1.0 : 0.5;
        for (std::size_t i = 1; i < stack_.size(); ++i) {
            sink(make_cycle(stack_[i - 1], stack_[i], c));
        }
        stack_.clear();
    }

    // Non-finite samples left out.
    std::int64_t skipped() const { return filter_.skipped(); }
    // The largest number of turning points the stack held at once.
    std::size_t stack_peak() const { return stack_peak_; }

  private:
    static RainflowCycle make_cycle(double a, double b, double count) {
        return {std::fabs(b - a), 0.5 * (a + b), count};
    }

    template <class Sink>
    void add_point(double p, Sink& sink) {
        stack_.push_back(p);
        if (stack_.size() > stack_peak_) stack_peak_ = stack_.size();
        while (stack_.size() >= 3) {
            const std::size_t n = stack_.size();
            const double x = std::fabs(stack_[n - 1] - stack_[n - 2]);
            const double y = std::fabs(stack_[n - 2] - stack_[n - 3]);
            if (x < y) break;
            if (n == 3) {
                // Y holds the starting point: a half cycle, and the starting
                // point moves to the second point of Y.
                sink(make_cycle(stack_[0], stack_[1], 0.5));
                stack_.erase(stack_.begin());
            } else {
                sink(make_cycle(stack_[n - 3], stack_[n - 2], 1.0));
                stack_[n - 3] = stack_[n - 1];
                stack_.resize(n - 2);
            }
        }
    }

    Residuals residuals_;
    ReversalFilter filter_;
    std::vector<double> stack_;
    std::size_t stack_peak_ = 0;
};

// Counts the whole series x and returns its cycles in counting order.
std::vector<RainflowCycle> rainflow(std::span<const float> x, Residuals residuals);
std::vector<RainflowCycle> rainflow(std::span<const double> x, Residuals residuals);

// Damage sums over counted cycles for a set of Woehler exponents m > 0 and
// the damage-equivalent load of each:
//   DEL_m = (sum of n_i * S_i^m / N_eq)^(1/m)
// with S_i the ranges and n_i the counts. The sums are held relative to a
// power of two at least as large as every range seen (so S^m neither
// overflows nor, for integer m, loses a digit to the scaling) and the
// integer exponents are raised by repeated multiplication.
class DamageSum {
  public:
    explicit DamageSum(std::span<const double> exponents);

    void add(const RainflowCycle& c);

    // Total count (half cycles as 0.5).
    double cycles() const { return cycles_; }
    // The largest range added (0 without cycles).
    double largest_range() const { return largest_; }

    // DEL for exponent number k (in the order given). No damage (no cycle
    // with a range above 0) gives 0 for any N_eq. With damage, an N_eq that
    // is not a finite positive number, or a result beyond the double range,
    // gives no value.
    std::optional<double> del(std::size_t k, double neq) const;

  private:
    struct Term {
        double m = 0.0;
        int im = 0;  // m when it is an integer from 1 to 64, else 0
        double sum = 0.0;
    };
    void rescale(int new_exp);

    std::vector<Term> terms_;
    double cycles_ = 0.0;
    double largest_ = 0.0;
    int exp_ = 0;  // the sums are relative to 2^exp_; no range above 0 seen yet while any_ is false
    bool any_ = false;
};

// The cycle table: `bins` ranges of equal width from 0 to `top`, bin k
// holding ranges from lo_k = top * k / bins (inclusive) to hi_k = top *
// (k + 1) / bins (exclusive; the last bin also holds `top`).
struct CycleBin {
    double lo = 0.0;
    double hi = 0.0;
    std::optional<double> mean;  // count-weighted mean of the cycles' means; none when empty
    double count = 0.0;          // total count, half cycles as 0.5
};

// Bins the cycles with `top` their largest range (so a series without
// cycles gives `bins` empty bins from 0 to 0). bins >= 1.
std::vector<CycleBin> bin_cycles(std::span<const RainflowCycle> cycles, std::size_t bins);

}  // namespace analysis
