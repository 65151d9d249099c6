#include "batch/params.h"

#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <thread>

#include "batch/filter.h"
#include "batch/merge.h"
#include "batch/options.h"
#include "batch/picture.h"
#include "batch/psd.h"

namespace batch {

namespace {

// The names of the --files-from list, in order (empty names skipped).
std::vector<std::string> read_files_from(const std::string& list, bool null) {
    std::ifstream file;
    std::istream* in = &std::cin;
    if (list != "-") {
        file.open(list, std::ios::binary);
        if (!file) {
            throw UsageError("--files-from " + list +
                             ": cannot read the list: " + std::strerror(errno));
        }
        in = &file;
    }
    std::vector<std::string> names;
    std::string name;
    while (std::getline(*in, name, null ? '\0' : '\n')) {
        if (!null && !name.empty() && name.back() == '\r') name.pop_back();
        if (!name.empty()) names.push_back(name);
    }
    if (in->bad()) throw UsageError("--files-from " + list + ": cannot read the list");
    return names;
}

// The options that shape a command's output, as the shard record keeps them
// (not -j, -q, -o or the shard itself): shards merge only when these agree.
std::string options_record(const std::string& name, const RawOptions& raw) {
    nlohmann::json j = {
        {"channels", raw.channels}, {"window", raw.window},   {"format", raw.format},
        {"sign", raw.sign},         {"moments", raw.moments}, {"coincident", raw.coincident},
        {"ref", raw.ref},           {"input", raw.input},     {"wohler", raw.wohler},
        {"neq", raw.neq},           {"feq", raw.feq},         {"residuals", raw.residuals},
        {"cycles", raw.cycles},     {"bins", raw.bins},       {"command", name}};
    if (name == "extremes" || (name == "report" && !raw.duration.empty())) {
        j["extremes"] = {{"fit", raw.fit},
                         {"duration", raw.duration},
                         {"quantiles", raw.quantiles},
                         {"group", raw.group}};
    }
    // Recorded only when given, so that the records of other runs stay as
    // they were.
    nlohmann::json k = j;
    if (!raw.filter.empty()) k["filter"] = raw.filter + " order " + raw.filter_order;
    if (!raw.nperseg.empty()) k["nperseg"] = raw.nperseg;
    if (!raw.overlap.empty()) k["overlap"] = raw.overlap;
    if (raw.curve) k["curve"] = true;
    // Option values are bytes as typed: those that are no UTF-8 are recorded
    // with U+FFFD in their place (the shards of one run typed the same).
    return k.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The report's tables beside the statistics: the DELs with -m, the extremes
// with --duration; the options that shape them apply only with those.
void report_tables(const RawOptions& raw, Params& p) {
    if (!raw.wohler.empty()) {
        p.fatigue = parse_fatigue_options(raw.wohler, raw.neq, raw.feq, raw.residuals, false, "");
        p.report_fatigue = true;
    } else if (!raw.neq.empty() || !raw.feq.empty() || !raw.residuals.empty()) {
        throw UsageError(std::string(!raw.neq.empty()   ? "--neq"
                                     : !raw.feq.empty() ? "--feq"
                                                        : "--residuals") +
                         " applies with -m only");
    }
    if (!raw.duration.empty()) {
        p.extremes = parse_extremes_options(p.sign == Sign::min ? "min" : "max", raw.fit,
                                            raw.duration, raw.quantiles, "");
        p.report_extremes = true;
    } else if (!raw.fit.empty() || !raw.quantiles.empty()) {
        throw UsageError(std::string(!raw.fit.empty() ? "--fit" : "--quantiles") +
                         " applies with --duration only");
    }
}

}  // namespace

bool takes_filter(const std::string& name) {
    return name != "list";
}

std::int32_t default_jobs() {
    cpu_set_t set;
    CPU_ZERO(&set);
    int n = 0;
    if (::sched_getaffinity(0, sizeof set, &set) == 0) n = CPU_COUNT(&set);
    if (n <= 0) n = static_cast<int>(std::thread::hardware_concurrency());
    return n <= 0 ? 1 : static_cast<std::int32_t>(std::min(n, 1024));
}

Params make_params(const std::string& name, const RawOptions& raw) {
    Params p;
    p.command = name;
    p.files = raw.files;
    if (raw.null && raw.files_from.empty()) throw UsageError("--null applies to --files-from only");
    if (!raw.files_from.empty()) {
        std::vector<std::string> listed = read_files_from(raw.files_from, raw.null);
        p.files.insert(p.files.end(), listed.begin(), listed.end());
    }
    if (p.files.empty()) {
        throw UsageError(raw.files_from.empty() ? "no dyn file given"
                                                : "no dyn file given (the list is empty)");
    }
    if (name == "export" && p.files.size() != 1)
        throw UsageError("export takes one dyn file; " + std::to_string(p.files.size()) + " given");
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
    p.output = name == "plot" || raw.output != "-" ? raw.output : std::string();
    p.jobs = raw.jobs.empty() ? default_jobs() : parse_jobs(raw.jobs);
    if (!raw.shard.empty()) {
        p.shard = parse_shard(raw.shard);
        p.shard.given = true;
    }
    if (raw.shard_by == "size") {
        if (raw.shard.empty()) throw UsageError("--shard-by needs --shard K/N");
        p.shard.by_size = true;
        p.shard.members = shard_by_size(file_sizes(p.files), p.shard.k, p.shard.n);
    } else if (!raw.shard_by.empty() && raw.shard_by != "position") {
        throw UsageError("shard order '" + raw.shard_by + "' is not position or size");
    }
    p.record_options = options_record(name, raw);
    p.sign = name == "extremes" ? Sign::max : parse_sign(raw.sign);
    p.moments = parse_moments(raw.moments);
    p.quiet = raw.quiet;
    p.coincident = parse_channels(raw.coincident);
    p.ref = raw.ref;
    p.input = raw.input;
    p.overlay = raw.overlay;
    p.zoom = raw.zoom;
    p.inset = raw.inset;
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
    if (name == "report") report_tables(raw, p);
    if (name == "extremes") {
        p.extremes =
            parse_extremes_options(raw.sign, raw.fit, raw.duration, raw.quantiles, raw.group);
        if (p.extremes.group && p.shard.given)
            throw UsageError(
                "--group fits across the files: give them all to one run, not --shard");
    }
    if (name == "vector") p.channels = vector_pair(p.channels);
    if (!raw.filter.empty()) {
        p.filter.on = true;
        p.filter.settings =
            parse_filter(raw.filter, raw.filter_order.empty() ? "4" : raw.filter_order);
    } else if (!raw.filter_order.empty() || !raw.max_memory.empty()) {
        throw UsageError(std::string(raw.filter_order.empty() ? "--max-memory" : "--filter-order") +
                         " applies with --filter only");
    }
    if (!raw.max_memory.empty()) p.filter.max_memory = parse_memory(raw.max_memory);
    if (name == "psd") p.psd = parse_psd_options(raw.nperseg, raw.overlap, raw.curve);
    // One file: its DynRes share the processors.
    const std::int32_t inner = p.files.size() == 1 ? p.jobs : 1;
    p.filter.threads = inner;
    p.psd.threads = inner;
    return p;
}

}  // namespace batch
