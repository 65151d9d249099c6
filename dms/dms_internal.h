// Internal routines of the DMS: by-number book-keeping, name packing, table
// access and the two message routines. Clients normally use dms/dms.h.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "dms/dms.h"
#include "dms/names.h"
#include "dms/work_array.h"
#include "io/units.h"

namespace dms {

// Sets T1(a) = dim and T2(a) = nwpe; refused (message 12, 26 or 30) for nwpe
// outside 1..10, dim < 0, or an array that has storage.
void DMSDIM(WorkArray& mcm, io::Units& u, std::int32_t a, std::int32_t dim, std::int32_t nwpe,
            std::int32_t label, std::int32_t& ierr);

// Allocates the storage of array a at the top; ptr = its pointer (0 on error).
void DMSALC(WorkArray& mcm, io::Units& u, std::int32_t a, std::int32_t& ptr, std::int32_t label,
            std::int32_t& ierr);

// Releases the storage of array a (dimension and element size are kept).
void DMSRLS(WorkArray& mcm, io::Units& u, std::int32_t a, std::int32_t label, std::int32_t& ierr);

// Shrinks array a to newdim elements (the system uses 0) and compacts the
// arrays above it in ascending word order; T1(a) becomes newdim.
void DMSSHR(WorkArray& mcm, io::Units& u, std::int32_t a, std::int32_t newdim, std::int32_t label,
            std::int32_t& ierr);

// Packs name (its full length) into two words; false after message 11 (too
// long) or 12 (illegal character). An empty name packs to 0, 0.
bool DMSPAK(WorkArray& mcm, io::Units& u, std::string_view name, std::int32_t label,
            NameWords& words);

// Unpacks two name words: name = 8 characters, blank-filled; count = number of
// characters. false after message 13 (illegal character number).
bool DMSUNP(WorkArray& mcm, io::Units& u, NameWords words, std::int32_t label, std::string& name,
            std::int32_t& count);

// Number 11..NT(3) whose name words match, 0 when none (also for the empty
// name 0, 0, for a missing name table and for a damaged MCM).
std::int32_t DMSFND(const WorkArray& mcm, NameWords words);

// Element i of pseudo-array j: W(MCM(K+j) + i - 1). j = 6, 7, 8 are T1, T2,
// T3 (i = 1..N); j = 5 is the name table (i = 1..2N). Outside these, or with a
// damaged MCM, DMSGET gives 0 and DMSPUT does nothing.
std::int32_t DMSGET(const WorkArray& mcm, std::int32_t j, std::int32_t i);
void DMSPUT(WorkArray& mcm, std::int32_t j, std::int32_t i, std::int32_t value);

// Message routines, writing to unit MCM(4).
// DMSMS1: codes below 50 count an error in MCM(3); code 51 ("Occured for
// array") follows another message, without header and without counting.
void DMSMS1(WorkArray& mcm, io::Units& u, std::int32_t code, std::string_view name,
            std::int64_t value, std::int32_t label);
// DMSMS2: counts nothing; the label line only when label != 0.
void DMSMS2(WorkArray& mcm, io::Units& u, std::int32_t code, std::int64_t v1, std::int64_t v2,
            std::int64_t v3, std::int32_t label);

namespace detail {

// MCM(3) - 1 (it stays at the most negative value instead of wrapping).
inline void count_error(WorkArray& mcm) {
    if (mcm.size() < 3) return;
    const std::int32_t v = mcm.i(3);
    if (v > std::numeric_limits<std::int32_t>::min()) mcm.set_i(3, v - 1);
}

// ierr - 1, without wrapping.
inline void decrement(std::int32_t& ierr) {
    if (ierr > std::numeric_limits<std::int32_t>::min()) --ierr;
}

}  // namespace detail

}  // namespace dms
