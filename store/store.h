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

// ---- type and store codes ----

// Type code of a two-character type text: IN 1, SP 2, DP 3, RE 3, I8 4; 0 when unknown.
std::int32_t type_code(std::string_view type_text);
// Words per element of a type text (IN, SP 1; RE, DP, I8 2); 0 when unknown.
std::int32_t words_per_element(std::string_view type_text);
// Store code of a four-character store text; -1 when unknown.
std::int32_t store_code(std::string_view store_text);
// Type text of a catalogue row: "IN", "SP", "RE"/"DP" by the real-flag, "??".
std::string type_text_of(std::int32_t type_code, std::int32_t real_flag);
// Store text of a store code ("????" when unknown).
std::string store_text_of(std::int32_t store_code);

// Record key of catalogue row (store code, structure, result and restart
// index) for a step, from the file totals NUMRAF(4..6) and the offset
// NUMRAF(10). 0 means no record; a key that does not fit 32 bits gives -1,
// which the file library refuses as an array outside the file.
std::int32_t record_key(std::int32_t nstru, std::int32_t nres, std::int32_t nrest,
                        std::int32_t offset, std::int32_t istore, std::int32_t is, std::int32_t ir,
                        std::int32_t irs, std::int32_t step);

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

std::int32_t ArKeyChk1(WorkArray& w, std::int32_t keyraf, std::int32_t n,
                       std::string_view store_text, std::int32_t rowlen, std::int32_t& ierr);

void ARINFO(Store& st, WorkArray& w, std::int32_t keyraf, std::int32_t n,
            std::string_view store_text, std::string_view type_text, std::int32_t length,
            std::int32_t nwpe, std::int32_t rowlen, std::int32_t numraf, std::int32_t ptr,
            std::int32_t iout, std::int32_t& ierr);

void ARUPDA(Store& st, WorkArray& w, std::int32_t keyraf, std::int32_t n,
            std::string_view store_text, std::string_view type_text, std::int32_t length,
            std::int32_t nwpe, std::int32_t rowlen, std::int32_t numraf, std::int32_t ptr,
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
