// Result rows of the batch commands and their three written forms: an
// aligned table for people, CSV (RFC 4180, with a header row) and JSON Lines
// (one object per row, keyed by the header names).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace batch {

enum class Format { table, csv, json };

// One value of a row: empty, text, a count, a stored single-precision value
// or a computed double.
using Cell = std::variant<std::monostate, std::string, std::int64_t, float, double>;
using Row = std::vector<Cell>;

// The shortest text that reads back to the same value ("0.15", "1e+30",
// "-3.25"); "nan", "inf" and "-inf" for the values that are not finite.
std::string number_text(float v);
std::string number_text(double v);

// The text of a cell in CSV and JSON (without quoting): empty for no value.
std::string cell_text(const Cell& c);

// Row r of the output; fills `row` with one cell per column.
using RowSource = std::function<void(std::size_t r, Row& row)>;

// Writes the header and the rows. In the table, text is aligned left and
// numbers right, control characters in text are shown escaped (printable()),
// and doubles are rounded to 7 significant digits (every row of a column
// alike); CSV and JSON give every number in full and text as it is (quoted
// or escaped as their formats require). Values that are not finite are null
// in JSON.
void write_rows(std::ostream& out, Format format, std::span<const std::string> columns,
                std::size_t rows, const RowSource& source);

// The same over rows held in memory.
void write_rows(std::ostream& out, Format format, std::span<const std::string> columns,
                std::span<const Row> rows);

// One CSV field, quoted when it holds a comma, a quote, a line break or
// leading or trailing blanks.
std::string csv_field(std::string_view text);

}  // namespace batch
