// The batch commands: pektor list|stats|peak|daf|export|vector|combine|plot|
// report|fatigue, and merge of their shards.
#pragma once

#include <ostream>
#include <string_view>

namespace batch {

// Is the first argument one of the commands (or --help, -h, --version)?
bool is_batch_argument(std::string_view arg);

// Does the command line start the classic dialogue (no argument, or a
// first argument that begins with a number: the work-array size)?
bool is_dialogue_line(int argc, const char* const* argv);

// A command line that is neither a command nor the dialogue's: the usage
// error on `err` (what is wrong, the commands); returns the exit code 1.
int unknown_command(int argc, const char* const* argv, std::ostream& err);

// Runs the command line (argv[0] the program, argv[1] the command); data on
// `out`, diagnostics on `err`. Returns the exit code: 0 every file gave its
// rows, 2 some files failed, 1 a usage error or no file read.
int run_batch(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace batch
