// The batch commands run end to end by the pektor program on fixture files
// and on files written by dyngen and the writer library: every column
// against values computed here from the series that were written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "io/fmt.h"
#include "ops/stats.h"
#include "support/json_lite.h"
#include "support/program.h"
#include "support/scratch.h"
#include "tools/dynres_writer.h"
#include "tools/sample.h"

namespace {

using test_support::ScratchDir;
using Json = nlohmann::json;
namespace fs = std::filesystem;

using Result = test_support::CommandRun;

// Runs `pektor args` in `dir` (standard input empty); the streams are kept
// in `streams` so that nothing but the program's own output lands in dir.
Result pektor(const fs::path& dir, const std::string& args, const ScratchDir& streams) {
    return test_support::run_command(dir, PEKTOR_BIN, args, streams.path());
}

std::vector<Json> json_rows(const std::string& text) {
    std::vector<Json> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) rows.push_back(Json::parse(line));
    return rows;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> v;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) v.push_back(line);
    return v;
}

// The shortest %g text of a float that reads back to it.
std::string fmt_shortest(float f) {
    char buf[64];
    for (int p = 1; p <= 9; ++p) {
        std::snprintf(buf, sizeof buf, "%.*g", p, static_cast<double>(f));
        if (std::strtof(buf, nullptr) == f) break;
    }
    return buf;
}

std::string fmt_window(float t0, float t1) {
    return fmt_shortest(t0) + ":" + fmt_shortest(t1);
}

float f32(const Json& j) {
    return static_cast<float>(j.get<double>());
}

// The series of a file as written.
struct Written {
    std::vector<std::string> labels;
    std::vector<float> times;
    std::vector<std::vector<float>> values;  // [DynRes-1][step]
};

Written from_sidecar(const std::string& dyn) {
    const auto s = test_support::json::sidecar(dyn);
    Written w;
    for (const auto& l : s["labels_listed"].items) w.labels.push_back(l.text);
    for (const auto& t : s["times"].items) w.times.push_back(static_cast<float>(t.number));
    for (const auto& series : s["values"].items) {
        std::vector<float> v;
        for (const auto& x : series.items) v.push_back(static_cast<float>(x.number));
        w.values.push_back(std::move(v));
    }
    return w;
}

Written from_dyngen(std::int32_t dynres, std::int32_t steps, double dt, std::uint32_t seed,
                    double scale) {
    const tools::SampleSignals s(dynres, steps, dt, seed, scale);
    Written w;
    w.values.assign(static_cast<std::size_t>(dynres), {});
    std::vector<float> row(static_cast<std::size_t>(dynres));
    for (std::int32_t k = 1; k <= dynres; ++k) w.labels.push_back(s.label(k));
    for (std::int32_t i = 0; i < steps; ++i) {
        w.times.push_back(s.time(i));
        s.values(i, row);
        for (std::size_t k = 0; k < row.size(); ++k) w.values[k].push_back(row[k]);
    }
    return w;
}

// The samples of the window [first, last] (single precision), the way a
// user reads the window: indices into the written series.
std::vector<std::size_t> window(const Written& w, float first, float last) {
    std::vector<std::size_t> idx;
    for (std::size_t i = 0; i < w.times.size(); ++i) {
        if (w.times[i] >= first && w.times[i] <= last) idx.push_back(i);
    }
    return idx;
}

// Checks a stats row (keys t_first .. tz) of the series x at the times t.
void expect_stats(const Json& row, const std::vector<double>& x, const std::vector<float>& t,
                  bool stored, const std::string& what) {
    SCOPED_TRACE(what);
    const auto n = static_cast<std::int32_t>(x.size());
    ASSERT_EQ(row["n"].get<std::int64_t>(), n);
    EXPECT_EQ(f32(row["t_first"]), t.front());
    EXPECT_EQ(f32(row["t_last"]), t.back());
    const auto imax = static_cast<std::size_t>(std::max_element(x.begin(), x.end()) - x.begin());
    const auto imin = static_cast<std::size_t>(std::min_element(x.begin(), x.end()) - x.begin());
    if (stored) {
        EXPECT_EQ(f32(row["max"]), static_cast<float>(x[imax]));
        EXPECT_EQ(f32(row["min"]), static_cast<float>(x[imin]));
    } else {
        EXPECT_EQ(row["max"].get<double>(), x[imax]);
        EXPECT_EQ(row["min"].get<double>(), x[imin]);
    }
    EXPECT_EQ(f32(row["t_max"]), t[imax]);
    EXPECT_EQ(f32(row["t_min"]), t[imin]);
    // The classic operation 3 kernels, bit for bit.
    const auto xs = ops::sview(x);
    const double mean = ops::VMEAN(xs, n);
    EXPECT_EQ(row["mean"].get<double>(), mean);
    // A constant series has std 0 (not the rounding of its sums) and no shape.
    const bool constant = x[imax] == x[imin];
    const double sd = constant ? 0.0 : ops::VSTDEV(xs, n);
    if (n < 2) {
        EXPECT_TRUE(row["std"].is_null());
    } else {
        EXPECT_EQ(row["std"].get<double>(), sd);
    }
    if (n < 2 || sd == 0.0) {
        EXPECT_TRUE(row["skew"].is_null());
        EXPECT_TRUE(row["kurt"].is_null());
    } else {
        EXPECT_EQ(row["skew"].get<double>(), ops::VSKEW(xs, n));
        EXPECT_EQ(row["kurt"].get<double>(), ops::VKURT(xs, n));
    }
    int ups = 0;
    for (std::size_t i = 0; i + 1 < x.size(); ++i) ups += x[i] < mean && mean <= x[i + 1];
    if (ups == 0) {
        EXPECT_TRUE(row["tz"].is_null());
    } else {
        EXPECT_EQ(row["tz"].get<double>(),
                  (static_cast<double>(t.back()) - static_cast<double>(t.front())) / ups);
    }
}

// ---- the fixtures ----

class BatchFixture : public testing::TestWithParam<const char*> {};

TEST_P(BatchFixture, ListStatsPeakAndExportGiveTheWrittenSeries) {
    const std::string name = GetParam();
    ScratchDir dir;
    ScratchDir streams;
    dir.copy_fixture(name);
    const Written w = from_sidecar(name);
    const std::size_t ndynres = w.labels.size();

    const Result list = pektor(dir.path(), "list -f json " + name, streams);
    ASSERT_EQ(list.code, 0) << list.err;
    const auto lrows = json_rows(list.out);
    ASSERT_EQ(lrows.size(), ndynres);
    for (std::size_t k = 0; k < ndynres; ++k) {
        EXPECT_EQ(lrows[k]["file"], name);
        EXPECT_EQ(lrows[k]["dynres"], k + 1);
        EXPECT_EQ(lrows[k]["label"], w.labels[k]);
        EXPECT_EQ(lrows[k]["steps"], w.times.size());
        EXPECT_EQ(f32(lrows[k]["t_first"]), w.times.front());
        EXPECT_EQ(f32(lrows[k]["t_last"]), w.times.back());
    }

    // A window from the third to the third-last sample, typed as the
    // shortest text of those times.
    const std::size_t steps = w.times.size();
    const float t0 = w.times[std::min<std::size_t>(2, steps - 1)];
    const float t1 = w.times[steps > 3 ? steps - 3 : steps - 1];
    const std::string win = fmt_window(t0, t1);
    const auto idx = window(w, t0, t1);
    ASSERT_FALSE(idx.empty());
    std::vector<float> t;
    for (const std::size_t i : idx) t.push_back(w.times[i]);

    const Result stats = pektor(dir.path(), "stats -f json -w " + win + " " + name, streams);
    ASSERT_EQ(stats.code, 0) << stats.err;
    const auto srows = json_rows(stats.out);
    ASSERT_EQ(srows.size(), ndynres);
    for (std::size_t k = 0; k < ndynres; ++k) {
        std::vector<double> x;
        for (const std::size_t i : idx) x.push_back(w.values[k][i]);
        EXPECT_EQ(srows[k]["label"], w.labels[k]);
        expect_stats(srows[k], x, t, true, name + " DynRes " + std::to_string(k + 1));
    }

    for (const char* sign : {"max", "min", "abs", "signed"}) {
        const Result peak = pektor(
            dir.path(),
            std::string("peak -f json --coincident 1 --sign ") + sign + " -w " + win + " " + name,
            streams);
        ASSERT_EQ(peak.code, 0) << peak.err;
        const auto prows = json_rows(peak.out);
        ASSERT_EQ(prows.size(), ndynres);
        for (std::size_t k = 0; k < ndynres; ++k) {
            SCOPED_TRACE(name + " " + sign + " DynRes " + std::to_string(k + 1));
            // The earliest sample of the peak by the convention.
            std::size_t best = idx.front();
            for (const std::size_t i : idx) {
                const float v = w.values[k][i];
                const float b = w.values[k][best];
                const std::string s = sign;
                if ((s == "max" && v > b) || (s == "min" && v < b) ||
                    ((s == "abs" || s == "signed") && std::fabs(v) > std::fabs(b)))
                    best = i;
            }
            const float v = w.values[k][best];
            EXPECT_EQ(prows[k]["sign"], sign);
            EXPECT_EQ(f32(prows[k]["peak"]), std::string(sign) == "abs" ? std::fabs(v) : v);
            EXPECT_EQ(f32(prows[k]["t_peak"]), w.times[best]);
            EXPECT_EQ(prows[k]["n"], idx.size());
            EXPECT_EQ(f32(prows[k]["c1"]), w.values[0][best]);
        }
    }

    const Result exp = pektor(dir.path(), "export -f csv -c all " + name, streams);
    ASSERT_EQ(exp.code, 0) << exp.err;
    const auto elines = lines(exp.out);
    ASSERT_EQ(elines.size(), steps + 1);
    for (std::size_t i = 0; i < steps; ++i) {
        std::istringstream cells(elines[i + 1]);
        std::string cell;
        std::getline(cells, cell, ',');
        EXPECT_EQ(std::strtof(cell.c_str(), nullptr), w.times[i]);
        EXPECT_EQ(cell, fmt_shortest(w.times[i]));
        for (std::size_t k = 0; k < ndynres; ++k) {
            std::getline(cells, cell, ',');
            EXPECT_EQ(std::strtof(cell.c_str(), nullptr), w.values[k][i]) << i << " " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, BatchFixture,
                         testing::Values("le_basic.dyn", "be_basic.dyn", "packed.dyn",
                                         "packed_simple.dyn", "packed_slack.dyn", "packed_cap.dyn",
                                         "v0_small.dyn", "v1.dyn", "ncol0.dyn", "combo.dyn"),
                         [](const testing::TestParamInfo<const char*>& p) {
                             const std::string s = p.param;
                             return s.substr(0, s.size() - 4);
                         });

// ---- files written by dyngen and the writer library ----

constexpr std::int32_t kGenDynRes = 8;
constexpr std::int32_t kGenSteps = 400;
constexpr double kGenDt = 0.05;

void dyngen(const fs::path& file, std::uint32_t seed, double scale, int pack = 0) {
    ASSERT_EQ(test_support::run_in(file.parent_path(),
                                   "'" DYNGEN_BIN "' --dynres 8 --steps 400 --dt 0.05 --seed " +
                                       std::to_string(seed) + " --scale " + std::to_string(scale) +
                                       " --pack " + std::to_string(pack) + " -o '" + file.string() +
                                       "' > /dev/null"),
              0);
}

TEST(BatchDyngen, DafAgainstAReferenceAndVectorLengths) {
    ScratchDir dir;
    ScratchDir streams;
    dyngen(dir.path() / "ref.dyn", 1, 1.0);
    dyngen(dir.path() / "b.dyn", 2, 1.5, 3);
    const Written ref = from_dyngen(kGenDynRes, kGenSteps, kGenDt, 1, 1.0);
    const Written b = from_dyngen(kGenDynRes, kGenSteps, kGenDt, 2, 1.5);
    const auto idx = window(b, 5.0f, 15.0f);

    const Result daf = pektor(
        dir.path(), "daf --ref ref.dyn --sign signed -c 'base*' -w 5:15 -f json b.dyn", streams);
    ASSERT_EQ(daf.code, 0) << daf.err;
    EXPECT_EQ(daf.err, "");
    const auto rows = json_rows(daf.out);
    ASSERT_EQ(rows.size(), 6U);
    const auto signed_peak = [&](const Written& w, std::size_t k) {
        std::size_t best = idx.front();
        for (const std::size_t i : idx) {
            if (std::fabs(w.values[k][i]) > std::fabs(w.values[k][best])) best = i;
        }
        return best;
    };
    for (std::size_t k = 0; k < 6; ++k) {
        SCOPED_TRACE(k + 1);
        const std::size_t ir = signed_peak(ref, k);
        const std::size_t ib = signed_peak(b, k);
        EXPECT_EQ(rows[k]["ref"], "ref.dyn");
        EXPECT_EQ(rows[k]["dynres"], k + 1);
        EXPECT_EQ(f32(rows[k]["peak_ref"]), ref.values[k][ir]);
        EXPECT_EQ(f32(rows[k]["t_ref"]), ref.times[ir]);
        EXPECT_EQ(f32(rows[k]["peak"]), b.values[k][ib]);
        EXPECT_EQ(f32(rows[k]["t_peak"]), b.times[ib]);
        EXPECT_EQ(rows[k]["daf"].get<double>(),
                  static_cast<double>(b.values[k][ib]) / static_cast<double>(ref.values[k][ir]));
    }

    const Result vec =
        pektor(dir.path(), "vector -c 'base force fx',2 -w 5:15 -f json b.dyn", streams);
    ASSERT_EQ(vec.code, 0) << vec.err;
    const auto vrows = json_rows(vec.out);
    ASSERT_EQ(vrows.size(), 1U);
    EXPECT_EQ(vrows[0]["dynres_a"], 1);
    EXPECT_EQ(vrows[0]["dynres_b"], 2);
    std::vector<double> length;
    std::vector<float> t;
    for (const std::size_t i : idx) {
        const double x = b.values[0][i];
        const double y = b.values[1][i];
        length.push_back(std::sqrt(x * x + y * y));
        t.push_back(b.times[i]);
    }
    expect_stats(vrows[0], length, t, false, "vector length");
}

TEST(BatchDyngen, SampleMomentsPrintAsTheClassicOperation3) {
    ScratchDir dir;
    ScratchDir streams;
    dyngen(dir.path() / "a.dyn", 3, 1.0);
    const Result batch = pektor(dir.path(), "stats -f json -w 2:12 a.dyn", streams);
    ASSERT_EQ(batch.code, 0) << batch.err;
    const auto rows = json_rows(batch.out);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(kGenDynRes));
    dir.write("answers.txt", "3\na.dyn\nclassic.txt\n2 12\nall\n");
    ASSERT_EQ(test_support::run_in(dir.path(), "'" PEKTOR_BIN "' 1 < answers.txt > console.txt"),
              0);
    const std::string classic = dir.read("classic.txt");
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const Json& r = rows[k];
        const std::string block =
            " nTS found      : " + io::fmt::I(r["n"].get<std::int32_t>(), 12) + "\n" +
            " Maximum        : " + io::fmt::E(r["max"].get<double>(), 12, 4) +
            " (Relative to mean: " +
            io::fmt::E(static_cast<double>(f32(r["max"])) - r["mean"].get<double>(), 12, 4) +
            " )\n" + " Minimum        : " + io::fmt::E(r["min"].get<double>(), 12, 4) +
            " (Relative to mean: " +
            io::fmt::E(static_cast<double>(f32(r["min"])) - r["mean"].get<double>(), 12, 4) +
            " )\n" + " Mean           : " + io::fmt::E(r["mean"].get<double>(), 12, 4) + "\n" +
            " Std Dev        : " + io::fmt::E(r["std"].get<double>(), 12, 4) + "\n" +
            " Skewness       : " + io::fmt::E(r["skew"].get<double>(), 12, 4) + "\n" +
            " Kurtosis       : " + io::fmt::E(r["kurt"].get<double>(), 12, 4) + "\n";
        EXPECT_NE(classic.find(block), std::string::npos) << block;
    }
}

// Six good files and a damaged one in the middle.
struct Suite {
    ScratchDir dir;
    std::string files;
    Suite() {
        for (int i = 1; i <= 6; ++i) {
            const std::string name = "run" + std::to_string(i) + ".dyn";
            dyngen(dir.path() / name, static_cast<std::uint32_t>(i), 1.0 + 0.1 * i, i % 3);
            files += " " + name;
            if (i == 3) {
                dir.copy_fixture("truncated.dyn", "bad.dyn");
                files += " bad.dyn missing.dyn";
            }
        }
    }
};

TEST(BatchSuite, DamagedFilesAreReportedAndTheOthersGiveRowsInOrderForAnyJobs) {
    Suite s;
    ScratchDir streams;
    const Result one = pektor(s.dir.path(), "stats -j 1 -f csv" + s.files, streams);
    const Result two = pektor(s.dir.path(), "stats -j 2 -f csv" + s.files, streams);
    const Result five = pektor(s.dir.path(), "stats -j 5 -f csv" + s.files, streams);
    EXPECT_EQ(one.code, 2);
    EXPECT_EQ(two.code, 2);
    EXPECT_EQ(one.out, two.out);
    EXPECT_EQ(one.out, five.out);
    EXPECT_EQ(one.err, two.err);
    const auto errs = lines(one.err);
    ASSERT_EQ(errs.size(), 2U) << one.err;
    EXPECT_EQ(errs[0],
              "pektor stats: bad.dyn: truncated: the DYNRES record of step 21 ends beyond the end "
              "of the file (30208 bytes)");
    EXPECT_EQ(errs[1], "pektor stats: missing.dyn: missing: no such file");
    const auto rows = lines(one.out);
    ASSERT_EQ(rows.size(), 1 + 6 * static_cast<std::size_t>(kGenDynRes));
    EXPECT_EQ(rows[0],
              "file,dynres,label,t_first,t_last,n,max,t_max,min,t_min,mean,std,skew,kurt,tz\r");
    for (int i = 1; i <= 6; ++i) {
        const std::string& row = rows[1 + static_cast<std::size_t>((i - 1) * kGenDynRes)];
        EXPECT_TRUE(row.starts_with("run" + std::to_string(i) + ".dyn,1,Base force Fx,")) << row;
    }

    // Every file failing: exit 1 and no rows.
    const Result none = pektor(s.dir.path(), "peak bad.dyn missing.dyn", streams);
    EXPECT_EQ(none.code, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(lines(none.err).back(), "pektor peak: no file could be read");
}

TEST(BatchSuite, EachDamagedFileGivesOneLineAndAVersion0FileStaysAsItIs) {
    ScratchDir dir;
    ScratchDir streams;
    struct Case {
        std::string file;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"badcur.dyn", "damaged: the file key has MFPCUR = 193"},
        {"foreign_type.dyn", "cannot read files generated on Sun SPARC / SunOS"},
        {"locked.dyn", "locked: the file is read locked"},
        {"not_raflib.dyn", "not a dyn file: no RAFLIB key"},
        {"version3.dyn", "newer format version 3: this program reads versions 0 to 2"},
        {"fixed_mstru.dyn", "damaged: MSTRU has no room for LSTSTO, IXACT"},
        {"nothere.dyn", "missing: no such file"},
    };
    std::string files;
    std::string expect;
    for (const Case& c : cases) {
        if (c.file != "nothere.dyn") dir.copy_fixture(c.file);
        files += " " + c.file;
        expect += "pektor peak: " + c.file + ": " + c.message + "\n";
    }
    dir.copy_fixture("v0_small.dyn");
    const Result r = pektor(dir.path(), "peak -j 3 -f csv" + files + " v0_small.dyn", streams);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, expect);
    EXPECT_EQ(lines(r.out).size(), 4U);  // header and the three DynRes of v0_small.dyn
    EXPECT_EQ(test_support::read_file(dir.path() / "v0_small.dyn"),
              test_support::fixture_text("v0_small.dyn"));
}

TEST(BatchSuite, ShardsTogetherGiveTheWholeSuite) {
    Suite s;
    ScratchDir streams;
    const Result all = pektor(s.dir.path(), "list -c 1 -f csv" + s.files, streams);
    std::vector<std::string> joined(8);
    for (int k = 1; k <= 3; ++k) {
        const Result part =
            pektor(s.dir.path(), "list -c 1 -f csv --shard " + std::to_string(k) + "/3" + s.files,
                   streams);
        const auto rows = lines(part.out);
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows[0], lines(all.out)[0]);
        // Positions k, k+3, k+6 of the eight files.
        std::size_t p = static_cast<std::size_t>(k);
        for (std::size_t r = 1; r < rows.size(); ++r, p += 3) {
            while (p <= 8 && (p == 4 || p == 5)) p += 3;  // bad.dyn and missing.dyn give no row
            ASSERT_LE(p, 8U);
            joined[p - 1] = rows[r];
        }
    }
    std::vector<std::string> expect = lines(all.out);
    expect.erase(expect.begin());
    joined.erase(std::remove(joined.begin(), joined.end(), std::string()), joined.end());
    EXPECT_EQ(joined, expect);
}

TEST(BatchFiles, OutputRefusedBeforeAnythingIsWritten) {
    ScratchDir dir;
    ScratchDir streams;
    dyngen(dir.path() / "a.dyn", 1, 1.0);
    dir.copy_fixture("le_basic.dyn", "other.dyn");
    const auto before = test_support::read_file(dir.path() / "a.dyn");
    const auto other = test_support::read_file(dir.path() / "other.dyn");
    struct Case {
        std::string args;
        std::string err;
    };
    for (const Case& c : std::vector<Case>{
             {"stats -o a.dyn a.dyn",
              "pektor stats: a.dyn: is one of the input files; nothing written\n"},
             {"peak -o ./sub/../a.dyn a.dyn",
              "pektor peak: ./sub/../a.dyn: is one of the input files; nothing written\n"},
             {"list -o other.dyn a.dyn",
              "pektor list: other.dyn: is an existing dyn file; nothing written\n"},
             {"daf --ref a.dyn -o a.dyn other.dyn",
              "pektor daf: a.dyn: is one of the input files; nothing written\n"},
             {"export -o other.dyn a.dyn",
              "pektor export: other.dyn: is an existing dyn file; nothing written\n"}}) {
        const Result r = pektor(dir.path(), c.args, streams);
        EXPECT_EQ(r.code, 1) << c.args;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(test_support::read_file(dir.path() / "a.dyn"), before);
    EXPECT_EQ(test_support::read_file(dir.path() / "other.dyn"), other);

    // A folder that does not exist: a failed write, exit 1.
    const Result r = pektor(dir.path(), "list -o no/such/dir/x.csv a.dyn", streams);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.starts_with("pektor list: no/such/dir/x.csv: cannot write")) << r.err;
}

TEST(BatchFiles, NothingButTheOutputAppearsInTheCurrentFolder) {
    ScratchDir data;
    ScratchDir work;
    ScratchDir streams;
    dyngen(data.path() / "a.dyn", 1, 1.0);
    dyngen(data.path() / "b.dyn", 2, 1.0);
    data.copy_fixture("locked.dyn");
    data.copy_fixture("v0_small.dyn");
    data.copy_fixture("combo.dyn");
    data.copy_fixture("combo_input.txt");
    const std::string a = (data.path() / "a.dyn").string();
    const std::string b = (data.path() / "b.dyn").string();
    const std::string bad = (data.path() / "locked.dyn").string();
    const std::string v0 = (data.path() / "v0_small.dyn").string();
    const std::string combo = (data.path() / "combo.dyn").string();
    const std::string input = (data.path() / "combo_input.txt").string();
    for (const std::string& args :
         {"list " + a + " " + bad + " " + v0, "stats -o out.csv -f csv " + a + " " + b + " " + bad,
          "peak -c 1 " + a + " " + bad, "daf --ref " + a + " " + b + " " + bad, "export -c 1 " + v0,
          "vector -c 1,2 " + a + " " + bad, "combine --input " + input + " " + combo + " " + bad}) {
        const Result r = pektor(work.path(), args, streams);
        EXPECT_NE(r.code, 1) << args << "\n" << r.err;
    }
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(work.path())) names.push_back(e.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"out.csv"});
}

TEST(BatchFiles, CombineGivesTheComponentsOfTheResultants) {
    ScratchDir dir;
    ScratchDir streams;
    dir.copy_fixture("combo.dyn");
    dir.copy_fixture("combo_input.txt");
    const Written w = from_sidecar("combo.dyn");
    const Result r =
        pektor(dir.path(), "combine --input combo_input.txt -f json combo.dyn", streams);
    ASSERT_EQ(r.code, 0) << r.err;
    const auto rows = json_rows(r.out);
    ASSERT_EQ(rows.size(), 3U);
    EXPECT_EQ(
        rows[0]["description"],
        "Global force X from both legs, taken from the resultants; this description is longer "
        "than fifty-nine characters");
    EXPECT_EQ(rows[1]["description"], "Overturning check");
    EXPECT_EQ(rows[2]["description"], "");
    // Group 1: DynRes 1 2 3 7 8 9 unrotated; group 2: 4 5 6 7 8 9 with the
    // first two values turned (new first = -old second, new second = old first).
    const auto d = [&](int k, std::size_t i) {
        return static_cast<double>(w.values[static_cast<std::size_t>(k - 1)][i]);
    };
    std::vector<std::vector<double>> comp(3);
    for (std::size_t i = 0; i < w.times.size(); ++i) {
        const double r1 = d(1, i) - d(5, i);
        const double r2 = d(2, i) + d(4, i);
        const double r3 = d(3, i) + d(6, i);
        const double r4 = d(7, i) - d(8, i);
        const double r5 = d(8, i) + d(7, i);
        const double r6 = d(9, i) + d(9, i);
        comp[0].push_back(r1);
        comp[1].push_back(0.5 * r2 - 2.0 * r5);
        comp[2].push_back(r1 + r2 + r3 + r4 + r5 + r6);
    }
    for (std::size_t c = 0; c < 3; ++c) {
        SCOPED_TRACE(c + 1);
        EXPECT_EQ(rows[c]["component"], c + 1);
        const std::vector<double>& x = comp[c];
        EXPECT_EQ(rows[c]["n"], x.size());
        EXPECT_EQ(rows[c]["max"].get<double>(), *std::max_element(x.begin(), x.end()));
        EXPECT_EQ(rows[c]["min"].get<double>(), *std::min_element(x.begin(), x.end()));
        const auto xs = ops::sview(x);
        const auto n = static_cast<std::int32_t>(x.size());
        EXPECT_DOUBLE_EQ(rows[c]["mean"].get<double>(), ops::VMEAN(xs, n));
        EXPECT_DOUBLE_EQ(rows[c]["std"].get<double>(), ops::VSTDEV(xs, n));
    }
}

TEST(BatchFiles, WrittenEdgeCases) {
    ScratchDir dir;
    ScratchDir streams;
    const std::vector<float> times = {0.0f, 0.5f, 1.0f, 1.5f};
    tools::DynResLayout two;
    two.labels = {"Load", "Load", "Zero"};
    tools::write_dynres_file(
        dir.path() / "ref.dyn", two, times,
        {{1.0f, 4.0f, -4.0f, 4.0f}, {2.0f, 2.0f, 2.0f, 2.0f}, {0.0f, 0.0f, 0.0f, 0.0f}});
    tools::DynResLayout other;
    other.labels = {"Load", "Moment"};
    tools::write_dynres_file(dir.path() / "b.dyn", other, times,
                             {{-8.0f, 8.0f, 1.0f, 0.0f}, {3.0f, 1.0f, 3.0f, 1.0f}});

    // The label of DynRes 2 differs: a warning, and the rows; a reference
    // peak of 0 gives no DAF.
    const Result daf =
        pektor(dir.path(), "daf --ref ref.dyn --sign abs -f csv -c 1-2 b.dyn", streams);
    EXPECT_EQ(daf.code, 0);
    EXPECT_EQ(daf.err, "pektor daf: b.dyn: DynRes 2 is \"Moment\" here but \"Load\" in ref.dyn\n");
    EXPECT_EQ(daf.out,
              "file,ref,dynres,label,peak_ref,t_ref,peak,t_peak,daf\r\n"
              "b.dyn,ref.dyn,1,Load,4,0.5,8,0,2\r\n"
              "b.dyn,ref.dyn,2,Moment,2,0,3,0,1.5\r\n");
    const Result zero = pektor(dir.path(), "daf --ref ref.dyn -q -f csv -c 3 ref.dyn", streams);
    EXPECT_EQ(zero.out,
              "file,ref,dynres,label,peak_ref,t_ref,peak,t_peak,daf\r\n"
              "ref.dyn,ref.dyn,3,Zero,0,0,0,0,\r\n");
    // A DynRes that the reference lacks: empty cells and a warning.
    const Result missing = pektor(dir.path(), "daf --ref b.dyn -f csv -c 3 ref.dyn", streams);
    EXPECT_EQ(missing.code, 0);
    EXPECT_EQ(missing.err,
              "pektor daf: ref.dyn: no DynRes 3 in the reference file b.dyn (it has 2); peak_ref, "
              "t_ref and daf left empty\n");
    EXPECT_EQ(missing.out,
              "file,ref,dynres,label,peak_ref,t_ref,peak,t_peak,daf\r\n"
              "ref.dyn,b.dyn,3,Zero,,,0,0,\r\n");

    // Coincident columns: DynRes 3 only where a file has it, else an empty
    // cell and a warning; the earliest of equal peaks.
    const Result peak =
        pektor(dir.path(), "peak -f csv -c 1 --sign abs --coincident 3,2 ref.dyn b.dyn", streams);
    EXPECT_EQ(peak.code, 0);
    EXPECT_EQ(peak.err,
              "pektor peak: b.dyn: --coincident: no DynRes 3 (the file has 2); left empty\n");
    EXPECT_EQ(peak.out,
              "file,dynres,label,sign,peak,t_peak,n,c3,c2\r\n"
              "ref.dyn,1,Load,abs,4,0.5,4,0,2\r\n"
              "b.dyn,1,Load,abs,8,0,4,,3\r\n");
    const Result peak2 = pektor(
        dir.path(), "peak -f csv -c 1 --sign abs --coincident 'z*',2 ref.dyn b.dyn", streams);
    EXPECT_EQ(peak2.code, 0);
    EXPECT_EQ(peak2.err,
              "pektor peak: b.dyn: --coincident: no DynRes label matches 'z*'; left empty\n");
    const Result peak3 = pektor(
        dir.path(), "peak -f csv -c 1 --sign signed --coincident 2 --coincident all ref.dyn b.dyn",
        streams);
    EXPECT_EQ(peak3.code, 0);
    EXPECT_EQ(peak3.out,
              "file,dynres,label,sign,peak,t_peak,n,c2,c1,c3\r\n"
              "ref.dyn,1,Load,signed,4,0.5,4,2,4,0\r\n"
              "b.dyn,1,Load,signed,-8,0,4,3,-8,\r\n");

    // A shared label gets its number; the window ends at a stored time.
    const Result exp = pektor(dir.path(), "export -w 0.5:1 -f csv ref.dyn", streams);
    EXPECT_EQ(exp.out,
              "time,Load (1),Load (2),Zero\r\n"
              "0.5,4,2,0\r\n"
              "1,-4,2,0\r\n");

    // Constant series: no skewness or kurtosis; no up-crossing: no tz; one
    // sample: no std; a window without samples: an error for the file.
    const Result st = pektor(dir.path(), "stats -f json -c 2 ref.dyn", streams);
    const auto rows = json_rows(st.out);
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(rows[0]["std"], 0.0);
    EXPECT_TRUE(rows[0]["skew"].is_null() && rows[0]["kurt"].is_null() && rows[0]["tz"].is_null());
    const Result single = pektor(dir.path(), "stats -f json -w 1:1.2 -c 1 ref.dyn", streams);
    EXPECT_TRUE(json_rows(single.out).at(0)["std"].is_null());
    const Result empty = pektor(dir.path(), "stats -w 0.6:0.9 ref.dyn b.dyn", streams);
    EXPECT_EQ(empty.code, 1);
    EXPECT_EQ(empty.err,
              "pektor stats: ref.dyn: no sample in the window 0.6:0.9\n"
              "pektor stats: b.dyn: no sample in the window 0.6:0.9\n"
              "pektor stats: no file could be read\n");
}

// Samples that are not finite numbers: left out of every figure with one
// warning per file and DynRes, n counting those used; a DynRes without a
// finite sample gives empty cells; a constant one has std 0 and no shape.
TEST(BatchFiles, SamplesThatAreNotNumbersAreLeftOut) {
    ScratchDir dir;
    ScratchDir streams;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> times = {0.0f, 0.5f, 1.0f, 1.5f, 2.0f, 2.5f};
    tools::DynResLayout layout;
    layout.labels = {"A", "B", "C"};
    tools::write_dynres_file(dir.path() / "nan.dyn", layout, times,
                             {{1.0f, nan, 4.0f, inf, -2.0f, 1.0f},
                              {nan, nan, nan, nan, nan, nan},
                              {0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f}});
    const std::string warnings =
        "DynRes 1: 2 samples that are not finite numbers left out\n"
        "pektor {}: nan.dyn: DynRes 2: 6 samples that are not finite numbers left out\n";
    const auto warned = [&](const std::string& command) {
        std::string w = "pektor " + command + ": nan.dyn: " + warnings;
        w.replace(w.find("{}"), 2, command);
        return w;
    };
    for (const char* moments : {"sample", "population"}) {
        SCOPED_TRACE(moments);
        const Result st = pektor(
            dir.path(), std::string("stats -f json --moments ") + moments + " nan.dyn", streams);
        EXPECT_EQ(st.code, 0);
        EXPECT_EQ(st.err, warned("stats"));
        const auto rows = json_rows(st.out);
        ASSERT_EQ(rows.size(), 3U);
        EXPECT_EQ(rows[0]["n"], 4);
        EXPECT_EQ(rows[0]["max"], 4.0);
        EXPECT_EQ(rows[0]["t_max"], 1.0);
        EXPECT_EQ(rows[0]["min"], -2.0);
        EXPECT_EQ(rows[0]["t_min"], 2.0);
        EXPECT_EQ(rows[0]["mean"], 1.0);
        EXPECT_NEAR(rows[0]["std"].get<double>(),
                    std::sqrt(18.0 / (std::string(moments) == "sample" ? 3.0 : 4.0)), 1e-12);
        EXPECT_EQ(rows[1]["n"], 0);
        EXPECT_EQ(rows[1]["t_first"], 0.0);
        EXPECT_EQ(rows[1]["t_last"], 2.5);
        for (const char* c : {"max", "t_max", "min", "t_min", "mean", "std", "skew", "kurt", "tz"})
            EXPECT_TRUE(rows[1][c].is_null()) << c;
        EXPECT_EQ(rows[2]["n"], 6);
        EXPECT_EQ(rows[2]["std"], 0.0);
        EXPECT_TRUE(rows[2]["skew"].is_null() && rows[2]["kurt"].is_null());
    }
    const Result quiet = pektor(dir.path(), "stats -q -f csv nan.dyn", streams);
    EXPECT_EQ(quiet.code, 0);
    EXPECT_EQ(quiet.err, "");

    const Result peak = pektor(dir.path(), "peak -f csv -c 1-2 --coincident 3 nan.dyn", streams);
    EXPECT_EQ(peak.code, 0);
    EXPECT_EQ(peak.err, warned("peak"));
    EXPECT_EQ(peak.out,
              "file,dynres,label,sign,peak,t_peak,n,c3\r\n"
              "nan.dyn,1,A,max,4,1,4,0.1\r\n"
              "nan.dyn,2,B,max,,,0,\r\n");
    const Result low = pektor(dir.path(), "peak -q -f csv -c 1 --sign abs nan.dyn", streams);
    EXPECT_EQ(low.out,
              "file,dynres,label,sign,peak,t_peak,n\r\n"
              "nan.dyn,1,A,abs,4,1,4\r\n");

    const Result daf = pektor(dir.path(), "daf -q --ref nan.dyn -f csv -c 1-2 nan.dyn", streams);
    EXPECT_EQ(daf.code, 0);
    EXPECT_EQ(daf.out,
              "file,ref,dynres,label,peak_ref,t_ref,peak,t_peak,daf\r\n"
              "nan.dyn,nan.dyn,1,A,4,1,4,1,1\r\n"
              "nan.dyn,nan.dyn,2,B,,,,,\r\n");

    const Result fat = pektor(dir.path(), "fatigue -q -f json -c 1-2 nan.dyn", streams);
    EXPECT_EQ(fat.code, 0);
    const auto frows = json_rows(fat.out);
    ASSERT_EQ(frows.size(), 2U);
    EXPECT_EQ(frows[0]["n"], 4);
    EXPECT_EQ(frows[1]["n"], 0);
    EXPECT_TRUE(frows[1]["cycles"].is_null() && frows[1]["neq"].is_null());
}

TEST(BatchUsage, BadOptionsAreUsageErrors) {
    ScratchDir dir;
    ScratchDir streams;
    dyngen(dir.path() / "a.dyn", 1, 1.0);
    dir.write("bad_input.txt", "11\n");
    struct Case {
        std::string args;
        std::string first_line;
    };
    for (const Case& c : std::vector<Case>{
             {"stats -w 5 a.dyn",
              "pektor stats: window '5' is not T0:T1 (either end may be empty)"},
             {"stats -w 9:1 a.dyn", "pektor stats: window '9:1' ends before it starts"},
             {"peak -c 0 a.dyn", "pektor peak: DynRes numbers start at 1: '0'"},
             {"peak --sign 3 a.dyn", "pektor peak: sign '3' is not max, min, abs or signed"},
             {"list -f xml a.dyn", "pektor list: format 'xml' is not table, csv or json"},
             {"stats --moments biased a.dyn",
              "pektor stats: moments 'biased' is not sample or population"},
             {"stats --shard 3/2 a.dyn", "pektor stats: shard '3/2' is not K/N with 1 <= K <= N"},
             {"stats -j 0 a.dyn", "pektor stats: jobs '0' is not a number from 1 to 1024"},
             {"vector -c 1-3 a.dyn", "pektor vector: vector needs exactly two DynRes: -c A,B"},
             {"combine --input bad_input.txt a.dyn",
              "pektor combine: bad_input.txt: number of groups: 11 groups; 1 to 10 allowed"},
             {"daf -c 1 a.dyn", "pektor daf: --ref is required"},
             {"stats --bogus a.dyn", "pektor stats: unknown option --bogus"},
             {"stats -m 3 a.dyn", "pektor stats: unknown option -m"},
             {"plot --zoom=maybe -o x.svg a.dyn",
              "pektor plot: the option --zoom takes no value ('maybe' given)"},
             {"export a.dyn a.dyn", "pektor export: export takes one dyn file; 2 given"},
             {"stats", "pektor stats: no dyn file given"}}) {
        const Result r = pektor(dir.path(), c.args, streams);
        EXPECT_EQ(r.code, 1) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
        EXPECT_EQ(lines(r.err).front(), c.first_line) << c.args;
    }
    // Help and version; an argument that is no command and no number is a
    // usage error.
    const Result help = pektor(dir.path(), "stats --help", streams);
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("Example:"), std::string::npos);
    const Result top = pektor(dir.path(), "--help", streams);
    EXPECT_EQ(top.code, 0);
    for (const char* cmd : {"list", "stats", "peak", "daf", "export", "vector", "combine"})
        EXPECT_NE(top.out.find(cmd), std::string::npos) << cmd;
    EXPECT_EQ(pektor(dir.path(), "--version", streams).out, "pektor 1.4-01\n");
    const Result classic = pektor(dir.path(), "statistics", streams);
    EXPECT_EQ(classic.code, 1);
    EXPECT_EQ(classic.out, "");
    EXPECT_EQ(lines(classic.err).front(),
              "pektor: unknown command \"statistics\" (did you mean \"stats\"?)");
}

}  // namespace
