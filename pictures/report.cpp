#include "pictures/report.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <utility>

#include "pictures/svg.h"

namespace pictures {

namespace {

// Screen: tables whose header and label column stay in view, and a grid of
// pictures; print: A4 portrait, each file from a new page, the table at the
// page's width, pictures three per row, nothing split inside a picture, a
// table row or a number.
constexpr std::string_view kStyle = R"(
:root { color-scheme: light; }
body { font-family: sans-serif; font-size: 14px; color: #222; background: #fff;
       max-width: 1200px; margin: 1.5em auto; padding: 0 1em; }
h1 { font-size: 1.5em; margin: 0 0 0.3em 0; }
h2 { font-size: 1.15em; margin: 1.6em 0 0.4em 0; border-bottom: 1px solid #bbb;
     overflow-wrap: anywhere; }
.meta { margin: 0.2em 0; color: #444; }
.meta code { overflow-wrap: anywhere; white-space: pre-wrap; }
nav ul { margin: 0.3em 0; padding-left: 1.4em; }
.error { color: #a00; font-weight: bold; }
.filter { margin: 0.3em 0; font-size: 13px; }
.table-wrap { overflow: auto; max-height: 80vh; border: 1px solid #ccc; max-width: 100%;
              width: max-content; }
table { border-collapse: separate; border-spacing: 0; font-size: 12px;
        font-variant-numeric: tabular-nums; }
th, td { border-right: 1px solid #ddd; border-bottom: 1px solid #ddd; padding: 2px 6px;
         white-space: nowrap; background: #fff; }
th { background: #eef1f5; text-align: center; position: sticky; top: 0; z-index: 2; }
th.key, td.key { position: sticky; left: 0; z-index: 1; }
th.key { z-index: 3; }
td.key { background: #fbfbfd; }
td.num { text-align: right; }
td.governing { font-weight: bold; background: #fde9c8 !important; }
td.governing::after { content: " \25C6"; font-size: 0.8em; }
td.num span { display: inline-block; }
td.num .f { text-align: left; }
table.sortable th { cursor: pointer; }
th[aria-sort=ascending]::after { content: " \25B2"; }
th[aria-sort=descending]::after { content: " \25BC"; }
tbody tr:nth-child(even) td { background: #f6f7f9; }
tr:target td { background: #fff3c4; }
.plots { display: grid; grid-template-columns: repeat(auto-fill, minmax(min(260px, 100%), 1fr));
         gap: 0.8em; margin-top: 0.8em; }
.plots.wide { grid-template-columns: repeat(auto-fill, minmax(min(420px, 100%), 1fr)); }
h3 { font-size: 1em; margin: 1.2em 0 0.3em 0; }
figure { margin: 0; border: 1px solid #ddd; padding: 4px; min-width: 0; box-sizing: border-box; }
figure:target { outline: 2px solid #0072b2; }
figure svg { width: 100%; height: auto; display: block; }
figcaption { font-size: 12px; color: #444; min-width: 0; }
details.analyses summary { font-size: 12px; color: #0072b2; cursor: pointer; }
.probe { font-size: 11px; color: #222; min-height: 1.4em; font-variant-numeric: tabular-nums; }
.plot-area * { vector-effect: non-scaling-stroke; }
@page { size: A4 portrait; margin: 12mm; }
@media print {
  body { max-width: none; margin: 0; padding: 0; font-size: 9pt; }
  nav, .hint, .filter, .back, details.analyses, .probe { display: none; }
  section.file + section.file { break-before: page; }
  .table-wrap { overflow: visible; max-height: none; border: none; width: auto; }
  table { font-size: 7pt; width: 100%; }
  th, td { padding: 1px 2px; position: static; }
  thead { display: table-header-group; }
  tr, figure { break-inside: avoid; }
  .plots { grid-template-columns: repeat(3, minmax(0, 1fr)); gap: 2mm; padding-right: 0.5mm; }
  .plots.wide { grid-template-columns: repeat(2, minmax(0, 1fr)); }
  section.across { break-before: page; }
  figure { padding: 1mm; }
  figcaption { font-size: 7pt; }
  tbody tr:nth-child(even) td { background: none; }
}
)";

// Sorts a table by the clicked column: numbers by value, other text in
// natural order (Channel 13 before Channel 100), empty cells last; a second
// click reverses. The filter box keeps the rows (and their figures) whose
// text holds the words typed. Each chart zooms with the wheel, pans by
// dragging and shows the value under the pointer; a double click resets.
constexpr std::string_view kScript = R"(
document.querySelectorAll('table.sortable th').forEach(function (th) {
  th.addEventListener('click', function () {
    var table = th.closest('table'), body = table.tBodies[0], col = th.cellIndex;
    var dir = th.getAttribute('aria-sort') === 'ascending' ? -1 : 1;
    table.querySelectorAll('th').forEach(function (h) { h.removeAttribute('aria-sort'); });
    th.setAttribute('aria-sort', dir === 1 ? 'ascending' : 'descending');
    var key = function (row) {
      var c = row.cells[col], s = c.hasAttribute('data-v') ? c.getAttribute('data-v')
                                                            : c.textContent.trim();
      var v = Number(s);
      return s === '' ? null : (isNaN(v) || !c.hasAttribute('data-v') ? s : v);
    };
    var rows = Array.prototype.slice.call(body.rows).map(function (r, i) {
      return { row: r, key: key(r), at: i };
    });
    rows.sort(function (a, b) {
      if (a.key === null || b.key === null) {
        return a.key === b.key ? a.at - b.at : (a.key === null ? 1 : -1);
      }
      var c = typeof a.key === 'number' ? (typeof b.key === 'number' ? a.key - b.key : -1)
            : (typeof b.key === 'number' ? 1 : String(a.key).localeCompare(
                 b.key, undefined, { numeric: true, sensitivity: 'base' }));
      return c === 0 ? a.at - b.at : dir * c;
    });
    rows.forEach(function (r) { body.appendChild(r.row); });
  });
});
document.querySelectorAll('input.filter').forEach(function (box) {
  box.hidden = false;
  var table = document.getElementById(box.getAttribute('data-table'));
  box.addEventListener('input', function () {
    var words = box.value.toLowerCase().split(/\s+/).filter(function (w) { return w; });
    Array.prototype.forEach.call(table.tBodies[0].rows, function (r) {
      var text = r.textContent.toLowerCase();
      var show = words.every(function (w) { return text.indexOf(w) >= 0; });
      r.hidden = !show;
      var a = r.querySelector('a[href^="#"]');
      var fig = a ? document.getElementById(a.getAttribute('href').slice(1)) : null;
      if (fig) fig.hidden = !show;
    });
  });
});
document.querySelectorAll('.hint').forEach(function (e) { e.hidden = false; });
(function () {
  var NS = 'http://www.w3.org/2000/svg';
  var fmt = function (v) { return Number(v.toPrecision(6)).toString(); };
  document.querySelectorAll('figure svg').forEach(function (svg, n) {
    var area = svg.querySelector('.plot-area');
    if (!area) return;
    var num = function (k) { return Number(area.getAttribute('data-' + k)); };
    var t0 = num('t0'), t1 = num('t1'), x0 = num('x0'), x1 = num('x1');
    var v0 = num('v0'), v1 = num('v1'), y0 = num('y0'), y1 = num('y1');
    // The plot area's content clipped to the area (with a little room for
    // the strokes): whatever the zoom moves out of the area is cut off. A
    // clip path, not a nested picture, which cuts the tips of thin spikes.
    var clip = document.createElementNS(NS, 'clipPath');
    clip.setAttribute('id', 'plot-clip-' + n);
    var box = document.createElementNS(NS, 'rect');
    box.setAttribute('x', x0); box.setAttribute('y', y1 - 2);
    box.setAttribute('width', x1 - x0); box.setAttribute('height', y0 - y1 + 4);
    clip.appendChild(box);
    svg.insertBefore(clip, svg.firstChild);
    var inner = document.createElementNS(NS, 'g');
    while (area.firstChild) inner.appendChild(area.firstChild);
    area.appendChild(inner);
    area.setAttribute('clip-path', 'url(#plot-clip-' + n + ')');
    // The value under the pointer and the zoomed range: a line under the
    // chart, where it covers nothing.
    var probe = document.createElement('div');
    probe.className = 'probe';
    svg.parentNode.insertBefore(probe, svg.nextSibling);
    var view = { a: t0, b: t1 };
    var toData = function (ev) {
      var p = svg.createSVGPoint(); p.x = ev.clientX; p.y = ev.clientY;
      var q = p.matrixTransform(svg.getScreenCTM().inverse());
      return { x: q.x, y: q.y, t: view.a + (q.x - x0) / (x1 - x0) * (view.b - view.a),
               v: v0 + (q.y - y0) / (y1 - y0) * (v1 - v0) };
    };
    var apply = function () {
      var k = (t1 - t0) / (view.b - view.a);
      var dx = x0 - x0 * k - (view.a - t0) / (t1 - t0) * (x1 - x0) * k;
      inner.setAttribute('transform', 'matrix(' + k + ' 0 0 1 ' + dx + ' 0)');
      svg.setAttribute('data-view', view.a + ' ' + view.b);
      var whole = view.a === t0 && view.b === t1;
      svg.querySelectorAll('.xtick').forEach(function (e) {
        e.style.opacity = whole ? '' : '0.25';
      });
      // The peak dots follow the zoom (hidden outside the view); their
      // labels and the inset show the whole axis, so they wait for it.
      svg.querySelectorAll('circle.peak').forEach(function (c) {
        if (!c.hasAttribute('data-cx')) c.setAttribute('data-cx', c.getAttribute('cx'));
        var x = Number(c.getAttribute('data-cx')), t = t0 + (x - x0) / (x1 - x0) * (t1 - t0);
        var nx = x0 + (t - view.a) / (view.b - view.a) * (x1 - x0);
        c.setAttribute('cx', nx);
        c.style.display = nx < x0 - 0.5 || nx > x1 + 0.5 ? 'none' : '';
      });
      svg.querySelectorAll('.peak-label, .inset, .inset-region, .inset-link').forEach(function (e) {
        e.style.display = whole ? '' : 'none';
      });
      probe.textContent = 'view ' + fmt(view.a) + ' to ' + fmt(view.b) + ' s';
    };
    svg.addEventListener('wheel', function (ev) {
      var d = toData(ev);
      if (d.x < x0 || d.x > x1) return;
      ev.preventDefault();
      var f = ev.deltaY < 0 ? 0.8 : 1.25;
      var a = d.t - (d.t - view.a) * f, b = d.t + (view.b - d.t) * f;
      view.a = Math.max(t0, a); view.b = Math.min(t1, b);
      if (view.b - view.a < (t1 - t0) * 1e-6) return;
      apply();
    }, { passive: false });
    var drag = null;
    svg.addEventListener('mousedown', function (ev) { drag = { d: toData(ev), a: view.a, b: view.b }; });
    window.addEventListener('mouseup', function () { drag = null; });
    svg.addEventListener('mousemove', function (ev) {
      var d = toData(ev);
      if (drag) {
        var dt = (d.x - drag.d.x) / (x1 - x0) * (drag.b - drag.a);
        var w = drag.b - drag.a, a = Math.min(Math.max(t0, drag.a - dt), t1 - w);
        view.a = a; view.b = a + w; apply();
      }
      if (d.x < x0 || d.x > x1 || d.y > y0 || d.y < y1) { probe.textContent = ''; return; }
      probe.textContent = 't = ' + fmt(d.t) + ' s, value = ' + fmt(d.v);
    });
    svg.addEventListener('mouseleave', function () { probe.textContent = ''; });
    svg.addEventListener('dblclick', function () { view.a = t0; view.b = t1; apply(); });
  });
})();
)";

// A number's text split at its decimal point (or where its digits end) for
// the alignment: the part before and the rest.
std::pair<std::string, std::string> split_number(const std::string& shown) {
    std::size_t at = shown.find('.');
    if (at == std::string::npos) at = shown.find("×");
    if (at == std::string::npos) at = shown.size();
    return {shown.substr(0, at), shown.substr(at)};
}

std::size_t chars(std::string_view s) {
    std::size_t n = 0;
    for (const char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return n;
}

void write_table(std::string& out, const Table& table, const std::string& id) {
    auto w = std::back_inserter(out);
    const std::size_t ncol = table.header.size();
    std::vector<bool> numeric(ncol, true);
    for (const auto& row : table.rows) {
        for (std::size_t c = 0; c < ncol; ++c) {
            if (c < row.size() && !row[c].empty() && !is_number(row[c])) numeric[c] = false;
        }
    }
    // The widths of the parts before and after the decimal point, per column.
    std::vector<std::size_t> wfrac(ncol, 0);
    for (const auto& row : table.rows) {
        for (std::size_t c = 0; c < ncol && c < row.size(); ++c) {
            if (!numeric[c] || row[c].empty()) continue;
            const auto parts = split_number(short_number(std::strtod(row[c].c_str(), nullptr)));
            wfrac[c] = std::max(wfrac[c], chars(parts.second));
        }
    }
    const bool links = table.anchors.size() == table.rows.size();
    fmt::format_to(w,
                   "<input type=\"search\" class=\"filter\" hidden=\"hidden\" "
                   "placeholder=\"Filter rows\" aria-label=\"Filter rows\" data-table=\"{}\"/>\n",
                   id);
    fmt::format_to(w,
                   "<div class=\"table-wrap\"><table class=\"stats sortable\" id=\"{}\">\n"
                   "<thead><tr>",
                   id);
    const auto key_class = [&](std::size_t c) {
        return c == table.link_column ? std::string_view(" key") : std::string_view();
    };
    for (std::size_t c = 0; c < ncol; ++c) {
        fmt::format_to(w, "<th class=\"h{}\">{}</th>", key_class(c), xml_escape(table.header[c]));
    }
    out += "</tr></thead>\n<tbody>\n";
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        const auto& row = table.rows[r];
        if (links) {
            fmt::format_to(w, "<tr id=\"row-{}\">", xml_escape(table.anchors[r]));
        } else {
            out += "<tr>";
        }
        for (std::size_t c = 0; c < ncol; ++c) {
            const std::string text = c < row.size() ? row[c] : std::string();
            const bool mark = r < table.marked.size() && table.marked[r] == c;
            if (numeric[c] && !text.empty()) {
                const auto [ip, fp] =
                    split_number(short_number(std::strtod(text.c_str(), nullptr)));
                fmt::format_to(w,
                               "<td class=\"num{4}\" data-v=\"{0}\" title=\"{0}{5}\"><span "
                               "class=\"i\">{1}</span><span class=\"f\" "
                               "style=\"min-width:{2}ch\">{3}</span></td>",
                               xml_escape(text), xml_escape(ip), wfrac[c], xml_escape(fp),
                               mark ? " governing" : "", mark ? " (governing)" : "");
                continue;
            }
            fmt::format_to(w, "<td class=\"{}{}\">", numeric[c] ? "num" : "text", key_class(c));
            if (links && c == table.link_column) {
                fmt::format_to(w, "<a href=\"#{}\">{}</a>", xml_escape(table.anchors[r]),
                               xml_escape(text));
            } else {
                out += xml_escape(text);
            }
            out += "</td>";
        }
        out += "</tr>\n";
    }
    out += "</tbody></table></div>\n";
}

// The figures in a grid of the class given; each caption links back to its
// table row.
void write_figures(std::string& out, const std::vector<Figure>& figures, std::string_view cls) {
    if (figures.empty()) return;
    auto w = std::back_inserter(out);
    fmt::format_to(w, "<div class=\"{}\">\n", cls);
    for (const Figure& fig : figures) {
        if (fig.id.empty()) {
            out += "<figure>\n";
        } else {
            fmt::format_to(w, "<figure id=\"{}\">\n", xml_escape(fig.id));
        }
        out += fig.svg;
        if (!fig.analyses.empty()) {
            out += "<details class=\"analyses\"><summary>Spectrum and histogram</summary>\n";
            out += fig.analyses;
            out += "</details>\n";
        }
        // Breaks only at spaces: no number is split.
        fmt::format_to(w, "<figcaption>{}", xml_escape(fig.caption));
        if (!fig.id.empty()) {
            fmt::format_to(w, " <a class=\"back\" href=\"#row-{}\">(row)</a>", xml_escape(fig.id));
        }
        out += "</figcaption>\n</figure>\n";
    }
    out += "</div>\n";
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
        "<p class=\"meta hint\" hidden=\"hidden\">Click a column heading to sort a table, "
        "type in the box above it to filter its rows; in a chart the wheel zooms, dragging pans, "
        "a double click resets, and the pointer shows the time and value under "
        "it.</p>\n</header>\n";

    if (report.files.size() > 1) {
        out += "<nav><ul>\n";
        for (std::size_t i = 0; i < report.files.size(); ++i) {
            fmt::format_to(w, "<li><a href=\"#file{}\">{}</a>{}</li>\n", i + 1,
                           xml_escape(report.files[i].name),
                           report.files[i].error.empty() ? "" : " (failed)");
        }
        out += "</ul></nav>\n";
    }

    if (!report.matrix.header.empty()) {
        fmt::format_to(w, "<section class=\"matrix\" id=\"matrix\">\n<h2>{}</h2>\n",
                       xml_escape(report.matrix_title));
        write_table(out, report.matrix, "table0");
        out += "</section>\n";
    }
    if (!report.across.empty()) {
        fmt::format_to(w, "<section class=\"across\" id=\"across\">\n<h2>{}</h2>\n",
                       xml_escape(report.across_title));
        if (!report.across_note.empty())
            fmt::format_to(w, "<p class=\"meta\">{}</p>\n", xml_escape(report.across_note));
        write_figures(out, report.across, "plots wide");
        out += "</section>\n";
    }
    for (std::size_t i = 0; i < report.files.size(); ++i) {
        const FileSection& f = report.files[i];
        fmt::format_to(w, "<section class=\"file\" id=\"file{}\">\n<h2>{}</h2>\n", i + 1,
                       xml_escape(f.name));
        if (!f.error.empty()) {
            fmt::format_to(w, "<p class=\"error\">{}</p>\n", xml_escape(f.error));
        }
        if (!f.summary.empty()) {
            fmt::format_to(w, "<p class=\"meta summary\">{}</p>\n", xml_escape(f.summary));
        }
        if (!f.table.header.empty()) write_table(out, f.table, fmt::format("table{}", i + 1));
        for (std::size_t m = 0; m < f.more.size(); ++m) {
            const TitledTable& t = f.more[m];
            fmt::format_to(w, "<h3>{}</h3>\n", xml_escape(t.title));
            if (!t.note.empty())
                fmt::format_to(w, "<p class=\"meta\">{}</p>\n", xml_escape(t.note));
            write_table(out, t.table, fmt::format("table{}-{}", i + 1, m + 1));
        }
        write_figures(out, f.figures, "plots");
        out += "</section>\n";
    }
    out += "<script>//<![CDATA[";
    out += kScript;
    out += "//]]></script>\n</body>\n</html>\n";
    return out;
}

}  // namespace pictures
