// The text of DynRes labels in every output. A dyn file stores a label as
// bytes without saying how they are encoded; each byte is taken as one
// character (ISO 8859-1, Latin-1), so every output is UTF-8 and a label reads
// the same in list, CSV, JSON, the table, SVG and HTML. In messages and in the
// table, where a terminal would act on them, control characters are shown
// escaped.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace batch {

// The label bytes as UTF-8, each byte one character (0xE9 gives U+00E9 "é").
std::string label_utf8(std::string_view bytes);

// The characters of text: UTF-8 where it is well-formed, any other byte one
// character of its own value (so Latin-1 text reads as it was meant).
std::u32string code_points(std::string_view text);

// Text for a terminal line: tab, line feed and carriage return as \t, \n,
// \r, the other control characters (U+0000 to U+001F, U+007F and U+0080 to
// U+009F) as \x and two hex digits ("\x1b"); everything else as it is.
std::string printable(std::string_view text);

// The number of characters of text as code_points() reads it (its width in
// the table).
std::size_t text_width(std::string_view text);

}  // namespace batch
