// The plot and report commands of the built program on files written by
// dyngen: the pictures hold the numbers of the peak and stats commands, the
// outputs are refused or written as documented, and a real browser renders
// the report.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/program.h"
#include "support/scratch.h"
#include "support/xml_lite.h"
#include "tools/dynres_writer.h"

namespace {

namespace fs = std::filesystem;
namespace xml = test_support::xml;
using test_support::run_in;
using test_support::ScratchDir;

const std::string kPektor = PEKTOR_BIN;
const std::string kDyngen = DYNGEN_BIN;

struct Outcome {
    int code = -1;
    std::string out, err;
};

Outcome pektor(const ScratchDir& dir, const std::string& args) {
    Outcome r;
    r.code = run_in(dir.path(), "'" + kPektor + "' " + args + " > out.txt 2> err.txt");
    r.out = dir.read("out.txt");
    r.err = dir.read("err.txt");
    fs::remove(dir.path() / "out.txt");
    fs::remove(dir.path() / "err.txt");
    return r;
}

// Two different sample files: a.dyn (2000 steps of 0.05 s) and b.dyn (1500
// steps of 0.06 s), six DynRes each.
void make_samples(const ScratchDir& dir) {
    ASSERT_EQ(run_in(dir.path(), "'" + kDyngen + "' --dynres 6 -o a.dyn > /dev/null"), 0);
    ASSERT_EQ(run_in(dir.path(),
                     "'" + kDyngen + "' --dynres 6 --steps 1500 --dt 0.06 -o b.dyn > /dev/null"),
              0);
}

// RFC 4180 rows (enough for the batch output: quoted fields, doubled quotes).
std::vector<std::vector<std::string>> csv_rows(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1);
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().push_back(field);
            field.clear();
        } else if (c == '\n') {
            rows.back().push_back(field);
            field.clear();
            rows.emplace_back();
        } else if (c != '\r') {
            field += c;
        }
    }
    if (!rows.back().empty() || !field.empty()) {
        rows.back().push_back(field);
    } else {
        rows.pop_back();
    }
    return rows;
}

// The columns of a CSV header row by name.
std::map<std::string, std::size_t> columns(const std::vector<std::string>& header) {
    std::map<std::string, std::size_t> m;
    for (std::size_t i = 0; i < header.size(); ++i) m[header[i]] = i;
    return m;
}

// data -> picture coordinate, through the first and last tick labels.
struct Fit {
    double a = 0, b = 0;
    double operator()(double d) const { return a + b * d; }
};
Fit fit_ticks(const xml::Element& scope, std::string_view cls, bool y, double font) {
    const auto ticks = xml::find_all(scope, "text", cls);
    EXPECT_GE(ticks.size(), 2u);
    if (ticks.size() < 2) return {};
    const char* coord = y ? "y" : "x";
    const double d0 = std::stod(ticks.front()->text), d1 = std::stod(ticks.back()->text);
    const double shift = y ? font * 0.35 : 0.0;
    const double p0 = std::stod(ticks.front()->attr(coord)) - shift;
    const double p1 = std::stod(ticks.back()->attr(coord)) - shift;
    Fit f;
    f.b = (p1 - p0) / (d1 - d0);
    f.a = p0 - f.b * d0;
    return f;
}

TEST(PlotCommand, PictureHoldsThePeaksAndMeansOfThePeakAndStatsCommands) {
    ScratchDir dir;
    make_samples(dir);
    const Outcome run = pektor(dir, "plot -c 1,3 -w 20:80 a.dyn b.dyn");
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    ASSERT_TRUE(dir.exists("a.svg"));
    const std::string svg = dir.read("a.svg");
    const xml::Element root = xml::parse(svg);

    const auto entries = xml::find_all(root, "g", "legend-entry");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0]->all_text(), "a.dyn");
    EXPECT_EQ(entries[1]->all_text(), "b.dyn");
    const auto panels = xml::find_all(root, "g", "panel");
    ASSERT_EQ(panels.size(), 2u);
    const double font = std::stod(root.attr("font-size"));
    const Fit x = fit_ticks(*panels[1], "xtick", false, font);

    const Outcome peaks = pektor(dir, "peak -c 1,3 -w 20:80 -f csv a.dyn b.dyn");
    ASSERT_EQ(peaks.code, 0) << peaks.err;
    const auto prow = csv_rows(peaks.out);
    ASSERT_EQ(prow.size(), 5u);
    const auto pc = columns(prow[0]);
    const Outcome stats = pektor(dir, "stats -c 1,3 -w 20:80 -f csv a.dyn b.dyn");
    ASSERT_EQ(stats.code, 0) << stats.err;
    const auto srow = csv_rows(stats.out);
    ASSERT_EQ(srow.size(), 5u);
    const auto sc = columns(srow[0]);

    // Rows: a.dyn 1, a.dyn 3, b.dyn 1, b.dyn 3; panel 0 is DynRes 1.
    for (std::size_t r = 1; r < prow.size(); ++r) {
        const std::size_t panel = prow[r][pc.at("dynres")] == "1" ? 0 : 1;
        const std::size_t file = prow[r][pc.at("file")] == "a.dyn" ? 0 : 1;
        SCOPED_TRACE(prow[r][pc.at("file")] + " DynRes " + prow[r][pc.at("dynres")]);
        const xml::Element& g = *panels[panel];
        const Fit y = fit_ticks(g, "ytick", true, font);
        const auto dots = xml::find_all(g, "circle", "peak");
        const auto labels = xml::find_all(g, "text", "peak-label");
        const auto means = xml::find_all(g, "line", "mean");
        ASSERT_EQ(dots.size(), 2u);
        ASSERT_EQ(labels.size(), 2u);
        ASSERT_EQ(means.size(), 2u);
        const std::string peak = prow[r][pc.at("peak")];
        const std::string t_peak = prow[r][pc.at("t_peak")];
        // The label to 6 significant digits, the full numbers in its tooltip.
        EXPECT_NEAR(std::stod(labels[file]->text), std::stod(peak),
                    std::abs(std::stod(peak)) * 5e-6);
        EXPECT_NE(labels[file]->text.find(" at t = " + t_peak + " s"), std::string::npos);
        EXPECT_EQ(xml::find_all(*labels[file], "title").at(0)->text,
                  prow[r][pc.at("file")] + ": peak " + peak + " at t = " + t_peak + " s");
        EXPECT_NEAR(std::stod(dots[file]->attr("cx")), x(std::stod(t_peak)), 0.15);
        EXPECT_NEAR(std::stod(dots[file]->attr("cy")), y(std::stod(peak)), 0.15);
        EXPECT_EQ(dots[file]->attr("fill"), entries[file]->children.at(0).attr("stroke"));
        const double mean = std::stod(srow[r][sc.at("mean")]);
        EXPECT_NEAR(std::stod(means[file]->attr("y1")), y(mean), 0.15);
        EXPECT_NEAR(std::stod(means[file]->attr("x1")), x(20.0), 0.15);
        EXPECT_NEAR(std::stod(means[file]->attr("x2")), x(80.0), 0.15);
        const auto win = xml::find_all(g, "rect", "window");
        ASSERT_EQ(win.size(), 1u);
        EXPECT_NEAR(std::stod(win[0]->attr("x")), x(20.0), 0.15);
    }
    // The whole series are drawn: from the left edge (both start at the same
    // time), a.dyn to its last time, 99.95 (the longer file; the axis runs
    // on to the next tick, 100).
    const auto frame = xml::find_all(*panels[0], "rect", "frame").at(0);
    const double left = std::stod(frame->attr("x"));
    const double right = left + std::stod(frame->attr("width"));
    const auto paths = xml::find_all(*panels[0], "path", "series");
    ASSERT_EQ(paths.size(), 2u);
    for (const auto* path : paths) {
        const std::string d = path->attr("d");
        ASSERT_EQ(d[0], 'M');
        EXPECT_NEAR(std::stod(d.substr(1)), left, 0.15);
    }
    const std::string d0 = paths[0]->attr("d");
    EXPECT_NEAR(std::stod(d0.substr(d0.rfind(' ') + 1)), left + (right - left) * 0.9995, 0.15);
}

TEST(PlotCommand, OutputFileRulesAndFailedFiles) {
    ScratchDir dir;
    make_samples(dir);
    dir.copy_fixture("truncated.dyn");

    // The default name exists: refused, the file kept, nothing read.
    dir.write("a.svg", "keep me");
    Outcome r = pektor(dir, "plot -c 1 a.dyn");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err,
              "pektor plot: a.svg: exists; give --force to replace it or -o for another name\n");
    EXPECT_EQ(dir.read("a.svg"), "keep me");
    r = pektor(dir, "plot --force -c 1 a.dyn");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NO_THROW(xml::parse(dir.read("a.svg")));

    // An input file or a dyn file as output: refused.
    const std::string before = dir.read("b.dyn");
    r = pektor(dir, "plot -c 1 -o b.dyn a.dyn");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("pektor plot: b.dyn: "), std::string::npos) << r.err;
    EXPECT_EQ(dir.read("b.dyn"), before);
    r = pektor(dir, "plot -c 1 -o a.dyn a.dyn");
    EXPECT_EQ(r.code, 1);

    // One file fails: its message, exit 2, the picture of the others.
    r = pektor(dir, "plot --overlay -c 1,2 -o two.svg a.dyn truncated.dyn b.dyn");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err.rfind("pektor plot: truncated.dyn: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    const xml::Element two = xml::parse(dir.read("two.svg"));
    EXPECT_EQ(xml::find_all(two, "g", "panel").size(), 1u);
    const auto entries = xml::find_all(two, "g", "legend-entry");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0]->all_text(), "a.dyn: 1 Base force Fx");
    EXPECT_EQ(entries[3]->all_text(), "b.dyn: 2 Base force Fy");

    // No file readable: exit 1 and nothing written.
    r = pektor(dir, "plot -o none.svg truncated.dyn missing.dyn");
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(dir.exists("none.svg"));
    EXPECT_NE(r.err.find("pektor plot: missing.dyn: "), std::string::npos);
    EXPECT_NE(r.err.find("no file could be read"), std::string::npos);

    // A DynRes without samples in the window is an error for that file.
    r = pektor(dir, "plot -w 500: -o late.svg a.dyn");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("pektor plot: a.dyn: no sample in the window 500:"), std::string::npos)
        << r.err;

    // To standard output with -o -.
    r = pektor(dir, "plot -c 2 -o - a.dyn");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind("<?xml", 0), 0u);

    // Nothing but the outputs asked for appeared.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path())) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{"a.dyn", "a.svg", "b.dyn", "truncated.dyn", "two.svg"}));
}

TEST(PlotCommand, JobsGiveTheSameOutputAndDifferingLabelsAWarning) {
    ScratchDir dir;
    make_samples(dir);
    dir.copy_fixture("truncated.dyn");
    dir.copy_fixture("le_basic.dyn");
    const std::string files = " a.dyn truncated.dyn le_basic.dyn b.dyn";
    const Outcome one = pektor(dir, "plot -j 1 -c 1,2 -o j1.svg" + files);
    const Outcome two = pektor(dir, "plot -j 2 -c 1,2 -o j2.svg" + files);
    EXPECT_EQ(one.code, 2);
    EXPECT_EQ(two.code, 2);
    EXPECT_EQ(one.err, two.err);
    EXPECT_EQ(dir.read("j1.svg"), dir.read("j2.svg"));
    // The failed file's line, then the labels of le_basic.dyn against the
    // panel titles taken from a.dyn.
    EXPECT_EQ(one.err.substr(one.err.find('\n') + 1),
              "pektor plot: le_basic.dyn: DynRes 1 is \"Shear X\" here but \"Base force Fx\" in "
              "a.dyn\n"
              "pektor plot: le_basic.dyn: DynRes 2 is \"Shear Y\" here but \"Base force Fy\" in "
              "a.dyn\n");
    EXPECT_EQ(pektor(dir, "plot -q -c 1 -o q.svg a.dyn le_basic.dyn").err, "");
    EXPECT_EQ(xml::find_all(xml::parse(dir.read("j1.svg")), "g", "legend-entry").size(), 3u);

    const Outcome r1 = pektor(dir, "report -j 1 -c 1,2 -o r1.html" + files);
    const Outcome r2 = pektor(dir, "report -j 2 -c 1,2 -o r2.html" + files);
    EXPECT_EQ(r1.code, 2);
    EXPECT_EQ(r1.err, r2.err);
    // The same page but for the command line and, perhaps, the minute.
    const auto body = [](const std::string& html) { return html.substr(html.find("</header>")); };
    EXPECT_EQ(body(dir.read("r1.html")), body(dir.read("r2.html")));
}

// Shards of plot and report: each takes its files (the default picture is
// named after its first one), the shards together hold every file, and an
// empty shard writes nothing.
TEST(PlotCommand, ShardsTakeTheirFilesAndNameTheirPictures) {
    ScratchDir dir;
    make_samples(dir);
    ASSERT_EQ(run_in(dir.path(), "cp a.dyn c.dyn"), 0);
    const std::string files = " a.dyn b.dyn c.dyn";
    for (const char* shard : {"1/2", "2/2"})
        EXPECT_EQ(pektor(dir, "plot -c 1 --shard " + std::string(shard) + files).code, 0);
    // 1/2: a.dyn and c.dyn in a.svg; 2/2: b.dyn in b.svg.
    const auto legends = [&](const std::string& svg) {
        const xml::Element doc = xml::parse(dir.read(svg));
        std::vector<std::string> names;
        for (const auto* e : xml::find_all(doc, "g", "legend-entry"))
            names.push_back(e->all_text());
        return names;
    };
    EXPECT_EQ(legends("a.svg"), (std::vector<std::string>{"a.dyn", "c.dyn"}));
    EXPECT_EQ(legends("b.svg"), (std::vector<std::string>{"b.dyn"}));
    EXPECT_FALSE(fs::exists(dir.path() / "c.svg"));

    const Outcome r = pektor(dir, "report -c 1 --shard 2/2 -o r.html" + files);
    EXPECT_EQ(r.code, 0) << r.err;
    const std::string html = dir.read("r.html");
    EXPECT_NE(html.find("<h2>b.dyn</h2>"), std::string::npos);
    EXPECT_EQ(html.find("<h2>a.dyn</h2>"), std::string::npos);
    EXPECT_EQ(html.find("<h2>c.dyn</h2>"), std::string::npos);
    const Outcome none = pektor(dir, "report -c 1 --shard 3/3 -o none.html a.dyn b.dyn");
    EXPECT_EQ(none.code, 0);
    EXPECT_EQ(none.err, "pektor report: no file in shard 3/3; nothing written\n");
    EXPECT_FALSE(fs::exists(dir.path() / "none.html"));
}

TEST(PlotCommand, LongSeriesGivesASmallPictureWithItsExtremes) {
    ScratchDir dir;
    ASSERT_EQ(run_in(dir.path(), "'" + kDyngen +
                                     "' --dynres 2 --steps 100000 --dt 0.01 --pack 100 -o long.dyn "
                                     "> /dev/null"),
              0);
    const Outcome r = pektor(dir, "plot -c 1 long.dyn");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string svg = dir.read("long.svg");
    EXPECT_LT(svg.size(), 300u * 1024u);
    const xml::Element root = xml::parse(svg);
    const double font = std::stod(root.attr("font-size"));
    const Fit y = fit_ticks(root, "ytick", true, font);
    const Outcome s = pektor(dir, "stats -c 1 -f csv long.dyn");
    const auto rows = csv_rows(s.out);
    ASSERT_EQ(rows.size(), 2u);
    const auto c = columns(rows[0]);
    const double max = std::stod(rows[1][c.at("max")]);
    const double min = std::stod(rows[1][c.at("min")]);
    // The drawn line reaches the maximum and the minimum of the series.
    const std::string d = xml::find_all(root, "path", "series").at(0)->attr("d");
    double top = 1e9, bottom = -1e9;
    for (std::size_t i = d.find(','); i != std::string::npos; i = d.find(',', i + 1)) {
        const double py = std::stod(d.substr(i + 1));
        top = std::min(top, py);
        bottom = std::max(bottom, py);
    }
    EXPECT_NEAR(top, y(max), 0.15);
    EXPECT_NEAR(bottom, y(min), 0.15);
}

// --inset: a small panel around the peak of each panel, also zoomed and in
// an overlay; the picture stays well-formed XML, and a misuse of the flag
// is refused in one line.
TEST(PlotCommand, InsetAroundEachPanelsPeak) {
    ScratchDir dir;
    make_samples(dir);
    const struct {
        const char* args;
        std::size_t panels, insets;
    } cases[] = {
        {"plot --inset -c 1,3 -w 20:80 -o in.svg a.dyn b.dyn", 2, 2},
        {"plot --inset --zoom -c 1 -w 40:60 -o in.svg a.dyn", 1, 1},
        {"plot --inset --overlay --zoom -c 1,2 -w 40:60 -o in.svg a.dyn b.dyn", 1, 1},
        {"plot --inset=false -c 1 -o in.svg a.dyn", 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const Outcome r = pektor(dir, std::string(c.args) + " --force");
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const xml::Element root = xml::parse(dir.read("in.svg"));
        const auto panels = xml::find_all(root, "g", "panel");
        ASSERT_EQ(panels.size(), c.panels);
        std::size_t insets = 0;
        for (const auto* g : panels) {
            const auto in = xml::find_all(*g, "g", "inset");
            insets += in.size();
            if (in.empty()) continue;
            // Around the panel's first peak, whose label gives its time.
            const std::string label = xml::find_all(*g, "text", "peak-label").at(0)->text;
            const std::size_t at = label.find(" at t = ");
            ASSERT_NE(at, std::string::npos) << label;
            const double t_peak = std::stod(label.substr(at + 8));
            EXPECT_LE(std::stod(in[0]->attr("data-t0")), t_peak);
            EXPECT_GE(std::stod(in[0]->attr("data-t1")), t_peak);
        }
        EXPECT_EQ(insets, c.insets);
    }
    // Not a flag of report, and no value but a truth value.
    for (const char* wrong :
         {"report --inset -o r.html a.dyn", "plot --inset=maybe -o w.svg a.dyn"}) {
        SCOPED_TRACE(wrong);
        const Outcome r = pektor(dir, wrong);
        EXPECT_NE(r.code, 0);
        EXPECT_NE(r.err.find("--inset"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.rfind("pektor ", 0), 0u) << r.err;
        EXPECT_FALSE(dir.exists("r.html"));
        EXPECT_FALSE(dir.exists("w.svg"));
    }
}

// The report of a.dyn, b.dyn and a failing file.
std::string make_report(const ScratchDir& dir, Outcome& run) {
    make_samples(dir);
    dir.copy_fixture("truncated.dyn");
    run = pektor(dir, "report -w 20:80 --sign abs -o report.html a.dyn truncated.dyn b.dyn");
    return dir.read("report.html");
}

TEST(ReportCommand, TablesHoldTheStatsNumbersAndEachDynResHasItsPicture) {
    ScratchDir dir;
    Outcome run;
    const std::string html = make_report(dir, run);
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.err.rfind("pektor report: truncated.dyn: ", 0), 0u) << run.err;
    const xml::Element root = xml::parse(html);

    const std::string header = xml::find_all(root, "header").at(0)->all_text();
    EXPECT_NE(header.find("report -w 20:80 --sign abs -o report.html a.dyn truncated.dyn b.dyn"),
              std::string::npos)
        << header;
    EXPECT_NE(header.find(" UTC"), std::string::npos);

    const Outcome stats = pektor(dir, "stats -w 20:80 -f csv a.dyn b.dyn");
    ASSERT_EQ(stats.code, 0);
    const auto srow = csv_rows(stats.out);
    ASSERT_EQ(srow.size(), 13u);
    const Outcome peaks = pektor(dir, "peak -w 20:80 --sign abs -f csv a.dyn b.dyn");
    const auto prow = csv_rows(peaks.out);
    ASSERT_EQ(prow.size(), 13u);
    const auto pc = columns(prow[0]);

    const auto sections = xml::find_all(root, "section", "file");
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_FALSE(xml::find_all(*sections[1], "p", "error").empty());
    // The table is the stats rows without the columns the file's header
    // says once: the file, the window's first and last time and its samples.
    const auto sc = columns(srow[0]);
    const auto shown = [&](const std::vector<std::string>& row) {
        std::vector<std::string> cells;
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (c != sc.at("file") && c != sc.at("t_first") && c != sc.at("t_last") &&
                c != sc.at("n"))
                cells.push_back(row[c]);
        }
        return cells;
    };
    std::size_t r = 1;
    for (const std::size_t s : {0u, 2u}) {
        const xml::Element& sec = *sections[s];
        const auto trs = xml::find_all(sec, "tr");
        ASSERT_EQ(trs.size(), 7u);
        std::vector<std::string> head;
        for (const auto& th : trs[0]->children) head.push_back(th.text);
        EXPECT_EQ(head, shown(srow[0]));
        const std::string summary = xml::find_all(sec, "p", "summary").at(0)->text;
        EXPECT_NE(
            summary.find("The window: t = " + srow[r][sc.at("t_first")] + " to " +
                         srow[r][sc.at("t_last")] + " s, " + srow[r][sc.at("n")] + " samples."),
            std::string::npos)
            << summary;
        const auto figures = xml::find_all(sec, "figure");
        ASSERT_EQ(figures.size(), 6u);
        for (std::size_t i = 1; i < trs.size(); ++i, ++r) {
            std::vector<std::string> cells;
            // Numbers in full as the sort key and tooltip, the label linked
            // to its figure.
            for (const auto& td : trs[i]->children) {
                cells.push_back(td.has_class("num") && !td.attr("data-v").empty()
                                    ? td.attr("data-v")
                                    : td.all_text());
            }
            EXPECT_EQ(cells, shown(srow[r]));
            EXPECT_EQ(srow[r][0], xml::find_all(sec, "h2").at(0)->text);
            // The picture of the DynRes: its peak by the sign convention.
            const xml::Element& fig = *figures[i - 1];
            // The series, its spectrum with fp, and the histogram counting
            // the window's samples (n of the stats row).
            EXPECT_EQ(xml::find_all(fig, "svg").size(), 3u);
            const auto spectrum = xml::find_all(fig, "svg", "spectrum");
            ASSERT_EQ(spectrum.size(), 1u);
            EXPECT_EQ(xml::find_all(*spectrum[0], "text", "fp-label").size(), 1u);
            long counted = 0;
            for (const auto* bar : xml::find_all(fig, "rect", "bar")) {
                const std::string title = xml::find_all(*bar, "title").at(0)->text;
                counted += std::stol(title.substr(title.rfind(": ") + 2));
            }
            EXPECT_EQ(std::to_string(counted), srow[r][columns(srow[0]).at("n")]);
            EXPECT_EQ(xml::find_all(*trs[i], "a").at(0)->attr("href"), "#" + fig.attr("id"));
            // The caption: the peak to 6 significant digits.
            const std::string caption = xml::find_all(fig, "figcaption").at(0)->text;
            const std::string want = "DynRes " + prow[r][pc.at("dynres")] + ": peak (abs) ";
            ASSERT_EQ(caption.rfind(want, 0), 0u) << caption << "\n" << want;
            const double peak = std::stod(prow[r][pc.at("peak")]);
            EXPECT_NEAR(std::stod(caption.substr(want.size())), peak, std::abs(peak) * 5e-6)
                << caption;
            const std::size_t at = caption.find(" at t = ");
            ASSERT_NE(at, std::string::npos);
            EXPECT_NEAR(std::stod(caption.substr(at + 8)), std::stod(prow[r][pc.at("t_peak")]),
                        1e-3);
            EXPECT_EQ(xml::find_all(fig, "circle", "peak").size(), 1u);
            EXPECT_EQ(xml::find_all(fig, "rect", "window").size(), 1u);
        }
    }
}

#ifdef PEKTOR_XMLLINT
TEST(ReportCommand, XmllintAcceptsTheReport) {
    ScratchDir dir;
    Outcome run;
    make_report(dir, run);
    EXPECT_EQ(run_in(dir.path(), "'" PEKTOR_XMLLINT "' --noout report.html 2> lint.txt"), 0)
        << dir.read("lint.txt");
}
#endif

// The browser: PEKTOR_CHROMIUM, else chromium, chromium-browser or
// google-chrome on the PATH; empty when there is none.
std::string find_browser() {
    if (const char* env = std::getenv("PEKTOR_CHROMIUM"); env && *env) return env;
    const char* path = std::getenv("PATH");
    if (!path) return {};
    const std::string dirs = path;
    for (const char* name : {"chromium", "chromium-browser", "google-chrome"}) {
        std::size_t b = 0;
        while (b <= dirs.size()) {
            const std::size_t e = std::min(dirs.find(':', b), dirs.size());
            const fs::path p = fs::path(dirs.substr(b, e - b)) / name;
            if (::access(p.c_str(), X_OK) == 0) return p.string();
            b = e + 1;
        }
    }
    return {};
}

struct Picture {
    std::uint32_t width = 0, height = 0;
    std::vector<unsigned char> rgb;
};

bool read_png(const fs::path& file, Picture& pic) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, file.c_str())) return false;
    img.format = PNG_FORMAT_RGB;
    pic.rgb.resize(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, pic.rgb.data(), 0, nullptr)) {
        png_image_free(&img);
        return false;
    }
    pic.width = img.width;
    pic.height = img.height;
    return true;
}

// The browser, or a failure (a skip with PEKTOR_NO_BROWSER=1) saying why
// there is none.
#define REQUIRE_BROWSER(browser)                                                            \
    const std::string browser = find_browser();                                             \
    if (browser.empty()) {                                                                  \
        const char* opt_out = std::getenv("PEKTOR_NO_BROWSER");                             \
        if (opt_out && std::string(opt_out) == "1") {                                       \
            GTEST_SKIP() << "no Chromium found; skipped because PEKTOR_NO_BROWSER=1";       \
        }                                                                                   \
        FAIL() << "no Chromium found (scripts/setup installs the package chromium; set "    \
                  "PEKTOR_CHROMIUM to its path, or PEKTOR_NO_BROWSER=1 to skip this test)"; \
    }

// Runs the headless browser on the page of the directory with the extra
// arguments (a fresh profile, no network services); its exit code.
int browse(const ScratchDir& dir, const std::string& browser, const std::string& page,
           const std::string& args) {
    fs::create_directories(dir.path() / "profile");
    return run_in(dir.path(), "timeout 120 '" + browser +
                                  "' --headless --no-sandbox --disable-gpu --disable-quic "
                                  "--no-first-run --disable-background-networking "
                                  "--disable-component-update --disable-sync --user-data-dir='" +
                                  (dir.path() / "profile").string() + "' " + args + " 'file://" +
                                  (dir.path() / page).string() + "' 2> browser.txt");
}

TEST(ReportCommand, ABrowserRendersTheReport) {
    REQUIRE_BROWSER(browser);
    ScratchDir dir;
    Outcome run;
    make_report(dir, run);
    ASSERT_EQ(run.code, 2);
    const int code = browse(dir, browser, "report.html",
                            "--hide-scrollbars --window-size=1024,1400 --screenshot='" +
                                (dir.path() / "shot.png").string() + "' > /dev/null");
    ASSERT_EQ(code, 0) << dir.read("browser.txt");
    Picture pic;
    ASSERT_TRUE(read_png(dir.path() / "shot.png", pic)) << dir.read("browser.txt");
    EXPECT_EQ(pic.width, 1024u);
    EXPECT_EQ(pic.height, 1400u);
    std::size_t ink = 0;
    const std::size_t pixels = static_cast<std::size_t>(pic.width) * pic.height;
    for (std::size_t i = 0; i < pixels; ++i) {
        const unsigned char* px = &pic.rgb[3 * i];
        if (px[0] < 240 || px[1] < 240 || px[2] < 240) ++ink;
    }
    const double fraction = static_cast<double>(ink) / static_cast<double>(pixels);
    // Text, table lines, the shaded windows and the series: a few percent of
    // the page, far from all of it.
    EXPECT_GT(fraction, 0.03);
    EXPECT_LT(fraction, 0.6);
}

// The inline script of the page: it runs (the hint appears) and sorts a
// table by a column, numbers by value, up and then down. A test script
// added to a copy of the page clicks the heading and notes the orders.
TEST(ReportCommand, ABrowserSortsTheTables) {
    REQUIRE_BROWSER(browser);
    ScratchDir dir;
    Outcome run;
    std::string html = make_report(dir, run);
    const std::string probe = R"(<script>
var t = document.querySelector('section.file table.sortable'), th = t.tHead.rows[0].cells, col = -1;
for (var i = 0; i < th.length; i++) if (th[i].textContent === 'max') col = i;
var order = function () {
  return Array.prototype.map.call(t.tBodies[0].rows, function (r) {
    return r.cells[col].getAttribute('data-v'); }).join(' ');
};
th[col].click();
document.body.setAttribute('data-up', order());
th[col].click();
document.body.setAttribute('data-down', order());
document.body.setAttribute('data-hint', document.querySelector('.hint').hidden ? 'hidden' : 'shown');
</script>)";
    const std::size_t end = html.rfind("</body>");
    ASSERT_NE(end, std::string::npos);
    html.insert(end, probe);
    dir.write("probe.html", html);
    ASSERT_EQ(browse(dir, browser, "probe.html", "--dump-dom > dom.txt"), 0)
        << dir.read("browser.txt");
    const std::string dom = dir.read("dom.txt");
    auto attr = [&](const std::string& name) {
        const std::string key = name + "=\"";
        const std::size_t b = dom.find(key);
        if (b == std::string::npos) return std::string("<missing>");
        const std::size_t e = dom.find('"', b + key.size());
        return dom.substr(b + key.size(), e - b - key.size());
    };
    EXPECT_EQ(attr("data-hint"), "shown");

    // The expected orders, from the table as written.
    const xml::Element root = xml::parse(make_report(dir, run));
    const auto first = xml::find_all(root, "section", "file").at(0);
    const auto trs = xml::find_all(*xml::find_all(*first, "table").at(0), "tr");
    std::size_t col = 0;
    while (col < trs[0]->children.size() && trs[0]->children[col].text != "max") ++col;
    std::vector<std::string> values;
    std::string as_written;
    for (std::size_t i = 1; i < trs.size(); ++i) {
        values.push_back(trs[i]->children.at(col).attr("data-v"));
        as_written += (i > 1 ? " " : "") + values.back();
    }
    std::sort(values.begin(), values.end(), [](const std::string& a, const std::string& b) {
        return std::stod(a) < std::stod(b);
    });
    std::string up, down;
    for (std::size_t i = 0; i < values.size(); ++i) {
        up += (i ? " " : "") + values[i];
        down += (i ? " " : "") + values[values.size() - 1 - i];
    }
    ASSERT_NE(up, as_written);  // else the sorting would go unseen
    EXPECT_EQ(attr("data-up"), up);
    EXPECT_EQ(attr("data-down"), down);
}

// The page with a test script added at its end, as the browser leaves it
// after the scripts ran: the attributes the script set on the body.
std::map<std::string, std::string> probe_page(const ScratchDir& dir, const std::string& browser,
                                              std::string html, const std::string& script,
                                              const std::string& window) {
    const std::size_t end = html.rfind("</body>");
    EXPECT_NE(end, std::string::npos);
    html.insert(end, "<script>//<![CDATA[\ntry {\n" + script +
                         "\n} catch (e) { document.body.setAttribute('data-error', String(e)); }"
                         "\n//]]></script>");
    dir.write("probe.html", html);
    EXPECT_EQ(
        browse(dir, browser, "probe.html", "--window-size=" + window + " --dump-dom > dom.txt"), 0)
        << dir.read("browser.txt");
    const std::string dom = dir.read("dom.txt");
    std::map<std::string, std::string> attrs;
    const std::size_t body = dom.find("<body");
    const std::size_t close = dom.find('>', body);
    if (body == std::string::npos || close == std::string::npos) return attrs;
    const std::string tag = dom.substr(body, close - body);
    std::size_t at = 0;
    while ((at = tag.find(" data-", at)) != std::string::npos) {
        const std::size_t eq = tag.find("=\"", at);
        const std::size_t q = tag.find('"', eq + 2);
        attrs[tag.substr(at + 1, eq - at - 1)] = tag.substr(eq + 2, q - eq - 2);
        at = q;
    }
    return attrs;
}

// No number on the page is broken over two lines, on a wide and a narrow
// window: every number in the text (tables, captions, headers) has its
// characters on one line of the browser's layout.
TEST(ReportCommand, ABrowserNeverBreaksANumber) {
    REQUIRE_BROWSER(browser);
    ScratchDir dir;
    Outcome run;
    const std::string html = make_report(dir, run);
    const std::string script = R"(
var walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT), node, seen = 0,
    broken = [];
while ((node = walker.nextNode())) {
  var p = node.parentNode.nodeName.toLowerCase();
  if (p === 'script' || p === 'style') continue;
  var re = /(?<![A-Za-z0-9.])-?[0-9][0-9.]*(×10[⁰¹²³⁴⁵⁶⁷⁸⁹⁻]+)?/g, m;
  while ((m = re.exec(node.data))) {
    if (m[0].length < 2) continue;
    var range = document.createRange();
    range.setStart(node, m.index);
    range.setEnd(node, m.index + m[0].length);
    var tops = {};
    Array.prototype.forEach.call(range.getClientRects(), function (r) {
      if (r.width > 0) tops[Math.round(r.bottom)] = 1;
    });
    ++seen;
    if (Object.keys(tops).length > 1) broken.push(m[0] + ' in ' + p + ': ' + node.data.slice(0, 40));
  }
}
document.body.setAttribute('data-seen', seen);
document.body.setAttribute('data-broken', broken.join(' '));
)";
    for (const char* window : {"1400,1200", "600,1200", "360,1200"}) {
        SCOPED_TRACE(window);
        auto attrs = probe_page(dir, browser, html, script, window);
        EXPECT_EQ(attrs["data-error"], "");
        EXPECT_GT(std::stoi(attrs["data-seen"]), 100);
        EXPECT_EQ(attrs["data-broken"], "");
    }
}

// The charts' inline script: a wheel turn over a chart narrows its time
// range around the pointer, and the pointer over the plot area shows the
// time and value under it.
TEST(ReportCommand, ABrowserZoomsAChartAndShowsTheValueUnderThePointer) {
    REQUIRE_BROWSER(browser);
    ScratchDir dir;
    Outcome run;
    const std::string html = make_report(dir, run);
    const std::string script = R"(
var svg = document.querySelector('figure svg'), area = svg.querySelector('.plot-area');
var box = svg.querySelector('rect.frame').getBoundingClientRect();
var cx = box.left + box.width * 0.5, cy = box.top + box.height * 0.5;
var at = { clientX: cx, clientY: cy, bubbles: true, cancelable: true };
document.body.setAttribute('data-full', area.getAttribute('data-t0') + ' ' + area.getAttribute('data-t1'));
svg.dispatchEvent(new WheelEvent('wheel', Object.assign({ deltaY: -100 }, at)));
svg.dispatchEvent(new WheelEvent('wheel', Object.assign({ deltaY: -100 }, at)));
document.body.setAttribute('data-view', svg.getAttribute('data-view') || '');
svg.dispatchEvent(new MouseEvent('mousemove', at));
document.body.setAttribute('data-probe', svg.parentNode.querySelector('.probe').textContent);
var dot = svg.querySelector('circle.peak');
document.body.setAttribute('data-dot', dot.getAttribute('cx') + ' ' + dot.style.display + '|' +
    dot.querySelector('title').textContent + '|' + area.getAttribute('data-x0') + ' ' +
    area.getAttribute('data-x1'));
)";
    auto attrs = probe_page(dir, browser, html, script, "1400,1200");
    EXPECT_EQ(attrs["data-error"], "");
    std::istringstream full(attrs["data-full"]), view(attrs["data-view"]);
    double t0 = 0, t1 = 0, a = 0, b = 0;
    full >> t0 >> t1;
    view >> a >> b;
    ASSERT_FALSE(view.fail()) << attrs["data-view"];
    EXPECT_GT(a, t0);
    EXPECT_LT(b, t1);
    // Two turns of 0.8 around the middle: 64 % of the range, centred.
    EXPECT_NEAR(b - a, (t1 - t0) * 0.64, (t1 - t0) * 0.01);
    EXPECT_NEAR((a + b) / 2, (t0 + t1) / 2, (t1 - t0) * 0.01);
    const std::string probe = attrs["data-probe"];
    ASSERT_EQ(probe.rfind("t = ", 0), 0u) << probe;
    const std::size_t value = probe.find(", value = ");
    ASSERT_NE(value, std::string::npos) << probe;
    EXPECT_NEAR(std::stod(probe.substr(4)), (a + b) / 2, (t1 - t0) * 0.01);
    EXPECT_NO_THROW((void)std::stod(probe.substr(value + 10)));
    // The peak's dot follows the zoom: at its time on the zoomed axis (the
    // peak of the first chart lies inside the view).
    const std::string dot = attrs["data-dot"];
    const std::size_t bar = dot.find('|'), bar2 = dot.rfind('|');
    ASSERT_NE(bar, bar2) << dot;
    const double cx = std::stod(dot.substr(0, bar));
    const std::string title = dot.substr(bar + 1, bar2 - bar - 1);
    const std::size_t t_at = title.find(" at t = ");
    ASSERT_NE(t_at, std::string::npos) << title;
    const double t_peak = std::stod(title.substr(t_at + 8));
    std::istringstream xs(dot.substr(bar2 + 1));
    double x0 = 0, x1 = 0;
    xs >> x0 >> x1;
    ASSERT_TRUE(t_peak > a && t_peak < b) << t_peak;
    EXPECT_NEAR(a + (cx - x0) / (x1 - x0) * (b - a), t_peak, (b - a) * 0.01);
}

// A spike one sample wide is drawn up to its peak's dot in the browser too
// (the charts' script clips the plot area without cutting thin tips): in the
// column of the dot, the line's colour reaches up to the dot.
TEST(ReportCommand, ABrowserDrawsASpikeUpToItsPeak) {
    REQUIRE_BROWSER(browser);
    ScratchDir dir;
    std::vector<float> t, x;
    for (int i = 0; i < 20000; ++i) {
        t.push_back(static_cast<float>(i) * 0.01f);
        x.push_back(static_cast<float>(std::sin(i * 0.01)));
    }
    x[12345] = 40.0f;
    tools::DynResLayout layout;
    layout.labels = {"Spike"};
    tools::write_dynres_file(dir.path() / "spike.dyn", layout, t, {x});
    ASSERT_EQ(pektor(dir, "report -o spike.html spike.dyn").code, 0);
    const std::string script = R"(
var dot = document.querySelector('figure svg circle.peak').getBoundingClientRect();
document.body.setAttribute('data-dot', [dot.left + dot.width / 2, dot.top + dot.height / 2,
                                         dot.height / 2].join(' '));
)";
    auto attrs = probe_page(dir, browser, dir.read("spike.html"), script, "1400,1000");
    ASSERT_EQ(attrs["data-error"], "");
    std::istringstream at(attrs["data-dot"]);
    double cx = 0, cy = 0, r = 0;
    at >> cx >> cy >> r;
    ASSERT_FALSE(at.fail()) << attrs["data-dot"];
    ASSERT_EQ(browse(dir, browser, "spike.html",
                     "--hide-scrollbars --window-size=1400,1000 --screenshot='" +
                         (dir.path() / "spike.png").string() + "' > /dev/null"),
              0)
        << dir.read("browser.txt");
    Picture pic;
    ASSERT_TRUE(read_png(dir.path() / "spike.png", pic));
    // Blue (the first line colour) in the dot's column just below the dot.
    const auto blue = [&](int px, int py) {
        if (px < 0 || py < 0 || px >= static_cast<int>(pic.width) ||
            py >= static_cast<int>(pic.height))
            return false;
        const unsigned char* c =
            &pic.rgb[3 * (static_cast<std::size_t>(py) * pic.width + static_cast<std::size_t>(px))];
        return c[2] > c[0] + 60;
    };
    const int col = static_cast<int>(std::lround(cx));
    for (int dy = static_cast<int>(std::ceil(r)) + 1; dy <= static_cast<int>(r) + 8; ++dy) {
        const int y = static_cast<int>(std::lround(cy)) + dy;
        EXPECT_TRUE(blue(col - 1, y) || blue(col, y) || blue(col + 1, y)) << "gap at " << dy;
    }
}

// The comparison across files marks, per DynRes, the file whose peak by the
// sign convention is the largest in magnitude (abs), as pektor peak gives.
TEST(ReportCommand, TheMatrixMarksTheGoverningFile) {
    ScratchDir dir;
    Outcome run;
    const xml::Element root = xml::parse(make_report(dir, run));
    const Outcome peaks = pektor(dir, "peak -w 20:80 --sign abs -f csv a.dyn b.dyn");
    const auto prow = csv_rows(peaks.out);
    ASSERT_EQ(prow.size(), 13u);
    const auto pc = columns(prow[0]);
    const auto matrix = xml::find_all(root, "section", "matrix");
    ASSERT_EQ(matrix.size(), 1u);
    const auto trs = xml::find_all(*matrix[0], "tr");
    ASSERT_EQ(trs.size(), 7u);
    std::vector<std::string> head;
    for (const auto& th : trs[0]->children) head.push_back(th.text);
    EXPECT_EQ(head, (std::vector<std::string>{"dynres", "label", "a.dyn", "b.dyn"}));
    for (std::size_t i = 1; i < trs.size(); ++i) {
        SCOPED_TRACE(i);
        const auto& cells = trs[i]->children;
        ASSERT_EQ(cells.size(), 4u);
        const double pa = std::stod(prow[i][pc.at("peak")]);
        const double pb = std::stod(prow[i + 6][pc.at("peak")]);
        EXPECT_EQ(cells[2].attr("data-v"), prow[i][pc.at("peak")]);
        EXPECT_EQ(cells[3].attr("data-v"), prow[i + 6][pc.at("peak")]);
        const std::size_t want = std::abs(pb) > std::abs(pa) ? 3 : 2;
        EXPECT_TRUE(cells[want].has_class("governing"));
        EXPECT_FALSE(cells[5 - want].has_class("governing"));
    }
}

// The cells of a report table as the CSV writes them: numbers by their
// full text (the sort key), other cells by their text.
std::vector<std::vector<std::string>> table_cells(const xml::Element& table) {
    std::vector<std::vector<std::string>> rows;
    for (const auto* tr : xml::find_all(table, "tr")) {
        std::vector<std::string> cells;
        for (const auto& td : tr->children) {
            cells.push_back(td.has_class("num") && !td.attr("data-v").empty() ? td.attr("data-v")
                                                                              : td.all_text());
        }
        rows.push_back(std::move(cells));
    }
    return rows;
}

// The CSV rows of a command without the columns named.
std::vector<std::vector<std::string>> without(const std::vector<std::vector<std::string>>& rows,
                                              const std::vector<std::string>& drop) {
    std::vector<std::vector<std::string>> out;
    for (const auto& row : rows) {
        std::vector<std::string> kept;
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (std::find(drop.begin(), drop.end(), rows[0][c]) == drop.end())
                kept.push_back(row[c]);
        }
        out.push_back(std::move(kept));
    }
    return out;
}

// -m gives each file the DEL table of pektor fatigue, --duration the table
// of pektor extremes (the minima with --sign min), number for number; their
// options apply only with them.
TEST(ReportCommand, DelAndExtremesTablesAreThoseOfTheirCommands) {
    ScratchDir dir;
    make_samples(dir);
    // With a window (the tables from its samples) and without (from the
    // whole series the pictures hold).
    for (const auto& [sign, window] : {std::pair<std::string, std::string>{"max", "-w 10:"},
                                       {"min", "-w 10:"},
                                       {"max", "-w :1e9"},
                                       {"min", ""}}) {
        SCOPED_TRACE(sign + " " + window);
        const Outcome run = pektor(dir, "report -c 1-3 " + window + " --sign " + sign +
                                            " -m 3,5 --neq 1e6 --duration 3600 --quantiles 0.9 "
                                            "-o report.html a.dyn b.dyn");
        ASSERT_EQ(run.code, 0) << run.err;
        const xml::Element root = xml::parse(dir.read("report.html"));
        const auto fatigue = csv_rows(
            pektor(dir, "fatigue -c 1-3 " + window + " -m 3,5 --neq 1e6 -f csv a.dyn b.dyn").out);
        const auto extremes = csv_rows(pektor(dir, "extremes -c 1-3 " + window + " --sign " + sign +
                                                       " --duration 3600 --quantiles 0.9 -f csv "
                                                       "a.dyn b.dyn")
                                           .out);
        ASSERT_EQ(fatigue.size(), 7u);
        ASSERT_EQ(extremes.size(), 7u);
        const auto want_f = without(fatigue, {"file", "t_first", "t_last", "n"});
        const auto want_e = without(
            extremes, {"file", "sign", "t_first", "t_last", "duration", "wloc", "wscale", "gloc"});
        const auto sections = xml::find_all(root, "section", "file");
        ASSERT_EQ(sections.size(), 2u);
        for (std::size_t s = 0; s < 2; ++s) {
            const auto tables = xml::find_all(*sections[s], "table");
            ASSERT_EQ(tables.size(), 3u);  // the statistics, the DELs, the extremes
            const auto f = table_cells(*tables[1]);
            const auto e = table_cells(*tables[2]);
            ASSERT_EQ(f.size(), 4u);
            ASSERT_EQ(e.size(), 4u);
            EXPECT_EQ(f[0], want_f[0]);
            EXPECT_EQ(e[0], want_e[0]);
            for (std::size_t r = 1; r < 4; ++r) {
                EXPECT_EQ(f[r], want_f[s * 3 + r]);
                EXPECT_EQ(e[r], want_e[s * 3 + r]);
            }
        }
        const std::string page = dir.read("report.html");
        EXPECT_NE(page.find(sign == "min" ? "Most probable minimum" : "Most probable maximum"),
                  std::string::npos);
    }
    // Without -m or --duration no such table; their options alone are usage errors.
    ASSERT_EQ(pektor(dir, "report -c 1 -o plain.html a.dyn").code, 0);
    EXPECT_EQ(xml::find_all(xml::parse(dir.read("plain.html")), "table").size(), 1u);
    const std::pair<const char*, const char*> misuse[] = {
        {"--neq 100", "--neq applies with -m only"},
        {"--residuals full", "--residuals applies with -m only"},
        {"--fit msm", "--fit applies with --duration only"},
        {"--quantiles 0.5", "--quantiles applies with --duration only"},
        {"-m 0", "pektor report: "},
        {"--duration -1", "pektor report: "},
    };
    for (const auto& [options, message] : misuse) {
        SCOPED_TRACE(options);
        const Outcome bad = pektor(dir, std::string("report -o bad.html ") + options + " a.dyn");
        EXPECT_EQ(bad.code, 1);
        EXPECT_NE(bad.err.find(message), std::string::npos) << bad.err;
        EXPECT_FALSE(fs::exists(dir.path() / "bad.html"));
    }
}

// The y coordinates of the points of an SVG path ("M x,y L x,y x,y ...").
std::vector<double> path_ys(const std::string& d) {
    std::vector<double> ys;
    std::string s = d;
    for (char& c : s) {
        if (c == 'M' || c == 'L' || c == ',') c = ' ';
    }
    std::istringstream in(s);
    double x = 0, y = 0;
    while (in >> x >> y) ys.push_back(y);
    return ys;
}

// Several files: a chart per DynRes across them, linked from the matrix;
// every file's series with its peak up to eight files, beyond that the
// envelope of all and the governing file's series, the envelope reaching
// the governing peak.
TEST(ReportCommand, ChartsAcrossFilesOverlayOrEnvelopeTheSeries) {
    ScratchDir dir;
    std::string names;
    for (int i = 1; i <= 9; ++i) {
        const std::string name = "s" + std::to_string(i) + ".dyn";
        ASSERT_EQ(run_in(dir.path(), "'" + kDyngen + "' --dynres 2 --steps 600 --seed " +
                                         std::to_string(i) + " --scale 1." + std::to_string(i) +
                                         " -o " + name + " > /dev/null"),
                  0);
        names += " " + name;
    }
    for (const int files : {2, 9}) {
        SCOPED_TRACE(files);
        const std::string list = names.substr(0, static_cast<std::size_t>(files) * 7);
        const Outcome run = pektor(dir, "report -o across.html" + list);
        ASSERT_EQ(run.code, 0) << run.err;
        const xml::Element root = xml::parse(dir.read("across.html"));
        const auto across = xml::find_all(root, "section", "across");
        ASSERT_EQ(across.size(), 1u);
        const auto figures = xml::find_all(*across[0], "figure");
        ASSERT_EQ(figures.size(), 2u);
        const auto matrix = xml::find_all(root, "section", "matrix").at(0);
        const auto trs = xml::find_all(*matrix, "tr");
        ASSERT_EQ(trs.size(), 3u);
        for (std::size_t k = 0; k < 2; ++k) {
            const xml::Element& fig = *figures[k];
            EXPECT_EQ(fig.attr("id"), "across-d" + std::to_string(k + 1));
            EXPECT_EQ(xml::find_all(*trs[k + 1], "a").at(0)->attr("href"), "#" + fig.attr("id"));
            // The governing file: the one the matrix marks.
            std::string governing;
            const auto& cells = trs[k + 1]->children;
            for (std::size_t c = 2; c < cells.size(); ++c) {
                if (cells[c].has_class("governing")) governing = trs[0]->children[c].text;
            }
            const std::string caption = xml::find_all(fig, "figcaption").at(0)->text;
            EXPECT_NE(caption.find("governs in " + governing + ":"), std::string::npos) << caption;
            const auto paths = xml::find_all(fig, "path", "series");
            const auto dots = xml::find_all(fig, "circle", "peak");
            std::string legend;
            for (const auto* g : xml::find_all(fig, "g", "legend-entry"))
                legend += g->all_text() + "|";
            if (files <= 8) {
                EXPECT_EQ(paths.size(), static_cast<std::size_t>(files));
                EXPECT_EQ(dots.size(), static_cast<std::size_t>(files));
                continue;
            }
            ASSERT_EQ(paths.size(), 3u);
            ASSERT_EQ(dots.size(), 1u);
            EXPECT_EQ(legend, governing + "|largest and smallest of 9 files|");
            // The envelope in grey, the governing file in the first colour.
            EXPECT_EQ(paths[1]->attr("stroke"), "#9a9a9a");
            EXPECT_EQ(paths[2]->attr("stroke"), "#9a9a9a");
            EXPECT_NE(paths[0]->attr("stroke"), "#9a9a9a");
            const std::vector<double> top = path_ys(paths[1]->attr("d"));
            const std::vector<double> bottom = path_ys(paths[2]->attr("d"));
            const std::vector<double> own = path_ys(paths[0]->attr("d"));
            ASSERT_FALSE(top.empty());
            // y grows downwards: the envelope spans the governing series.
            EXPECT_LE(*std::min_element(top.begin(), top.end()),
                      std::stod(dots[0]->attr("cy")) + 0.15);
            EXPECT_LE(*std::min_element(top.begin(), top.end()),
                      *std::min_element(own.begin(), own.end()) + 0.15);
            EXPECT_GE(*std::max_element(bottom.begin(), bottom.end()),
                      *std::max_element(own.begin(), own.end()) - 0.15);
        }
    }
}

// Samples that are not finite numbers: left out of the peak, the mean and
// the line, one warning per file and DynRes; a DynRes without a finite
// sample has no peak and no mean.
TEST(PictureProgram, SamplesThatAreNotNumbersAreLeftOutWithAWarning) {
    ScratchDir dir;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    tools::DynResLayout layout;
    layout.labels = {"A", "B"};
    tools::write_dynres_file(dir.path() / "gaps.dyn", layout, std::vector<float>{0, 1, 2, 3},
                             {{1.0f, nan, 4.0f, inf}, {nan, nan, nan, nan}});
    const std::string warned =
        ": gaps.dyn: DynRes 1: 2 samples that are not finite numbers left out\n";
    const std::string none =
        ": gaps.dyn: DynRes 2: 4 samples that are not finite numbers left out\n";
    const Outcome plot = pektor(dir, "plot -o p.svg gaps.dyn");
    EXPECT_EQ(plot.code, 0);
    EXPECT_EQ(plot.err, "pektor plot" + warned + "pektor plot" + none);
    const std::string svg = dir.read("p.svg");
    EXPECT_EQ(svg.find("nan"), std::string::npos);
    EXPECT_EQ(svg.find("inf"), std::string::npos);
    const Outcome report = pektor(dir, "report -o r.html gaps.dyn");
    EXPECT_EQ(report.code, 0);
    EXPECT_EQ(report.err, "pektor report" + warned + "pektor report" + none);
    const std::string html = dir.read("r.html");
    EXPECT_NE(html.find("DynRes 1: peak (max) 4 at t = 2 s; mean 2.5"), std::string::npos);
    EXPECT_NE(html.find("DynRes 2: no sample that is a finite number"), std::string::npos);
    EXPECT_EQ(pektor(dir, "plot -q --force -o p.svg gaps.dyn").err, "");
}

}  // namespace
