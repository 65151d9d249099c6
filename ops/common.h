// Pieces shared by the operations: fixed units and names, the recall
// prologue that opens a dyn file and recalls its arrays, and the error blocks.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "dms/work_array.h"
#include "io/units.h"
#include "reader/gathering.h"
#include "store/store.h"

namespace ops {

class Engine;

inline constexpr std::int32_t kDynFile = 22;         // RAFLIB file number of the dyn file
inline constexpr std::int32_t kRafMessageUnit = 23;  // RAFLIB messages ("fort.23")
inline constexpr std::int32_t kKeyboard = 5;
inline constexpr std::int32_t kConsole = 6;
// The data manager's name list (reader/gathering.h).
using reader::gathering::kNameLength;
using reader::gathering::kNameList;
using reader::gathering::kNameListLength;

// Structure parameters that the recall prologue reads from MSTRU.
struct Parameters {
    std::int32_t loadst = 0;
    std::int32_t ndynres = 0;
    std::int32_t ncol = 0;
    std::int32_t ndrstep = 0;
};

// Recall prologue, first part: INIRAF (status "OLD", messages of INIRAF on
// the console, RAFLIB messages on unit 23), INIDMS, the three ARRECL calls
// with step 1, ARGTIP of MSTRU and ICDYNR, and GTSTRU of LOADST, nDynRes,
// nCol and nDRStep. Returns false when a step failed (it has reported; ierr
// is non-zero).
bool recall_prologue(store::Store& st, dms::WorkArray& w, const std::string& file,
                     std::int32_t iout, Parameters& p, std::int32_t& ierr);

// Recall prologue, second part: LSTSTO := LOADST, IXACT := 1, DynRes20, and
// nCol := ARSIZE("ICDYNR") / nDynRes when nCol is 0. Afterwards p.ndrstep
// holds the number of time steps found. Returns false when a step failed.
bool finish_prologue(store::Store& st, dms::WorkArray& w, std::int32_t iout, Parameters& p,
                     std::int32_t& ierr, Engine* engine = nullptr);

// The words of an allocated array of one-word elements (IN or SP): its
// pointer from ARGTIP and its length from the data manager. An empty span
// when ARGTIP fails (it has reported to iout; ierr is decremented) or when
// the array does not have one-word elements (reported as "*** ERROR IN
// ARGTIP ***"). The span is valid until the next release of an array below
// the named one.
std::span<std::int32_t> array_words(store::Store& st, dms::WorkArray& w, std::string_view name,
                                    std::int32_t iout, std::int32_t& ierr);

// Length in elements of a booking of `count` elements that file parameters
// size: a count outside the 32-bit range becomes the largest 32-bit value,
// so that ARBOOK refuses it with "Insufficient space for array ".
std::int32_t booking_length(std::int64_t count);

// An empty line and two blanks followed by `text` (for example
// "*** ERROR IN PEKTOR0    ***"). No flag.
void error_block(io::Units& units, std::int32_t unit, std::string_view text);

// The scratch arrays of operations 4 and 5, by their pointers now (they
// move when storage below them is released).
struct Scratch {
    std::int32_t aux1 = 0;
    std::int32_t aux2 = 0;
    std::int32_t ts = 0;
    std::int32_t times = 0;
};

// The middle of operations 4 and 5: the selected DynRes read in one pass
// when the engine runs, the console line " Reading Actual Time Series .... ",
// then AUX_1, AUX_2, TS and TIMES booked (SCRA, RE) with the given lengths in
// elements, in this order. False when a step failed (ARBOOK has reported;
// jerr is non-zero; a failed engine read leaves jerr as it was).
bool read_and_book(store::Store& st, dms::WorkArray& w, Engine* engine,
                   std::span<const std::int32_t> dynres, const std::array<std::int32_t, 4>& lengths,
                   Scratch& s, std::int32_t iout, std::int32_t& jerr);

// The scratch arrays' pointers now, by ARGTIP (they move when storage below
// them is released). False when a look-up failed (ARGTIP has reported; ierr
// is decremented).
bool refresh_scratch(store::Store& st, dms::WorkArray& w, Scratch& s, std::int32_t iout,
                     std::int32_t& ierr);

// Releases the scratch arrays of operations 4 and 5 (TSCRA, TS, AUX_2,
// AUX_1, in this order); jerr as ARFREE leaves it.
void free_scratch(store::Store& st, dms::WorkArray& w, std::int32_t iout, std::int32_t& jerr);

// The way out of an operation after a failed step: its error block on the
// output unit, and ierr = -1.
void fail_operation(io::Units& units, std::int32_t iout, std::string_view error_text,
                    std::int32_t& ierr);

// The illegal-number block: "*** Illegal Dynres Number  " with the number
// specified and the number of DynRes in the file. No flag.
void illegal_number_block(io::Units& units, std::int32_t unit, std::int32_t idr,
                          std::int32_t ndynres);

// The four blocks of an illegal DynRes number in their order: the error
// block to the output unit and to the console, then the illegal-number block
// to the output unit and to the console. No flag: the caller sets its own.
void report_illegal_number(io::Units& units, std::int32_t iout, std::string_view error_text,
                           std::int32_t idr, std::int32_t ndynres);

}  // namespace ops
