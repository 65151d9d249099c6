// The output files of the batch commands in a folder that others may write,
// the command line's usage errors and the file lists of large suites, run
// end to end by the built pektor program.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/program.h"
#include "support/scratch.h"

namespace {

namespace fs = std::filesystem;
using test_support::ScratchDir;

using Result = test_support::CommandRun;

// Runs `<shell prefix> pektor args` in `dir` with `input` on standard input;
// the streams are kept in `streams`.
Result pektor(const fs::path& dir, const std::string& args, const ScratchDir& streams,
              const std::string& prefix = "", const std::string& input = "/dev/null") {
    Result r;
    const fs::path out = streams.path() / "out.txt";
    const fs::path err = streams.path() / "err.txt";
    r.code =
        test_support::run_in(dir, prefix + " timeout 60 '" PEKTOR_BIN "' " + args + " < " + input +
                                      " > '" + out.string() + "' 2> '" + err.string() + "'");
    r.out = test_support::read_file(out);
    r.err = test_support::read_file(err);
    return r;
}

std::string first_line(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

unsigned mode_of(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777U;
}

// The names in the folder that start like a temporary output file.
std::vector<std::string> temporaries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name.starts_with(".pektor-")) names.push_back(name);
    }
    return names;
}

// pektor run in `dir` and stopped as soon as its temporary output file
// exists (the test build's PEKTOR_TEST_STOP_AFTER_TEMP).
class Stopped {
  public:
    Stopped(const fs::path& dir, const std::vector<std::string>& args, const ScratchDir& streams) {
        pid_ = ::fork();
        if (pid_ == 0) {
            const std::string err = (streams.path() / "err.txt").string();
            if (::chdir(dir.c_str()) != 0) ::_exit(120);
            std::FILE* e = std::freopen(err.c_str(), "w", stderr);
            std::FILE* o = std::freopen("/dev/null", "w", stdout);
            if (e == nullptr || o == nullptr) ::_exit(121);
            ::setenv("PEKTOR_TEST_STOP_AFTER_TEMP", "1", 1);
            std::vector<char*> argv{const_cast<char*>(PEKTOR_BIN)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(PEKTOR_BIN, argv.data());
            ::_exit(122);
        }
        int status = 0;
        stopped_ = pid_ > 0 && ::waitpid(pid_, &status, WUNTRACED) == pid_ && WIFSTOPPED(status);
    }
    Stopped(const Stopped&) = delete;
    Stopped& operator=(const Stopped&) = delete;
    ~Stopped() {
        if (pid_ > 0 && !done_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool stopped() const { return stopped_; }
    void signal(int sig) const { ::kill(pid_, sig); }
    // Lets the run go on; its exit code (128 + the signal that ended it).
    int finish() {
        ::kill(pid_, SIGCONT);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        done_ = true;
        if (WIFEXITED(status)) return WEXITSTATUS(status);
        return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    bool stopped_ = false;
    bool done_ = false;
};

// A folder with a.dyn, b.dyn and an output file out.csv of an earlier run.
struct Folder {
    ScratchDir dir;
    ScratchDir streams;
    Folder() {
        dir.copy_fixture("combo.dyn", "a.dyn");
        dir.copy_fixture("le_basic.dyn", "b.dyn");
        dir.write("out.csv", "earlier\n");
    }
    fs::path at(const std::string& name) const { return dir.path() / name; }
};

// Someone swaps the temporary file for a link to a file of theirs (here a
// 0600 file in another folder) while the command writes: that file stays as
// it was, the output file too, and the run fails.
TEST(OutputFile, ATemporarySwappedForALinkLeavesItsTargetAndTheOutputAlone) {
#ifndef PEKTOR_TEST_HOOKS
    GTEST_SKIP() << "needs the test build's hooks (cmake -DPEKTOR_TEST_HOOKS=ON, as scripts/test)";
#endif
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"export", "-f", "csv", "-o", "out.csv", "a.dyn"},
          std::vector<std::string>{"stats", "-q", "-o", "out.csv", "a.dyn", "b.dyn"},
          std::vector<std::string>{"plot", "-o", "out.csv", "a.dyn"}}) {
        SCOPED_TRACE(args.front());
        Folder f;
        fs::create_directory(f.at("other"));
        f.dir.write("other/victim", "not yours\n");
        fs::permissions(f.at("other/victim"), fs::perms::owner_read | fs::perms::owner_write);
        Stopped run(f.dir.path(), args, f.streams);
        ASSERT_TRUE(run.stopped());
        const std::vector<std::string> temps = temporaries(f.dir.path());
        ASSERT_EQ(temps.size(), 1U);
        fs::remove(f.at(temps[0]));
        fs::create_symlink(f.at("other/victim"), f.at(temps[0]));
        EXPECT_EQ(run.finish(), 1);
        EXPECT_EQ(f.dir.read("other/victim"), "not yours\n");
        EXPECT_EQ(mode_of(f.at("other/victim")), 0600U);
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(f.at("out.csv"))));
        EXPECT_EQ(f.dir.read("out.csv"), "earlier\n");
        const std::string err = f.streams.read("err.txt");
        EXPECT_EQ(err, "pektor " + args.front() + ": out.csv: the temporary file ./" + temps[0] +
                           " was replaced by someone else while it was written; nothing "
                           "written\n");
    }
}

// SIGINT and SIGTERM while the temporary file exists: it is removed, the
// output file is untouched, exit 130 and 143.
TEST(OutputFile, InterruptedRunsRemoveTheirTemporaryFile) {
#ifndef PEKTOR_TEST_HOOKS
    GTEST_SKIP() << "needs the test build's hooks (cmake -DPEKTOR_TEST_HOOKS=ON, as scripts/test)";
#endif
    for (const auto& [sig, code] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        SCOPED_TRACE(sig);
        Folder f;
        Stopped run(f.dir.path(), {"export", "-o", "out.csv", "a.dyn"}, f.streams);
        ASSERT_TRUE(run.stopped());
        ASSERT_EQ(temporaries(f.dir.path()).size(), 1U);
        run.signal(sig);
        EXPECT_EQ(run.finish(), code);
        EXPECT_EQ(temporaries(f.dir.path()), std::vector<std::string>{});
        EXPECT_EQ(f.dir.read("out.csv"), "earlier\n");
    }
}

// -o naming a FIFO, a device or a folder, itself or through a link: refused
// before any input is read (b.dyn is missing), and nothing waits for a
// reader.
TEST(OutputFile, AnythingButARegularFileOrANewNameIsRefused) {
    Folder f;
    ASSERT_EQ(::mkfifo(f.at("fifo").c_str(), 0644), 0);
    fs::create_symlink("fifo", f.at("to_fifo"));
    fs::create_directory(f.at("sub"));
    fs::create_symlink("loop1", f.at("loop2"));
    fs::create_symlink("loop2", f.at("loop1"));
    const std::string tail =
        ", not a regular file; nothing written (-o - writes to standard output)";
    struct Case {
        std::string output;
        std::string err;
    };
    for (const Case& c :
         std::vector<Case>{{"fifo", "is a FIFO" + tail},
                           {"to_fifo", "is a FIFO (through a symbolic link)" + tail},
                           {"sub", "is a folder" + tail},
                           {"/dev/null", "is a device" + tail},
                           {"loop1", "too many levels of symbolic links; nothing written"}}) {
        for (const char* command : {"export", "stats", "report"}) {
            const Result r = pektor(
                f.dir.path(), std::string(command) + " -o " + c.output + " missing.dyn", f.streams);
            EXPECT_EQ(r.code, 1) << command << " " << c.output;
            EXPECT_EQ(r.err,
                      "pektor " + std::string(command) + ": " + c.output + ": " + c.err + "\n");
            EXPECT_EQ(r.out, "");
        }
    }
    // Standard output stays open to pipes.
    const Result dash = pektor(f.dir.path(), "list -c 1 -f csv -o - a.dyn", f.streams);
    EXPECT_EQ(dash.code, 0);
    EXPECT_EQ(dash.out, pektor(f.dir.path(), "list -c 1 -f csv a.dyn", f.streams).out);
    EXPECT_FALSE(f.dir.exists("-"));
}

// An existing file keeps its mode, a new one gets the umask's; a link is
// written through to its target, whose folder holds the temporary file.
TEST(OutputFile, ModesAndLinks) {
    Folder f;
    const std::string rows = pektor(f.dir.path(), "list -f csv a.dyn", f.streams).out;
    ASSERT_FALSE(rows.empty());
    struct Case {
        std::string umask;
        std::optional<unsigned> before;  // the mode of the existing file
        unsigned after;
    };
    int n = 0;
    for (const Case& c : std::vector<Case>{{"022", 0600U, 0600U},
                                           {"022", 0660U, 0660U},
                                           {"077", 0644U, 0644U},
                                           {"027", std::nullopt, 0640U},
                                           {"077", std::nullopt, 0600U},
                                           {"002", std::nullopt, 0664U}}) {
        const std::string name = "m" + std::to_string(++n) + ".csv";
        if (c.before) {
            f.dir.write(name, "earlier\n");
            ASSERT_EQ(::chmod(f.at(name).c_str(), *c.before), 0);
        }
        const Result r = pektor(f.dir.path(), "list -f csv -o " + name + " a.dyn", f.streams,
                                "umask " + c.umask + ";");
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(f.dir.read(name), rows);
        EXPECT_EQ(mode_of(f.at(name)), c.after) << name;
    }

    fs::create_directory(f.at("sub"));
    f.dir.write("sub/kept.csv", "earlier\n");
    ASSERT_EQ(::chmod(f.at("sub/kept.csv").c_str(), 0600), 0);
    fs::create_symlink("sub/kept.csv", f.at("kept"));
    fs::create_symlink("sub/new.csv", f.at("new"));
    fs::create_symlink("kept", f.at("chain"));
    for (const std::string link : {"kept", "new", "chain"}) {
        const Result r = pektor(f.dir.path(), "list -f csv -o " + link + " a.dyn", f.streams);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(fs::is_symlink(f.at(link))) << link;
        EXPECT_EQ(f.dir.read(link), rows) << link;
    }
    EXPECT_EQ(mode_of(f.at("sub/kept.csv")), 0600U);
    EXPECT_EQ(temporaries(f.dir.path()), std::vector<std::string>{});
    EXPECT_EQ(temporaries(f.at("sub")), std::vector<std::string>{});

    // The longest legal name still has room for its temporary file.
    const std::string long_name(249, 'x');
    const Result r = pektor(f.dir.path(), "list -f csv -o " + long_name + " a.dyn", f.streams);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(f.dir.read(long_name), rows);
}

// A writable output file in a folder that allows no new file cannot be
// replaced: said so, the file kept.
TEST(OutputFile, AFileInAReadOnlyFolderIsKept) {
    // Root writes into read-only folders: run the program as nobody.
    std::string as_user;
    if (::geteuid() == 0) {
        if (::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "no setpriv to drop root";
        as_user = "/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups";
    }
    Folder f;
    fs::permissions(f.dir.path(), fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::add);
    fs::permissions(f.at("a.dyn"), fs::perms::others_read, fs::perm_options::add);
    fs::create_directory(f.at("ro"));
    f.dir.write("ro/out.csv", "earlier\n");
    ASSERT_EQ(::chmod(f.at("ro/out.csv").c_str(), 0666), 0);
    ASSERT_EQ(::chmod(f.at("ro").c_str(), 0555), 0);
    const Result r = pektor(f.dir.path(), "list -o ro/out.csv a.dyn", f.streams, as_user);
    ::chmod(f.at("ro").c_str(), 0755);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err,
              "pektor list: ro/out.csv: cannot be replaced: its folder ro does not allow a new "
              "file (Permission denied), and the file is written through a temporary file "
              "beside it; nothing written\n");
    EXPECT_EQ(f.dir.read("ro/out.csv"), "earlier\n");
}

// Command lines that are no command, and options a command does not use.
TEST(CommandLine, MistakesAreUsageErrors) {
    Folder f;
    f.dir.copy_fixture("combo_input.txt", "in.txt");
    struct Case {
        std::string args;
        std::string first;
    };
    for (const Case& c : std::vector<Case>{
             {"stat a.dyn", "pektor: unknown command \"stat\" (did you mean \"stats\"?)"},
             {"a.dyn",
              "pektor: unknown command \"a.dyn\" (the command comes before the files: pektor "
              "list a.dyn)"},
             {"-j 2 stats a.dyn",
              "pektor: unknown option \"-j\" before the command (options follow the command: "
              "pektor stats -j ...)"},
             {"xyz", "pektor: unknown command \"xyz\""}}) {
        const Result r = pektor(f.dir.path(), c.args, f.streams);
        EXPECT_EQ(r.code, 1) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
        EXPECT_EQ(first_line(r.err), c.first) << c.args;
        EXPECT_NE(r.err.find("\nCommands:\n  list "), std::string::npos) << c.args;
    }
    for (const Case& c : std::vector<Case>{
             {"combine --input in.txt -c 99 -c 'nomatch*' a.dyn",
              "pektor combine: -c does not apply: combine takes its DynRes from the groups of "
              "--input"},
             {"export -c 1 a.dyn b.dyn", "pektor export: export takes one dyn file; 2 given"},
             {"stats -w", "pektor stats: the option --window needs a value"},
             {"stats --null a.dyn", "pektor stats: --null applies to --files-from only"},
             {"stats --files-from none.txt",
              "pektor stats: --files-from none.txt: cannot read the list: No such file or "
              "directory"}}) {
        const Result r = pektor(f.dir.path(), c.args, f.streams);
        EXPECT_EQ(r.code, 1) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
        EXPECT_EQ(first_line(r.err), c.first) << c.args;
    }
}

// --files-from gives the same rows as the names on the command line, with
// them, from standard input and NUL-separated; a path given twice warns.
TEST(FileLists, ListedFilesAreReadLikeArguments) {
    Folder f;
    f.dir.write("list.txt", "a.dyn\n\nb.dyn\r\n");
    f.dir.write("one.txt", "b.dyn\n");
    f.dir.write("nul.txt", std::string("a.dyn\0b.dyn\0", 12));
    const Result both = pektor(f.dir.path(), "list -f csv a.dyn b.dyn", f.streams);
    ASSERT_EQ(both.code, 0);
    for (const auto& [args, input] : std::vector<std::pair<std::string, std::string>>{
             {"list -f csv --files-from list.txt", "/dev/null"},
             {"list -f csv a.dyn --files-from one.txt", "/dev/null"},
             {"list -f csv --files-from -", "list.txt"},
             {"list -f csv -j 1 --null --files-from nul.txt", "/dev/null"}}) {
        const Result r = pektor(f.dir.path(), args, f.streams, "", input);
        EXPECT_EQ(r.code, 0) << args << r.err;
        EXPECT_EQ(r.out, both.out) << args;
        EXPECT_EQ(r.err, "") << args;
    }
    const Result plot = pektor(f.dir.path(), "plot -c 1 -o - --files-from one.txt", f.streams);
    EXPECT_EQ(plot.code, 0);
    EXPECT_EQ(plot.out, pektor(f.dir.path(), "plot -c 1 -o - b.dyn", f.streams).out);
    const Result empty = pektor(f.dir.path(), "stats --files-from /dev/null", f.streams);
    EXPECT_EQ(empty.code, 1);
    EXPECT_EQ(first_line(empty.err), "pektor stats: no dyn file given (the list is empty)");

    const Result twice =
        pektor(f.dir.path(), "list -c 1 -f csv a.dyn --files-from list.txt", f.streams);
    EXPECT_EQ(twice.code, 0);
    EXPECT_EQ(twice.err, "pektor list: a.dyn: given 2 times; its rows appear once per mention\n");
    std::istringstream lines(twice.out);
    std::string line;
    int a_rows = 0;
    while (std::getline(lines, line)) a_rows += line.starts_with("a.dyn,") ? 1 : 0;
    EXPECT_EQ(a_rows, 2);
}

}  // namespace
