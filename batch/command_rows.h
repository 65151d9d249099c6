// The rows of a batch command over its files, as every face gives them: the
// per-file task of the command run on threads, and the rows put together
// (the coincident columns of peak, the groups of extremes, the filter
// column).
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "batch/commands.h"
#include "batch/runner.h"

namespace batch {

// Reads what the command needs besides the dyn files: the combination input
// of combine, the reference file's peaks of daf. False with the file and
// the reason; `notes` gets warnings ("<file>: no components are defined").
bool read_command_inputs(Params& q, std::string& file, std::string& error,
                         std::vector<std::string>& notes);

struct CommandRows {
    std::vector<std::string> columns;
    std::vector<Row> rows;
    std::vector<FileResult> results;     // per file: ok, error, warnings (rows moved out)
    std::vector<std::size_t> file_rows;  // the rows each file gave
    std::vector<std::string> warnings;   // of the run as a whole (a group without fit)
    std::size_t failed = 0;              // files that gave no rows
};

// The task of each file for the commands with rows per file (not export,
// plot or report); throws UsageError for another.
FileTask command_task(const Params& q);

// Runs the command on q.files (after read_command_inputs) and puts the rows
// together; `err` gets what run_files writes (progress, the files' warnings
// as `ro` says).
CommandRows command_rows(const Params& q, const RunOptions& ro, std::ostream& err);

}  // namespace batch
