// The work-array data manager (DMS): named, numbered arrays carved out of the
// work array.
//
// The control block MCM lies in the first words of the work array; with
// N = |NLA| array numbers and K = 2N its words are (1-based):
//
//   MCM(1) = K        MCM(2) = book-keeping words (3N, 5N with a name table)
//   MCM(3) = error counter (0 after open, -1 per error, never reset)
//   MCM(4) = message unit (no message while < 1)
//   MCM(5) = no-clear flag (1)     MCM(6..8) = N     MCM(9..10) = 0
//   T1(a) = W(a)        dimension of array a (a = 11..N)
//   T2(a) = W(N+a)      words per element 1..10, 0 = number not defined
//   T3(a) = W(2N+a)     first word of its storage, 0 = no storage
//   MCM(K+1) = top (first free word)   MCM(K+2) = NWIWA
//   MCM(K+3) = high-water mark         MCM(K+5) = name-table address (0 = none)
//   MCM(K+6..K+8) = 1, N+1, 2N+1 (first words of T1, T2, T3)
//
// The name table NT (2N words, created by DMSANN directly behind the tables)
// holds NT(1) = numbering mode (0), NT(2) = case-fold flag, NT(3) = highest
// number defined so far (10 when empty) and the two name words of array a in
// NT(2a-1), NT(2a).
//
// Storage is handed out upward from the top; an array of E-word elements
// starts at a word A with E dividing A-1 and its pointer is (A-1)/E+1, the
// element index in the view of the work array with E-word elements. A
// release compacts the arrays above it, so pointers are fetched again after
// every release. The DMS never clears storage.
//
// Every routine checks the control block before it uses it: a damaged MCM is
// reported as "The DMS "book-keeping-system" (MCM) is corrupt" and is never
// followed outside the work array.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dms/work_array.h"
#include "io/units.h"

namespace dms {

// Lays the MCM over words 1..3N+1 of w (N = |nla| > 10, 3N+1 <= nwiwa <=
// w.size()); words above are not touched. isec (secondary tables) is not
// used. Bad parameters: message to lpu (when > 0), MCM(3) and ierr - 1.
void DMSOPN_32(WorkArray& w, io::Units& u, std::int32_t nwiwa, std::int32_t nla, std::int32_t isec,
               std::int32_t lpu, std::int32_t& ierr);

// Creates the name table at the top of storage, before anything is allocated.
// mode (numbering) is always explicit; fold is kept in NT(2).
void DMSANN(WorkArray& mcm, io::Units& u, std::int32_t mode, std::int32_t fold, std::int32_t label);

// Defines (or redefines) array number a under name with dim elements of nwpe
// words each. The name is used over its full length.
void DMSDCL(WorkArray& mcm, io::Units& u, std::string_view name, std::int32_t a, std::int32_t dim,
            std::int32_t nwpe, std::int32_t label);

// Pointer of the named array; storage is allocated at the top on the first
// request. 0 on error.
std::int32_t DMSPTR(WorkArray& mcm, io::Units& u, std::string_view name, std::int32_t label);

// sel 1: dimension, 2: words per element, 3: first word (0 = no storage);
// -1 when the name is illegal, empty or not defined. Writes nothing, counts
// nothing.
std::int32_t DMSINQ(const WorkArray& mcm, std::string_view name, std::int32_t sel);

// Array number of the name; 0 (no message) when it is not defined.
std::int32_t DMSNUM(WorkArray& mcm, io::Units& u, std::string_view name, std::int32_t label);

// Name of array number a: 8 characters, blank-filled behind its count
// characters (all blank and 0 for a number without a name or after an error).
void DMSNAM(WorkArray& mcm, io::Units& u, std::int32_t a, std::int32_t label, std::string& name,
            std::int32_t& count);

// Releases the named array's storage (name, dimension and element size stay)
// and compacts the storage above it.
void DMSFRE(WorkArray& mcm, io::Units& u, std::string_view name, std::int32_t label);

// The error counter MCM(3) (0 = no error so far).
std::int32_t DMSERR(const WorkArray& mcm);

// 2: name table with explicit numbering; 3: no name table yet; 0 after the
// message "(MCM) is corrupt".
std::int32_t DMSMOD(WorkArray& mcm, io::Units& u);

// sel 1: N; 3: no-clear flag MCM(5); 4: top; 5: NWIWA (free words are
// NWIWA - top + 1). 0 for other selectors or a damaged MCM.
std::int32_t DMSCTL(const WorkArray& mcm, std::int32_t sel);

}  // namespace dms
