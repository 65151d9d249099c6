#include "batch/batch.h"

#include <fmt/format.h>
#include <sched.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <system_error>
#include <thread>

#include "batch/command_rows.h"
#include "batch/commands.h"
#include "batch/label_text.h"
#include "batch/merge.h"
#include "batch/output.h"
#include "batch/params.h"
#include "batch/picture.h"
#include "batch/psd.h"
#include "batch/runner.h"

namespace batch {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kVersion = "1.4-01";

struct CommandInfo {
    const char* name;
    const char* summary;
    const char* example;
};

constexpr std::array<CommandInfo, 12> kCommands{{
    {"list", "DynRes of each file: number, label, steps, first and last time",
     "  pektor list runs/a.dyn\n  pektor list -c 'Base*' -f csv runs/*.dyn > dynres.csv"},
    {"stats", "statistics of the selected DynRes in the window",
     "  pektor stats -c 1-6 -w 100: -f csv -o stats.csv runs/*.dyn"},
    {"peak", "peak by sign convention, its time and coincident values",
     "  pektor peak -c 7 --sign abs --coincident 1-3 runs/*.dyn"},
    {"daf", "peaks against a reference file and their ratio",
     "  pektor daf --ref static.dyn -c 'Base moment*' dynamic.dyn"},
    {"export", "the selected series as columns",
     "  pektor export -c 1,3 -w 20:80 -f csv -o series.csv runs/a.dyn"},
    {"vector", "vector length of two DynRes: statistics (like operation 5)",
     "  pektor vector -c 1,2 runs/*.dyn"},
    {"combine", "the operation 4 input file: component statistics",
     "  pektor combine --input legs.txt -f csv runs/*.dyn"},
    {"plot", "SVG picture of the selected DynRes: window, peak and mean marked",
     "  pektor plot -c 1,3 -w 20:80 -o base.svg runs/a.dyn runs/b.dyn\n"
     "  pektor plot --overlay -c 'Base force*' runs/a.dyn      (writes a.svg)\n"
     "  pektor plot -c 7 -w 100:200 --zoom --inset -o peak.svg runs/a.dyn"},
    {"report", "one HTML page: statistics table and a picture per DynRes of each file",
     "  pektor report -c 1-6 -w 100: -o report.html runs/*.dyn"},
    {"fatigue", "rainflow cycles and damage-equivalent loads (DELs) of the selected DynRes",
     "  pektor fatigue -c 'Base moment*' -w 100: -f csv runs/*.dyn > del.csv\n"
     "  pektor fatigue -c 7 -m 3,4,10 --neq 1e7 runs/a.dyn\n"
     "  pektor fatigue -c 7 --cycles --bins 20 -f csv runs/a.dyn > cycles.csv"},
    {"extremes", "most probable maximum of a storm: Weibull of the peaks, or Gumbel across seeds",
     "  pektor extremes -c 'Base moment*' -w 100: -f csv runs/*.dyn > mpm.csv\n"
     "  pektor extremes -c 7 --sign min --fit msm --duration 3600 runs/a.dyn\n"
     "  pektor extremes -c 7 --group 'seed[0-9]+' runs/dlc12_ws10_seed*.dyn"},
    {"psd", "power spectral density (Welch): spectral moments and peak period, or the spectrum",
     "  pektor psd -c 'Base moment*' -w 100: -f csv runs/*.dyn > moments.csv\n"
     "  pektor psd -c 7 --curve --nperseg 4096 -f csv runs/a.dyn > spectrum.csv\n"
     "  pektor psd -c 7 --filter high:0.04 runs/a.dyn"},
}};

void add_options(CLI::App& sub, const std::string& name, RawOptions& raw) {
    // One value per occurrence; a list option may be repeated.
    const auto one = [](CLI::Option* o) { return o->expected(1)->allow_extra_args(false); };
    const auto repeatable = [](CLI::Option* o) {
        return o->expected(1)->allow_extra_args(false)->multi_option_policy(
            CLI::MultiOptionPolicy::TakeAll);
    };
    const bool picture = name == "plot" || name == "report";
    const bool multi = name != "export" && !picture;
    if (name == "vector") {
        repeatable(sub.add_option("-c,--channels", raw.channels,
                                  "the two DynRes A,B (or -c A -c B, or a range such as 1-2): "
                                  "numbers or label patterns, each naming one DynRes"))
            ->required();
    } else {
        repeatable(sub.add_option("-c,--channels", raw.channels,
                                  "DynRes: all (default), numbers and ranges (1,3-5) or label "
                                  "patterns ('Base moment*', case-insensitive); repeatable"));
    }
    if (name != "list") {
        one(sub.add_option("-w,--window", raw.window,
                           "time window T0:T1, both ends inclusive; either end may be "
                           "empty (100: from 100 to the end). Without it: the whole series, "
                           "negative times included, unlike the blank window of the dialogue "
                           "(0 to 1e35: negative times left out, a time above 1e35 ends the "
                           "series); for a file whose times start at -1 s, -w 0:1e35 gives "
                           "the dialogue's samples"));
    }
    if (!picture) {
        one(sub.add_option("-f,--format", raw.format, "table (default), csv or json (JSON Lines)"));
    }
    if (name == "plot") {
        one(sub.add_option("-o,--output", raw.output,
                           "SVG file (default: the first file's name with .svg, in the current "
                           "folder, refused when it exists unless --force; - for standard "
                           "output); never an input or a dyn file"));
        sub.add_flag("--overlay", raw.overlay, "every series in one panel");
        sub.add_flag("--zoom", raw.zoom, "the time axis spans the window (-w) alone");
        sub.add_flag("--inset", raw.inset, "a small panel around the peak of each panel");
        sub.add_flag("--force", raw.force, "replace the default output file when it exists");
    } else {
        one(sub.add_option("-o,--output", raw.output,
                           "output file (default standard output, also -): a regular file or a "
                           "new name, never an input or a dyn file; a link is written through "
                           "to its target"));
    }
    if (multi || picture) {
        one(sub.add_option("-j,--jobs", raw.jobs,
                           "files processed in parallel (default: the processors this process may "
                           "run on)"));
    }
    if (multi || picture) {
        one(sub.add_option("--shard", raw.shard,
                           "K/N: only the files at positions p with (p-1) mod N = K-1"));
        one(sub.add_option("--shard-by", raw.shard_by,
                           "position (default: as --shard says) or size (the largest files "
                           "first, each to the shard with the fewest bytes so far)"));
    }
    if (name == "report") {
        repeatable(sub.add_option("-m,--wohler", raw.wohler,
                                  "Woehler (S-N) exponents: a table of the damage-equivalent loads "
                                  "per file, one column del_m<m> each (as pektor fatigue)"));
        one(sub.add_option("--neq", raw.neq,
                           "with -m: equivalent cycles N_eq (as pektor fatigue)"));
        one(sub.add_option("--feq", raw.feq,
                           "with -m: frequency of the equivalent cycles in Hz (default 1)"));
        one(sub.add_option("--residuals", raw.residuals, "with -m: half (default) or full"));
        one(sub.add_option("--duration", raw.duration,
                           "storm duration in seconds: a table of the most probable extreme "
                           "per file (as pektor extremes; the minima with --sign min)"));
        one(sub.add_option("--fit", raw.fit, "with --duration: pwm (default) or msm"));
        repeatable(sub.add_option("--quantiles", raw.quantiles,
                                  "with --duration: Gumbel quantiles (default 0.37,0.57,0.90)"));
    }
    if (name == "extremes") {
        one(sub.add_option("--sign", raw.sign,
                           "max (default) or min: the minima are fitted as the maxima of the "
                           "negated series"));
        one(sub.add_option("--fit", raw.fit,
                           "per file the Weibull of the peaks: pwm (default, probability-weighted "
                           "moments) or msm (mean, variance, skewness); with --group the Gumbel "
                           "of the maxima: moments (default) or mle (maximum likelihood)"));
        one(sub.add_option("--duration", raw.duration,
                           "storm duration in seconds the peaks are scaled to (default 10800)"));
        repeatable(sub.add_option("--quantiles", raw.quantiles,
                                  "Gumbel quantiles, each between 0 and 1 (default 0.37,0.57,0.90; "
                                  "with --group 0.57,0.90); one column p_<100q> each"));
        one(sub.add_option("--group", raw.group,
                           "REGEX: fit across files; the files whose paths (as given) are equal "
                           "once the first match is removed form a group, e.g. 'seed[0-9]+'"));
    }
    if (name == "peak" || name == "daf" || picture) {
        one(sub.add_option("--sign", raw.sign,
                           "max (default), min, abs (largest |value|) or signed (largest "
                           "magnitude with its sign); the classic 1, -1, 0, -2"));
    }
    if (name == "stats" || name == "vector" || name == "combine" || name == "report") {
        one(sub.add_option("--moments", raw.moments,
                           "sample (default: the classic operation 3, divisor n-1) or "
                           "population (divisor n)"));
    }
    if (name == "peak") {
        repeatable(sub.add_option("--coincident", raw.coincident,
                                  "DynRes whose values at the peak's sample are given (columns "
                                  "c<k>; empty, with a warning, where a file lacks one); "
                                  "repeatable"));
    }
    if (name == "daf") {
        one(sub.add_option("--ref", raw.ref, "the reference dyn file"))->required();
    }
    if (name == "combine") {
        one(sub.add_option("--input", raw.input,
                           "the operation 4 input file (groups, matrices, components)"))
            ->required();
    }
    if (name == "fatigue") {
        repeatable(sub.add_option("-m,--wohler", raw.wohler,
                                  "Woehler (S-N) exponents, default 3,4,5,8,10,12; one column "
                                  "del_m<m> each, <m> as given; repeatable"));
        one(sub.add_option("--neq", raw.neq,
                           "equivalent cycles N_eq (default: the time from the first to the "
                           "last sample of the window times --feq)"));
        one(sub.add_option("--feq", raw.feq,
                           "frequency of the equivalent cycles in Hz (default 1)"));
        one(sub.add_option("--residuals", raw.residuals,
                           "half (default; ASTM E1049-85, IEC 61400-1) or full: how the "
                           "ranges left open at the end are counted"));
        sub.add_flag("--cycles", raw.cycles,
                     "the rainflow cycle table instead of the DELs: range bin edges, mean "
                     "and count (-m, --neq and --feq do not apply)");
        one(sub.add_option("--bins", raw.bins,
                           "range bins of the cycle table, from 0 to the largest range "
                           "(default 10)"));
    }
    if (name == "psd") {
        one(sub.add_option("--nperseg", raw.nperseg,
                           "samples per segment (default: a quarter of the window's samples, at "
                           "least 16)"));
        one(sub.add_option("--overlap", raw.overlap,
                           "overlap of the segments, a fraction from 0 to below 1 (default 0.5)"));
        sub.add_flag("--curve", raw.curve,
                     "the spectrum itself, one row per frequency (f, psd), instead of the "
                     "spectral moments");
    }
    if (takes_filter(name)) {
        one(sub.add_option("--filter", raw.filter,
                           "low:F, high:F, band:F1:F2 or stop:F1:F2 (Hz): a Butterworth filter run "
                           "forwards and backwards (zero phase) on the whole stored series of each "
                           "selected DynRes before the window is cut; the series are kept in "
                           "memory (8 bytes a sample); outputs name it (column filter)"));
        one(sub.add_option("--filter-order", raw.filter_order,
                           "order of the --filter, 1 to 8 (default 4)"));
        one(sub.add_option("--max-memory", raw.max_memory,
                           "the most memory --filter may keep per file, bytes with K, M, G or T "
                           "(default 4G); a file needing more fails"));
    }
    one(sub.add_option("--files-from", raw.files_from,
                       "also the dyn files named in FILE, one a line (- for standard input)"));
    sub.add_flag("--null", raw.null,
                 "the names of --files-from end with NUL, not a line end (find -print0)");
    sub.add_flag("-q,--quiet", raw.quiet, "no progress bar and no warnings");
    if (name != "export") {
        sub.add_option("files", raw.files, "dyn files");
    } else {
        sub.add_option("file", raw.files, "dyn file");
    }
}

// Options a command accepts but does not use: a usage error when given.
struct Unused {
    const char* command;
    const char* option;
    const char* why;
};
constexpr std::array<Unused, 1> kUnused{{
    {"combine", "-c", "combine takes its DynRes from the groups of --input"},
}};

void check_unused(const CLI::App& sub, const std::string& name) {
    for (const Unused& u : kUnused) {
        if (name == u.command && sub.count(u.option) > 0)
            throw UsageError(std::string(u.option) + " does not apply: " + u.why);
    }
}

bool same_file(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec) && fs::equivalent(a, b, ec)) return true;
    return fs::weakly_canonical(fs::absolute(a, ec), ec) ==
           fs::weakly_canonical(fs::absolute(b, ec), ec);
}

// Why the output file is refused, or empty.
std::string refuse_output(const Params& p) {
    if (is_standard_output(p.output)) return {};
    if (std::string why = refuse_special_output(p.output); !why.empty()) return why;
    std::vector<std::string> inputs = p.files;
    if (!p.ref.empty()) inputs.push_back(p.ref);
    if (!p.input.empty()) inputs.push_back(p.input);
    for (const std::string& in : inputs) {
        if (same_file(p.output, in)) return "is one of the input files; nothing written";
    }
    std::error_code ec;
    if (fs::exists(p.output, ec) && looks_like_dyn_file(p.output))
        return "is an existing dyn file; nothing written";
    return {};
}

// Writes the rows to standard output or to the output file (through a
// temporary file in the target's folder, renamed when complete). Returns false after a
// message when the writing failed.
bool write_output(const Params& p, std::span<const std::string> columns, std::size_t rows,
                  const RowSource& source, std::ostream& out, std::ostream& err) {
    return write_result(
        p.command, p.output,
        [&](std::ostream& f) { write_rows(f, p.format, columns, rows, source); }, out, err);
}

int run_export(const Params& p, std::ostream& out, std::ostream& err) {
    const std::string& file = p.files.front();
    const std::string prefix = "pektor export: " + file + ": ";
    std::string error;
    auto src = open_series(file, p.filter, error);
    std::vector<std::int32_t> numbers;
    if (src && !resolve_channels(p.channels, src->contents(), numbers, error)) src.reset();
    WindowSeries ws;
    if (src && !src->read(p.window, numbers, ws, error)) src.reset();
    if (src && ws.times.empty()) {
        error = no_sample_text(p, src->contents());
        src.reset();
    }
    if (!src) {
        err << printable(prefix + error) << '\n';
        return 1;
    }
    std::vector<std::string> columns{"time"};
    const bool filtered = p.filter.on;
    const FileContents& c = src->contents();
    for (const std::int32_t k : numbers) {
        const std::string& label = c.dynres[static_cast<std::size_t>(k - 1)].label;
        const auto same = std::count_if(c.dynres.begin(), c.dynres.end(),
                                        [&](const DynResInfo& d) { return d.label == label; });
        columns.push_back(same > 1 ? label + " (" + std::to_string(k) + ")" : label);
    }
    const RowSource source = [&](std::size_t r, Row& row) {
        row.emplace_back(ws.times[r]);
        for (const auto& v : ws.values) row.emplace_back(v[r]);
        if (filtered) row.emplace_back(filter_text(p.filter));
    };
    if (filtered) columns.push_back("filter");
    return write_output(p, columns, ws.times.size(), source, out, err) ? 0 : 1;
}

int run_command(const Params& p, bool terminal, std::ostream& out, std::ostream& err) {
    const std::string prefix = "pektor " + p.command + ": ";
    if (const std::string why = refuse_output(p); !why.empty()) {
        err << prefix << p.output << ": " << why << '\n';
        return 1;
    }
    if (!p.quiet) {
        // The same path twice reads the file twice: allowed, but rarely meant.
        std::vector<std::string> seen = p.files;
        std::sort(seen.begin(), seen.end());
        for (auto i = seen.begin(); i != seen.end();) {
            const auto next = std::find_if(i, seen.end(), [&](const auto& s) { return s != *i; });
            if (next - i > 1) {
                err << prefix << *i << ": given " << (next - i)
                    << " times; its rows appear once per mention\n";
            }
            i = next;
        }
    }
    if (p.command == "export") return run_export(p, out, err);

    // The files of this shard, in their order.
    Params q = p;
    q.files.clear();
    std::vector<std::size_t> positions;
    for (std::size_t i = 0; i < p.files.size(); ++i) {
        if (p.shard.takes(i + 1)) {
            q.files.push_back(p.files[i]);
            positions.push_back(i + 1);
        }
    }
    if (p.command == "plot" || p.command == "report") {
        if (q.files.empty()) {
            err << prefix << "no file in shard " << p.shard.k << "/" << p.shard.n
                << "; nothing written\n";
            return 0;
        }
        return p.command == "plot" ? run_plot(q, terminal, out, err)
                                   : run_report(q, terminal, out, err);
    }

    {
        std::string file, error;
        std::vector<std::string> notes;
        if (!read_command_inputs(q, file, error, notes)) {
            err << prefix << file << ": " << error << '\n';
            return 1;
        }
        if (!p.quiet) {
            for (const std::string& n : notes) err << prefix << n << '\n';
        }
    }
    RunOptions ro;
    ro.command = p.command;
    ro.jobs = p.jobs;
    ro.progress = terminal && !p.quiet && q.files.size() > 1;
    ro.warnings = !p.quiet;
    CommandRows run = command_rows(q, ro, err);
    if (!q.files.empty() && run.failed == q.files.size()) {
        err << prefix << "no file could be read\n";
        return 1;
    }
    ShardRun shard_run;
    for (std::size_t i = 0; i < run.results.size(); ++i) {
        shard_run.positions.push_back(positions[i]);
        shard_run.rows.push_back(run.file_rows[i]);
        if (!run.results[i].ok)
            shard_run.failed.push_back(q.files[i] + ": " + run.results[i].error);
    }
    if (!p.quiet) {
        for (const std::string& w : run.warnings) err << printable(prefix + w) << '\n';
    }
    const std::vector<std::string>& columns = run.columns;
    const std::vector<Row>& rows = run.rows;
    const std::size_t failed = run.failed;
    const RowSource source = [&](std::size_t r, Row& row) { row = rows[r]; };
    if (p.shard.given && wants_shard_record(p.output)) {
        // A shard written to a file gets its record beside it, for pektor merge.
        if (!write_shard_output(
                p, shard_run,
                [&](std::ostream& f) { write_rows(f, p.format, columns, rows.size(), source); },
                out, err))
            return 1;
    } else if (!write_output(p, columns, rows.size(), source, out, err)) {
        return 1;
    }
    return failed > 0 ? 2 : 0;
}

// The command-line library's message as a sentence that names the option.
std::string parse_error_text(const CLI::ParseError& e) {
    const std::string what = e.what();
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) != nullptr) {
        const std::size_t colon = what.find(':');
        if (colon != std::string::npos) {
            const std::string option = what.substr(0, colon);
            if (what.find("missing") != std::string::npos)
                return "the option " + option + " needs a value";
            return "the option " + option + " takes one value each time it is given";
        }
    }
    // "The following argument(s) was/were not expected: A B"
    if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr) {
        const std::size_t colon = what.find(": ");
        if (colon != std::string::npos) {
            const std::string extra = what.substr(colon + 2);
            const bool many = extra.find(' ') != std::string::npos;
            if (!extra.empty() && extra.front() == '-')
                return std::string(many ? "unknown options or arguments: " : "unknown option ") +
                       extra;
            return std::string(many ? "unexpected arguments: " : "unexpected argument: ") + extra;
        }
    }
    // A flag given a value: "Could not convert: --inset = maybe".
    if (dynamic_cast<const CLI::ConversionError*>(&e) != nullptr) {
        const std::size_t colon = what.find(": ");
        const std::size_t eq = what.find(" = ");
        if (colon != std::string::npos && eq != std::string::npos && eq > colon) {
            return "the option " + what.substr(colon + 2, eq - colon - 2) + " takes no value ('" +
                   what.substr(eq + 3) + "' given)";
        }
    }
    return what;
}

// Edit distance of two short words.
std::size_t distance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diag = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diag = up;
        }
    }
    return row[b.size()];
}

}  // namespace

bool is_dialogue_line(int argc, const char* const* argv) {
    if (argc <= 1) return true;
    // The work-array size: text that begins with a number (leading white
    // space allowed); further arguments are ignored as they always were.
    const char* s = argv[1];
    char* end = nullptr;
    (void)std::strtod(s, &end);
    return end != s;
}

int unknown_command(int argc, const char* const* argv, std::ostream& err) {
    const std::string arg = argc > 1 ? argv[1] : "";
    std::string line;
    if (arg.starts_with("-")) {
        line = "unknown option \"" + arg + "\" before the command";
        for (int i = 2; i < argc; ++i) {
            if (is_batch_argument(argv[i]) && !std::string_view(argv[i]).starts_with("-")) {
                line += " (options follow the command: pektor " + std::string(argv[i]) + " " + arg +
                        " ...)";
                break;
            }
        }
    } else {
        line = "unknown command \"" + arg + "\"";
        const CommandInfo* best = nullptr;
        std::size_t best_d = 3;
        for (const CommandInfo& c : kCommands) {
            // A slip of a letter or two, or the same first four letters.
            const std::string_view n = c.name;
            const bool same_start =
                arg.size() >= 4 && n.size() >= 4 && arg.compare(0, 4, n.substr(0, 4)) == 0;
            const std::size_t d = same_start ? 0 : distance(arg, c.name);
            if (d < best_d) {
                best_d = d;
                best = &c;
            }
        }
        if (best != nullptr) {
            line += std::string(" (did you mean \"") + best->name + "\"?)";
        } else if (arg.find('.') != std::string::npos || arg.find('/') != std::string::npos) {
            line += " (the command comes before the files: pektor list " + arg + ")";
        }
    }
    err << "pektor: " << line << "\nCommands:\n";
    for (const CommandInfo& c : kCommands) err << fmt::format("  {:<9}{}\n", c.name, c.summary);
    err << "Without arguments, or with one number (the work-array size in millions of words), "
           "pektor runs the classic dialogue. See pektor --help.\n";
    return 1;
}

bool is_batch_argument(std::string_view arg) {
    if (arg == "--help" || arg == "-h" || arg == "--version") return true;
    if (arg == "merge") return true;
    return std::any_of(kCommands.begin(), kCommands.end(),
                       [&](const CommandInfo& c) { return arg == c.name; });
}

int run_batch(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{
        "pektor: peaks, DAFs, statistics, combinations and vector lengths of the "
        "DynRes time series of TAVRO dyn files.",
        "pektor"};
    app.footer(
        "Without a command (or with a work-array size in millions of words) pektor runs "
        "the classic dialogue.\nExample:\n  pektor stats -c 'Base moment*' -w 100: -f csv "
        "runs/*.dyn > stats.csv\nExit codes: 0 every file gave its rows, 2 some files "
        "failed, 1 usage error or no file read; 130 and 143 after SIGINT and "
        "SIGTERM.");
    app.set_version_flag("--version", "pektor " + std::string(kVersion));
    app.require_subcommand(1);
    std::vector<RawOptions> raws(kCommands.size());
    std::vector<CLI::App*> subs;
    for (std::size_t i = 0; i < kCommands.size(); ++i) {
        const CommandInfo& c = kCommands[i];
        CLI::App* sub = app.add_subcommand(c.name, c.summary);
        sub->footer(std::string("Example:\n") + c.example);
        add_options(*sub, c.name, raws[i]);
        subs.push_back(sub);
    }
    MergeArgs merge_args;
    CLI::App* merge_sub = add_merge_command(app, merge_args);
    subs.push_back(merge_sub);
    std::string name = argc > 1 ? argv[1] : "";
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        // The help of the command named on the line, else the overview.
        CLI::App* target = &app;
        for (CLI::App* s : subs) {
            if (s->parsed()) target = s;
        }
        out << (target == &app ? app.help() : target->help("pektor"));
        return 0;
    } catch (const CLI::CallForAllHelp&) {
        out << app.help("", CLI::AppFormatMode::All);
        return 0;
    } catch (const CLI::CallForVersion&) {
        out << "pektor " << kVersion << '\n';
        return 0;
    } catch (const CLI::ParseError& e) {
        err << "pektor " << name << ": " << parse_error_text(e) << "\nTry 'pektor " << name
            << " --help'.\n";
        return 1;
    }
    if (merge_sub->parsed()) return run_merge(merge_args, out, err);
    for (std::size_t i = 0; i < kCommands.size(); ++i) {
        if (!subs[i]->parsed()) continue;
        try {
            check_unused(*subs[i], kCommands[i].name);
            Params p = make_params(kCommands[i].name, raws[i]);
            p.command_line = shell_line(argc, argv);
            const bool terminal = &err == &std::cerr && ::isatty(STDERR_FILENO) == 1;
            return run_command(p, terminal, out, err);
        } catch (const UsageError& e) {
            err << "pektor " << kCommands[i].name << ": " << e.what() << "\nTry 'pektor "
                << kCommands[i].name << " --help'.\n";
            return 1;
        }
    }
    return 1;
}

}  // namespace batch
