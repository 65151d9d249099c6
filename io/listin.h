// Free-format (list-directed) input of integers and reals.
//
// Values are separated by blanks or a comma (with optional blanks around it);
// two commas in a row give a null value, which leaves its item unchanged; a
// slash ends the read and leaves the remaining items unchanged; r*value
// repeats a value r times. A read starts on a new record and continues over
// following records until every item has its value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace io {

// I/O status codes of the platform layer (gfortran's numbering where it has one).
inline constexpr int kIostatEnd = -1;             // end of file, or too few values in a record
inline constexpr int kIostatBadInteger = 5010;    // value is not a valid integer
inline constexpr int kIostatBadReal = 5011;       // value is not a valid real
inline constexpr int kIostatShortRecord = 5002;   // direct access beyond the end of file
inline constexpr int kIostatNotConnected = 5005;  // unit not connected for this kind of transfer
inline constexpr int kIostatLineTooLong = 5020;   // a line longer than kMaxLineLength
inline constexpr int kIostatProtected = 5021;     // "fort.N" is a file this run reads or writes

// Longest line a read accepts (the line end not counted): 1 MiB. A longer
// line is an error, never cut, so that no value is taken from the wrong line.
inline constexpr std::size_t kMaxLineLength = std::size_t{1} << 20;

// A short, readable description of an I/O status.
std::string iostat_text(int iostat);

using ListItem = std::variant<std::int32_t*, double*>;

// Reads the items from the records that next_record delivers (it returns 0 and
// fills the string, or an end or error status). Returns 0 or an I/O status.
int read_list(const std::function<int(std::string&)>& next_record, std::span<const ListItem> items);

// Internal read from one record (a character variable).
int read_list(std::string_view record, std::span<const ListItem> items);

// Parses one integer or real token as list-directed input does.
bool parse_integer(std::string_view tok, std::int32_t& out);
bool parse_real(std::string_view tok, double& out);

}  // namespace io
