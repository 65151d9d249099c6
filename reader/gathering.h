// What a dyn file holds for the gathering of its DynRes series: the
// parameters in MSTRU and the rules that decide whether the step records can
// be gathered at all, in one place for every reader of the series.
//
// Two readers use these rules: DynRes20 (and the engine behind it) for the
// dialogue, through the store, and reader::SeriesReader for the batch commands,
// straight from the file. Both take the parameters with the same look-ups in
// the same order (after the same LSTSTO and IXACT stores) and ask the same
// checks, so that for every file either both refuse it or both gather the
// same steps. The dialogue prints a refusal as the detail lines under its
// error block (report); the series reader turns it into one line (reason).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "io/units.h"

namespace reader::gathering {

inline constexpr std::int32_t kNameListLength = 30;
inline constexpr std::int32_t kNameLength = 8;

// The data manager's name list: entry n names array number n.
inline constexpr std::array<std::string_view, kNameListLength> kNameList{
    "",      "",       "",      "",       "",       "",      "",       "",      "",   "",
    "MSTRU", "MPDYNR", "MDYNR", "DYNRES", "ICDYNR", "MSCRA", "ALL_TS", "TSCRA", "WR", "FMX",
    "SMX",   "CON",    "WC",    "TSCRA2", "TS",     "AUX_1", "AUX_2",  "TIMES", "",   ""};

// The operations' stores before gathering: LSTSTO := LOADST, IXACT := 1
// (PTSTRU, messages to iout, ierr as PTSTRU leaves it).
void store_switches(io::Units& units, std::span<std::int32_t> mstru, std::int32_t loadst,
                    std::int32_t iout, std::int32_t& ierr);

// The parameters of the gathering as MSTRU holds them after store_switches.
// LSTSTO is read back, not taken from LOADST: a damaged parameter table may
// put the stored value elsewhere, and the gathering reads what it finds.
struct Parameters {
    std::int32_t lststo = 0;   // DYNRES records to read
    std::int32_t ndynres = 0;  // DynRes per time step
    std::int32_t ndrpack = 0;  // time steps per record, 0: one
    std::int32_t ndrstep = 0;  // with packing: time-step slots the file provides
};

// GTSTRU of "LSTSTO  ", "nDynres ", "nDRpack ", "nDRStep ", in this order
// (messages to iout; ierr decremented per failed look-up).
Parameters read_parameters(io::Units& units, std::span<std::int32_t> mstru, std::int32_t iout,
                           std::int32_t& ierr);

// The shape of the gathering once the parameters passed check_parameters.
struct Layout {
    std::int64_t records = 0;   // LSTSTO
    std::int64_t ndynres = 0;   // nDynRes
    std::int64_t slots = 1;     // P: time steps per record
    std::int64_t capacity = 0;  // Q: most time steps taken (nDRStep with packing, else LSTSTO)
    std::int64_t slot_words() const { return ndynres + 1; }
    std::int64_t used_words() const { return slots * slot_words(); }
};

enum class Fault {
    None,
    NoDynRes,         // nDynRes below 1
    NegativeSteps,    // LSTSTO below 0
    NegativePack,     // nDRpack below 0
    NegativeSlots,    // with packing, nDRStep below 0
    StepsBeyondFile,  // the file cannot hold LSTSTO step records
    ShortRecord,      // a DYNRES record shorter than P slots
    SharedRecord,     // two steps read the same record (keys not advancing)
};

// A check's outcome; the numbers are those the messages show.
struct Verdict {
    Fault fault = Fault::None;
    std::int64_t a = 0, b = 0, c = 0;

    bool ok() const { return fault == Fault::None; }
    // A file too short for what its parameters claim: cut, or a count beyond it.
    bool truncation() const { return fault == Fault::StepsBeyondFile; }
    // The detail lines of the dialogue (below "*** ERROR IN DynRes20   ***").
    void report(io::Units& units, std::int32_t unit) const;
    // One line for the batch commands, for example "damaged: the result steps
    // do not advance through the DYNRES records (step 1 reads key 111, step 2
    // key 111)".
    std::string reason() const;
};

// The parameters: nDynRes >= 1, LSTSTO, nDRpack and (with packing) nDRStep
// not negative. Fills layout when they pass.
Verdict check_parameters(const Parameters& p, Layout& layout);

// Every result step has a DYNRES record of its own of at least P slots: a
// file of file_bytes bytes too small for LSTSTO of them is damaged (refused
// before anything is read step by step; this also bounds every per-step
// table by the file's size).
Verdict check_file_size(const Layout& layout, std::int64_t file_bytes);

// The DYNRES record read for `step` holds `words` words: at least P slots.
Verdict check_record(const Layout& layout, std::int64_t step, std::int64_t words);

// Keys of the DYNRES records of steps 1 and 2: each step must read a record
// of its own (the keys advance with the step), else one record read over and
// over would pass for a series. Only asked with more than one step.
Verdict check_keys(const Layout& layout, std::int64_t key1, std::int64_t key2);

}  // namespace reader::gathering
