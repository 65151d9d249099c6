// Array names and their two name words: the one packer of names.
//
// An array name is 1 to 8 printable characters without blanks (codes 33 to
// 126), case-sensitive. It is kept as two 32-bit name words: characters 1-4
// in the first and 5-8 in the second, each character c as the two decimal
// digits c - 30, the first character most significant ("AB" -> 35360000, 0;
// "NUMRAF" -> 48554752, 35400000). The DMS name table, the catalogue's
// IARRNM and the identifier table of MSTRU all hold names in this form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dms {

inline constexpr std::size_t kMaxNameLength = 8;

struct NameWords {
    std::int32_t first = 0;
    std::int32_t second = 0;
    friend bool operator==(const NameWords&, const NameWords&) = default;
};

// Position (0-based) of the first character of name outside 33..126, or
// npos when there is none.
std::size_t illegal_name_character(std::string_view name);

// The name words of name over its full length (blanks are characters like
// any other and are refused). Nothing when the name is longer than 8
// characters or holds a character outside 33..126. The empty name packs to
// 0, 0, which no array has.
std::optional<NameWords> pack_name(std::string_view name);

// The name held in two name words, read back digit pair by digit pair: a
// pair 00 ends the name, and so does a second word of 0 or less. `name`
// gets the characters read so far (at most 8), `bad` the character code of
// a pair outside 33..126 (0 when every pair read is legal; reading stops
// there).
struct UnpackedName {
    std::string name;
    std::int32_t bad = 0;
};
UnpackedName unpack_name(NameWords words);

}  // namespace dms
