// The fast path of the classic extraction: the gathering of DynRes20 without
// one store call per step, ALL_TS filled only where an operation reads it,
// and the statistics of many DynRes in streaming passes.
//
// The per-step loop of DynRes20 stays the reference and the fallback. The
// engine takes over only when it has checked, for every step, everything the
// per-step loop would check (the DYNRES booking and catalogue row, each
// step's record key, its MFP entry: allocated, type, counts, inside the
// file; the lock and the byte order). Whenever anything is unusual it hands
// back before anything was printed, and the per-step loop runs and prints
// exactly its messages. After taking over it reads the last steps through
// ARREC1, so that the file library's page cache, array context and access
// state are left as the per-step loop leaves them.
//
// ALL_TS is booked as before (so "Insufficient space" comes at the same
// point) but not filled: DynRes21 asks the engine for the time column and
// the column it cuts out (fill), operations 4 and 5 ask for all their
// columns at once, and operation 3 for several DynRes computes the
// statistics straight from the records (statistics), never touching ALL_TS.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "dms/work_array.h"
#include "reader/gathering.h"
#include "store/store.h"

namespace ops {

namespace gathering = reader::gathering;

// The six statistics of one series, in the order of the statistics block.
struct Statistics {
    double vmax = 0, vmin = 0, mean = 0, sdev = 0, skew = 0, kurt = 0;
};

class Engine {
  public:
    // A disabled engine never takes over (the per-step path everywhere).
    explicit Engine(bool enabled = true) : enabled_(enabled) {}

    bool enabled() const { return enabled_; }

    // The parameters DynRes20 has read and checked (reader/gathering.h); the
    // capacity is the column spacing of ALL_TS.
    using Layout = gathering::Layout;

    enum class Gathered {
        Fast,     // the engine took over; steps found in m
        PerStep,  // run the per-step loop (nothing was printed)
        Failed,   // a store call of the engine failed and reported (as the loop would have)
    };

    // Called by DynRes20 after booking ALL_TS.
    Gathered gather(store::Store& st, dms::WorkArray& w, const Layout& layout, std::int32_t ifile,
                    std::int32_t iout, std::int64_t& m);

    // True while ALL_TS of the current operation call is booked but filled
    // only column by column.
    bool active() const { return active_; }

    // Fills the time column and the columns of the given DynRes (1-based)
    // that are not filled yet, in one pass. False when the file cannot be
    // read any more (then the caller reports its error block).
    bool fill(dms::WorkArray& w, io::Units& units, std::span<const std::int32_t> dynres);

    using Stats = Statistics;

    // While set, DynRes21 and the window selection only book their arrays:
    // the caller has the results from statistics().
    void set_bookings_only(bool on) { bookings_only_ = on && active_; }
    bool bookings_only() const { return bookings_only_; }

    // The statistics of DynRes from .. to over the window (the window rule
    // of Pektor3_1), each bit as the kernels give them on the windowed
    // series: n samples, the last time found (unchanged when n = 0).
    bool statistics(io::Units& units, std::int32_t from, std::int32_t to, double first, double last,
                    std::int32_t& n, double& tlast, std::vector<Stats>& stats);

  private:
    struct Run {
        std::int64_t count = 0;     // records
        std::int64_t address = 0;   // record number of the first one
        std::int64_t distance = 0;  // records from one to the next
    };

    // Calls visit(row) for every step in order (capacity and empty slots as
    // the gathering takes them); row[0] is the time, row[k] DynRes k. visit
    // returns false to stop. False on a read failure.
    template <class Visit>
    bool each_step(io::Units& units, Visit&& visit);

    bool enabled_;
    bool active_ = false;
    bool bookings_only_ = false;
    Layout layout_;
    std::int32_t unit_ = 0;
    bool swap_ = false;
    std::int64_t record_words_ = 0;
    std::int64_t record_span_ = 1;
    std::int64_t found_ = 0;
    std::vector<Run> runs_;
    std::vector<bool> filled_;  // column 0: the times
};

}  // namespace ops
