// The picture commands: `plot` (an SVG of the selected DynRes of one or more
// files) and `report` (a self-contained HTML page with the statistics table
// and a small picture of each selected DynRes per file). Both take their
// numbers from the statistics and peak routines of the other commands.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "batch/commands.h"

namespace batch {

// The file `plot` writes without -o: the first file's name without folder
// and extension, with ".svg", in the current folder.
std::string default_plot_output(const std::string& first_file);

// The command line as a shell would take it back: arguments quoted where
// they hold characters the shell treats specially.
std::string shell_line(int argc, const char* const* argv);

// Runs plot or report; the exit code (0, 2 some files failed, 1 nothing
// read or the output could not be written). The output was checked before.
// A progress bar on err over several files when `terminal` (and not -q).
int run_plot(const Params& p, bool terminal, std::ostream& out, std::ostream& err);
int run_report(const Params& p, bool terminal, std::ostream& out, std::ostream& err);

}  // namespace batch
