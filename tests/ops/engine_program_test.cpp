// The fast path of the extraction against the per-step path (the reference,
// PEKTOR_PER_STEP=1): the same console, output file, side files, dyn file
// and exit code for every operation on the fixtures (little- and
// big-endian, packed, slack and capped, version 0 and 1, damaged) and on
// larger dyngen files, also with work arrays too small at various points.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "support/program.h"
#include "support/scratch.h"

namespace {

namespace fs = std::filesystem;
using test_support::ScratchDir;

// Every file of the directory with its content.
std::map<std::string, std::string> files_of(const fs::path& dir) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::directory_iterator(dir))
        out[e.path().filename().string()] = test_support::read_file(e.path());
    return out;
}

struct Outcome {
    int code = -1;
    std::map<std::string, std::string> files;  // console.txt, out.txt, fort.N, the dyn files
};

// Runs pektor in a fresh directory holding `inputs` (fixtures or files of
// `from`), with the answers.
Outcome run(bool per_step, const std::vector<fs::path>& inputs, const std::string& size,
            const std::string& answers) {
    ScratchDir dir;
    for (const fs::path& p : inputs) fs::copy_file(p, dir.path() / p.filename());
    for (const auto& e : fs::directory_iterator(dir.path()))
        fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add);
    dir.write("answers.txt", answers);
    Outcome o;
    o.code = test_support::run_in(dir.path(), std::string(per_step ? "PEKTOR_PER_STEP=1 " : "") +
                                                  "'" + PEKTOR_BIN + "' " + size +
                                                  " < answers.txt > console.txt 2> errors.txt");
    o.files = files_of(dir.path());
    // RAFLIB messages carry the time they were written.
    if (o.files.count("fort.23")) {
        static const std::regex stamp(R"(\d\d-\d\d-\d\d \d\d:\d\d:\d\d)");
        o.files["fort.23"] = std::regex_replace(o.files["fort.23"], stamp, "<time>");
    }
    return o;
}

void expect_same(const std::vector<fs::path>& inputs, const std::string& size,
                 const std::string& answers) {
    const Outcome fast = run(false, inputs, size, answers);
    const Outcome slow = run(true, inputs, size, answers);
    EXPECT_EQ(fast.code, slow.code) << answers;
    ASSERT_EQ(fast.files.size(), slow.files.size()) << answers;
    for (const auto& [name, content] : slow.files) {
        ASSERT_TRUE(fast.files.count(name)) << name << " missing; answers:\n" << answers;
        EXPECT_EQ(fast.files.at(name), content) << name << "; answers:\n" << answers;
    }
    EXPECT_EQ(fast.files.at("errors.txt"), "");
}

// The answers of a session on file f: operations 1, 2, 3 (ALL, one DynRes,
// a number too large) and 5, each with the whole series and with a window.
std::vector<std::string> sessions(const std::string& f, bool readable) {
    std::vector<std::string> s;
    for (const std::string window : {"", "0.1 0.3", "0.2,0.2", "5 1"}) {
        if (!readable && !window.empty()) break;
        if (window == "0.2,0.2" && f != "le_basic.dyn" && f != "packed.dyn") continue;
        if (window == "5 1" && f != "le_basic.dyn") continue;
        s.push_back("1\n1\n" + f + "\nout.txt\n" + window + "\n1\n2\n\n");
        s.push_back("1\n-2\n" + f + "\nout.txt\n" + window + "\n3\n\n");
        s.push_back("2\n0\n" + f + "\n" + f + "\nout.txt\n" + window + "\n2\n\n");
        s.push_back("3\n" + f + "\nout.txt\n" + window + "\nall\n");
        s.push_back("3\n" + f + "\nout.txt\n" + window + "\n2\n1\n\n");
        s.push_back("5\n" + f + "\nout.txt\n" + window + "\n1\n2\n");
    }
    s.push_back("3\n" + f + "\nout.txt\n\n99\n");
    s.push_back("1\n1\n" + f + "\nout.txt\n\n99\n");
    return s;
}

class FastAgainstPerStep : public ::testing::TestWithParam<const char*> {};

TEST_P(FastAgainstPerStep, EveryOperationPrintsAndWritesTheSame) {
    const std::string f = GetParam();
    const bool readable = f != "truncated.dyn" && f != "locked.dyn" && f != "fixed_mstru.dyn" &&
                          f != "version3.dyn" && f != "badcur.dyn";
    for (const std::string& answers : sessions(f, readable))
        expect_same({test_support::fixture_path(f)}, "2", answers);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FastAgainstPerStep,
                         ::testing::Values("le_basic.dyn", "be_basic.dyn", "packed.dyn",
                                           "packed_simple.dyn", "packed_slack.dyn",
                                           "packed_cap.dyn", "ncol0.dyn", "v1.dyn", "v0_small.dyn",
                                           "v0_convert.dyn", "combo.dyn", "dupname.dyn",
                                           "loadst0.dyn", "truncated.dyn", "locked.dyn",
                                           "fixed_mstru.dyn", "version3.dyn", "badcur.dyn"),
                         [](const auto& p) {
                             std::string n = p.param;
                             return n.substr(0, n.find('.'));
                         });

TEST(FastAgainstPerStepCombination, OperationFourWithBothInputFiles) {
    for (const char* input : {"combo_input.txt", "combo_input_nc3.txt"}) {
        for (const std::string window : {"", "0.3 1.2"}) {
            expect_same(
                {test_support::fixture_path("combo.dyn"), test_support::fixture_path(input)}, "2",
                "4\ncombo.dyn\nout.txt\n" + window + "\n" + input + "\n");
        }
    }
}

TEST(FastAgainstPerStepSpace, AWorkArrayTooSmallFailsAtTheSamePoint) {
    // From too small for the catalogue to large enough for everything: each
    // size fails (or not) at the same booking with the same messages.
    const fs::path f = test_support::fixture_path("le_basic.dyn");
    for (int words = 900; words <= 2400; words += 100) {
        const std::string size = std::to_string(words / 1.0e6);
        expect_same({f}, size, "3\nle_basic.dyn\nout.txt\n\nall\n");
        expect_same({f}, size, "1\n1\nle_basic.dyn\nout.txt\n\n4\n\n");
        expect_same({f}, size, "5\nle_basic.dyn\nout.txt\n\n1\n5\n");
    }
}

// Files of dyngen large enough for many MFP pages and several reads per run.
class FastAgainstPerStepDyngen : public ::testing::TestWithParam<const char*> {};

TEST_P(FastAgainstPerStepDyngen, ManyPagesAndReads) {
    ScratchDir gen;
    const std::string args = GetParam();
    ASSERT_EQ(test_support::run_in(gen.path(), std::string("'") + DYNGEN_BIN + "' " + args +
                                                   " -o gen.dyn > /dev/null"),
              0);
    const fs::path f = gen.path() / "gen.dyn";
    for (const std::string window : {"", "12.5 80.25"}) {
        expect_same({f}, "20", "3\ngen.dyn\nout.txt\n" + window + "\nall\n");
        expect_same({f}, "20", "1\n0\ngen.dyn\nout.txt\n" + window + "\n7\n1\n\n");
        expect_same({f}, "20", "5\ngen.dyn\nout.txt\n" + window + "\n2\n3\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Files, FastAgainstPerStepDyngen,
                         ::testing::Values("--dynres 12 --steps 3000 --dt 0.05",
                                           "--dynres 140 --steps 2500 --dt 0.04",
                                           "--dynres 9 --steps 2003 --dt 0.05 --pack 7"));

}  // namespace
