// Running one command's work over many files: in parallel, with the results
// and the diagnostics in the order of the files, and a progress bar.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "batch/table.h"
#include "reader/series_reader.h"

namespace batch {

// What one file gave: its rows, or the reason it gave none.
struct FileResult {
    bool ok = false;
    std::string error;                  // one line, when !ok
    std::vector<std::string> warnings;  // one line each
    std::vector<Row> rows;
};

// The work on one file; `buffers` are the read buffers of the thread it runs
// on, kept from one file to the next.
using FileTask = std::function<FileResult(const std::string& file, reader::ReadBuffers& buffers)>;

struct RunOptions {
    std::string command;    // for the messages: "pektor <command>: <file>: ..."
    std::int32_t jobs = 1;  // threads
    bool progress = false;  // the progress bar on `err`
    bool warnings = true;   // write the files' warnings
};

// The progress bar on standard error: "[####------] 3/10 files  1.2 s
// 2.5 files/s", redrawn in place; nothing when off.
class Progress {
  public:
    Progress(bool on, std::size_t total, std::ostream& err);
    void show(std::size_t done);
    // Removes the bar (before a message line, and at the end).
    void clear();

  private:
    bool on_;
    std::size_t total_;
    std::ostream& err_;
    std::chrono::steady_clock::time_point start_;
    bool shown_ = false;
};

// Calls work(i) for i = 0 .. n-1 on up to `jobs` threads, each i once, and,
// on this thread in the order of i, ready(i) as soon as work(i) and every
// work before it are done (ready may be empty). The progress bar shows the
// works done. work must not throw.
void run_each(std::int32_t jobs, std::size_t n, const std::function<void(std::size_t)>& work,
              const std::function<void(std::size_t)>& ready, Progress& progress);

// The threads run_each uses for n works on `jobs` jobs (at least 1).
std::size_t worker_count(std::int32_t jobs, std::size_t n);

// Runs work() on n threads at once, this one among them, and waits for all
// of them; when a thread cannot be started, those that run do the rest (so
// work() takes its items from a shared counter).
void run_on_threads(std::size_t n, const std::function<void()>& work);

// The same with work(i, w): w (0 .. worker_count(jobs, n) - 1) is the
// thread that does work i, so that a thread's state (its read buffers) can
// serve every work it does.
void run_each(std::int32_t jobs, std::size_t n,
              const std::function<void(std::size_t item, std::size_t worker)>& work,
              const std::function<void(std::size_t)>& ready, Progress& progress);

// Runs the task on every file, `jobs` at a time; results[i] belongs to
// files[i]. Warnings and errors go to `err` in file order, as
// "pektor <command>: <file>: <text>", control characters shown escaped
// (printable()). Returns the number of files that failed.
std::size_t run_files(const RunOptions& options, const std::vector<std::string>& files,
                      const FileTask& task, std::vector<FileResult>& results, std::ostream& err);

}  // namespace batch
