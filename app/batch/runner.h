// Running one command's work over many files: in parallel, with the results
// and the diagnostics in the order of the files, and a progress bar.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/batch/table.h"

namespace app::batch {

// What one file gave: its rows, or the reason it gave none.
struct FileResult {
    bool ok = false;
    std::string error;                  // one line, when !ok
    std::vector<std::string> warnings;  // one line each
    std::vector<Row> rows;
};

using FileTask = std::function<FileResult(const std::string& file)>;

struct RunOptions {
    std::string command;    // for the messages: "pektor <command>: <file>: ..."
    std::int32_t jobs = 1;  // threads
    bool progress = false;  // the progress bar on `err`
    bool warnings = true;   // write the files' warnings
};

// Runs the task on every file, `jobs` at a time; results[i] belongs to
// files[i]. Warnings and errors go to `err` in file order, as
// "pektor <command>: <file>: <text>". Returns the number of files that failed.
std::size_t run_files(const RunOptions& options, const std::vector<std::string>& files,
                      const FileTask& task, std::vector<FileResult>& results, std::ostream& err);

}  // namespace app::batch
