// The extremes command: the most probable maximum (or minimum) of a storm,
// per file and DynRes from a Weibull fitted to the peaks of the window, or
// per group of files (runs that differ only in their random seed) from a
// Gumbel fitted to the files' sample maxima.
#pragma once

#include <memory>
#include <regex>
#include <span>
#include <string>
#include <vector>

#include "analysis/extremes.h"
#include "batch/runner.h"
#include "batch/table.h"

namespace batch {

struct ExtremesOptions {
    analysis::Tail tail = analysis::Tail::max;
    analysis::WeibullMethod weibull = analysis::WeibullMethod::pwm;   // per file
    analysis::GumbelMethod gumbel = analysis::GumbelMethod::moments;  // per group
    double duration = 10800.0;                                        // storm, s
    std::vector<double> quantiles;                                    // of the Gumbel
    std::vector<std::string> quantile_columns;                        // p_37 ...
    std::shared_ptr<const std::regex> group;  // --group: the files fitted together
    std::string group_text;                   // as given, for the messages
};

// The option values as given (an empty text or list: not given). --sign is
// max or min; --fit pwm or msm per file, moments or mle with --group;
// --duration a finite number above 0; --quantiles numbers strictly between
// 0 and 1, each once (default 0.37,0.57,0.90, and 0.57,0.90 with --group
// where the mode is the column mpm); --group an ECMAScript regular
// expression. Throws UsageError.
ExtremesOptions parse_extremes_options(const std::string& sign, const std::string& fit,
                                       const std::string& duration,
                                       std::span<const std::string> quantiles,
                                       const std::string& group);

// The columns per file, or per group with --group.
std::vector<std::string> extremes_columns(const ExtremesOptions& o);

// The group of a file: its name (the path as given) without the first match
// of the expression; none when the expression does not match.
std::optional<std::string> group_name(const std::regex& group, const std::string& file);

// With --group the file task gives, per DynRes, a row (dynres, label,
// extreme) with the sample maximum (minimum) of the window, empty without a
// finite sample. This turns those rows into the groups' rows: groups in the
// order of their first file, DynRes in the order first seen in the group.
// A warning line per group that has no fit ("<group>: <why>").
void extremes_group_rows(const ExtremesOptions& o, const std::vector<std::string>& files,
                         const std::vector<FileResult>& results, std::vector<Row>& rows,
                         std::vector<std::string>& warnings);

}  // namespace batch
