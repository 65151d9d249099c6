// The named-array store: moves arrays between a dyn file and the work array
// by name, using the catalogue (NUMRAF, KEYRAF, IARRNM) that the file holds.
//
// Every routine takes the store state, the work array (the DMS control block
// lives at its start), an error flag and a message unit for its error text.
//
// The flag: each error DECREMENTS it by one and writes a message block to
// the message unit; success leaves it alone. The flag accumulates across
// calls, so test it against its value before the call (or pass a fresh 0).
// Set-up routines (INIRAF, INIDMS, ARINI1, ARINIT, GTARAF) set it to -1
// instead. See docs/conventions.md.
//
// Pointers are element indices of the array's own view of the work array;
// for arrays of one-word elements they equal word indices (1-based).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "dms/work_array.h"
#include "io/units.h"
#include "raflib/raflib.h"
#include "store/format.h"

namespace store {

using dms::WorkArray;

// State that the store keeps between calls.
class Store {
  public:
    Store(io::Units& u, raflib::Raflib& r) : units(u), raf(r) {}
    io::Units& units;
    raflib::Raflib& raf;
    // Name of the array that ARRECL handled last (blank before the first one).
    std::string recall_name = std::string(8, ' ');
};

// The catalogue arrays in the work array: the first words of NUMRAF and
// KEYRAF (1-based word indices; both have one-word elements, so these are
// also their pointers), the row length NUMRAF(7) and the rows KEYRAF holds.
struct Catalogue {
    std::int32_t numraf = 0;
    std::int32_t keyraf = 0;
    std::int32_t rowlen = 0;
    std::int32_t rows = 0;
};

// What a booking writes into a catalogue row.
struct Booking {
    std::string_view store_text;
    std::string_view type_text;
    std::int32_t length = 0;  // elements
    std::int32_t nwpe = 0;    // words per element
    std::int32_t ptr = 0;     // pointer of the array
};

// ---- messages ----

// Position of the last non-blank character of text(1:length), 0 when none.
std::int32_t LENTRM(std::string_view text, std::int32_t length);

// Writes text(1:trimmed length) to unit as one record (line feeds split it).
void ARMESS(io::Units& units, std::int32_t unit, std::int32_t status, std::string_view text,
            std::string_view mode, std::int32_t length);

// ---- catalogue and set-up ----

// Starts RAFLIB (messages to unit msgunit), closes RAFLIB file ifile and
// opens file_name on it (status "OLD"; any other status creates the file with
// room for icre arrays). ierr = -1 after "*** ERROR IN INIRAF ***" on iout.
void INIRAF(Store& st, std::string_view status, std::string_view file_name, std::int32_t icre,
            std::int32_t ifile, std::int32_t iout, std::int32_t msgunit, std::int32_t& ierr);

// Opens the DMS on nwiwa words of w for the name list (nlist entries of
// lname characters) plus the three catalogue arrays, and reads the catalogue
// of the dyn file on ifile (ARINI1). ierr = -1 on failure.
void INIDMS(Store& st, WorkArray& w, std::int32_t nwiwa, std::span<const std::string_view> names,
            std::int32_t nlist, std::int32_t lname, std::int32_t ifile, std::int32_t iout,
            std::int32_t& ierr);

// Creates the empty catalogue (ARINIT) and fills it from the file's NUMRAF,
// KEYRAF and IARRNM (records 101-103), matching rows by name.
// ierr = -1 after "*** ERROR IN ARINI1 ***".
void ARINI1(Store& st, WorkArray& w, std::span<const std::string_view> names, std::int32_t lname,
            std::int32_t nlist, std::int32_t ifile, std::int32_t iout, std::int32_t& ierr);

// Declares the listed names (never allocated: dimension 0, 10 words per
// element) and books NUMRAF, KEYRAF and IARRNM with their own rows. mode is
// not used. ierr = -1 on a DMS failure; too few DMS numbers decrement it.
void ARINIT(Store& st, WorkArray& w, std::span<const std::string_view> names, std::int32_t lname,
            std::int32_t nlist, std::int32_t mode, std::int32_t iout, std::int32_t& ierr);

// Reads record `key` of `length` elements of type code itype into target
// (a span of words that must hold them; doubles take two words); type code 3
// with ireal 1 is widened from single precision. Other type codes read
// nothing. ierr = -1 after "*** ERROR IN GTARAF ***".
void GTARAF(Store& st, std::span<std::int32_t> target, std::int32_t length, std::int32_t key,
            std::int32_t itype, std::int32_t ireal, std::int32_t ifile, std::int32_t iout,
            std::int32_t& ierr);

// The DMS number of the name (0 when it is not declared). A DMS failure
// decrements ierr.
void ARNUMB(Store& st, WorkArray& w, std::string_view name, std::int32_t& number, std::int32_t iout,
            std::int32_t& ierr);

// One catalogue row with its record key for a step.
struct Keys {
    std::int32_t key = 0;
    std::int32_t itype = 0;
    std::int32_t nwpe = 0;
    std::int32_t length = 0;
    std::int32_t istore = 0;
    std::int32_t is = 0;
    std::int32_t ir = 0;
    std::int32_t irs = 0;
    std::int32_t ireal = 0;
    std::string store_text = "    ";
    std::string type_text = "  ";
};

// The catalogue row of the name and its record key for the step (step <= 0:
// the structure record; key 0: no record). ierr decremented when the name or
// the catalogue cannot be found.
void ARKEYS(Store& st, WorkArray& w, std::string_view name, std::int32_t step, Keys& keys,
            std::int32_t iout, std::int32_t& ierr);

// The catalogued length (KEYRAF word 3) of the name; 0 with ierr
// decremented when there is no row.
std::int32_t ARSIZE(Store& st, WorkArray& w, std::string_view name, std::int32_t iout,
                    std::int32_t& ierr);

// ---- booking, recall and release ----

// Books the named array for length elements of type_text with store_text:
// allocates it at the top of storage (first booking, or after a release) or
// returns the storage it has when type, length and store code are the same.
// ptr receives its pointer. ierr decremented after "*** ERROR IN ARBOOK ***"
// (other type, length or store code, no room, DMS failure).
void ARBOOK(Store& st, WorkArray& w, std::string_view name, std::int32_t& ptr, std::int32_t length,
            std::string_view store_text, std::string_view type_text, std::int32_t iout,
            std::int32_t& ierr);

// 0 when the store code of store_text equals that of row n, else -1. An
// unknown store text decrements ierr (and compares as code 0).
std::int32_t ArKeyChk1(WorkArray& w, const Catalogue& cat, std::int32_t n,
                       std::string_view store_text, std::int32_t& ierr);

// Writes row n for a first booking (type, element size, length, store code,
// the three counters of NUMRAF as indices, real-flag, pointer word).
// ierr decremented after "*** ERROR IN ARINFO ***" for an unknown type or
// store text or a row outside the work array.
void ARINFO(Store& st, WorkArray& w, const Catalogue& cat, std::int32_t n, const Booking& b,
            std::int32_t iout, std::int32_t& ierr);

// Updates row n for a re-booking: length and pointer word only for an array
// that lives in the file (store code not 0), the whole row as ARINFO for a
// scratch array. Flag as ARINFO ("*** ERROR IN ARUPDA ***").
void ARUPDA(Store& st, WorkArray& w, const Catalogue& cat, std::int32_t n, const Booking& b,
            std::int32_t iout, std::int32_t& ierr);

// Books and reads, for the step, every array of the recall group the
// instruction names ("**Recall structure data**", ...). ierr decremented
// after "*** ERROR IN ARRECL ***" (unknown instruction, failed booking or read).
void ARRECL(Store& st, WorkArray& w, std::string_view instruction, std::int32_t step,
            std::int32_t ifile, std::int32_t iout, std::int32_t& ierr);

// Books and reads one array for the step; ptr receives its pointer. A name
// the DMS does not know does nothing. ierr decremented after
// "*** ERROR IN ARREC1 ***" (no record for the step, failed booking or read).
void ARREC1(Store& st, WorkArray& w, std::string_view name, std::int32_t& ptr, std::int32_t step,
            std::int32_t ifile, std::int32_t iout, std::int32_t& ierr);

// Pointer of an allocated array. An array never allocated or released
// decrements ierr (message only when iout > 5); the result is then 0.
std::int32_t ARGTIP(Store& st, WorkArray& w, std::string_view name, std::int32_t iout,
                    std::int32_t& ierr);

// As ARGTIP, the pointer through ptr; always writes its message.
void ARPOIN(Store& st, WorkArray& w, std::string_view name, std::int32_t& ptr, std::int32_t iout,
            std::int32_t& ierr);

// Releases the array's storage (option "CLEAN" clears it first, "NOCLEAN"
// keeps it); a scratch array's row is cleared. The arrays above move down:
// fetch pointers again. ierr decremented after "*** ERROR IN ARFREE ***".
void ARFREE(Store& st, WorkArray& w, std::string_view name, std::string_view option,
            std::int32_t iout, std::int32_t& ierr);

// Sets the words of the array to 0 (nothing for an array without storage).
// ierr decremented after "*** ERROR IN ARZERO ***".
void ARZERO(Store& st, WorkArray& w, std::string_view name, std::int32_t iout, std::int32_t& ierr);

// Copies the first min(lengths) elements of source into target (names
// upper-cased). ierr decremented after "*** ERROR IN arcopy_2 ***" when the
// element sizes differ or a name is unknown.
void arcopy_2(Store& st, WorkArray& w, std::string_view source, std::string_view target,
              std::int32_t iout, std::int32_t& ierr);

// ---- structure parameters ----

// MSTRU is passed as the span of its words in the work array.

// The parameter `name` of MSTRU (fixed layout or identifier table); 0 when
// absent. ierr decremented after a "PARAMETER NOT FOUND:" (closed table) or
// "PARAMETER TABLE OF MSTRU IS CORRUPT:" block.
std::int32_t GTSTRU(io::Units& units, std::span<std::int32_t> mstru, std::string_view name,
                    std::int32_t iout, std::int32_t& ierr);

// Stores value as the parameter `name` (added to an open identifier table
// when new); returns its position, 0 with ierr decremented when it cannot be
// stored.
std::int32_t PTSTRU(io::Units& units, std::span<std::int32_t> mstru, std::string_view name,
                    std::int32_t value, std::int32_t iout, std::int32_t& ierr);

// T is the identifier table: the words of MSTRU from its offset to its end.

// Position of the identifier in T, 0 when absent (an illegal name also gets
// a message on T's unit). No flag.
std::int32_t IDXIST(io::Units& units, std::span<const std::int32_t> t, std::string_view name);

// Adds the identifier to T if it is new. position: in, a base value; out,
// its position (the base's hundreds added for a new one), 0 on failure
// (message on T's unit). No flag.
void IDADD(io::Units& units, std::span<std::int32_t> t, std::string_view name,
           std::int32_t& position);

// The fixed parameter table: entry j (1-based) names MSTRU(j).
std::string_view fixed_parameter_name(std::int32_t j);

}  // namespace store
