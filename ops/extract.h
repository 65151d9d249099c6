// Extraction of the DynRes time series out of the per-step result records,
// and the DynRes labels.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "dms/work_array.h"
#include "io/units.h"
#include "store/store.h"

namespace ops {

class Engine;

// Gathers every DynRes of all result steps into ALL_TS and stores the number
// of time steps found in nDRStep. ALL_TS holds Q * (nDynRes + 1) words, Q =
// nDRStep with packing and LSTSTO without; column k (0: the times) starts at
// word k*Q + 1. A file without DynRes, with a negative LSTSTO, nDRpack or
// (with packing) nDRStep, with fewer records than LSTSTO steps need, with
// DYNRES records shorter than nDRpack * (nDynRes + 1) words or with steps
// that do not each read a record of their own is refused (the rules of
// reader/gathering.h, which the series reader shares); a capacity beyond the
// work array fails in the booking ("Insufficient space for array ALL_TS").
// ierr = -1 on failure, untouched on success.
// With an engine (see ops/engine.h) the gathering may be left to it: ALL_TS
// is then booked but filled only column by column, on demand.
void DynRes20(store::Store& st, dms::WorkArray& w, std::int32_t ifile, std::int32_t iout,
              std::int32_t& ierr, Engine* engine = nullptr);

// Cuts DynRes k out of ALL_TS into TSCRA as nDRStep (time, value) pairs; the
// columns of ALL_TS are its length / (nDynRes + 1) words apart. With IXACT 1
// TSCRA is re-booked through TSCRA2. A k outside 1 .. nDynRes is refused.
// ierr = -1 on failure, untouched on success.
void DynRes21(store::Store& st, dms::WorkArray& w, std::int32_t k, std::int32_t mode,
              std::int32_t a1, std::int32_t a2, std::int32_t a3, std::int32_t a4, std::int32_t iout,
              std::int32_t& ierr, Engine* engine = nullptr);

// Character codes to text: the text becomes `length` blanks, then words
// 1 .. min(nwords, length) become characters until a word 0. nwords <= 0 is
// reported to iout and decrements ierr (the only error).
void INT2CH(io::Units& units, std::string& text, std::span<const std::int32_t> words,
            std::int32_t nwords, std::int32_t iout, std::int32_t& ierr, std::int32_t length);

// The label of DynRes k as text (label: 256 characters, in and out): blank
// runs collapsed, trailing blanks not copied. Nothing happens for a message
// unit below 6. A width above 256 words or a label outside ICDYNR is refused:
// ierr is decremented after "*** ERROR IN XWRI04_C ***".
void XWRI04_C(io::Units& units, std::span<const std::int32_t> icdynr, std::int32_t ncol,
              std::int32_t k, std::string& label, std::int32_t iout, std::int32_t& ierr);

// Writes the table of all DynRes labels to the unit (ICDYNR is changed in
// place: blank runs collapsed). Refuses the same labels as XWRI04_C
// (ierr decremented after "*** ERROR IN XWRI04_B ***").
void XWRI04_B(io::Units& units, std::span<std::int32_t> icdynr, std::int32_t ncol,
              std::int32_t ndynres, std::int32_t unit, std::int32_t& ierr);

}  // namespace ops
