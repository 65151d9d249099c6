// The batch commands' handling of labels with odd bytes (control characters
// and bytes above 127), of DynRes that a file or the reference lacks, and of
// the repeatable list options, run end to end by the pektor program.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/program.h"
#include "support/scratch.h"
#include "tools/dynres_writer.h"

namespace {

using test_support::ScratchDir;
namespace fs = std::filesystem;

using Result = test_support::CommandRun;

Result pektor(const fs::path& dir, const std::string& args, const ScratchDir& streams) {
    return test_support::run_command(dir, PEKTOR_BIN, args, streams.path());
}

const std::vector<float> kTimes = {0.0f, 0.5f, 1.0f};

// A file of n DynRes with the given labels (the rest "D<k>"); DynRes k has
// the values k, -2k, k/2.
void write_file(const fs::path& file, std::vector<std::string> labels, std::int32_t n) {
    tools::DynResLayout layout;
    layout.ncol = 0;
    for (auto k = static_cast<std::int32_t>(labels.size()) + 1; k <= n; ++k)
        labels.push_back("D" + std::to_string(k));
    layout.labels = labels;
    std::vector<std::vector<float>> values;
    for (std::int32_t k = 1; k <= n; ++k) {
        const auto x = static_cast<float>(k);
        values.push_back({x, -2 * x, x / 2});
    }
    tools::write_dynres_file(file, layout, kTimes, values);
}

// Labels: CR LF inside, a terminal colour sequence, Latin-1 bytes (o-slash,
// e-acute) and a C1 control byte.
const std::vector<std::string> kOdd = {"Fx\r\nTotal", "\x1b[31mred", "M\xf8ment", "\xe9t\x9b"};

TEST(BatchLabels, EveryOutputIsUtf8AndTerminalsSeeNoControlCharacters) {
    ScratchDir dir;
    ScratchDir streams;
    write_file(dir.path() / "a.dyn", kOdd, 5);
    write_file(dir.path() / "b.dyn", {"Fx", "\x1b[31mred", "M\xf8ment", "\xe9t\x9b"}, 5);

    // The table: control characters escaped, columns aligned by characters.
    const Result table = pektor(dir.path(), "list a.dyn", streams);
    EXPECT_EQ(table.code, 0);
    EXPECT_EQ(table.out,
              "file   dynres  label        steps  t_first  t_last\n"
              "a.dyn       1  Fx\\r\\nTotal      3        0       1\n"
              "a.dyn       2  \\x1b[31mred      3        0       1\n"
              "a.dyn       3  M\u00f8ment           3        0       1\n"
              "a.dyn       4  \u00e9t\\x9b           3        0       1\n"
              "a.dyn       5  D5               3        0       1\n");

    // CSV and JSON keep the characters, in UTF-8.
    const Result csv = pektor(dir.path(), "list -f csv -c 1-4 a.dyn", streams);
    EXPECT_EQ(csv.out,
              "file,dynres,label,steps,t_first,t_last\r\n"
              "a.dyn,1,\"Fx\r\nTotal\",3,0,1\r\n"
              "a.dyn,2,\x1b[31mred,3,0,1\r\n"
              "a.dyn,3,M\u00f8ment,3,0,1\r\n"
              "a.dyn,4,\u00e9t\u009b,3,0,1\r\n");
    const Result json = pektor(dir.path(), "stats -f json -c 1-4 a.dyn", streams);
    EXPECT_NE(json.out.find("\"label\":\"Fx\\r\\nTotal\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"label\":\"\\u001b[31mred\""), std::string::npos);
    EXPECT_NE(json.out.find("\"label\":\"M\u00f8ment\""), std::string::npos);
    EXPECT_NE(json.out.find("\"label\":\"\u00e9t\u009b\""), std::string::npos);

    // The export header is made of labels: escaped in the table only.
    EXPECT_EQ(pektor(dir.path(), "export -c 1,3 -w 0:0 a.dyn", streams).out,
              "time  Fx\\r\\nTotal  M\u00f8ment\n"
              "   0            1       3\n");

    // Messages: one line, the label escaped.
    const Result daf = pektor(dir.path(), "daf --ref a.dyn -c 1-2 -f csv b.dyn", streams);
    EXPECT_EQ(daf.code, 0);
    EXPECT_EQ(daf.err,
              "pektor daf: b.dyn: DynRes 1 is \"Fx\" here but \"Fx\\r\\nTotal\" in a.dyn\n");

    // The picture: the same characters, not '?'.
    const Result svg = pektor(dir.path(), "plot -c 3,4 -o - a.dyn", streams);
    EXPECT_EQ(svg.code, 0) << svg.err;
    EXPECT_NE(svg.out.find("M\u00f8ment"), std::string::npos);
    EXPECT_NE(svg.out.find("\u00e9t\u009b"), std::string::npos);
    const Result html = pektor(dir.path(), "report -c 3 -o - a.dyn", streams);
    EXPECT_NE(html.out.find(">M\u00f8ment</a></td>"), std::string::npos) << html.out;
}

TEST(BatchMissing, LackedDynResGiveEmptyCellsAndOneWarningPerFile) {
    ScratchDir dir;
    ScratchDir streams;
    write_file(dir.path() / "a.dyn", {}, 6);
    write_file(dir.path() / "b.dyn", {}, 7);
    write_file(dir.path() / "c.dyn", {}, 2);

    const Result peak = pektor(dir.path(), "peak -f csv -c 1 --coincident 7 a.dyn b.dyn", streams);
    EXPECT_EQ(peak.code, 0);
    EXPECT_EQ(peak.err,
              "pektor peak: a.dyn: --coincident: no DynRes 7 (the file has 6); left empty\n");
    EXPECT_EQ(peak.out,
              "file,dynres,label,sign,peak,t_peak,n,c7\r\n"
              "a.dyn,1,D1,max,1,0,3,\r\n"
              "b.dyn,1,D1,max,1,0,3,7\r\n");

    // Several lacks of one file: one warning; -q: none.
    const Result more = pektor(
        dir.path(), "peak -f csv -c 2 --sign min --coincident 'x*',1,5-9 c.dyn b.dyn", streams);
    EXPECT_EQ(more.code, 0);
    EXPECT_EQ(more.err,
              "pektor peak: c.dyn: --coincident: no DynRes label matches 'x*'; no DynRes 5-9 (the "
              "file has 2); left empty\n"
              "pektor peak: b.dyn: --coincident: no DynRes label matches 'x*'; no DynRes 8-9 (the "
              "file has 7); left empty\n");
    EXPECT_EQ(more.out,
              "file,dynres,label,sign,peak,t_peak,n,c1,c5,c6,c7\r\n"
              "c.dyn,2,D2,min,-4,0.5,3,-2,,,\r\n"
              "b.dyn,2,D2,min,-4,0.5,3,-2,-10,-12,-14\r\n");
    EXPECT_EQ(pektor(dir.path(), "peak -q -c 1 --coincident 7 a.dyn b.dyn", streams).err, "");

    // daf: a DynRes that the reference lacks has an empty reference peak
    // and DAF; the others have theirs.
    const Result daf = pektor(dir.path(), "daf --ref c.dyn -f csv -c 2-4,1 b.dyn", streams);
    EXPECT_EQ(daf.code, 0);
    EXPECT_EQ(daf.err,
              "pektor daf: b.dyn: no DynRes 3-4 in the reference file c.dyn (it has 2); "
              "peak_ref, t_ref and daf left empty\n");
    EXPECT_EQ(daf.out,
              "file,ref,dynres,label,peak_ref,t_ref,peak,t_peak,daf\r\n"
              "b.dyn,c.dyn,2,D2,2,0,2,0,1\r\n"
              "b.dyn,c.dyn,3,D3,,,3,0,\r\n"
              "b.dyn,c.dyn,4,D4,,,4,0,\r\n"
              "b.dyn,c.dyn,1,D1,1,0,1,0,1\r\n");
}

TEST(BatchUsage, RepeatableListsTakeEveryFormTheHelpShows) {
    ScratchDir dir;
    ScratchDir streams;
    write_file(dir.path() / "a.dyn", {"Fx", "Fy"}, 3);
    const Result base = pektor(dir.path(), "vector -f csv -c 1,2 a.dyn", streams);
    ASSERT_EQ(base.code, 0) << base.err;
    for (const char* args :
         {"-c 1 -c 2", "-c 1-2", "-c Fx,Fy", "-c Fx -c 2", "--channels 1 --channels=Fy"}) {
        const Result r =
            pektor(dir.path(), std::string("vector -f csv ") + args + " a.dyn", streams);
        EXPECT_EQ(r.code, 0) << args << ": " << r.err;
        EXPECT_EQ(r.out, base.out) << args;
    }
    for (const char* args : {"-c 1-3", "-c 1 -c 2 -c 3", "-c 1", "-c all", "-c 1-2,3", "-c 2-1"}) {
        const Result r = pektor(dir.path(), std::string("vector ") + args + " a.dyn", streams);
        EXPECT_EQ(r.code, 1) << args;
        EXPECT_EQ(r.out, "") << args;
    }

    const Result joined = pektor(dir.path(), "fatigue -f csv -c 1 -m 3,4 a.dyn", streams);
    ASSERT_EQ(joined.code, 0) << joined.err;
    const Result repeated = pektor(dir.path(), "fatigue -f csv -c 1 -m 3 -m 4 a.dyn", streams);
    EXPECT_EQ(repeated.code, 0) << repeated.err;
    EXPECT_EQ(repeated.out, joined.out);
    EXPECT_NE(repeated.out.find(",del_m3,del_m4\r\n"), std::string::npos) << repeated.out;
    EXPECT_EQ(pektor(dir.path(), "fatigue -c 1 -m 3 --wohler 3 a.dyn", streams).code, 1);
}

}  // namespace
