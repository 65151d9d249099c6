// The work of each batch command on one file, and what the commands share:
// the parsed options, the output check and the writing of the rows.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "batch/extremes.h"
#include "batch/fatigue.h"
#include "batch/filter.h"
#include "batch/options.h"
#include "batch/psd.h"
#include "batch/runner.h"
#include "batch/source.h"
#include "batch/table.h"
#include "ops/combine.h"

namespace batch {

// A component of the combination input file.
struct Component {
    std::string description;
    std::array<double, 6> factors{};
};

// The combination input file: groups with their DynRes and matrices, and
// the components.
struct ComboInput {
    ops::Groups groups;
    std::vector<Component> components;
};

// Reads the combination input file. Returns false with "<item>: <problem>"
// (or why it does not open).
bool read_combo_input(const std::string& file, ComboInput& combo, std::string& error);

// The peaks of every DynRes of the reference file of `daf`.
struct ReferencePeaks {
    FileContents contents;
    std::vector<float> peak;  // [k-1]
    std::vector<float> time;
    std::vector<char> found;  // [k-1]: 1 when DynRes k has a finite sample (a peak)
};

struct Params {
    std::string command;
    std::vector<std::string> files;
    ChannelList channels;
    Window window;
    std::string window_text;  // as given, for the messages
    Format format = Format::table;
    std::string output;  // empty: standard output
    std::int32_t jobs = 1;
    Shard shard;
    Sign sign = Sign::max;
    Moments moments = Moments::sample;
    bool quiet = false;
    ChannelList coincident;
    std::string ref;
    std::string input;
    ComboInput combo;
    ReferencePeaks reference;
    bool overlay = false;            // plot: every series in one panel
    bool zoom = false;               // plot: the time axis spans the window alone
    bool inset = false;              // plot: a small panel around each panel's peak
    bool force = false;              // plot: replace the default output file
    bool output_is_default = false;  // plot: no -o given
    std::string command_line;        // report: as typed
    bool report_fatigue = false;     // report: the DEL table (-m)
    bool report_extremes = false;    // report: the extremes table (--duration)
    FatigueOptions fatigue;
    ExtremesOptions extremes;
    SeriesFilter filter;  // --filter: every series read through it
    PsdOptions psd;
    std::string record_options;  // the options that shape the output (JSON), for shards
};

// The error of a file whose window holds no sample: "the file has no result
// steps" when no window was given and the file has none, else "no sample in
// the window T0:T1".
std::string no_sample_text(const Params& p, const FileContents& c);

// The columns of each command (peak: without the coincident columns).
std::vector<std::string> command_columns(const std::string& command);

// One file's rows. For peak, every row ends with the coincident values as
// pairs (DynRes number, value), which coincident_rows turns into columns.
// `buffers`: the read buffers of the calling thread (none: the read's own).
FileResult list_file(const Params& p, const std::string& file,
                     reader::ReadBuffers* buffers = nullptr);
FileResult stats_file(const Params& p, const std::string& file,
                      reader::ReadBuffers* buffers = nullptr);
FileResult peak_file(const Params& p, const std::string& file,
                     reader::ReadBuffers* buffers = nullptr);
FileResult daf_file(const Params& p, const std::string& file,
                    reader::ReadBuffers* buffers = nullptr);
FileResult vector_file(const Params& p, const std::string& file,
                       reader::ReadBuffers* buffers = nullptr);
FileResult combine_file(const Params& p, const std::string& file,
                        reader::ReadBuffers* buffers = nullptr);
FileResult fatigue_file(const Params& p, const std::string& file,
                        reader::ReadBuffers* buffers = nullptr);
// extremes.cpp: with --group only the sample extremes (extremes_group_rows).
FileResult extremes_file(const Params& p, const std::string& file,
                         reader::ReadBuffers* buffers = nullptr);
// The rows of fatigue and extremes from a source already open (`file` names
// it in the rows), such as series already read (memory_source).
FileResult fatigue_of(const Params& p, const std::string& file, SeriesSource& src);
FileResult extremes_of(const Params& p, const std::string& file, SeriesSource& src);

// The peak rows with one column c<k> per coincident DynRes k that any file
// gave, in the order first seen; appends those column names.
void coincident_rows(std::vector<FileResult>& results, std::vector<std::string>& columns,
                     std::vector<Row>& rows);

// The reference peaks of daf. Returns false with the reason.
bool reference_peaks(const Params& p, ReferencePeaks& ref, std::string& error);

// Does the file begin like a RAFLIB file (a dyn file)?
bool looks_like_dyn_file(const std::string& file);

}  // namespace batch
