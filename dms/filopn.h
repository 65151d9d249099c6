// Opening of numbered file units from small integer codes, and of text
// files by name.
#pragma once

#include <cstdint>
#include <string_view>

#include "io/units.h"

namespace dms {

inline constexpr std::int32_t kIllegalUnit = -901;
inline constexpr std::int32_t kIllegalCode = -902;

// Opens `name` (used over its full length) on `unit`.
//   status_code 1: "UNKNOWN" (created when missing, rewritten from its start otherwise)
//               2: "OLD" (the file must exist)
//   type_code   0: sequential access;  form_code 1: formatted;  blank_code 0: blanks ignored
//   lrec, print: not used for sequential files;  lpu: message unit (< 1: no message)
// ierr: 0 on success, -901 for a unit outside 1..99, -902 for codes other than
// the ones above, minus the system error code when the open fails.
void FILOPN(io::Units& units, std::string_view name, std::int32_t unit, std::int32_t status_code,
            std::int32_t type_code, std::int32_t form_code, std::int32_t blank_code,
            std::int32_t lrec, std::int32_t print, std::int32_t lpu, std::int32_t& ierr);

// The dialogue's text-file opener: opens name (trailing blanks removed) on
// unit as a formatted sequential text file through FILOPN, without messages.
// mode 0: created when missing, otherwise rewritten from its start; mode > 0:
// the file must exist. Sets ierr to -1 on failure, otherwise leaves it as it
// was.
void OPNTXT(io::Units& units, std::string_view name, std::int32_t unit, std::int32_t mode,
            std::int32_t& ierr);

}  // namespace dms
