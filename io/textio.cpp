#include "io/textio.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "io/text.h"

namespace io {

void PROMPT(io::Units& units, std::int32_t unit, std::string_view text, std::int32_t length) {
    const auto n = static_cast<std::size_t>(std::clamp<std::int32_t>(length, 0, 80));
    std::string line(" ");
    line += text.substr(0, std::min(n, text.size()));
    units.prompt(unit, line);
}

void UPCASE(std::string& text, std::int32_t length) {
    const auto n =
        std::min(text.size(), static_cast<std::size_t>(std::max<std::int32_t>(length, 0)));
    for (std::size_t i = 0; i < n; ++i) {
        if (text[i] >= 'a' && text[i] <= 'z') text[i] = static_cast<char>(text[i] - 'a' + 'A');
    }
}

namespace {

constexpr std::int32_t kConsoleUnit = 6;
constexpr std::int32_t kKeyboardUnit = 5;
constexpr std::int32_t kPromptLength = 37;

// A failed keyboard read in words; a line that is too long is named by its
// line of the standard input.
std::string keyboard_error(const io::Units& units, int st) {
    if (st == io::kIostatLineTooLong) {
        return "line " + std::to_string(units.lines_read(kKeyboardUnit)) +
               " of the standard input is longer than " + std::to_string(io::kMaxLineLength) +
               " characters";
    }
    return io::iostat_text(st);
}

}  // namespace

bool is_blank_answer(std::string_view answer) {
    return answer.find_first_not_of(" \t") == std::string_view::npos;
}

std::string clash_line(std::string_view what, std::string_view name,
                       const io::Units::Protected& file) {
    return " *** " + std::string(what) + " \"" + std::string(name) + "\" would overwrite the " +
           file.role + " \"" + file.name + "\"";
}

std::string failure_line(std::string_view what, const io::Units::Failure& f) {
    if (f.error == io::kIostatProtected && f.clash) {
        return clash_line(what, f.name, *f.clash) + ": not written";
    }
    return " *** " + std::string(what) + " \"" + f.name + "\" could not be " +
           (f.create ? "created: " : "written: ") + std::strerror(f.error);
}

void report_input_error(io::Units& units, std::string_view prompt, std::string_view what) {
    std::string_view name = io::trim_right(prompt);
    if (!name.empty() && name.back() == ':') name.remove_suffix(1);
    name = io::trim(name);
    units.write(kConsoleUnit, "");
    units.write(kConsoleUnit,
                " *** Input error at prompt \"" + std::string(name) + "\": " + std::string(what));
}

int ask_line(io::Units& units, std::string_view prompt, std::string& field) {
    PROMPT(units, kConsoleUnit, prompt, kPromptLength);
    std::string line;
    const int st = units.read_line(kKeyboardUnit, line);
    field = io::fixed(st == 0 ? std::string_view(line) : std::string_view(), kAnswerLength);
    if (st != 0) report_input_error(units, prompt, keyboard_error(units, st));
    return st;
}

int ask_integer(io::Units& units, std::string_view prompt, std::int32_t& value) {
    PROMPT(units, kConsoleUnit, prompt, kPromptLength);
    const std::array<io::ListItem, 1> items = {&value};
    const int st = units.read_list(kKeyboardUnit, items);
    if (st != 0) report_input_error(units, prompt, keyboard_error(units, st));
    return st;
}

}  // namespace io
