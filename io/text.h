// Fixed-length character helpers: the program keeps its texts as blank-padded
// fields of a declared length, as the file formats and dialogue expect.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace io {

// s cut or blank-padded to exactly n characters.
std::string fixed(std::string_view s, std::size_t n);

// s without its trailing blanks.
std::string_view trim_right(std::string_view s);

// s without leading and trailing blanks.
std::string_view trim(std::string_view s);

// True when every character of s is a blank (also for an empty s).
bool is_blank(std::string_view s);

// The length of the well-formed UTF-8 sequence at text[i] (i < size) and
// its code point; 0 when the bytes there are no such sequence (a stray
// continuation byte, a cut sequence, an overlong form, a surrogate or a
// value above U+10FFFF).
std::size_t utf8_at(std::string_view text, std::size_t i, char32_t& cp);

}  // namespace io
