#include "batch/command_rows.h"

#include <utility>

#include "batch/extremes.h"
#include "batch/fatigue.h"
#include "batch/filter.h"
#include "batch/options.h"
#include "batch/psd.h"

namespace batch {

bool read_command_inputs(Params& q, std::string& file, std::string& error,
                         std::vector<std::string>& notes) {
    if (q.command == "combine") {
        if (!read_combo_input(q.input, q.combo, error)) {
            file = q.input;
            return false;
        }
        if (q.combo.components.empty())
            notes.push_back(q.input + ": no components are defined; no rows");
    }
    if (q.command == "daf" && !reference_peaks(q, q.reference, error)) {
        file = q.ref;
        return false;
    }
    return true;
}

FileTask command_task(const Params& q) {
    using PerFile = FileResult (*)(const Params&, const std::string&, reader::ReadBuffers*);
    static const std::pair<const char*, PerFile> kTasks[] = {
        {"list", list_file},       {"stats", stats_file},       {"peak", peak_file},
        {"daf", daf_file},         {"vector", vector_file},     {"combine", combine_file},
        {"fatigue", fatigue_file}, {"extremes", extremes_file}, {"psd", psd_file},
    };
    for (const auto& [name, f] : kTasks) {
        if (q.command == name) {
            return [&q, f = f](const std::string& file, reader::ReadBuffers& b) {
                return f(q, file, &b);
            };
        }
    }
    throw UsageError("'" + q.command + "' is no command with rows per file");
}

CommandRows command_rows(const Params& q, const RunOptions& ro, std::ostream& err) {
    CommandRows out;
    out.failed = run_files(ro, q.files, command_task(q), out.results, err);
    for (const FileResult& r : out.results) out.file_rows.push_back(r.rows.size());
    out.columns = q.command == "fatigue"    ? fatigue_columns(q.fatigue)
                  : q.command == "extremes" ? extremes_columns(q.extremes)
                  : q.command == "psd"      ? psd_columns(q.psd)
                                            : command_columns(q.command);
    if (q.command == "peak") {
        coincident_rows(out.results, out.columns, out.rows);
    } else if (q.command == "extremes" && q.extremes.group) {
        extremes_group_rows(q.extremes, q.files, out.results, out.rows, out.warnings);
    } else {
        for (FileResult& r : out.results) {
            for (Row& row : r.rows) out.rows.push_back(std::move(row));
            r.rows.clear();
        }
    }
    if (q.filter.on) {
        // Every row names the filter its figures come from.
        out.columns.push_back("filter");
        const std::string text = filter_text(q.filter);
        for (Row& row : out.rows) row.emplace_back(text);
    }
    return out;
}

}  // namespace batch
