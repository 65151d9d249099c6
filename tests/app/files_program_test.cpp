// The pektor program never destroys a file it reads or writes and never
// reports a failed write as success: runs refused before anything is lost,
// write failures, long lines and the answers that used to mislead.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/dialogue_texts.h"
#include "support/program.h"
#include "support/scratch.h"

namespace {

namespace fs = std::filesystem;
using test_support::ProgramRun;
using test_support::ScratchDir;

const std::string kCompleted = "----       Successfully  Completed       ----";

ProgramRun run_pektor(const ScratchDir& dir, const std::string& answers) {
    return test_support::run_with_answers(dir, PEKTOR_BIN, "1", answers);
}

// The bytes of every regular file of the directory (links are not followed).
std::map<std::string, std::vector<char>> snapshot(const ScratchDir& dir) {
    std::map<std::string, std::vector<char>> files;
    for (const auto& e : fs::directory_iterator(dir.path())) {
        const std::string name = e.path().filename().string();
        if (name == "answers.txt" || name == "console.txt" || name == "errors.txt") continue;
        if (fs::is_regular_file(e.symlink_status())) files[name] = test_support::read_bytes(e);
    }
    return files;
}

// A directory with a.dyn (combo.dyn), in.txt (its operation 4 input) and
// whatever the case adds.
struct Files {
    ScratchDir dir;
    Files() {
        dir.copy_fixture("combo.dyn", "a.dyn");
        dir.copy_fixture("combo_input.txt", "in.txt");
    }
    fs::path at(const std::string& name) const { return dir.path() / name; }
};

struct Refusal {
    const char* what;
    std::function<void(const Files&)> prepare;
    std::string answers;
    std::string line;                // the console line that says why
    std::vector<std::string> fresh;  // files the run may create before it stops
};

// Every file that existed before a refused run is byte for byte the same
// afterwards, and the run writes no file it was not asked for.
TEST(FilesOfTheRun, RefusedRunsLeaveEveryFileAsItWas) {
    const auto none = [](const Files&) {};
    const std::string refused = ": refused, no file written";
    const std::vector<Refusal> cases = {
        {"output file is the dyn file",
         none,
         "3\na.dyn\na.dyn\n\nall\n",
         " *** Output file \"a.dyn\" is the dyn file \"a.dyn\"" + refused,
         {}},
        {"output file is a symbolic link to the dyn file",
         [](const Files& f) { fs::create_symlink("a.dyn", f.at("l.dyn")); },
         "3\na.dyn\nl.dyn\n\nall\n",
         " *** Output file \"l.dyn\" is the dyn file \"a.dyn\"" + refused,
         {}},
        {"output file is a hard link to the dyn file",
         [](const Files& f) { fs::create_hard_link(f.at("a.dyn"), f.at("h.dyn")); },
         "1\n1\nh.dyn\na.dyn\n\n1\n\n",
         " *** Output file \"a.dyn\" is the dyn file \"h.dyn\"" + refused,
         {}},
        {"output file is another path to the dyn file",
         [](const Files& f) { fs::create_directory(f.at("sub")); },
         "5\n a.dyn\nsub/../a.dyn\n\n",
         " *** Output file \"sub/../a.dyn\" is the dyn file \"a.dyn\"" + refused,
         {}},
        {"a stray blank line makes another dyn file the output file",
         [](const Files& f) { fs::copy_file(f.at("a.dyn"), f.at("b.dyn")); },
         "3\n\na.dyn\nb.dyn\n\nall\n",
         " *** Output file \"a.dyn\" is an existing dyn file" + refused,
         {}},
        {"output file is the second dyn file of operation 2",
         [](const Files& f) { fs::copy_file(f.at("a.dyn"), f.at("b.dyn")); },
         "2\n1\na.dyn\nb.dyn\nb.dyn\n\n1\n\n",
         " *** Output file \"b.dyn\" is the dyn file \"b.dyn\"" + refused,
         {}},
        {"dyn file fort.44 of operation 4",
         [](const Files& f) { fs::rename(f.at("a.dyn"), f.at("fort.44")); },
         "4\nfort.44\nout.txt\n\nin.txt\n",
         " *** Side file \"fort.44\" would overwrite the dyn file \"fort.44\"" + refused,
         {}},
        {"dyn file fort.45 of operation 5",
         [](const Files& f) { fs::rename(f.at("a.dyn"), f.at("fort.45")); },
         "5\nfort.45\nout.txt\n\n1\n2\n",
         " *** Side file \"fort.45\" would overwrite the dyn file \"fort.45\"" + refused,
         {}},
        {"locked dyn file fort.23 and the RAFLIB message file",
         [](const Files& f) { test_support::copy_fixture("locked.dyn", f.at("fort.23")); },
         "1\n1\nfort.23\nout.txt\n\n1\n\n",
         " *** RAFLIB message file \"fort.23\" would overwrite the dyn file \"fort.23\"" + refused,
         {}},
        {"output file fort.23",
         [](const Files& f) { f.dir.write("fort.23", "old report\n"); },
         "3\na.dyn\nfort.23\n\nall\n",
         " *** RAFLIB message file \"fort.23\" would overwrite the output file \"fort.23\"" +
             refused,
         {}},
        {"output file fort.44 of operation 4",
         none,
         "4\na.dyn\nfort.44\n\nin.txt\n",
         " *** Side file \"fort.44\" would overwrite the output file \"fort.44\"" + refused,
         {}},
        {"output file fort.45 of operation 5",
         [](const Files& f) { f.dir.write("fort.45", "old report\n"); },
         "5\na.dyn\nfort.45\n\n1\n2\n",
         " *** Side file \"fort.45\" would overwrite the output file \"fort.45\"" + refused,
         {}},
        {"input file fort.44 of operation 4",
         [](const Files& f) { fs::rename(f.at("in.txt"), f.at("fort.44")); },
         "4\na.dyn\nout.txt\n\nfort.44\n",
         " *** Side file \"fort.44\" would overwrite the input file \"fort.44\": refused",
         {"out.txt"}},
        {"input file fort.23 of operation 4",
         [](const Files& f) { fs::rename(f.at("in.txt"), f.at("fort.23")); },
         "4\na.dyn\nout.txt\n\nfort.23\n",
         " *** RAFLIB message file \"fort.23\" would overwrite the input file \"fort.23\": refused",
         {"out.txt"}},
        {"input file fort.45 of operation 4 (known after the resultants)",
         [](const Files& f) { fs::rename(f.at("in.txt"), f.at("fort.45")); },
         "4\na.dyn\nout.txt\n\nfort.45\n",
         " *** Side file \"fort.45\" would overwrite the input file \"fort.45\": refused",
         {"out.txt", "fort.44"}},
        {"input file is the output file of operation 4",
         none,
         "4\na.dyn\nout.txt\n\nout.txt\n",
         " *** Input file \"out.txt\" is the output file \"out.txt\": refused",
         {"out.txt"}},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.what);
        const Files f;
        c.prepare(f);
        const auto before = snapshot(f.dir);
        const ProgramRun r = run_pektor(f.dir, c.answers);
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.console.find("\n" + c.line + "\n"), std::string::npos) << r.console;
        EXPECT_EQ(r.console.find(kCompleted), std::string::npos);
        auto after = snapshot(f.dir);
        for (const std::string& name : c.fresh) {
            if (before.count(name) == 0) after.erase(name);
        }
        EXPECT_EQ(after, before);
    }
}

// The files of the run are told apart from the side files by what they are,
// not by their names: a run whose files only look alike goes through.
TEST(FilesOfTheRun, SideFilesOfOtherOperationsAreNoClash) {
    const Files f;
    f.dir.write("fort.44", "kept\n");
    const ProgramRun r = run_pektor(f.dir, "5\na.dyn\nfort.44\n\n1\n2\n");
    EXPECT_EQ(r.code, 0) << r.console;
    EXPECT_NE(f.dir.read("fort.44").find(kCompleted), std::string::npos);
    EXPECT_TRUE(f.dir.exists("fort.45"));
}

struct WriteFailure {
    const char* what;
    std::function<void(const Files&)> prepare;
    std::string answers;
    std::string line;
};

// A file that cannot be written, flushed, closed or created ends the run
// with one console line naming it and the system's reason, and exit code 1.
TEST(FilesOfTheRun, WriteFailuresAreFailures) {
    const auto none = [](const Files&) {};
    const auto full = [](const std::string& name) {
        return [name](const Files& f) { fs::create_symlink("/dev/full", f.at(name)); };
    };
    const std::string nospace = "No space left on device";
    const std::vector<WriteFailure> cases = {
        {"output file /dev/full", none, "3\na.dyn\n/dev/full\n\nall\n",
         " *** Output file \"/dev/full\" could not be written: " + nospace},
        {"output file /dev/full, operation 1", none, "1\n1\na.dyn\n/dev/full\n\n1\n\n",
         " *** Output file \"/dev/full\" could not be written: " + nospace},
        {"resultant side file linked to /dev/full", full("fort.44"),
         "4\na.dyn\nout.txt\n\nin.txt\n",
         " *** Side file \"fort.44\" could not be written: " + nospace},
        {"component side file linked to /dev/full", full("fort.46"),
         "4\na.dyn\nout.txt\n\nin.txt\n",
         " *** Side file \"fort.46\" could not be written: " + nospace},
        {"vector side file linked to /dev/full", full("fort.45"), "5\na.dyn\nout.txt\n\n1\n2\n",
         " *** Side file \"fort.45\" could not be written: " + nospace},
        {"side file that cannot be created",
         [](const Files& f) { fs::create_directory(f.at("fort.45")); },
         "5\na.dyn\nout.txt\n\n1\n2\n",
         " *** Side file \"fort.45\" could not be created: Is a directory"},
    };
    for (const WriteFailure& c : cases) {
        SCOPED_TRACE(c.what);
        const Files f;
        c.prepare(f);
        const ProgramRun r = run_pektor(f.dir, c.answers);
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.console.find("\n" + c.line + "\n"), std::string::npos) << r.console;
        EXPECT_EQ(r.console.find(kCompleted), std::string::npos);
        EXPECT_TRUE(r.console.ends_with(test_support::kFailedReturn));
    }
}

TEST(FilesOfTheRun, SideFileInAReadOnlyDirectory) {
    if (::geteuid() == 0) {
        // Permissions do not stop the superuser; the directory case above
        // covers a side file that cannot be created.
        GTEST_SKIP() << "running as root: a read-only directory is writable";
    }
    const Files f;
    fs::create_directory(f.at("ro"));
    test_support::copy_fixture("combo.dyn", f.at("ro/a.dyn"));
    fs::permissions(f.at("ro"), fs::perms::owner_read | fs::perms::owner_exec);
    f.dir.write("answers.txt", "5\na.dyn\n../out.txt\n\n1\n2\n");
    const int code = test_support::run_in(
        f.at("ro"), "'" + std::string(PEKTOR_BIN) + "' 1 < ../answers.txt > ../console.txt");
    fs::permissions(f.at("ro"), fs::perms::owner_all);
    EXPECT_EQ(code, 1);
    EXPECT_NE(f.dir.read("console.txt")
                  .find(" *** Side file \"fort.45\" could not be created: Permission denied\n"),
              std::string::npos);
}

TEST(FilesOfTheRun, ConsoleThatCannotBeWritten) {
    const Files f;
    f.dir.write("answers.txt", "3\na.dyn\nout.txt\n\nall\n");
    EXPECT_EQ(test_support::run_in(f.dir.path(),
                                   "'" + std::string(PEKTOR_BIN) + "' 1 < answers.txt > /dev/full"),
              1);
    // The run itself went through: the output file is complete.
    EXPECT_NE(f.dir.read("out.txt").find(kCompleted), std::string::npos);
}

// Lines up to 1 MiB are read whole; a longer line (or an endless one) is an
// error naming the line, and numbers never come from the wrong line.
TEST(FilesOfTheRun, LongLines) {
    const Files f;
    const std::string input = f.dir.read("in.txt");
    const ProgramRun plain = run_pektor(f.dir, "4\na.dyn\nout.txt\n\nin.txt\n");
    ASSERT_EQ(plain.code, 0);
    const std::string out = f.dir.read("out.txt");
    const std::string resultants = f.dir.read("fort.44");

    // 70,000 blanks before the number of DynRes per group: the same results.
    const std::size_t second = input.find('\n') + 1;
    f.dir.write("in.txt", input.substr(0, second) + std::string(70000, ' ') + input.substr(second));
    const ProgramRun padded = run_pektor(f.dir, "4\na.dyn\nout.txt\n\nin.txt\n");
    EXPECT_EQ(padded.code, 0);
    EXPECT_EQ(f.dir.read("out.txt"), out);
    EXPECT_EQ(f.dir.read("fort.44"), resultants);

    // A line of more than 1 MiB: refused, naming the file and the line.
    f.dir.write("in.txt",
                input.substr(0, second) + std::string(1 << 20, ' ') + input.substr(second));
    const auto before = f.dir.read("in.txt");
    const ProgramRun longer = run_pektor(f.dir, "4\na.dyn\nout.txt\n\nin.txt\n");
    EXPECT_EQ(longer.code, 1);
    EXPECT_NE(longer.console.find("      Input file : in.txt\n"
                                  "      Item       : number of DynRes per group\n"
                                  "      Problem    : line 2 is longer than 1048576 characters\n"),
              std::string::npos)
        << longer.console.substr(0, 2000);
    EXPECT_EQ(f.dir.read("in.txt"), before);

    // Endless lines: the input file and the standard input.
    const ProgramRun zero_input = run_pektor(f.dir, "4\na.dyn\nout.txt\n\n/dev/zero\n");
    EXPECT_EQ(zero_input.code, 1);
    EXPECT_NE(zero_input.console.find("      Problem    : line 1 is longer than 1048576 "
                                      "characters\n"),
              std::string::npos);
    const int code = test_support::run_in(
        f.dir.path(), "'" + std::string(PEKTOR_BIN) + "' 1 < /dev/zero > console.txt");
    EXPECT_EQ(code, 1);
    EXPECT_NE(f.dir.read("console.txt")
                  .find(" *** Input error at prompt \"Select  Operation (see above)\": line 1 of "
                        "the standard input is longer than 1048576 characters\n"),
              std::string::npos);
}

// A window of "nan inf" says what is wrong; a tab alone is a blank answer.
TEST(FilesOfTheRun, AnswersThatUsedToMislead) {
    struct Case {
        std::string answers;
        int code;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"3\na.dyn\nout.txt\nnan inf\n", 1,
         " *** Input error at prompt \"Give First/Last time of TS /whole/\": the first time is "
         "not a number (NaN)\n"},
        {"3\na.dyn\nout.txt\n0 -nan\n", 1,
         " *** Input error at prompt \"Give First/Last time of TS /whole/\": the last time is not "
         "a number (NaN)\n"},
        {"3\na.dyn\nout.txt\n\t\n\t\n", 0, kCompleted},
        {"1\n1\na.dyn\nout.txt\n\n1\n\t\n", 0, kCompleted},
        {"5\na.dyn\nout.txt\n\n\t\n", 0, kCompleted},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answers);
        const Files f;
        const ProgramRun r = run_pektor(f.dir, c.answers);
        EXPECT_EQ(r.code, c.code);
        EXPECT_NE(r.console.find(c.expected), std::string::npos) << r.console;
    }
}

}  // namespace
