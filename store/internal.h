// Helpers shared by the store's routines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "store/store.h"

namespace store::detail {

// Labels that the store's routines hand to the data manager; a DMS message
// names the routine through "Detected by a DMS-routine called with label".
inline constexpr std::int32_t kLabelARINIT = 1;
inline constexpr std::int32_t kLabelARBOOK = 2;
inline constexpr std::int32_t kLabelARNUMB = 3;
inline constexpr std::int32_t kLabelARGTIP = 4;
inline constexpr std::int32_t kLabelARPOIN = 5;
inline constexpr std::int32_t kLabelARFREE = 6;
inline constexpr std::int32_t kLabelARZERO = 7;
inline constexpr std::int32_t kLabelARCOPY = 8;
inline constexpr std::int32_t kLabelARRECL = 9;
inline constexpr std::int32_t kLabelARREC1 = 10;

// Composes a message in the routines' 256-character buffer and hands it to ARMESS.
void message(Store& st, std::int32_t unit, std::string text);

// An empty line and "  *** ERROR IN <routine> ***".
void header(io::Units& units, std::int32_t unit, std::string_view routine);

// Locates NUMRAF and KEYRAF through ARPOIN; false on failure (ARPOIN has
// reported) or when the catalogue words are inconsistent (reported here
// under `routine`).
bool locate(Store& st, WorkArray& w, std::string_view routine, Catalogue& cat, std::int32_t iout,
            std::int32_t& ierr);

// NUMRAF and row n (1 <= n <= cat.rows) of a located catalogue.
inline format::Numraf numraf(WorkArray& w, const Catalogue& cat) {
    return format::numraf_at(w, cat.numraf);
}
inline format::Row row(WorkArray& w, const Catalogue& cat, std::int32_t n) {
    return format::row_at(w, cat.keyraf, n, cat.rowlen);
}

}  // namespace store::detail
