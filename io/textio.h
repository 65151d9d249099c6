// Dialogue helpers shared by the dialogue and the operations that talk to the
// user: prompts, keyboard answers, upper-casing of answers. (Text files are
// opened by name with dms::OPNTXT, dms/filopn.h.)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "io/units.h"

namespace io {

// Writes one blank and the first min(length, 80) characters of text to the
// unit without ending the line, so that the answer is typed on the same line.
void PROMPT(io::Units& units, std::int32_t unit, std::string_view text, std::int32_t length);

// Replaces a..z by their capitals in the first length characters, in place.
void UPCASE(std::string& text, std::int32_t length);

// Every text answer is held in a blank-padded field of this length.
inline constexpr std::size_t kAnswerLength = 256;

// One line on the console (after an empty one) saying which answer could not
// be used: the prompt is named by its text without the colon and padding.
void report_input_error(io::Units& units, std::string_view prompt, std::string_view what);

// True when the answer holds nothing but blanks and tabs: a blank answer.
bool is_blank_answer(std::string_view answer);

// The console line of a file that a run refuses to write over, e.g.
// ` *** Side file "fort.44" would overwrite the dyn file "a.dyn"`.
std::string clash_line(std::string_view what, std::string_view name,
                       const io::Units::Protected& file);

// The console line of a failed write, flush, close or creation of a file
// (`what` says which file it is to the run, e.g. "Output file").
std::string failure_line(std::string_view what, const io::Units::Failure& f);

// Shows the 37-character prompt on the console and reads one whole keyboard
// line into the 256-character field (longer lines are cut). Returns 0, or
// the input status after reporting it.
int ask_line(io::Units& units, std::string_view prompt, std::string& field);

// Shows the prompt and reads one integer in free format from the keyboard.
int ask_integer(io::Units& units, std::string_view prompt, std::int32_t& value);

}  // namespace io
