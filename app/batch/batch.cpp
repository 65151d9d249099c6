#include "app/batch/batch.h"

#include <fmt/format.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <system_error>
#include <thread>

#include "app/batch/commands.h"
#include "app/batch/output.h"
#include "app/batch/picture.h"
#include "app/batch/runner.h"

namespace app::batch {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kVersion = "1.4-01";

struct CommandInfo {
    const char* name;
    const char* summary;
    const char* example;
};

constexpr std::array<CommandInfo, 10> kCommands{{
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
     "  pektor plot --overlay -c 'Base force*' runs/a.dyn      (writes a.svg)"},
    {"report", "one HTML page: statistics table and a picture per DynRes of each file",
     "  pektor report -c 1-6 -w 100: -o report.html runs/*.dyn"},
    {"fatigue", "rainflow cycles and damage-equivalent loads (DELs) of the selected DynRes",
     "  pektor fatigue -c 'Base moment*' -w 100: -f csv runs/*.dyn > del.csv\n"
     "  pektor fatigue -c 7 -m 3,4,10 --neq 1e7 runs/a.dyn\n"
     "  pektor fatigue -c 7 --cycles --bins 20 -f csv runs/a.dyn > cycles.csv"},
}};

struct Raw {
    std::vector<std::string> files;
    std::vector<std::string> channels;
    std::string window;
    std::string format = "table";
    std::string output;
    std::string jobs;
    std::string shard;
    std::string sign = "max";
    std::string moments = "sample";
    bool quiet = false;
    bool overlay = false;
    bool force = false;
    std::vector<std::string> coincident;
    std::string ref;
    std::string input;
    std::vector<std::string> wohler;
    std::string neq;
    std::string feq;
    std::string residuals;
    bool cycles = false;
    std::string bins;
};

std::int32_t default_jobs() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<std::int32_t>(std::min(n, 1024U));
}

void add_options(CLI::App& sub, const std::string& name, Raw& raw) {
    // One value per occurrence; a list option may be repeated.
    const auto one = [](CLI::Option* o) { return o->expected(1)->allow_extra_args(false); };
    const auto repeatable = [](CLI::Option* o) {
        return o->expected(1)->allow_extra_args(false)->multi_option_policy(
            CLI::MultiOptionPolicy::TakeAll);
    };
    const bool picture = name == "plot" || name == "report";
    const bool multi = name != "export" && !picture;
    if (name == "vector") {
        one(sub.add_option("-c,--channels", raw.channels,
                           "the two DynRes A,B: numbers or label patterns"))
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
        sub.add_flag("--force", raw.force, "replace the default output file when it exists");
    } else {
        one(sub.add_option("-o,--output", raw.output,
                           "output file (default standard output); never an input or a dyn "
                           "file"));
    }
    if (multi || picture) {
        one(sub.add_option("-j,--jobs", raw.jobs,
                           "files processed in parallel (default: the number of cores)"));
    }
    if (multi || picture) {
        one(sub.add_option("--shard", raw.shard,
                           "K/N: only the files at positions p with (p-1) mod N = K-1"));
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
                                  "c<k>); repeatable"));
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
        one(sub.add_option("-m,--wohler", raw.wohler,
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
    sub.add_flag("-q,--quiet", raw.quiet, "no progress bar and no warnings");
    if (name != "export") {
        sub.add_option("files", raw.files, "dyn files")->required();
    } else {
        sub.add_option("file", raw.files, "dyn file")->required()->expected(1);
    }
}

Params make_params(const std::string& name, const Raw& raw) {
    Params p;
    p.command = name;
    p.files = raw.files;
    p.channels = parse_channels(raw.channels);
    if (!raw.window.empty()) {
        p.window = parse_window(raw.window);
        p.window_text = raw.window;
    }
    if (raw.format == "table") {
        p.format = Format::table;
    } else if (raw.format == "csv") {
        p.format = Format::csv;
    } else if (raw.format == "json") {
        p.format = Format::json;
    } else {
        throw UsageError("format '" + raw.format + "' is not table, csv or json");
    }
    p.output = raw.output;
    p.jobs = raw.jobs.empty() ? default_jobs() : parse_jobs(raw.jobs);
    if (!raw.shard.empty()) p.shard = parse_shard(raw.shard);
    p.sign = parse_sign(raw.sign);
    p.moments = parse_moments(raw.moments);
    p.quiet = raw.quiet;
    p.coincident = parse_channels(raw.coincident);
    p.ref = raw.ref;
    p.input = raw.input;
    p.overlay = raw.overlay;
    p.force = raw.force;
    if (name == "plot" && p.output.empty()) {
        // Named after the first file of the shard (so each shard has its own).
        for (std::size_t i = 0; i < p.files.size() && p.output.empty(); ++i) {
            if (p.shard.takes(i + 1)) {
                p.output = default_plot_output(p.files[i]);
                p.output_is_default = true;
            }
        }
    }
    if (name == "fatigue") {
        p.fatigue = parse_fatigue_options(raw.wohler, raw.neq, raw.feq, raw.residuals, raw.cycles,
                                          raw.bins);
    }
    if (name == "vector") {
        const auto& items = p.channels.items;
        const bool single = [&] {
            for (const ChannelItem& c : items) {
                if (c.kind == ChannelItem::Kind::all) return false;
                if (c.kind == ChannelItem::Kind::range && c.from != c.to) return false;
            }
            return true;
        }();
        if (items.size() != 2 || !single)
            throw UsageError("vector needs exactly two DynRes: -c A,B");
    }
    return p;
}

bool same_file(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec) && fs::equivalent(a, b, ec)) return true;
    return fs::weakly_canonical(fs::absolute(a, ec), ec) ==
           fs::weakly_canonical(fs::absolute(b, ec), ec);
}

// Why the output file is refused, or empty.
std::string refuse_output(const Params& p) {
    if (p.output.empty()) return {};
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
// temporary file beside it, renamed when complete). Returns false after a
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
    auto src = open_source(file, error);
    std::vector<std::int32_t> numbers;
    if (src && !resolve_channels(p.channels, src->contents(), numbers, error)) src.reset();
    WindowSeries ws;
    if (src && !src->read(p.window, numbers, ws, error)) src.reset();
    if (src && ws.times.empty()) {
        error = no_sample_text(p, src->contents());
        src.reset();
    }
    if (!src) {
        err << prefix << error << '\n';
        return 1;
    }
    std::vector<std::string> columns{"time"};
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
    };
    return write_output(p, columns, ws.times.size(), source, out, err) ? 0 : 1;
}

int run_command(const Params& p, bool terminal, std::ostream& out, std::ostream& err) {
    const std::string prefix = "pektor " + p.command + ": ";
    if (const std::string why = refuse_output(p); !why.empty()) {
        err << prefix << p.output << ": " << why << '\n';
        return 1;
    }
    if (p.command == "export") return run_export(p, out, err);

    // The files of this shard, in their order.
    Params q = p;
    q.files.clear();
    for (std::size_t i = 0; i < p.files.size(); ++i) {
        if (p.shard.takes(i + 1)) q.files.push_back(p.files[i]);
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

    if (p.command == "combine") {
        std::string error;
        if (!read_combo_input(p.input, q.combo, error)) {
            err << prefix << p.input << ": " << error << '\n';
            return 1;
        }
        if (q.combo.components.empty() && !p.quiet)
            err << prefix << p.input << ": no components are defined; no rows\n";
    }
    if (p.command == "daf") {
        std::string error;
        if (!reference_peaks(q, q.reference, error)) {
            err << prefix << p.ref << ": " << error << '\n';
            return 1;
        }
    }

    const std::vector<std::string>& files = q.files;
    FileTask task;
    if (p.command == "list") task = [&](const std::string& f) { return list_file(q, f); };
    if (p.command == "stats") task = [&](const std::string& f) { return stats_file(q, f); };
    if (p.command == "peak") task = [&](const std::string& f) { return peak_file(q, f); };
    if (p.command == "daf") task = [&](const std::string& f) { return daf_file(q, f); };
    if (p.command == "vector") task = [&](const std::string& f) { return vector_file(q, f); };
    if (p.command == "combine") task = [&](const std::string& f) { return combine_file(q, f); };
    if (p.command == "fatigue") task = [&](const std::string& f) { return fatigue_file(q, f); };

    RunOptions ro;
    ro.command = p.command;
    ro.jobs = p.jobs;
    ro.progress = terminal && !p.quiet && files.size() > 1;
    std::vector<FileResult> results;
    ro.warnings = !p.quiet;
    const std::size_t failed = run_files(ro, files, task, results, err);
    if (!files.empty() && failed == files.size()) {
        err << prefix << "no file could be read\n";
        return 1;
    }
    std::vector<std::string> columns =
        p.command == "fatigue" ? fatigue_columns(p.fatigue) : command_columns(p.command);
    std::vector<Row> rows;
    if (p.command == "peak") {
        coincident_rows(results, columns, rows);
    } else {
        for (FileResult& r : results) {
            for (Row& row : r.rows) rows.push_back(std::move(row));
        }
    }
    const RowSource source = [&](std::size_t r, Row& row) { row = rows[r]; };
    if (!write_output(p, columns, rows.size(), source, out, err)) return 1;
    return failed > 0 ? 2 : 0;
}

}  // namespace

bool is_batch_argument(std::string_view arg) {
    if (arg == "--help" || arg == "-h" || arg == "--version") return true;
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
        "failed, 1 usage error or no file read.");
    app.set_version_flag("--version", "pektor " + std::string(kVersion));
    app.require_subcommand(1);
    std::vector<Raw> raws(kCommands.size());
    std::vector<CLI::App*> subs;
    for (std::size_t i = 0; i < kCommands.size(); ++i) {
        const CommandInfo& c = kCommands[i];
        CLI::App* sub = app.add_subcommand(c.name, c.summary);
        sub->footer(std::string("Example:\n") + c.example);
        add_options(*sub, c.name, raws[i]);
        subs.push_back(sub);
    }
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
        err << "pektor " << name << ": " << e.what() << "\nTry 'pektor " << name << " --help'.\n";
        return 1;
    }
    for (std::size_t i = 0; i < subs.size(); ++i) {
        if (!subs[i]->parsed()) continue;
        try {
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

}  // namespace app::batch
