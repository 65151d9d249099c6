// A one-page report of a set of dyn files as self-contained HTML: the command
// line and date, per file a table of the statistics of its DynRes and a small
// picture of each DynRes. Nothing is fetched from the network; the tables
// are sortable by a few lines of inline script and readable without it; the
// page prints on A4.
//
// The page is also well-formed XML (polyglot markup), so XML tools can check
// and read it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace pictures {

// A table as text: the cells are shown as given (the numbers as the batch
// commands write them). A column whose cells are all numbers or empty is
// right-aligned and sorts by value.
//
// Numbers are shown with 6 significant digits, aligned on the decimal point,
// with the cell's full text in a tooltip and as the sort key. The header and
// the `link_column` stay in view while the table scrolls; when `anchors`
// has an entry per row, that column's cell links to the element with that
// id (the row's figure) and the row itself has the id "row-" + anchor.
struct Table {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> anchors;
    std::size_t link_column = 1;
    // Per row the column of a cell to mark (the governing file of a
    // comparison); none when empty or past the row.
    std::vector<std::size_t> marked;
};

struct Figure {
    std::string caption;
    std::string svg;  // an SVG element written without XML declaration
    std::string id;   // the figure's id; its caption links back to "row-" + id
    // More pictures of the DynRes (its spectrum, its histogram), shown when
    // the reader opens them; not printed.
    std::string analyses;
};

// A table with a heading and a line saying how its numbers were found.
struct TitledTable {
    std::string title;
    std::string note;
    Table table;
};

struct FileSection {
    std::string name;
    std::string error;    // when not empty: why the file gave no rows
    std::string summary;  // one line under the name (duration, time step, steps)
    Table table;
    std::vector<TitledTable> more;  // after the statistics (DELs, extremes)
    std::vector<Figure> figures;
};

struct Report {
    std::string title = "PEKTOR report";
    std::string command_line;
    std::string date;
    std::string note;  // a line under the command (window, sign, ...)
    std::vector<FileSection> files;
    // Several files: the comparison of their peaks, before the files, and a
    // chart per DynRes of every file's series (or their envelope).
    std::string matrix_title;
    Table matrix;
    std::string across_title;
    std::string across_note;
    std::vector<Figure> across;
};

// The page. The SVG of the figures is copied as it is; every other text is
// escaped.
std::string render_html(const Report& report);

// True when the text reads as a number (a cell of a numeric column).
bool is_number(const std::string& text);

}  // namespace pictures
