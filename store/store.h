// The named-array store: moves arrays between a dyn file and the work array
// by name, using the catalogue (NUMRAF, KEYRAF, IARRNM) that the file holds.
//
// Every routine takes the store state, the work array (the DMS control block
// lives at its start), an error flag that it decrements on each error (or
// sets to -1 where noted) and a message unit for its error text.
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

void INIRAF(Store& st, std::string_view status, std::string_view file_name, std::int32_t icre,
            std::int32_t ifile, std::int32_t iout, std::int32_t msgunit, std::int32_t& ierr);

void INIDMS(Store& st, WorkArray& w, std::int32_t nwiwa, std::span<const std::string_view> names,
            std::int32_t nlist, std::int32_t lname, std::int32_t ifile, std::int32_t iout,
            std::int32_t& ierr);

void ARINI1(Store& st, WorkArray& w, std::span<const std::string_view> names, std::int32_t lname,
            std::int32_t nlist, std::int32_t ifile, std::int32_t iout, std::int32_t& ierr);

void ARINIT(Store& st, WorkArray& w, std::span<const std::string_view> names, std::int32_t lname,
            std::int32_t nlist, std::int32_t mode, std::int32_t iout, std::int32_t& ierr);

// Reads record `key` of `length` elements of type code itype into target
// (a span of words that must hold them; doubles take two words).
void GTARAF(Store& st, std::span<std::int32_t> target, std::int32_t length, std::int32_t key,
            std::int32_t itype, std::int32_t ireal, std::int32_t ifile, std::int32_t iout,
            std::int32_t& ierr);

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

void ARKEYS(Store& st, WorkArray& w, std::string_view name, std::int32_t step, Keys& keys,
            std::int32_t iout, std::int32_t& ierr);

std::int32_t ARSIZE(Store& st, WorkArray& w, std::string_view name, std::int32_t iout,
                    std::int32_t& ierr);

// ---- booking, recall and release ----

void ARBOOK(Store& st, WorkArray& w, std::string_view name, std::int32_t& ptr, std::int32_t length,
            std::string_view store_text, std::string_view type_text, std::int32_t iout,
            std::int32_t& ierr);

std::int32_t ArKeyChk1(WorkArray& w, const Catalogue& cat, std::int32_t n,
                       std::string_view store_text, std::int32_t& ierr);

void ARINFO(Store& st, WorkArray& w, const Catalogue& cat, std::int32_t n, const Booking& b,
            std::int32_t iout, std::int32_t& ierr);

void ARUPDA(Store& st, WorkArray& w, const Catalogue& cat, std::int32_t n, const Booking& b,
            std::int32_t iout, std::int32_t& ierr);

void ARRECL(Store& st, WorkArray& w, std::string_view instruction, std::int32_t step,
            std::int32_t ifile, std::int32_t iout, std::int32_t& ierr);

void ARREC1(Store& st, WorkArray& w, std::string_view name, std::int32_t& ptr, std::int32_t step,
            std::int32_t ifile, std::int32_t iout, std::int32_t& ierr);

std::int32_t ARGTIP(Store& st, WorkArray& w, std::string_view name, std::int32_t iout,
                    std::int32_t& ierr);

void ARPOIN(Store& st, WorkArray& w, std::string_view name, std::int32_t& ptr, std::int32_t iout,
            std::int32_t& ierr);

void ARFREE(Store& st, WorkArray& w, std::string_view name, std::string_view option,
            std::int32_t iout, std::int32_t& ierr);

void ARZERO(Store& st, WorkArray& w, std::string_view name, std::int32_t iout, std::int32_t& ierr);

void arcopy_2(Store& st, WorkArray& w, std::string_view source, std::string_view target,
              std::int32_t iout, std::int32_t& ierr);

// ---- structure parameters ----

// MSTRU is passed as the span of its words in the work array.
std::int32_t GTSTRU(io::Units& units, std::span<std::int32_t> mstru, std::string_view name,
                    std::int32_t iout, std::int32_t& ierr);

std::int32_t PTSTRU(io::Units& units, std::span<std::int32_t> mstru, std::string_view name,
                    std::int32_t value, std::int32_t iout, std::int32_t& ierr);

// T is the identifier table: the words of MSTRU from its offset to its end.
std::int32_t IDXIST(io::Units& units, std::span<const std::int32_t> t, std::string_view name);

void IDADD(io::Units& units, std::span<std::int32_t> t, std::string_view name,
           std::int32_t& position);

// The fixed parameter table: entry j (1-based) names MSTRU(j).
std::string_view fixed_parameter_name(std::int32_t j);

}  // namespace store
