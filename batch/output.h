// Writing a command's result: to standard output, or to the output file
// without leaving a partial file behind.
#pragma once

#include <functional>
#include <ostream>
#include <string>

namespace batch {

// Is `output` standard output (empty or "-")?
bool is_standard_output(const std::string& output);

// Why the output file cannot be written at all, or empty: it names (itself
// or through symbolic links) something other than a regular file or a new
// name, such as a FIFO, a device or a folder. Checked before any input is
// read; never opens the file.
std::string refuse_special_output(const std::string& output);

// Writes through `write` to `out` when `output` is standard output,
// otherwise to the file `output` (a symbolic link: to its target): through
// a temporary file made in the target's folder, written, given its mode
// (an existing file keeps its own, a new one gets what the umask gives) and
// synced through its descriptor only, then renamed over the target. The
// temporary file is removed when the writing fails and on SIGINT or SIGTERM
// (exit 130 or 143). Returns false after a line on `err`
// ("pektor <command>: <output>: ...") when the file was not written.
bool write_result(const std::string& command, const std::string& output,
                  const std::function<void(std::ostream&)>& write, std::ostream& out,
                  std::ostream& err);

}  // namespace batch
