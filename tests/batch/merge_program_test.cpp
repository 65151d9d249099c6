// Shards written with --shard and -o, and `pektor merge` of them, run by the
// built program: the merge against one unsharded run byte for byte, and each
// refusal with its message and nothing written.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/program.h"
#include "support/scratch.h"

namespace {

using test_support::ScratchDir;
namespace fs = std::filesystem;

using Result = test_support::CommandRun;

Result pektor(const fs::path& dir, const std::string& args, const ScratchDir& streams) {
    return test_support::run_command(dir, PEKTOR_BIN, args, streams.path());
}

// Nine files of different lengths; with `damaged`, the fourth is truncated.
struct Suite {
    ScratchDir dir;
    ScratchDir streams;
    std::string files;
    explicit Suite(bool damaged = false) {
        for (int i = 1; i <= 9; ++i) {
            const std::string name = "r" + std::to_string(i) + ".dyn";
            if (damaged && i == 4) {
                dir.copy_fixture("truncated.dyn", name);
            } else {
                EXPECT_EQ(test_support::run_in(dir.path(), "'" DYNGEN_BIN "' --dynres 3 --steps " +
                                                               std::to_string(100 + 50 * (i % 4)) +
                                                               " --seed " + std::to_string(i) +
                                                               " -o " + name + " > /dev/null"),
                          0);
            }
            files += " " + name;
        }
    }
    Result run(const std::string& args) const { return pektor(dir.path(), args, streams); }
    // Shards k of n of `command` into part<k>.<ext>.
    void shards(const std::string& command, int n, const std::string& ext,
                const std::string& extra = "") const {
        for (int k = 1; k <= n; ++k) {
            const Result r =
                run(command + " -j 2 --shard " + std::to_string(k) + "/" + std::to_string(n) +
                    extra + " -o part" + std::to_string(k) + "." + ext + files);
            EXPECT_NE(r.code, 1) << r.err;
        }
    }
    std::string parts(const std::string& ext, int n) const {
        std::string s;
        for (int k = 1; k <= n; ++k) s += " part" + std::to_string(k) + "." + ext;
        return s;
    }
};

TEST(Merge, ShardsMergeToTheUnshardedRunByteForByte) {
    Suite s;
    struct Case {
        std::string command;
        std::string ext;
        int n;
        std::string split;
    };
    const std::vector<Case> cases = {
        {"stats -w 1: -f csv", "csv", 3, ""},
        {"stats -w 1: -f json", "jsonl", 4, " --shard-by size"},
        {"peak -c 1,2 --sign signed --coincident 3 -f csv", "csv", 2, " --shard-by size"},
        {"fatigue -c 1 -m 3,5 -f json", "jsonl", 5, ""},
        {"list -f csv", "csv", 12, " --shard-by position"},  // shards without files
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command + c.split);
        const Result whole = s.run(c.command + s.files);
        ASSERT_EQ(whole.code, 0) << whole.err;
        s.shards(c.command, c.n, c.ext, c.split);
        // Given in any order.
        std::string parts;
        for (int k = c.n; k >= 1; --k) parts += " part" + std::to_string(k) + "." + c.ext;
        const Result merged = s.run("merge" + parts);
        EXPECT_EQ(merged.code, 0) << merged.err;
        EXPECT_EQ(merged.err, "");
        EXPECT_EQ(merged.out, whole.out);
        const Result to_file = s.run("merge -o all." + c.ext + parts);
        EXPECT_EQ(to_file.code, 0) << to_file.err;
        EXPECT_EQ(s.dir.read("all." + c.ext), whole.out);
    }
}

TEST(Merge, SizeShardsAreBalancedAndEachFileIsInOneShard) {
    Suite s;
    std::vector<std::string> seen;
    for (int k = 1; k <= 3; ++k) {
        const Result r =
            s.run("list -c 1 -f csv --shard-by size --shard " + std::to_string(k) + "/3" + s.files);
        ASSERT_EQ(r.code, 0) << r.err;
        std::size_t bytes = 0;
        std::size_t at = r.out.find("\r\n") + 2;
        while (at < r.out.size()) {
            const std::string file = r.out.substr(at, r.out.find(',', at) - at);
            seen.push_back(file);
            bytes += static_cast<std::size_t>(fs::file_size(s.dir.path() / file));
            at = r.out.find("\r\n", at) + 2;
        }
        EXPECT_GT(bytes, 0U);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"r1.dyn", "r2.dyn", "r3.dyn", "r4.dyn", "r5.dyn",
                                              "r6.dyn", "r7.dyn", "r8.dyn", "r9.dyn"}));
    EXPECT_EQ(s.run("stats --shard-by size" + s.files).code, 1);
    EXPECT_EQ(s.run("stats --shard 1/2 --shard-by name" + s.files).code, 1);
}

TEST(Merge, RefusesShardsThatDoNotBelongTogether) {
    Suite s;
    s.shards("stats -f csv", 3, "csv");
    s.dir.write("other.txt", "x");
    // Shards of other runs, each as part 9 (the record beside it).
    const auto other = [&](const std::string& args) {
        EXPECT_NE(s.run(args + " -o other.csv" + s.files).code, 1);
    };
    struct Case {
        std::string name;
        std::function<void()> make;  // writes other.csv, or changes a part
        std::string merge;
        std::string message;
    };
    const std::string p = " part1.csv part2.csv part3.csv";
    const std::vector<Case> cases = {
        {"another command", [&] { other("peak -f csv --shard 1/3"); },
         " part2.csv part3.csv other.csv",
         "pektor merge: other.csv: shard 1/3 is of another command (peak, not stats)\n"},
        {"other options", [&] { other("stats -w 1: -f csv --shard 1/3"); },
         " part2.csv part3.csv other.csv", "pektor merge: other.csv: shard 1/3 was run with"},
        {"other files",
         [&] { EXPECT_NE(s.run("stats -f csv --shard 1/3 -o other.csv r1.dyn").code, 1); },
         " part2.csv part3.csv other.csv",
         "pektor merge: other.csv: shard 1/3 read another file list"},
        {"other split", [&] { other("stats -f csv --shard 1/3 --shard-by size"); },
         " part2.csv part3.csv other.csv",
         "pektor merge: other.csv: shard 1/3 by \"size\" is of another split"},
        {"twice", [] {}, p + " part2.csv",
         "pektor merge: part2.csv: shard 2/3 is given twice (also part2.csv)\n"},
        {"missing", [] {}, " part1.csv part3.csv", "pektor merge: shard 2/3 is missing\n"},
        {"no record", [] {}, p + " other.txt",
         "pektor merge: other.txt: no shard record other.txt.shard.json"},
        {"table", [&] { other("stats --shard 1/3"); }, " other.csv part2.csv part3.csv",
         "pektor merge: other.csv: a table cannot be merged"},
        {"a record that counts too many rows",
         [&] {
             std::string r = s.dir.read("part3.csv.shard.json");
             const auto at = r.find("\"rows\":[") + 8;
             r.replace(at, r.find(']', at) - at, "18446744073709551615,3,7");
             s.dir.write("part3.csv.shard.json", r);
         },
         " part1.csv part3.csv",
         "pektor merge: part3.csv: has 9 rows, not those its shard record part3.csv.shard.json "
         "counts\n"},
        {"changed after the run",
         [&] { s.dir.write("part2.csv", s.dir.read("part2.csv") + "x,1\r\n"); }, p,
         "pektor merge: part2.csv: does not match its shard record part2.csv.shard.json"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.make();
        const Result r = s.run("merge -o merged.csv" + c.merge);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(r.err.starts_with(c.message)) << r.err;
        EXPECT_TRUE(r.err.ends_with("pektor merge: nothing written\n")) << r.err;
        EXPECT_FALSE(fs::exists(s.dir.path() / "merged.csv"));
    }
    // The output never replaces a shard or its record.
    for (const std::string o : {"part1.csv", "part1.csv.shard.json"}) {
        const Result r = s.run("merge -o " + o + " part1.csv");
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err, "pektor merge: " + o + ": is one of the shards; nothing written\n");
    }
    const std::string dyn = s.dir.read("r1.dyn");
    const Result r = s.run("merge -o r1.dyn" + p);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "pektor merge: r1.dyn: is an existing dyn file; nothing written\n");
    EXPECT_EQ(s.dir.read("r1.dyn"), dyn);
}

TEST(Merge, AFailedOrMissingShardIsMergedOnlyWhenAllowedAndNamed) {
    Suite s(true);
    const Result whole = s.run("stats -f csv" + s.files);
    ASSERT_EQ(whole.code, 2);
    s.shards("stats -f csv", 3, "csv");  // r4.dyn fails in shard 1
    const Result refused = s.run("merge" + s.parts("csv", 3));
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err,
              "pektor merge: part1.csv: shard 1/3 failed: 1 file gave no rows (first: r4.dyn: "
              "truncated: the DYNRES record of step 21 ends beyond the end of the file (30208 "
              "bytes)); run it again, or merge with --allow-missing\n"
              "pektor merge: nothing written\n");
    const Result allowed = s.run("merge --allow-missing" + s.parts("csv", 3));
    EXPECT_EQ(allowed.code, 2);
    EXPECT_EQ(allowed.out, whole.out);
    EXPECT_EQ(allowed.err,
              "pektor merge: part1.csv: shard 1/3: missing rows of r4.dyn: truncated: the DYNRES "
              "record of step 21 ends beyond the end of the file (30208 bytes)\n");
    const Result partial = s.run("merge --allow-missing part2.csv part3.csv");
    EXPECT_EQ(partial.code, 2);
    EXPECT_EQ(partial.err, "pektor merge: shard 1/3 is missing: its files give no rows\n");
    EXPECT_TRUE(partial.out.starts_with("file,dynres,label,")) << partial.out;
    EXPECT_EQ(partial.out.find("r1.dyn"), std::string::npos);
    EXPECT_NE(partial.out.find("r2.dyn"), std::string::npos);
}

TEST(Merge, AShardToStandardOutputWritesNoRecord) {
    Suite s;
    const Result r = s.run("stats -f csv --shard 1/2" + s.files);
    EXPECT_EQ(r.code, 0);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(s.dir.path())) ++entries;
    EXPECT_EQ(entries, 9U);
    const Result out = s.run("stats -f csv --shard 1/2 -o -" + s.files);
    EXPECT_EQ(out.code, 0) << out.err;
    EXPECT_EQ(out.out, r.out);
    // A device is refused as -o before anything is read, record and all.
    const Result dev = s.run("stats -f csv --shard 1/2 -o /dev/null" + s.files);
    EXPECT_EQ(dev.code, 1);
    entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(s.dir.path())) ++entries;
    EXPECT_EQ(entries, 9U);
}

}  // namespace
