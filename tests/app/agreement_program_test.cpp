// The dialogue and the batch commands agree on what a dyn file holds. For
// every file of the dyn_file fuzz corpus and for damaged variants of every
// fixture layout (catalogue words that make every step read one record, step
// counts far beyond the file, a damaged parameter table, counts of DynRes,
// packing and slots changed, a cut file), operation 3 with ALL and the blank
// window is run in the dialogue and `pektor stats -w 0:1e35` by the built
// program: both refuse the file, both find no sample, or both give the same
// n, maximum, minimum, mean and standard deviation to the printed digits.
// Then the faults one by one, end to end.
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/pektor.h"
#include "dms/names.h"
#include "dms/work_array.h"
#include "io/units.h"
#include "ops/pektor.h"
#include "raflib/raflib.h"
#include "support/agreement.h"
#include "support/program.h"
#include "support/scratch.h"
#include "tools/dynres_writer.h"

namespace {

using test_support::ScratchDir;
namespace fs = std::filesystem;

constexpr std::size_t kRecordBytes = 512;

// ---- the files ----

std::uint32_t swapped(std::uint32_t w) {
    return __builtin_bswap32(w);
}

// The words of a file, in either byte order, patched in place.
class Words {
  public:
    Words(std::string& bytes, bool swap) : bytes_(bytes), swap_(swap) {}
    std::size_t size() const { return bytes_.size() / 4; }
    std::int32_t get(std::size_t i) const {
        std::uint32_t w = 0;
        std::memcpy(&w, bytes_.data() + 4 * i, 4);
        return static_cast<std::int32_t>(swap_ ? swapped(w) : w);
    }
    void set(std::size_t i, std::int32_t v) {
        auto w = static_cast<std::uint32_t>(v);
        if (swap_) w = swapped(w);
        std::memcpy(bytes_.data() + 4 * i, &w, 4);
    }

  private:
    std::string& bytes_;
    bool swap_;
};

// The catalogue counters (NUMRAF): the record whose word 7 is the row
// length 10 and word 10 the key offset 100. Its first word, or npos.
std::size_t find_numraf(const Words& w) {
    for (std::size_t r = 1; (r + 1) * kRecordBytes / 4 <= w.size(); ++r) {
        const std::size_t at = r * kRecordBytes / 4;
        if (w.get(at + 6) == 10 && w.get(at + 8) == 8 && w.get(at + 9) == 100 && w.get(at + 7) > 0)
            return at;
    }
    return std::string::npos;
}

// A parameter of an MSTRU in the identifier layout: the word that holds it,
// or npos. MSTRU starts a record with a negative word 1 and the table's
// offset in word 2; identifier j names MSTRU(j).
std::size_t find_parameter(const Words& w, std::string_view name, std::size_t* mstru = nullptr) {
    std::string upper(name);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::array<dms::NameWords, 2> wanted{*dms::pack_name(upper), *dms::pack_name(name)};
    for (std::size_t r = 1; (r + 1) * kRecordBytes / 4 <= w.size(); ++r) {
        const std::size_t at = r * kRecordBytes / 4;
        const std::int32_t o = w.get(at + 1);
        if (w.get(at) >= 0 || o < 2 || at + static_cast<std::size_t>(o) + 5 > w.size()) continue;
        const std::size_t t = at + static_cast<std::size_t>(o);  // T(1) = MSTRU(o + 1)
        const std::int32_t count = w.get(t + 2);
        if (count < 1 || count > 1000 || t + 5 + 2 * static_cast<std::size_t>(count) > w.size())
            continue;
        for (std::int32_t j = 1; j <= count; ++j) {
            const auto k = t + 2 * static_cast<std::size_t>(j) + 3;
            const dms::NameWords names{w.get(k), w.get(k + 1)};
            for (const auto& n : wanted) {
                if (names != n) continue;
                if (mstru != nullptr) *mstru = at;
                return at + static_cast<std::size_t>(j) - 1;
            }
        }
    }
    return std::string::npos;
}

bool big_endian(const std::string& bytes) {
    // The key's first words are text; the byte order shows in the catalogue.
    std::string copy = bytes;
    return find_numraf(Words(copy, false)) == std::string::npos &&
           find_numraf(Words(copy, true)) != std::string::npos;
}

struct Variant {
    std::string name;
    std::string bytes;
};

// Damaged variants of a file: each a change that a hostile or broken writer
// could make. Changes whose words the file lacks are left out.
std::vector<Variant> variants(const std::string& stem, const std::string& bytes) {
    std::vector<Variant> out{{stem + ".dyn", bytes}};
    const bool swap = big_endian(bytes);
    const auto add = [&](const std::string& what, auto&& change) {
        std::string b = bytes;
        Words w(b, swap);
        if (change(w)) out.push_back({stem + "_" + what + ".dyn", std::move(b)});
    };
    const auto set_numraf = [&](std::initializer_list<std::pair<std::size_t, std::int32_t>> words) {
        return [words](Words& w) {
            const std::size_t at = find_numraf(w);
            if (at == std::string::npos) return false;
            for (const auto& [k, v] : words) w.set(at + k - 1, v);
            return true;
        };
    };
    const auto set_parameter = [&](std::string_view name, std::int32_t v) {
        return [name, v](Words& w) {
            const std::size_t at = find_parameter(w, name);
            if (at == std::string::npos) return false;
            w.set(at, v);
            return true;
        };
    };
    add("numraf56", set_numraf({{5, 0}, {6, 0}}));
    add("numraf6", set_numraf({{6, 0}}));
    add("numraf5", set_numraf({{5, 0}}));
    add("loadst1e6", set_parameter("LOADST", 1'000'000));
    add("loadstmax", set_parameter("LOADST", 2147483647));
    add("loadst0", set_parameter("LOADST", 0));
    add("loadstneg", set_parameter("LOADST", -1));
    add("loadst1", set_parameter("LOADST", 1));
    add("numraf56_loadst1e6", [&](Words& w) {
        return set_numraf({{5, 0}, {6, 0}})(w) && set_parameter("LOADST", 1'000'000)(w);
    });
    add("ndynres0", set_parameter("nDynRes", 0));
    add("ndynresplus", [&](Words& w) {
        const std::size_t at = find_parameter(w, "nDynRes");
        if (at == std::string::npos) return false;
        w.set(at, w.get(at) + 1);
        return true;
    });
    add("ndrpack3", set_parameter("nDRpack", 3));
    add("ndrpackbig", set_parameter("nDRpack", 1'000'000));
    add("ndrstep0", set_parameter("nDRStep", 0));
    add("ndrstepneg", set_parameter("nDRStep", -5));
    add("ndrstep2", set_parameter("nDRStep", 2));
    for (const std::int32_t word1 : {-203, -103, -3, -2, 5}) {
        add("mstru" + std::to_string(word1), [word1](Words& w) {
            std::size_t mstru = 0;
            if (find_parameter(w, "LOADST", &mstru) == std::string::npos) return false;
            w.set(mstru, word1);
            return true;
        });
    }
    if (bytes.size() > 4 * kRecordBytes) {
        out.push_back({stem + "_cut.dyn", bytes.substr(0, bytes.size() / kRecordBytes / 2 * 512)});
    }
    return out;
}

// ---- the two sides ----

agreement::Outcome dialogue_outcome(const ScratchDir& dir, const std::string& file) {
    std::istringstream keyboard("3\n" + file + "\nout.txt\n\nall\n");
    std::ostringstream console;
    std::int32_t status = 0;
    {
        io::Units units(keyboard, console, dir.path());
        raflib::Raflib raf(units);
        ops::Pektor ops(units, raf);
        dms::WorkArray w(2'000'000);
        status = app::pektor(w, units, ops);
    }
    fs::remove(dir.path() / "out.txt");
    fs::remove(dir.path() / "fort.23");
    return agreement::from_dialogue(console.str(), status == 0);
}

// The fields of one CSV record from `at`; false at the end of the text.
bool csv_record(const std::string& text, std::size_t& at, std::vector<std::string>& fields) {
    fields.clear();
    if (at >= text.size()) return false;
    std::string f;
    bool quoted = false;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (quoted) {
            if (c == '"' && at + 1 < text.size() && text[at + 1] == '"') {
                f += '"';
                ++at;
            } else if (c == '"') {
                quoted = false;
            } else {
                f += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.push_back(std::move(f));
            f.clear();
        } else if (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
            at += 2;
            break;
        } else {
            f += c;
        }
    }
    fields.push_back(std::move(f));
    return true;
}

// `pektor stats -w 0:1e35 -f csv` on all files at once: the outcome of each.
std::map<std::string, agreement::Outcome> batch_outcomes(const ScratchDir& dir,
                                                         const std::vector<std::string>& files,
                                                         std::string& errors) {
    std::string args = "stats -j 1 -w 0:1e35 -f csv";  // with the warnings: samples left out
    for (const auto& f : files) args += " '" + f + "'";
    const ScratchDir streams("pektor_streams_");
    const int code =
        test_support::run_in(dir.path(), "'" PEKTOR_BIN "' " + args + " < /dev/null > '" +
                                             (streams.path() / "out.csv").string() + "' 2> '" +
                                             (streams.path() / "err.txt").string() + "'");
    const std::string out = streams.read("out.csv");
    errors = streams.read("err.txt");
    EXPECT_TRUE(code == 0 || code == 2 || code == 1) << code;
    std::map<std::string, agreement::Outcome> r;
    for (const auto& f : files) {
        const std::string prefix = "pektor stats: " + f + ": ";
        // The file's failure, not a warning of samples left out.
        std::size_t e = errors.find(prefix);
        while (e != std::string::npos &&
               errors.substr(e, errors.find('\n', e) - e)
                       .find(" samples that are not finite numbers left out") != std::string::npos)
            e = errors.find(prefix, e + 1);
        agreement::Outcome o;
        if (e != std::string::npos) {
            const std::string reason = errors.substr(e + prefix.size(), 40);
            const bool empty = reason.starts_with("no sample in the window") ||
                               reason.starts_with("the file has no");
            o.kind = empty ? agreement::Outcome::Kind::NoSample : agreement::Outcome::Kind::Refused;
        } else {
            o.kind = agreement::Outcome::Kind::Read;
        }
        r[f] = o;
    }
    std::size_t at = 0;
    std::vector<std::string> row;
    csv_record(out, at, row);  // the header
    while (csv_record(out, at, row)) {
        if (row.size() < 12) continue;
        const auto number = [](const std::string& s) { return std::strtod(s.c_str(), nullptr); };
        // Maximum and minimum are stored values: read back as the float they print.
        const auto stored = [](const std::string& s) {
            return static_cast<double>(std::strtof(s.c_str(), nullptr));
        };
        r[row[0]].stats.push_back(agreement::batch_stats(std::strtoll(row[5].c_str(), nullptr, 10),
                                                         stored(row[6]), stored(row[8]),
                                                         number(row[10]), number(row[11])));
    }
    // Samples that are no finite number, left out with a warning per DynRes:
    // the samples the batch commands read are n and those.
    for (const auto& f : files) {
        const std::string prefix = "pektor stats: " + f + ": DynRes ";
        for (std::size_t e = errors.find(prefix); e != std::string::npos;
             e = errors.find(prefix, e + 1)) {
            char* end = nullptr;
            const long k = std::strtol(errors.c_str() + e + prefix.size(), &end, 10);
            if (end == nullptr || std::string_view(end).substr(0, 2) != ": ") continue;
            const long long left = std::strtoll(end + 2, &end, 10);
            if (std::string_view(end).substr(0, 42) != " samples that are not finite numbers left ")
                continue;
            auto& stats = r[f].stats;
            if (k >= 1 && static_cast<std::size_t>(k) <= stats.size())
                stats[static_cast<std::size_t>(k - 1)].samples =
                    stats[static_cast<std::size_t>(k - 1)].n + left;
        }
    }
    return r;
}

std::string dyngen(const ScratchDir& dir, const std::string& args) {
    const int code = test_support::run_in(
        dir.path(), "'" DYNGEN_BIN "' " + args + " -o gen.dyn > /dev/null 2>&1");
    EXPECT_EQ(code, 0) << args;
    std::string bytes = dir.read("gen.dyn");
    fs::remove(dir.path() / "gen.dyn");
    return bytes;
}

// ---- the differential test ----

TEST(AgreementProgram, DialogueAndBatchAgreeOnEveryDamagedFile) {
    const ScratchDir dir;
    std::vector<Variant> files;
    // Every layout of the fixtures, and files of the generator: plain,
    // packed, narrow labels.
    for (const auto& e : fs::directory_iterator(fs::path(PEKTOR_TEST_DATA))) {
        if (e.path().extension() != ".dyn") continue;
        for (auto& v : variants(e.path().stem().string(), test_support::read_file(e.path())))
            files.push_back(std::move(v));
    }
    for (const auto& [stem, args] : std::vector<std::pair<std::string, std::string>>{
             {"gen", "--dynres 3 --steps 40"},
             {"genpack", "--dynres 4 --steps 50 --pack 4"},
             {"genncol0", "--dynres 2 --steps 30 --ncol 0"}}) {
        for (auto& v : variants(stem, dyngen(dir, args))) files.push_back(std::move(v));
    }
    std::size_t damaged = files.size();
    for (const auto& e : fs::directory_iterator(fs::path(PEKTOR_FUZZ_CORPUS))) {
        files.push_back(
            {"corpus_" + e.path().filename().string(), test_support::read_file(e.path())});
    }
    ASSERT_GT(damaged, 300u);

    std::vector<std::string> names;
    for (const auto& f : files) {
        dir.write(f.name, f.bytes);
        names.push_back(f.name);
    }
    std::string errors;
    const auto batch = batch_outcomes(dir, names, errors);
    std::map<agreement::Outcome::Kind, int> kinds;
    for (const auto& f : files) {
        const agreement::Outcome d = dialogue_outcome(dir, f.name);
        ++kinds[d.kind];
        const std::string differs = agreement::disagreement(d, batch.at(f.name));
        EXPECT_EQ(differs, "") << f.name;
    }
    std::fprintf(
        stderr,
        "files %zu (damaged variants %zu): read %d, refused %d, no sample %d, undecided %d\n",
        files.size(), damaged, kinds[agreement::Outcome::Kind::Read],
        kinds[agreement::Outcome::Kind::Refused], kinds[agreement::Outcome::Kind::NoSample],
        kinds[agreement::Outcome::Kind::Undecided]);
    // The set exercises every outcome.
    EXPECT_GT(kinds[agreement::Outcome::Kind::Read], 20);
    EXPECT_GT(kinds[agreement::Outcome::Kind::Refused], 20);
    EXPECT_GT(kinds[agreement::Outcome::Kind::NoSample], 5);
}

// ---- the faults, end to end ----

struct PektorRun {
    int code = -1;
    std::string out, err;
};

PektorRun pektor(const ScratchDir& dir, const std::string& args) {
    const ScratchDir streams("pektor_streams_");
    PektorRun r;
    r.code = test_support::run_in(dir.path(), "'" PEKTOR_BIN "' " + args + " < /dev/null > '" +
                                                  (streams.path() / "o").string() + "' 2> '" +
                                                  (streams.path() / "e").string() + "'");
    r.out = streams.read("o");
    r.err = streams.read("e");
    return r;
}

std::string patched(std::string bytes, auto&& change) {
    Words w(bytes, big_endian(bytes));
    EXPECT_TRUE(change(w));
    return bytes;
}

TEST(AgreementProgram, EveryStepOnOneRecordIsRefused) {
    const ScratchDir dir;
    // Plain and packed: NUMRAF(5) and (6) zeroed give every step the key of step 1.
    for (const std::string args : {"--dynres 3 --steps 40", "--dynres 3 --steps 40 --pack 4"}) {
        dir.write("k.dyn", patched(dyngen(dir, args), [](Words& w) {
                      const std::size_t at = find_numraf(w);
                      if (at == std::string::npos) return false;
                      w.set(at + 4, 0);
                      w.set(at + 5, 0);
                      return true;
                  }));
        const PektorRun r = pektor(dir, "stats -c 1 -f csv k.dyn");
        EXPECT_EQ(r.code, 1) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(r.err,
                  "pektor stats: k.dyn: damaged: the result steps do not advance through the "
                  "DYNRES records (step 1 reads key 111, step 2 key 111)\n"
                  "pektor stats: no file could be read\n")
            << args;
    }
}

TEST(AgreementProgram, StepsBeyondTheFileAreRefusedBeforeAnyStepTable) {
    const ScratchDir dir;
    const std::string gen = dyngen(dir, "--dynres 3 --steps 40");
    for (const std::int32_t loadst : {1'000'000, 2147483647}) {
        for (const bool shared : {false, true}) {
            dir.write("k.dyn", patched(gen, [&](Words& w) {
                          if (shared) {
                              const std::size_t at = find_numraf(w);
                              w.set(at + 4, 0);
                              w.set(at + 5, 0);
                          }
                          const std::size_t at = find_parameter(w, "LOADST");
                          if (at == std::string::npos) return false;
                          w.set(at, loadst);
                          return true;
                      }));
            // list would need 32 bytes per claimed step: refused at once.
            const PektorRun r = pektor(dir, "list k.dyn");
            EXPECT_EQ(r.code, 1);
            EXPECT_EQ(r.err, "pektor list: k.dyn: truncated: " + std::to_string(loadst) +
                                 " result steps (LSTSTO) of 1 record each cannot fit the " +
                                 std::to_string(gen.size() / 512) +
                                 " records of the file\npektor list: no file could be read\n");
        }
    }
}

TEST(AgreementProgram, StepsAreThoseTheGatheringReadsBack) {
    const ScratchDir dir;
    // A damaged identifier table stores LSTSTO where it is not read back:
    // the gathering finds no step, and so do the batch commands.
    dir.write("m.dyn", patched(dyngen(dir, "--dynres 3 --steps 40"), [](Words& w) {
                  std::size_t mstru = 0;
                  if (find_parameter(w, "LOADST", &mstru) == std::string::npos) return false;
                  w.set(mstru, -203);
                  return true;
              }));
    EXPECT_EQ(dialogue_outcome(dir, "m.dyn").kind, agreement::Outcome::Kind::NoSample);
    const PektorRun list = pektor(dir, "list -f csv -c 1 m.dyn");
    EXPECT_EQ(list.code, 0);
    EXPECT_EQ(list.out, "file,dynres,label,steps,t_first,t_last\r\nm.dyn,1,Base force Fx,0,,\r\n");
    const PektorRun windowed = pektor(dir, "stats -w 0:1e35 m.dyn");
    EXPECT_EQ(windowed.err,
              "pektor stats: m.dyn: no sample in the window 0:1e35\n"
              "pektor stats: no file could be read\n");
    // Without a window: the file has no result steps (not "no sample").
    for (const std::string command : {"stats", "peak", "export", "fatigue"}) {
        const PektorRun r = pektor(dir, command + " m.dyn");
        EXPECT_EQ(r.code, 1) << command;
        EXPECT_EQ(
            r.err,
            "pektor " + command + ": m.dyn: the file has no result steps\n" +
                (command == "export" ? "" : "pektor " + command + ": no file could be read\n"))
            << command;
    }
}

TEST(AgreementProgram, BlankWindowsDifferForNegativeTimes) {
    // Times from -1 s: the batch commands' blank window is the whole series,
    // the dialogue's is 0 to 1.0E35; -w 0:1e35 gives the dialogue's samples.
    const ScratchDir dir;
    tools::DynResLayout layout;
    layout.labels = {"Load"};
    const std::vector<float> times = {-1.0f, -0.5f, 0.0f, 0.5f, 1.0f};
    tools::write_dynres_file(dir.path() / "neg.dyn", layout, times,
                             {{-9.0f, 9.0f, 1.0f, 2.0f, 3.0f}});
    const agreement::Outcome dialogue = dialogue_outcome(dir, "neg.dyn");
    ASSERT_EQ(dialogue.kind, agreement::Outcome::Kind::Read);
    EXPECT_EQ(dialogue.stats.at(0).n, 3);
    EXPECT_EQ(dialogue.stats.at(0).max, "3.0000E+00");
    const PektorRun whole = pektor(dir, "stats -f csv neg.dyn");
    EXPECT_EQ(whole.out.substr(whole.out.find("\r\n") + 2, 38),
              "neg.dyn,1,Load,-1,1,5,9,-0.5,-9,-1,1.2");
    const PektorRun classic = pektor(dir, "stats -w 0:1e35 -f csv neg.dyn");
    EXPECT_EQ(classic.out.substr(classic.out.find("\r\n") + 2, 30),
              "neg.dyn,1,Load,0,1,3,3,1,1,0,2");
}

}  // namespace
