// Writing a command's result: to standard output, or to the output file
// without leaving a partial file behind.
#pragma once

#include <functional>
#include <ostream>
#include <string>

namespace app::batch {

// Writes through `write` to `out` when `output` is empty, otherwise to the
// file `output`: a device or other special file directly, a regular file
// through a temporary file beside it that is renamed when complete (and
// removed when not). Returns false after a line on `err`
// ("pektor <command>: <output>: cannot write...") when the writing failed.
bool write_result(const std::string& command, const std::string& output,
                  const std::function<void(std::ostream&)>& write, std::ostream& out,
                  std::ostream& err);

}  // namespace app::batch
