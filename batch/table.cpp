#include "batch/table.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "batch/label_text.h"

namespace batch {

namespace {

template <class T>
std::string finite_or_word(T v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    return fmt::format("{}", v);
}

bool is_number(const Cell& c) {
    return std::holds_alternative<std::int64_t>(c) || std::holds_alternative<float>(c) ||
           std::holds_alternative<double>(c);
}

bool finite(const Cell& c) {
    if (const auto* f = std::get_if<float>(&c)) return std::isfinite(*f);
    if (const auto* d = std::get_if<double>(&c)) return std::isfinite(*d);
    return true;
}

std::string json_string(std::string_view text) {
    return nlohmann::json(std::string(text))
        .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string table_text(const Cell& c) {
    if (const auto* d = std::get_if<double>(&c)) {
        if (!std::isfinite(*d)) return finite_or_word(*d);
        return fmt::format("{:.7g}", *d);
    }
    if (const auto* s = std::get_if<std::string>(&c)) return printable(*s);
    return cell_text(c);
}

}  // namespace

std::string number_text(float v) {
    return finite_or_word(v);
}
std::string number_text(double v) {
    return finite_or_word(v);
}

std::string cell_text(const Cell& c) {
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return {};
            } else if constexpr (std::is_same_v<T, std::string>) {
                return v;
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                return fmt::format("{}", v);
            } else {
                return number_text(v);
            }
        },
        c);
}

std::string csv_field(std::string_view text) {
    const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote) return std::string(text);
    std::string s = "\"";
    for (const char ch : text) {
        if (ch == '"') s += '"';
        s += ch;
    }
    s += '"';
    return s;
}

void write_rows(std::ostream& out, Format format, std::span<const std::string> columns,
                std::size_t rows, const RowSource& source) {
    const std::size_t nc = columns.size();
    Row row;
    const auto fill = [&](std::size_t r) {
        row.clear();
        source(r, row);
        row.resize(nc);
    };
    switch (format) {
        case Format::csv: {
            // RFC 4180: CRLF after every record, the header included.
            std::string line;
            for (std::size_t c = 0; c < nc; ++c) {
                if (c > 0) line += ',';
                line += csv_field(columns[c]);
            }
            out << line << "\r\n";
            for (std::size_t r = 0; r < rows; ++r) {
                fill(r);
                line.clear();
                for (std::size_t c = 0; c < nc; ++c) {
                    if (c > 0) line += ',';
                    line += csv_field(cell_text(row[c]));
                }
                out << line << "\r\n";
            }
            break;
        }
        case Format::json: {
            std::vector<std::string> keys;
            keys.reserve(nc);
            for (const std::string& name : columns) keys.push_back(json_string(name) + ":");
            std::string line;
            for (std::size_t r = 0; r < rows; ++r) {
                fill(r);
                line = "{";
                for (std::size_t c = 0; c < nc; ++c) {
                    if (c > 0) line += ',';
                    line += keys[c];
                    const Cell& cell = row[c];
                    if (std::holds_alternative<std::monostate>(cell) || !finite(cell)) {
                        line += "null";
                    } else if (const auto* s = std::get_if<std::string>(&cell)) {
                        line += json_string(*s);
                    } else {
                        line += cell_text(cell);
                    }
                }
                line += "}\n";
                out << line;
            }
            break;
        }
        case Format::table: {
            std::vector<std::size_t> width(nc);
            std::vector<bool> numeric(nc, false);
            for (std::size_t c = 0; c < nc; ++c) width[c] = text_width(printable(columns[c]));
            for (std::size_t r = 0; r < rows; ++r) {
                fill(r);
                for (std::size_t c = 0; c < nc; ++c) {
                    width[c] = std::max(width[c], text_width(table_text(row[c])));
                    if (is_number(row[c])) numeric[c] = true;
                }
            }
            const auto emit = [&](const auto& text_of) {
                std::string line;
                for (std::size_t c = 0; c < nc; ++c) {
                    if (c > 0) line += "  ";
                    const std::string t = text_of(c);
                    const std::string pad(width[c] - std::min(width[c], text_width(t)), ' ');
                    line += numeric[c] ? pad + t : t + pad;
                }
                line.erase(line.find_last_not_of(' ') + 1);
                out << line << '\n';
            };
            emit([&](std::size_t c) { return printable(columns[c]); });
            for (std::size_t r = 0; r < rows; ++r) {
                fill(r);
                emit([&](std::size_t c) { return table_text(row[c]); });
            }
            break;
        }
    }
}

void write_rows(std::ostream& out, Format format, std::span<const std::string> columns,
                std::span<const Row> rows) {
    write_rows(out, format, columns, rows.size(), [&](std::size_t r, Row& row) { row = rows[r]; });
}

}  // namespace batch
