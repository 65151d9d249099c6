#include "pictures/report.h"

#include <fmt/format.h>

#include <cstdlib>
#include <iterator>

#include "pictures/svg.h"

namespace pictures {

namespace {

// Screen: tables and a grid of pictures; print: A4 portrait, each file from
// a new page, nothing split inside a picture or a table row.
constexpr std::string_view kStyle = R"(
:root { color-scheme: light; }
body { font-family: sans-serif; font-size: 14px; color: #222; background: #fff;
       max-width: 1200px; margin: 1.5em auto; padding: 0 1em; }
h1 { font-size: 1.5em; margin: 0 0 0.3em 0; }
h2 { font-size: 1.15em; margin: 1.6em 0 0.4em 0; border-bottom: 1px solid #bbb;
     word-break: break-all; }
.meta { margin: 0.2em 0; color: #444; }
.meta code { word-break: break-all; white-space: pre-wrap; }
nav ul { margin: 0.3em 0; padding-left: 1.4em; }
.error { color: #a00; font-weight: bold; }
.table-wrap { overflow-x: auto; }
table { border-collapse: collapse; font-size: 12px; font-variant-numeric: tabular-nums; }
th, td { border: 1px solid #ccc; padding: 2px 6px; white-space: nowrap; }
th { background: #eef1f5; text-align: center; }
td.num { text-align: right; }
table.sortable th { cursor: pointer; }
th[aria-sort=ascending]::after { content: " \25B2"; }
th[aria-sort=descending]::after { content: " \25BC"; }
tbody tr:nth-child(even) { background: #f7f7f7; }
.plots { display: grid; grid-template-columns: repeat(auto-fill, minmax(360px, 1fr));
         gap: 0.8em; margin-top: 0.8em; }
figure { margin: 0; border: 1px solid #ddd; padding: 4px; }
figure svg { width: 100%; height: auto; display: block; }
figcaption { font-size: 12px; color: #444; word-break: break-all; }
@page { size: A4 portrait; margin: 12mm; }
@media print {
  body { max-width: none; margin: 0; padding: 0; font-size: 9pt; }
  nav, .hint { display: none; }
  section.file + section.file { break-before: page; }
  .table-wrap { overflow: visible; }
  table { font-size: 6.5pt; }
  th, td { padding: 1px 3px; }
  td.long { white-space: normal; overflow-wrap: anywhere; min-width: 5em; }
  thead { display: table-header-group; }
  tr, figure { break-inside: avoid; }
  .plots { grid-template-columns: 1fr 1fr; gap: 3mm; }
  tbody tr:nth-child(even) { background: none; }
}
)";

// Sorts a table by the clicked column: numbers by value, other text in
// alphabetical order, empty cells last; a second click reverses.
constexpr std::string_view kScript = R"(
document.querySelectorAll('table.sortable th').forEach(function (th) {
  th.addEventListener('click', function () {
    var table = th.closest('table'), body = table.tBodies[0], col = th.cellIndex;
    var dir = th.getAttribute('aria-sort') === 'ascending' ? -1 : 1;
    table.querySelectorAll('th').forEach(function (h) { h.removeAttribute('aria-sort'); });
    th.setAttribute('aria-sort', dir === 1 ? 'ascending' : 'descending');
    var key = function (row) {
      var s = row.cells[col].textContent.trim(), v = Number(s);
      return s === '' ? null : (isNaN(v) ? s : v);
    };
    var rows = Array.prototype.slice.call(body.rows).map(function (r, i) {
      return { row: r, key: key(r), at: i };
    });
    rows.sort(function (a, b) {
      if (a.key === null || b.key === null) {
        return a.key === b.key ? a.at - b.at : (a.key === null ? 1 : -1);
      }
      var c = typeof a.key === 'number' ? (typeof b.key === 'number' ? a.key - b.key : -1)
            : (typeof b.key === 'number' ? 1 : String(a.key).localeCompare(b.key));
      return c === 0 ? a.at - b.at : dir * c;
    });
    rows.forEach(function (r) { body.appendChild(r.row); });
  });
});
document.querySelectorAll('.hint').forEach(function (e) { e.hidden = false; });
)";

void write_table(std::string& out, const Table& table) {
    auto w = std::back_inserter(out);
    const std::size_t ncol = table.header.size();
    std::vector<bool> numeric(ncol, true);
    for (const auto& row : table.rows) {
        for (std::size_t c = 0; c < ncol; ++c) {
            if (c < row.size() && !row[c].empty() && !is_number(row[c])) numeric[c] = false;
        }
    }
    out += "<div class=\"table-wrap\"><table class=\"stats sortable\">\n<thead><tr>";
    for (const auto& h : table.header) fmt::format_to(w, "<th>{}</th>", xml_escape(h));
    out += "</tr></thead>\n<tbody>\n";
    for (const auto& row : table.rows) {
        out += "<tr>";
        for (std::size_t c = 0; c < ncol; ++c) {
            const std::string_view text = c < row.size() ? row[c] : std::string_view();
            // Long cells (full-precision doubles, long labels) may wrap on
            // paper, so the table fits the width of the page.
            const bool long_cell = text.size() > 12;
            const char* cls = numeric[c] ? (long_cell ? " class=\"num long\"" : " class=\"num\"")
                                         : (long_cell ? " class=\"long\"" : "");
            fmt::format_to(w, "<td{}>{}</td>", cls, xml_escape(text));
        }
        out += "</tr>\n";
    }
    out += "</tbody></table></div>\n";
}

}  // namespace

bool is_number(const std::string& text) {
    if (text.empty()) return false;
    const char* begin = text.c_str();
    char* end = nullptr;
    (void)std::strtod(begin, &end);
    return end == begin + text.size() && end != begin;
}

std::string render_html(const Report& report) {
    std::string out;
    auto w = std::back_inserter(out);
    out +=
        "<!DOCTYPE html>\n"
        "<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n"
        "<meta charset=\"utf-8\"/>\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>\n";
    fmt::format_to(w, "<title>{}</title>\n<style>", xml_escape(report.title));
    out += kStyle;
    out += "</style>\n</head>\n<body>\n<header>\n";
    fmt::format_to(w, "<h1>{}</h1>\n", xml_escape(report.title));
    fmt::format_to(w, "<p class=\"meta\">Command: <code>{}</code></p>\n",
                   xml_escape(report.command_line));
    fmt::format_to(w, "<p class=\"meta\">Written {}; {} file{}.</p>\n", xml_escape(report.date),
                   report.files.size(), report.files.size() == 1 ? "" : "s");
    if (!report.note.empty()) {
        fmt::format_to(w, "<p class=\"meta\">{}</p>\n", xml_escape(report.note));
    }
    out +=
        "<p class=\"meta hint\" hidden=\"hidden\">Click a column heading to sort the "
        "table.</p>\n</header>\n";

    if (report.files.size() > 1) {
        out += "<nav><ul>\n";
        for (std::size_t i = 0; i < report.files.size(); ++i) {
            fmt::format_to(w, "<li><a href=\"#file{}\">{}</a>{}</li>\n", i + 1,
                           xml_escape(report.files[i].name),
                           report.files[i].error.empty() ? "" : " (failed)");
        }
        out += "</ul></nav>\n";
    }

    for (std::size_t i = 0; i < report.files.size(); ++i) {
        const FileSection& f = report.files[i];
        fmt::format_to(w, "<section class=\"file\" id=\"file{}\">\n<h2>{}</h2>\n", i + 1,
                       xml_escape(f.name));
        if (!f.error.empty()) {
            fmt::format_to(w, "<p class=\"error\">{}</p>\n", xml_escape(f.error));
        }
        if (!f.table.header.empty()) write_table(out, f.table);
        if (!f.figures.empty()) {
            out += "<div class=\"plots\">\n";
            for (const Figure& fig : f.figures) {
                out += "<figure>\n";
                out += fig.svg;
                fmt::format_to(w, "<figcaption>{}</figcaption>\n</figure>\n",
                               xml_escape(fig.caption));
            }
            out += "</div>\n";
        }
        out += "</section>\n";
    }
    out += "<script>//<![CDATA[";
    out += kScript;
    out += "//]]></script>\n</body>\n</html>\n";
    return out;
}

}  // namespace pictures
