// Shards of a suite and their merge. A command run with --shard K/N and -o
// NAME writes, beside NAME, the shard record NAME.shard.json: the command,
// the options that shape the output, the shard, the file list's digest, which
// files of the list the shard read, how many rows each gave and which failed,
// and the digest of NAME itself. `pektor merge` checks the records of the
// shards against each other and joins their rows into the output of one
// unsharded run, byte for byte.
#pragma once

#include <CLI/CLI.hpp>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "batch/commands.h"

namespace batch {

// The sizes of the files in bytes; 0 for a file whose size cannot be read.
std::vector<std::uint64_t> file_sizes(const std::vector<std::string>& files);

// 64-bit FNV-1a of the bytes, as 16 hex digits.
std::string digest_text(std::string_view bytes);

// The digest of a file list (each name followed by a NUL byte).
std::string file_list_digest(const std::vector<std::string>& files);

// What a shard read: the 1-based list positions of its files in order, the
// rows each file gave, and "<file>: <error>" for each file that failed.
struct ShardRun {
    std::vector<std::size_t> positions;
    std::vector<std::size_t> rows;
    std::vector<std::string> failed;
};

// Does a shard written to `output` get a record? Only a file that is or will
// be a regular file (not standard output, a device or a pipe).
bool wants_shard_record(const std::string& output);

// The name of the record of a shard written to `output`.
std::string shard_record_name(const std::string& output);

// Writes the shard's output to p.output (through `write`) and then its record
// beside it. Returns false after a message when either could not be written.
bool write_shard_output(const Params& p, const ShardRun& run,
                        const std::function<void(std::ostream&)>& write, std::ostream& out,
                        std::ostream& err);

// Splits CSV text into its records, each with its CRLF; a line break inside
// a quoted field stays in its record. Returns false when the text does not
// end with a complete record.
bool split_csv_records(std::string_view text, std::vector<std::string_view>& records);

// Splits JSON Lines text into its lines, each with its "\n". Returns false
// when the last line has no line end.
bool split_json_lines(std::string_view text, std::vector<std::string_view>& records);

struct MergeArgs {
    std::vector<std::string> shards;  // the shards' output files
    std::string output;               // empty: standard output
    bool allow_missing = false;
};

// Adds the merge command and its options to the command line.
CLI::App* add_merge_command(CLI::App& app, MergeArgs& args);

// Merges the shards. Exit code: 0 every shard merged; 2 with --allow-missing
// when shards or files are missing (named on `err`); 1 a refusal, a usage
// error or a failed write.
int run_merge(const MergeArgs& args, std::ostream& out, std::ostream& err);

}  // namespace batch
