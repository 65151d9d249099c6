// A one-page report of a set of dyn files as self-contained HTML: the command
// line and date, per file a table of the statistics of its DynRes and a small
// picture of each DynRes. Nothing is fetched from the network; the tables
// are sortable by a few lines of inline script and readable without it; the
// page prints on A4.
//
// The page is also well-formed XML (polyglot markup), so XML tools can check
// and read it.
#pragma once

#include <string>
#include <vector>

namespace pictures {

// A table as text: the cells are shown as given (the numbers as the batch
// commands write them). A column whose cells are all numbers or empty is
// right-aligned and sorts by value.
struct Table {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
};

struct Figure {
    std::string caption;
    std::string svg;  // an SVG element written without XML declaration
};

struct FileSection {
    std::string name;
    std::string error;  // when not empty: why the file gave no rows
    Table table;
    std::vector<Figure> figures;
};

struct Report {
    std::string title = "PEKTOR report";
    std::string command_line;
    std::string date;
    std::string note;  // a line under the command (window, sign, ...)
    std::vector<FileSection> files;
};

// The page. The SVG of the figures is copied as it is; every other text is
// escaped.
std::string render_html(const Report& report);

// True when the text reads as a number (a cell of a numeric column).
bool is_number(const std::string& text);

}  // namespace pictures
