// The error of an analysis called with arguments it cannot work with (too
// few samples, a cut-off frequency outside the band, ...). what() is one
// line, without a trailing newline or a file name, so that a command can
// prefix it with its own "pektor <command>: <file>: " and print it as is.
#pragma once

#include <stdexcept>
#include <string>

namespace analysis {

class ArgumentError : public std::invalid_argument {
  public:
    explicit ArgumentError(const std::string& message) : std::invalid_argument(message) {}
};

}  // namespace analysis
