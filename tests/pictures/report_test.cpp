// The HTML report page: well-formed, self-contained, the tables as given
// with numeric columns marked, the pictures inline, every text escaped.
#include "pictures/report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pictures/svg.h"
#include "support/program.h"
#include "support/scratch.h"
#include "support/xml_lite.h"

namespace {

namespace xml = test_support::xml;
using pictures::Report;

Report sample_report() {
    static const std::vector<float> t = {0.0f, 0.5f, 1.0f, 1.5f, 2.0f};
    static const std::vector<float> v = {1.0f, 3.0f, -2.0f, 0.5f, 0.25f};
    std::vector<pictures::Panel> panels{
        {1, "Fx <&>", {pictures::Trace{"a.dyn", t, v, pictures::Peak{3.0f, 0.5f}, 0.55}}}};
    pictures::Layout small;
    small.width = 420;
    small.panel_height = 140;
    small.xml_declaration = false;

    Report r;
    r.command_line = "pektor report -c '1,2' -o r.html a.dyn \"b&c.dyn\"";
    r.date = "2026-12-08 16:00 UTC";
    r.note = "window 0:2, sign max";
    pictures::FileSection a;
    a.name = "a.dyn";
    a.table.header = {"dynres", "label", "n", "max", "t_max", "tz"};
    a.table.rows = {{"1", "Fx <&>", "5", "3", "0.5", ""},
                    {"2", "Fy", "5", "-1e-05", "1.5", "0.25"}};
    a.table.anchors = {"f1-d1", "f1-d2"};
    a.figures = {{"1 Fx <&>", pictures::render_svg(panels, {}, small), "f1-d1", ""},
                 {"2 Fy", pictures::render_svg(panels, {}, small), "f1-d2", ""}};
    pictures::FileSection b;
    b.name = "b&c.dyn";
    b.error = "not a dyn file <bad>";
    r.files = {a, b};
    return r;
}

TEST(Report, WellFormedSelfContainedPage) {
    const Report r = sample_report();
    const std::string html = pictures::render_html(r);
    ASSERT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
    const xml::Element root = xml::parse(html);
    EXPECT_EQ(root.name, "html");

    // Nothing is loaded from elsewhere.
    std::vector<const xml::Element*> external;
    xml::collect(
        root,
        [](const xml::Element& e) {
            const std::string href = e.attr("href");
            return !e.attr("src").empty() || (!href.empty() && href[0] != '#') || e.name == "link";
        },
        external);
    EXPECT_TRUE(external.empty());
    EXPECT_EQ(html.find("@import"), std::string::npos);
    // url() only of the page's own elements (the charts' clip paths).
    for (std::size_t at = html.find("url("); at != std::string::npos;
         at = html.find("url(", at + 1)) {
        EXPECT_EQ(html.compare(at, 5, "url(#"), 0) << html.substr(at, 40);
    }

    // The command line, date and note, escaped and read back unchanged.
    const std::string header = xml::find_all(root, "header").at(0)->all_text();
    EXPECT_NE(header.find(r.command_line), std::string::npos);
    EXPECT_NE(header.find(r.date), std::string::npos);
    EXPECT_NE(header.find(r.note), std::string::npos);

    const auto sections = xml::find_all(root, "section", "file");
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(xml::find_all(*sections[0], "h2").at(0)->text, "a.dyn");
    EXPECT_EQ(xml::find_all(*sections[1], "h2").at(0)->text, "b&c.dyn");
    EXPECT_EQ(xml::find_all(*sections[1], "p", "error").at(0)->text, "not a dyn file <bad>");
    EXPECT_TRUE(xml::find_all(*sections[1], "table").empty());
    // The contents list links to both sections.
    const auto links = xml::find_all(*xml::find_all(root, "nav").at(0), "a");
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0]->attr("href"), "#" + sections[0]->attr("id"));
    EXPECT_EQ(links[1]->attr("href"), "#" + sections[1]->attr("id"));

    // The table: the header as given; numeric columns (empty cells allowed)
    // right-aligned with the full text as the sort key and tooltip, text
    // columns as given; the label links to the row's figure.
    const auto tables = xml::find_all(*sections[0], "table", "sortable");
    ASSERT_EQ(tables.size(), 1u);
    std::vector<std::string> head;
    for (const auto* th : xml::find_all(*tables[0], "th")) head.push_back(th->text);
    EXPECT_EQ(head, r.files[0].table.header);
    const auto rows = xml::find_all(*tables[0], "tr");
    ASSERT_EQ(rows.size(), 3u);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const auto& cells = rows[i]->children;
        ASSERT_EQ(cells.size(), 6u);
        EXPECT_EQ(rows[i]->attr("id"), "row-f1-d" + std::to_string(i));
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const std::string& given = r.files[0].table.rows[i - 1][c];
            EXPECT_EQ(cells[c].all_text(), given == "-1e-05" ? "-1×10⁻⁵" : given);
            if (!given.empty() && c != 1) {
                EXPECT_EQ(cells[c].attr("data-v"), given);
                EXPECT_EQ(cells[c].attr("title"), given);
            }
            EXPECT_EQ(cells[c].has_class("num"), c != 1) << c;
        }
        const auto link = xml::find_all(cells[1], "a").at(0);
        EXPECT_EQ(link->attr("href"), "#f1-d" + std::to_string(i));
    }

    // The pictures inline, with their captions.
    const auto figures = xml::find_all(*sections[0], "figure");
    ASSERT_EQ(figures.size(), 2u);
    EXPECT_EQ(xml::find_all(*figures[0], "svg").size(), 1u);
    EXPECT_EQ(figures[0]->attr("id"), "f1-d1");
    const auto caption = xml::find_all(*figures[0], "figcaption").at(0);
    EXPECT_NE(caption->all_text().find("Fx <&>"), std::string::npos);
    EXPECT_EQ(xml::find_all(*caption, "a").at(0)->attr("href"), "#row-f1-d1");
    EXPECT_EQ(xml::find_all(*figures[0], "circle", "peak").size(), 1u);

    // Print layout and the sorting script are in the page.
    EXPECT_NE(html.find("@page { size: A4"), std::string::npos);
    EXPECT_EQ(xml::find_all(root, "script").size(), 1u);
    EXPECT_EQ(xml::find_all(root, "style").size(), 1u);
}

TEST(Report, NumbersAreRecognisedAsTheTablesWriteThem) {
    for (const char* s : {"1", "-2.5", "1e-05", "3.4028235e+38", "0", "nan", "inf"}) {
        EXPECT_TRUE(pictures::is_number(s)) << s;
    }
    for (const char* s : {"", "1 ", " ", "abc", "1,5", "Base force", "0x"}) {
        EXPECT_FALSE(pictures::is_number(s)) << s;
    }
}

#ifdef PEKTOR_XMLLINT
TEST(Report, XmllintAcceptsThePage) {
    test_support::ScratchDir dir;
    dir.write("r.html", pictures::render_html(sample_report()));
    EXPECT_EQ(test_support::run_in(dir.path(), "'" PEKTOR_XMLLINT "' --noout r.html 2> err.txt"), 0)
        << dir.read("err.txt");
}
#endif

}  // namespace
