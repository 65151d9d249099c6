// RAFLIB messages: the numbered message table, the message writer and its
// helpers.
//
// A message block is a header line (marker, level, time, routine), a file
// line for messages that concern a file and a text line; routines that pass
// a failure on add one trace line each. After a printed ERROR or FATAL ERROR
// the caller's flag holds the negative message number; INFO, WARNING and
// messages whose level has no unit leave it positive.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "raflib/state.h"

namespace raflib {

inline constexpr std::int32_t kLevelInfo = 1;
inline constexpr std::int32_t kLevelWarning = 2;
inline constexpr std::int32_t kLevelError = 3;
inline constexpr std::int32_t kLevelFatal = 4;

// Which file line a message prints: 0 none, 1 file, 2 file and array,
// 3 file, array and address, 4 file, array, address and elements.
struct MessageText {
    std::string text;  // 70 characters
    std::int32_t level = kLevelError;
    std::int32_t kind = 0;
};

// The text, level and kind of a message number.
MessageText RFMTXT(std::int32_t number);

// Fills the placeholders <I> (ivalue; "<UNKNOWN>" for the undefined value)
// and <A> (avalue without trailing blanks); the result is cut to 70
// characters (and blank-padded to 70).
std::string RFSUBS(std::string_view text, std::int32_t ivalue, std::string_view avalue);

// Reduces every run of blanks before the last word of the field to one blank;
// the field keeps its length (trailing blanks).
void RFBLNK(std::string& field);

// The clock as a time stamp: form 1 "YYYYMMDD  hhmmss" (16 characters),
// form 2 "YY-MM-DD hh:mm:ss" (17 characters).
std::string RFDATE(const Raflib& raf, std::int32_t form);

// The file line of a message of the given kind (1..4) for message number n,
// before blank runs are reduced: the marker, the unit of the current slot
// and, by kind, the array number, address and element count of the
// current-array context.
std::string message_file_line(const Raflib& raf, const Level& level, std::int32_t kind,
                              std::int32_t n);

// Prints message |ierr| for routine (6 characters) and sets the sign of ierr:
// negative when the level is ERROR or FATAL ERROR and printed, else positive.
void RFMESS(Raflib& raf, std::int32_t& ierr, std::string_view routine, std::int32_t label,
            std::int32_t ivalue, std::string_view avalue);

// Writes the trace line of routine on the ERROR units.
void RFTRAC(Raflib& raf, std::string_view routine);

// Turns an FFILE failure code (op: 1 write, 2 read) into its message; ierr
// becomes that message's number with the sign rule of RFMESS.
void RFIOER(Raflib& raf, std::int32_t& ierr, std::string_view routine, std::int32_t op);

}  // namespace raflib
