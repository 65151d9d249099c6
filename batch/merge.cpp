#include "batch/merge.h"

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <system_error>

#include "batch/output.h"

namespace batch {

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

constexpr int kRecordVersion = 1;
constexpr std::string_view kPrefix = "pektor merge: ";

std::uint64_t fnv1a(std::string_view bytes, std::uint64_t h = 0xcbf29ce484222325ULL) {
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001b3ULL;
    }
    return h;
}

std::string format_name(Format f) {
    switch (f) {
        case Format::csv:
            return "csv";
        case Format::json:
            return "json";
        case Format::table:
            break;
    }
    return "table";
}

// One shard as read back.
struct LoadedShard {
    std::string file;
    std::string data;
    Json record;
    std::int64_t k = 0;
    std::int64_t n = 0;
    std::vector<std::string_view> records;  // CSV: the header first
    std::string_view header;
    std::vector<std::size_t> positions;
    std::vector<std::size_t> rows;
};

bool read_whole(const std::string& file, std::string& data, std::string& error) {
    std::error_code ec;
    if (!fs::exists(file, ec)) {
        error = "no such file";
        return false;
    }
    if (fs::is_directory(file, ec)) {
        error = "is a folder";
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = "cannot read";
        return false;
    }
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read";
        return false;
    }
    return true;
}

// Reads a shard's file and record and checks them against each other.
// Returns false with the reason.
bool load_shard(const std::string& file, LoadedShard& s, std::string& error) {
    s.file = file;
    if (!read_whole(file, s.data, error)) return false;
    const std::string record_file = shard_record_name(file);
    std::string text;
    std::string why;
    if (!read_whole(record_file, text, why)) {
        error = "no shard record " + record_file + " (" + why +
                "); a command run with --shard K/N and -o FILE writes one";
        return false;
    }
    try {
        s.record = Json::parse(text);
        if (s.record.at("pektor_shard").get<int>() != kRecordVersion) {
            error = record_file + ": shard record of another version";
            return false;
        }
        s.k = s.record.at("shard").at("k").get<std::int64_t>();
        s.n = s.record.at("shard").at("n").get<std::int64_t>();
        s.positions = s.record.at("positions").get<std::vector<std::size_t>>();
        s.rows = s.record.at("rows").get<std::vector<std::size_t>>();
        (void)s.record.at("command").get<std::string>();
        (void)s.record.at("shard").at("by").get<std::string>();
        (void)s.record.at("options");
        (void)s.record.at("format").get<std::string>();
        (void)s.record.at("files").at("count").get<std::size_t>();
        (void)s.record.at("files").at("digest").get<std::string>();
        (void)s.record.at("output").at("digest").get<std::string>();
        (void)s.record.at("failed").get<std::vector<std::string>>();
    } catch (const Json::exception&) {
        error = record_file + ": not a shard record";
        return false;
    }
    const auto count = s.record["files"]["count"].get<std::size_t>();
    if (s.n < 1 || s.k < 1 || s.k > s.n || s.positions.size() != s.rows.size() ||
        std::any_of(s.positions.begin(), s.positions.end(),
                    [&](std::size_t p) { return p < 1 || p > count; }) ||
        !std::is_sorted(s.positions.begin(), s.positions.end()) ||
        std::adjacent_find(s.positions.begin(), s.positions.end()) != s.positions.end()) {
        error = record_file + ": damaged shard record";
        return false;
    }
    if (s.record["output"]["digest"].get<std::string>() != digest_text(s.data)) {
        error = "does not match its shard record " + record_file +
                " (changed after the run, or the run did not finish); run the shard again";
        return false;
    }
    const std::string format = s.record["format"].get<std::string>();
    if (format == "table") {
        error = "a table cannot be merged; write the shards with -f csv or -f json";
        return false;
    }
    // The form is told by the content: JSON Lines objects or a CSV header.
    const bool json = s.data.empty() || s.data.front() == '{';
    if (format != (json ? "json" : "csv")) {
        error = "its content is not the " + format + " its shard record names";
        return false;
    }
    const bool split =
        json ? split_json_lines(s.data, s.records) : split_csv_records(s.data, s.records);
    if (!split || (!json && s.records.empty())) {
        error = "incomplete " + format + " (no line end after the last row)";
        return false;
    }
    if (!json) {
        s.header = s.records.front();
        s.records.erase(s.records.begin());
    }
    std::size_t total = 0;
    for (const std::size_t r : s.rows) {
        if (r > s.records.size() - total) {
            total = s.records.size() + 1;
            break;
        }
        total += r;
    }
    if (total != s.records.size()) {
        error = fmt::format("has {} rows, not those its shard record {} counts", s.records.size(),
                            record_file);
        return false;
    }
    return true;
}

std::string shard_name(const LoadedShard& s) {
    return fmt::format("shard {}/{}", s.k, s.n);
}

// Why shard b cannot be merged with shard a, or empty.
std::string mismatch(const LoadedShard& a, const LoadedShard& b) {
    const Json& x = a.record;
    const Json& y = b.record;
    if (x["command"] != y["command"])
        return fmt::format("{} is of another command ({}, not {})", shard_name(b),
                           y["command"].get<std::string>(), x["command"].get<std::string>());
    if (x["options"] != y["options"])
        return fmt::format("{} was run with other options than {} ({}: {}; {}: {})", shard_name(b),
                           a.file, b.file, y["options"].dump(), a.file, x["options"].dump());
    if (x["format"] != y["format"])
        return fmt::format("{} is {}, {} is {}", shard_name(b), y["format"].get<std::string>(),
                           a.file, x["format"].get<std::string>());
    if (x["files"] != y["files"])
        return fmt::format(
            "{} read another file list than {} ({} files, digest {}; {} files, "
            "digest {})",
            shard_name(b), a.file, y["files"]["count"].get<std::size_t>(),
            y["files"]["digest"].get<std::string>(), x["files"]["count"].get<std::size_t>(),
            x["files"]["digest"].get<std::string>());
    if (a.n != b.n || x["shard"]["by"] != y["shard"]["by"])
        return fmt::format("{} by {} is of another split than {} ({}/{} by {})", shard_name(b),
                           y["shard"]["by"].dump(), a.file, a.k, a.n, x["shard"]["by"].dump());
    if (a.header != b.header)
        return fmt::format("{} has other columns than {}", shard_name(b), a.file);
    return {};
}

bool same_path(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec) && fs::equivalent(a, b, ec)) return true;
    return fs::weakly_canonical(fs::absolute(a, ec), ec) ==
           fs::weakly_canonical(fs::absolute(b, ec), ec);
}

}  // namespace

std::vector<std::uint64_t> file_sizes(const std::vector<std::string>& files) {
    std::vector<std::uint64_t> sizes;
    sizes.reserve(files.size());
    for (const std::string& f : files) {
        std::error_code ec;
        const auto size = fs::file_size(f, ec);
        sizes.push_back(ec ? 0 : static_cast<std::uint64_t>(size));
    }
    return sizes;
}

std::string digest_text(std::string_view bytes) {
    return fmt::format("{:016x}", fnv1a(bytes));
}

std::string file_list_digest(const std::vector<std::string>& files) {
    std::uint64_t h = fnv1a({});
    for (const std::string& f : files) {
        h = fnv1a(f, h);
        h = fnv1a(std::string_view("\0", 1), h);
    }
    return fmt::format("{:016x}", h);
}

bool wants_shard_record(const std::string& output) {
    if (output.empty()) return false;
    std::error_code ec;
    const fs::file_status st = fs::status(output, ec);
    return !fs::exists(st) || fs::is_regular_file(st);
}

std::string shard_record_name(const std::string& output) {
    return output + ".shard.json";
}

bool write_shard_output(const Params& p, const ShardRun& run,
                        const std::function<void(std::ostream&)>& write, std::ostream& out,
                        std::ostream& err) {
    std::ostringstream text;
    write(text);
    const std::string data = std::move(text).str();
    if (!write_result(
            p.command, p.output, [&](std::ostream& f) { f << data; }, out, err))
        return false;
    Json record = {
        {"pektor_shard", kRecordVersion},
        {"command", p.command},
        {"options", Json::parse(p.record_options)},
        {"format", format_name(p.format)},
        {"shard",
         {{"k", p.shard.k}, {"n", p.shard.n}, {"by", p.shard.by_size ? "size" : "position"}}},
        {"files", {{"count", p.files.size()}, {"digest", file_list_digest(p.files)}}},
        {"positions", run.positions},
        {"rows", run.rows},
        {"failed", run.failed},
        {"output", {{"bytes", data.size()}, {"digest", digest_text(data)}}},
    };
    const std::string json = record.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
    return write_result(
        p.command, shard_record_name(p.output), [&](std::ostream& f) { f << json; }, out, err);
}

bool split_csv_records(std::string_view text, std::vector<std::string_view>& records) {
    records.clear();
    std::size_t start = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            quoted = !quoted;  // "" inside a quoted field toggles twice
        } else if (!quoted && c == '\n') {
            if (i == start || text[i - 1] != '\r') return false;
            records.push_back(text.substr(start, i + 1 - start));
            start = i + 1;
        }
    }
    return start == text.size() && !quoted;
}

bool split_json_lines(std::string_view text, std::vector<std::string_view>& records) {
    records.clear();
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) return false;
        records.push_back(text.substr(start, end + 1 - start));
        start = end + 1;
    }
    return true;
}

CLI::App* add_merge_command(CLI::App& app, MergeArgs& args) {
    CLI::App* sub = app.add_subcommand(
        "merge", "join the CSV or JSON Lines outputs of the shards of one run (--shard K/N -o)");
    sub->footer(
        "Example:\n  pektor merge -o stats.csv stats_*.csv\nEach shard's record FILE.shard.json "
        "(written with --shard and -o) must be beside it.");
    sub->add_option("-o,--output", args.output,
                    "output file (default standard output); never one of the shards")
        ->expected(1)
        ->allow_extra_args(false);
    sub->add_flag("--allow-missing", args.allow_missing,
                  "merge the shards that are there (and the rows of failed shards) and name "
                  "what is missing (exit code 2)");
    sub->add_option("shards", args.shards, "the shards' output files, in any order")->required();
    return sub;
}

int run_merge(const MergeArgs& args, std::ostream& out, std::ostream& err) {
    const std::string prefix(kPrefix);
    for (const std::string& s : args.shards) {
        if (!args.output.empty() &&
            (same_path(args.output, s) || same_path(args.output, shard_record_name(s)))) {
            err << prefix << args.output << ": is one of the shards; nothing written\n";
            return 1;
        }
    }
    std::error_code ec;
    if (!args.output.empty() && fs::exists(args.output, ec) && looks_like_dyn_file(args.output)) {
        err << prefix << args.output << ": is an existing dyn file; nothing written\n";
        return 1;
    }
    std::vector<LoadedShard> shards;
    shards.reserve(args.shards.size());
    bool refused = false;
    for (const std::string& file : args.shards) {
        // Read in place: the rows are views into the shard's text.
        shards.emplace_back();
        std::string error;
        if (!load_shard(file, shards.back(), error)) {
            err << prefix << file << ": " << error << '\n';
            refused = true;
            shards.pop_back();
        }
    }
    if (refused) {
        err << prefix << "nothing written\n";
        return 1;
    }
    const LoadedShard& first = shards.front();
    std::map<std::int64_t, const LoadedShard*> by_k;
    for (const LoadedShard& s : shards) {
        if (const std::string why = mismatch(first, s); !why.empty()) {
            err << prefix << s.file << ": " << why << '\n';
            refused = true;
            continue;
        }
        const auto [at, fresh] = by_k.emplace(s.k, &s);
        if (!fresh) {
            err << prefix << s.file << ": " << shard_name(s) << " is given twice (also "
                << at->second->file << ")\n";
            refused = true;
        }
    }
    if (refused) {
        err << prefix << "nothing written\n";
        return 1;
    }
    bool incomplete = false;
    for (const LoadedShard& s : shards) {
        const auto failed = s.record["failed"].get<std::vector<std::string>>();
        if (failed.empty()) continue;
        if (!args.allow_missing) {
            err << prefix << s.file << ": " << shard_name(s) << " failed: " << failed.size()
                << (failed.size() == 1 ? " file gave" : " files gave")
                << " no rows (first: " << failed.front()
                << "); run it again, or merge with --allow-missing\n";
            refused = true;
            continue;
        }
        for (const std::string& f : failed) {
            err << prefix << s.file << ": " << shard_name(s) << ": missing rows of " << f << '\n';
        }
        incomplete = true;
    }
    for (std::int64_t k = 1; k <= first.n; ++k) {
        if (by_k.count(k) != 0) continue;
        err << prefix << fmt::format("shard {}/{} is missing", k, first.n)
            << (args.allow_missing ? ": its files give no rows\n" : "\n");
        if (!args.allow_missing) refused = true;
        incomplete = true;
    }
    if (refused) {
        err << prefix << "nothing written\n";
        return 1;
    }
    // Every file's rows, in the order of the list positions.
    struct Piece {
        std::size_t position = 0;
        const LoadedShard* shard = nullptr;
        std::size_t from = 0;
        std::size_t rows = 0;
    };
    std::vector<Piece> pieces;
    for (const LoadedShard& s : shards) {
        std::size_t at = 0;
        for (std::size_t i = 0; i < s.positions.size(); ++i) {
            pieces.push_back({s.positions[i], &s, at, s.rows[i]});
            at += s.rows[i];
        }
    }
    std::sort(pieces.begin(), pieces.end(),
              [](const Piece& a, const Piece& b) { return a.position < b.position; });
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        if (pieces[i].position == pieces[i - 1].position) {
            err << prefix << pieces[i].shard->file << ": reads file " << pieces[i].position
                << " of the list, as does " << pieces[i - 1].shard->file << "; nothing written\n";
            return 1;
        }
    }
    const auto count = first.record["files"]["count"].get<std::size_t>();
    if (by_k.size() == static_cast<std::size_t>(first.n) && pieces.size() != count) {
        err << prefix << "the shards read " << pieces.size() << " of the " << count
            << " files of the list; nothing written\n";
        return 1;
    }
    const auto write = [&](std::ostream& f) {
        f << first.header;
        for (const Piece& piece : pieces) {
            for (std::size_t r = 0; r < piece.rows; ++r) f << piece.shard->records[piece.from + r];
        }
    };
    if (!write_result("merge", args.output, write, out, err)) return 1;
    return incomplete ? 2 : 0;
}

}  // namespace batch
