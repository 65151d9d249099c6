// The options of a batch command as typed, and the parameters they give:
// one place reads and checks them for the command line and the Python
// module alike.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "batch/commands.h"

namespace batch {

// The option values as typed; an empty text or list: not given.
struct RawOptions {
    std::vector<std::string> files;
    std::vector<std::string> channels;
    std::string window;
    std::string format = "table";
    std::string output;
    std::string jobs;
    std::string shard;
    std::string shard_by;
    std::string sign = "max";
    std::string moments = "sample";
    bool quiet = false;
    bool overlay = false;
    bool zoom = false;
    bool inset = false;
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
    std::string fit;
    std::string duration;
    std::vector<std::string> quantiles;
    std::string group;
    std::string files_from;
    bool null = false;
    std::string filter;
    std::string filter_order;
    std::string max_memory;
    std::string nperseg;
    std::string overlap;
    bool curve = false;
};

// Does the command take --filter?
bool takes_filter(const std::string& command);

// The processors this process may run on (taskset, a Slurm allocation).
std::int32_t default_jobs();

// The parameters of the command from the option values: the files (with
// those of --files-from), every option read and checked. Throws UsageError
// with a sentence that names the option.
Params make_params(const std::string& command, const RawOptions& raw);

}  // namespace batch
