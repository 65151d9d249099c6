// The fatigue command: rainflow cycles and damage-equivalent loads (DELs) of
// each selected series in the window, or its binned cycle table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/fatigue.h"
#include "batch/table.h"

namespace batch {

// The settings of the count, and the exponents as given (the column names).
struct FatigueOptions : analysis::FatigueSettings {
    std::vector<std::string> exponent_texts{"3", "4", "5", "8", "10", "12"};
};

// The option values as given (an empty text or list: not given). Throws
// UsageError for an exponent list with an empty item, a value that does not
// read in full, is not finite or not above 0 (or above 1000), or is given
// twice; for an N_eq or frequency that is not a finite number above 0; for
// both --neq and --feq; for residuals other than half or full; for bins
// other than 1 to 1000000 or without --cycles; and for DEL options with
// --cycles.
FatigueOptions parse_fatigue_options(std::span<const std::string> wohler, const std::string& neq,
                                     const std::string& feq, const std::string& residuals,
                                     bool cycles, const std::string& bins);

// The columns: file, dynres, label, t_first, t_last, n, cycles, neq and one
// del_m<m> per exponent, or the cycle table's file, dynres, label, range_lo,
// range_hi, mean, count.
std::vector<std::string> fatigue_columns(const FatigueOptions& o);

// The count of one series fed sample by sample: the damage sums for the
// DELs, or the cycles for the cycle table (both bounded by the number of
// reversals, not by the series).
class FatigueSeries {
  public:
    explicit FatigueSeries(const FatigueOptions& o);

    void push(float time, float x) { count_.push(time, x); }
    std::int64_t samples() const { return count_.samples(); }

    // Ends the series (after at least one sample) and appends its rows, each
    // beginning with the cells of `head` (file, dynres, label), and a note
    // for the warnings when samples are left out or a DEL has no value.
    // `what` names the series in the notes ("DynRes 7").
    void finish(const Row& head, const std::string& what, std::vector<Row>& rows,
                std::vector<std::string>& notes);

  private:
    const FatigueOptions* o_;
    analysis::FatigueCount count_;
};

// The rows of one series (x at the times t, n >= 1 samples) to `rows`, each
// beginning with the cells of `head` (file, dynres, label); a note for the
// warnings when samples are left out or a DEL has no value. `what` names the
// series in the notes ("DynRes 7").
void fatigue_rows(const FatigueOptions& o, const Row& head, std::span<const float> t,
                  std::span<const float> x, const std::string& what, std::vector<Row>& rows,
                  std::vector<std::string>& notes);

}  // namespace batch
