#include "batch/picture.h"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <system_error>
#include <utility>

#include "analysis/welch.h"
#include "batch/extremes.h"
#include "batch/fatigue.h"
#include "batch/label_text.h"
#include "batch/output.h"
#include "batch/runner.h"
#include "batch/stats.h"
#include "pictures/charts.h"
#include "pictures/report.h"
#include "pictures/svg.h"

namespace batch {

namespace {

namespace fs = std::filesystem;

// One file's selected DynRes: the series to draw (the whole series), and
// the statistics and peak of the window as the stats and peak commands give
// them.
struct FileSeries {
    std::string file;
    std::string error;
    std::vector<std::int32_t> numbers;
    std::vector<std::string> labels;
    FileContents contents;
    WindowSeries full;
    // The window's samples when the report's tables need them and the
    // window is not the whole series (else `full`).
    WindowSeries window;
    std::vector<SeriesStats> stats;
    std::vector<pictures::Peak> peaks;
    std::vector<Row> rows;              // the stats rows
    std::vector<std::string> warnings;  // one line each
};

// The mean line of a series: none without a finite sample.
std::optional<double> mean_of(const SeriesStats& s) {
    if (s.n == 0) return std::nullopt;
    return s.mean;
}

// `buffers`: the read buffers of the calling thread.
bool read_file(const Params& p, const std::string& file, FileSeries& f,
               reader::ReadBuffers& buffers) {
    f.file = file;
    std::unique_ptr<SeriesSource> src = open_series(file, p.filter, f.error, &buffers);
    if (!src) return false;
    if (!resolve_channels(p.channels, src->contents(), f.numbers, f.error)) return false;
    WindowSeries ws;
    if (!src->read(p.window, f.numbers, ws, f.error)) return false;
    if (ws.times.empty()) {
        f.error = no_sample_text(p, src->contents());
        return false;
    }
    for (std::size_t j = 0; j < f.numbers.size(); ++j) {
        const std::int32_t k = f.numbers[j];
        const std::string& label = src->contents().dynres[static_cast<std::size_t>(k - 1)].label;
        f.labels.push_back(label);
        const std::vector<float>& v = ws.values[j];
        const std::vector<double> x(v.begin(), v.end());
        const SeriesStats s = series_stats(x, ws.times, p.moments);
        Row row{file, std::int64_t{k}, label};
        append_stats(row, s, ws.times, true);
        f.rows.push_back(std::move(row));
        f.stats.push_back(s);
        if (const auto left = static_cast<std::int64_t>(v.size()) - s.n; left > 0) {
            f.warnings.push_back("DynRes " + std::to_string(k) + ": " + std::to_string(left) +
                                 " samples that are not finite numbers left out");
        }
        // Samples that are not finite numbers are left out of the peak as
        // of the statistics; without a finite sample there is no peak to mark.
        constexpr float kNone = std::numeric_limits<float>::quiet_NaN();
        pictures::Peak peak{kNone, kNone, std::nullopt};
        if (const std::optional<std::size_t> i = finite_peak_index(v, p.sign)) {
            peak = {peak_value(v[*i], p.sign), ws.times[*i], std::nullopt};
            if (peak.value != v[*i]) peak.sample = v[*i];
        }
        f.peaks.push_back(peak);
    }
    f.contents = src->contents();
    if (p.window_text.empty()) {
        f.full = std::move(ws);
        return true;
    }
    if (p.report_fatigue || p.report_extremes) f.window = std::move(ws);
    return src->read(Window{}, f.numbers, f.full, f.error);
}

// Adds the warnings not said already (samples left out, said by the
// statistics too).
void add_notes(std::vector<std::string>& notes, const std::vector<std::string>& more) {
    for (const std::string& w : more) {
        if (std::find(notes.begin(), notes.end(), w) == notes.end()) notes.push_back(w);
    }
}

// The window's samples of a file as read (for the tables of the report).
std::unique_ptr<SeriesSource> window_source(const Params& p, const FileSeries& f) {
    return memory_source(f.contents, f.numbers, p.window_text.empty() ? f.full : f.window);
}

// The reason an exception gives for a file (no exception leaves a thread).
template <class Work>
std::string guarded(const Work& work) {
    try {
        work();
        return {};
    } catch (const std::bad_alloc&) {
        return "not enough memory";
    } catch (const std::exception& e) {
        return std::string("internal error: ") + e.what();
    } catch (...) {
        return "internal error";
    }
}

pictures::Window shaded(const Params& p) {
    pictures::Window w;
    if (p.window_text.empty()) return w;
    if (std::isfinite(p.window.first)) w.t0 = p.window.first;
    if (std::isfinite(p.window.last)) w.t1 = p.window.last;
    return w;
}

// The settings line of every picture: the window, the sign convention and
// the filter.
pictures::Heading heading(const Params& p) {
    std::optional<std::string> filter;
    if (p.filter.on) filter = filter_text(p.filter);
    return pictures::Heading{p.window_text, std::string(sign_name(p.sign)), filter};
}

// Writes the text to standard output (no -o, or "-") or to the output file
// through a temporary file in the target's folder, renamed when complete.
bool write_text(const Params& p, const std::string& text, std::ostream& out, std::ostream& err) {
    return write_result(
        p.command, p.output == "-" ? std::string() : p.output, [&](std::ostream& f) { f << text; },
        out, err);
}

std::string utc_now() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    if (::gmtime_r(&now, &tm) == nullptr) return "unknown date";
    char buf[32];
    const std::size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M UTC", &tm);
    return std::string(buf, n);
}

// A panel's title: the label, and the filter the series went through.
std::string panel_title(const Params& p, const std::string& label) {
    if (!p.filter.on) return label;
    return label + " (filter " + filter_text(p.filter) + ")";
}

// The window and conventions in words, for the report's header.
std::string settings_note(const Params& p) {
    std::string w = p.window_text.empty() ? "the whole series" : "window " + p.window_text;
    if (p.filter.on) w += "; filter " + filter_text(p.filter) + " (zero phase, whole series)";
    return fmt::format(
        "{}; peak by sign convention {}; moments: {}.", w, sign_name(p.sign),
        p.moments == Moments::sample ? "sample (divisor n-1)" : "population (divisor n)");
}

// The spectrum (Welch, default segments) and the histogram of the window's
// samples of one series. No spectrum when the samples are too few, not all
// finite, or the time step is not constant; the chart says so.
std::string analyses_of(const Params& p, const WindowSeries& full, std::size_t j,
                        const std::string& label) {
    std::vector<double> x, t;
    std::vector<float> window;
    for (std::size_t i = 0; i < full.times.size(); ++i) {
        if (!p.window.contains(full.times[i])) continue;
        x.push_back(full.values[j][i]);
        t.push_back(full.times[i]);
        window.push_back(full.values[j][i]);
    }
    pictures::ChartLayout layout;
    std::vector<double> freqs, psd;
    std::optional<double> fp;
    try {
        const analysis::TimeStep step = analysis::constant_time_step(t);
        const analysis::WelchResult w = analysis::welch(x, step.sampling_frequency);
        fp = analysis::spectral_moments(w.freqs, w.psd).fp;
        freqs = w.freqs;
        psd = w.psd;
    } catch (const analysis::ArgumentError&) {
        freqs.clear();
        psd.clear();
    }
    return pictures::render_spectrum(freqs, psd, fp, "Spectrum: " + label, layout) +
           pictures::render_histogram(window, 40, "Histogram: " + label, layout);
}

// One DynRes's peak in one file.
struct PeakOf {
    std::int32_t dynres;
    std::string label;
    float value;
};

// Whether peak a governs peak b under the sign convention.
bool governs(float a, float b, Sign sign) {
    switch (sign) {
        case Sign::max:
            return a > b;
        case Sign::min:
            return a < b;
        default:
            return std::abs(a) > std::abs(b);
    }
}

// The table of DynRes x file of the peaks, the governing file of each row
// marked (the first of equal ones). Files that failed have no column.
pictures::Table compare_peaks(const Params& p, const std::vector<std::vector<PeakOf>>& peaks) {
    pictures::Table t;
    t.header = {"dynres", "label"};
    std::vector<std::size_t> columns;  // the file of each value column
    for (std::size_t i = 0; i < peaks.size(); ++i) {
        if (peaks[i].empty()) continue;
        columns.push_back(i);
        t.header.push_back(p.files[i]);
    }
    std::vector<std::int32_t> order;
    for (const auto& file : peaks) {
        for (const PeakOf& pk : file) {
            if (std::find(order.begin(), order.end(), pk.dynres) != order.end()) continue;
            order.push_back(pk.dynres);
            t.rows.push_back({std::to_string(pk.dynres), pk.label});
        }
    }
    for (std::size_t r = 0; r < order.size(); ++r) {
        std::size_t best = std::string::npos;
        float best_value = 0.0f;
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const auto& file = peaks[columns[c]];
            const auto it = std::find_if(file.begin(), file.end(),
                                         [&](const PeakOf& pk) { return pk.dynres == order[r]; });
            if (it == file.end() || !std::isfinite(it->value)) {
                t.rows[r].emplace_back();
                continue;
            }
            t.rows[r].push_back(number_text(it->value));
            if (best == std::string::npos || governs(it->value, best_value, p.sign)) {
                best = c + 2;
                best_value = it->value;
            }
        }
        t.marked.push_back(best);
    }
    return t;
}

// The columns of `rows` (as `columns` names them) but those in `drop`, as
// text.
pictures::Table table_of(const std::vector<std::string>& columns, const std::vector<Row>& rows,
                         const std::vector<std::string>& drop) {
    pictures::Table t;
    std::vector<std::size_t> keep;
    for (std::size_t c = 0; c < columns.size(); ++c) {
        if (std::find(drop.begin(), drop.end(), columns[c]) != drop.end()) continue;
        keep.push_back(c);
        t.header.push_back(columns[c]);
    }
    for (const Row& row : rows) {
        std::vector<std::string> cells;
        for (const std::size_t c : keep) cells.push_back(c < row.size() ? cell_text(row[c]) : "");
        t.rows.push_back(std::move(cells));
    }
    return t;
}

// The index of the named column (columns.size() when there is none).
std::size_t column_of(const std::vector<std::string>& columns, std::string_view name) {
    return static_cast<std::size_t>(std::find(columns.begin(), columns.end(), name) -
                                    columns.begin());
}

// Whether every row has the same cell in column c (so the file's header can
// say it once).
bool same_in_every_row(const std::vector<Row>& rows, std::size_t c) {
    for (const Row& row : rows) {
        if (c >= row.size() || cell_text(row[c]) != cell_text(rows.front()[c])) return false;
    }
    return true;
}

// The DEL table of one file, as pektor fatigue gives its rows (the window's
// times and samples are in the file's header).
pictures::TitledTable fatigue_table(const Params& p, const FileSeries& f,
                                    std::vector<std::string>& notes) {
    pictures::TitledTable t;
    t.title = "Damage-equivalent loads";
    const FatigueOptions& o = p.fatigue;
    t.note = fmt::format(
        "Rainflow count of the window (ASTM E1049-85), {} cycles for the ranges left open; "
        "DEL_m = (sum n_i S_i^m / N_eq)^(1/m) with N_eq {}.",
        o.residuals == analysis::Residuals::half ? "half" : "full",
        o.neq ? "= " + pictures::short_number(*o.neq)
              : "the window's duration times " + pictures::short_number(o.feq) + " Hz");
    const FileResult r = fatigue_of(p, f.file, *window_source(p, f));
    if (!r.ok) {
        t.note += " Not counted: " + r.error;
        return t;
    }
    add_notes(notes, r.warnings);
    t.table = table_of(fatigue_columns(o), r.rows, {"file", "t_first", "t_last", "n"});
    return t;
}

// The extremes table of one file, as pektor extremes gives its rows.
pictures::TitledTable extremes_table(const Params& p, const FileSeries& f,
                                     std::vector<std::string>& notes) {
    const ExtremesOptions& o = p.extremes;
    pictures::TitledTable t;
    t.title = o.tail == analysis::Tail::min ? "Most probable minimum of a storm"
                                            : "Most probable maximum of a storm";
    t.note = fmt::format(
        "{} fitted to the {} between up-crossings of the mean in the window ({}), scaled to "
        "a storm of {} s (n_target peaks); mpm and p_<100q> of the Gumbel of the {}.",
        "Weibull", o.tail == analysis::Tail::min ? "troughs" : "peaks",
        o.weibull == analysis::WeibullMethod::pwm ? "probability-weighted moments"
                                                  : "mean, variance and skewness",
        pictures::short_number(o.duration), o.tail == analysis::Tail::min ? "smallest" : "largest");
    const FileResult r = extremes_of(p, f.file, *window_source(p, f));
    if (!r.ok) {
        t.note += " Not fitted: " + r.error;
        return t;
    }
    add_notes(notes, r.warnings);
    t.table = table_of(extremes_columns(o), r.rows,
                       {"file", "sign", "t_first", "t_last", "duration", "wloc", "wscale", "gloc"});
    return t;
}

// One file's series of one DynRes reduced for the charts across files: of
// the samples in each of a few hundred columns of its time range the first,
// last, smallest and largest, so every extreme stays.
struct Reduced {
    std::int32_t dynres = 0;
    std::string label;
    std::vector<float> times, values;
    pictures::Peak peak;
};

constexpr int kReducedColumns = 600;
// Up to this many files a chart across files draws every series; beyond,
// their envelope and the governing file's series.
constexpr std::size_t kOverlayFiles = 8;

Reduced reduced_of(const FileSeries& f, std::size_t j) {
    Reduced r{f.numbers[j], f.labels[j], {}, {}, f.peaks[j]};
    const std::vector<float>& t = f.full.times;
    const std::vector<float>& v = f.full.values[j];
    if (t.empty()) return r;
    for (const std::size_t i :
         pictures::reduce_columns(t, v, t.front(), t.back(), kReducedColumns)) {
        r.times.push_back(t[i]);
        r.values.push_back(v[i]);
    }
    return r;
}

// The largest and smallest value of the series in each of `columns` equal
// parts of their common time range, at the parts' middles; NaN where no
// series has a sample.
std::array<Reduced, 2> envelope_of(const std::vector<const Reduced*>& series, int columns) {
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (const Reduced* r : series) {
        if (r->times.empty()) continue;
        lo = std::min(lo, static_cast<double>(r->times.front()));
        hi = std::max(hi, static_cast<double>(r->times.back()));
    }
    std::array<Reduced, 2> env;
    if (!(lo < hi)) return env;
    const auto n = static_cast<std::size_t>(columns);
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> top(n, kNaN), bottom(n, kNaN);
    for (const Reduced* r : series) {
        for (std::size_t i = 0; i < r->times.size(); ++i) {
            const float v = r->values[i];
            if (!std::isfinite(v)) continue;
            const double at = (r->times[i] - lo) / (hi - lo) * static_cast<double>(n);
            const std::size_t b = std::min(n - 1, static_cast<std::size_t>(std::max(0.0, at)));
            if (!(top[b] >= v)) top[b] = v;
            if (!(bottom[b] <= v)) bottom[b] = v;
        }
    }
    for (std::size_t b = 0; b < n; ++b) {
        const auto t = static_cast<float>(lo + (hi - lo) * (static_cast<double>(b) + 0.5) /
                                                   static_cast<double>(n));
        env[0].times.push_back(t);
        env[1].times.push_back(t);
    }
    env[0].values = std::move(top);
    env[1].values = std::move(bottom);
    return env;
}

// One chart per DynRes across the files (in the order first selected):
// every file's series with its peak, or beyond kOverlayFiles the envelope of
// all and the series of the governing file.
std::vector<pictures::Figure> across_figures(const Params& p,
                                             const std::vector<std::vector<Reduced>>& reduced,
                                             const pictures::Layout& layout) {
    std::vector<std::int32_t> order;
    for (const auto& file : reduced) {
        for (const Reduced& r : file) {
            if (std::find(order.begin(), order.end(), r.dynres) == order.end())
                order.push_back(r.dynres);
        }
    }
    std::vector<pictures::Figure> figures;
    for (const std::int32_t k : order) {
        std::vector<const Reduced*> series;
        std::vector<std::size_t> file_of;
        std::size_t best = 0;
        for (std::size_t i = 0; i < reduced.size(); ++i) {
            for (const Reduced& r : reduced[i]) {
                if (r.dynres != k) continue;
                // The first of equal peaks governs; a series without a peak never.
                if (std::isfinite(r.peak.value) &&
                    (series.empty() || !std::isfinite(series[best]->peak.value) ||
                     governs(r.peak.value, series[best]->peak.value, p.sign)))
                    best = series.size();
                series.push_back(&r);
                file_of.push_back(i);
            }
        }
        pictures::Panel panel{k, panel_title(p, series.front()->label), {}};
        std::array<Reduced, 2> env;
        const bool envelope = series.size() > kOverlayFiles;
        const auto trace = [&](const Reduced& r, std::string name, bool own) {
            panel.traces.push_back(pictures::Trace{std::move(name), r.times, r.values,
                                                   own ? std::optional(r.peak) : std::nullopt,
                                                   std::nullopt, !own});
        };
        if (envelope) {
            env = envelope_of(series, kReducedColumns);
            trace(*series[best], p.files[file_of[best]], true);
            trace(env[0], fmt::format("largest and smallest of {} files", series.size()), false);
            trace(env[1], fmt::format("largest and smallest of {} files", series.size()), false);
        } else {
            for (std::size_t s = 0; s < series.size(); ++s)
                trace(*series[s], p.files[file_of[s]], true);
        }
        pictures::Figure fig;
        fig.id = fmt::format("across-d{}", k);
        const pictures::Peak& pk = series[best]->peak;
        fig.caption =
            std::isfinite(pk.value)
                ? fmt::format("DynRes {}: {} file{}; the peak ({}) governs in {}: {} at t = {} s",
                              k, series.size(), series.size() == 1 ? "" : "s", sign_name(p.sign),
                              p.files[file_of[best]], pictures::short_number(pk.value),
                              pictures::short_number(pk.time))
                : fmt::format("DynRes {}: {} files; no sample that is a finite number", k,
                              series.size());
        fig.svg = pictures::render_svg(std::span(&panel, 1), shaded(p), layout);
        figures.push_back(std::move(fig));
    }
    return figures;
}

}  // namespace

std::string default_plot_output(const std::string& first_file) {
    std::string stem = fs::path(first_file).stem().string();
    if (stem.empty() || stem == "." || stem == "..") stem = "plot";
    return stem + ".svg";
}

std::string shell_line(int argc, const char* const* argv) {
    std::string line;
    for (int i = 0; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (i > 0) line += ' ';
        const bool plain = !a.empty() && a.find_first_not_of(
                                             "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                             "0123456789-_./:=,+@%") == std::string_view::npos;
        if (plain) {
            line += a;
            continue;
        }
        line += '\'';
        for (const char c : a) {
            if (c == '\'') {
                line += "'\\''";
            } else {
                line += c;
            }
        }
        line += '\'';
    }
    return line;
}

int run_plot(const Params& p, bool terminal, std::ostream& out, std::ostream& err) {
    const std::string prefix = "pektor plot: ";
    if (p.output_is_default && !p.force) {
        std::error_code ec;
        if (fs::exists(p.output, ec)) {
            err << prefix << p.output
                << ": exists; give --force to replace it or -o for another name\n";
            return 1;
        }
    }

    std::vector<FileSeries> read(p.files.size());
    std::vector<char> ok(p.files.size(), 0);
    Progress progress(terminal && !p.quiet && p.files.size() > 1, p.files.size(), err);
    std::vector<reader::ReadBuffers> buffers(worker_count(p.jobs, p.files.size()));
    run_each(
        p.jobs, p.files.size(),
        [&](std::size_t i, std::size_t w) {
            const std::string why =
                guarded([&] { ok[i] = read_file(p, p.files[i], read[i], buffers[w]) ? 1 : 0; });
            if (!why.empty()) {
                ok[i] = 0;
                read[i] = FileSeries{};
                read[i].error = why;
            }
        },
        {}, progress);
    progress.clear();
    std::vector<const FileSeries*> files;
    std::size_t failed = 0;
    for (std::size_t i = 0; i < read.size(); ++i) {
        if (ok[i] != 0) {
            files.push_back(&read[i]);
            if (!p.quiet) {
                for (const std::string& w : read[i].warnings)
                    err << prefix << p.files[i] << ": " << w << '\n';
            }
        } else {
            err << printable(prefix + p.files[i] + ": " + read[i].error) << '\n';
            ++failed;
        }
    }
    if (files.empty()) {
        err << prefix << "no file could be read\n";
        return 1;
    }

    // One panel per DynRes number, in the order first selected; each file
    // that has it gives a series.
    std::vector<pictures::Panel> panels;
    std::vector<const std::string*> panel_file;  // the file that gave the title
    for (const FileSeries* f : files) {
        for (std::size_t j = 0; j < f->numbers.size(); ++j) {
            auto it = std::find_if(panels.begin(), panels.end(), [&](const pictures::Panel& q) {
                return q.dynres == f->numbers[j];
            });
            if (it == panels.end()) {
                panels.push_back(pictures::Panel{f->numbers[j], panel_title(p, f->labels[j]), {}});
                panel_file.push_back(&f->file);
                it = std::prev(panels.end());
            } else if (it->label != panel_title(p, f->labels[j]) && !p.quiet) {
                err << printable(prefix + f->file + ": DynRes " + std::to_string(f->numbers[j]) +
                                 " is \"" + f->labels[j] + "\" here but \"" + it->label + "\" in " +
                                 *panel_file[static_cast<std::size_t>(it - panels.begin())])
                    << '\n';
            }
            it->traces.push_back(pictures::Trace{f->file, f->full.times, f->full.values[j],
                                                 f->peaks[j], mean_of(f->stats[j])});
        }
    }
    pictures::Layout layout;
    layout.overlay = p.overlay;
    layout.zoom = p.zoom;
    layout.inset = p.inset;
    layout.heading = heading(p);
    layout.panel_height = panels.size() <= 3 || p.overlay ? 220 : 160;
    const std::string svg = pictures::render_svg(panels, shaded(p), layout);
    if (!write_text(p, svg, out, err)) return 1;
    return failed > 0 ? 2 : 0;
}

namespace {

// What one file gives the report: its section, its warnings, its peaks for
// the matrix and its series reduced for the charts across files.
struct FileReport {
    pictures::FileSection section;
    std::vector<std::string> notes;
    std::vector<PeakOf> peaks;
    std::vector<Reduced> reduced;
};

// The small pictures of the files' sections: three side by side on A4
// (about 60 mm each) keep their text at 7 pt or more.
pictures::Layout small_layout(const Params& p) {
    pictures::Layout small;
    small.width = 300;
    small.panel_height = 100;
    small.font_size = 13;
    small.legend = false;
    small.xml_declaration = false;
    small.heading = heading(p);
    return small;
}

// The line under a file's name: its steps, time range, duration and time
// step, and the window's first and last time (and samples, when every
// DynRes has them all).
std::string file_summary(const Params& p, const FileSeries& f, bool same_n) {
    const std::vector<std::string> columns = command_columns("stats");
    const auto cell = [&](std::string_view name) {
        return cell_text(f.rows.front().at(column_of(columns, name)));
    };
    const std::size_t n = f.full.times.size();
    const double t0 = f.full.times.front(), t1 = f.full.times.back();
    return fmt::format(
        "{} steps from t = {} to {} s (duration {} s, time step {} s); statistics over {}. "
        "The window: t = {} to {} s{}.",
        n, pictures::short_number(t0), pictures::short_number(t1), pictures::short_number(t1 - t0),
        n > 1 ? pictures::short_number((t1 - t0) / static_cast<double>(n - 1)) : "-",
        p.window_text.empty() ? "the whole series" : "window " + p.window_text + " s",
        cell("t_first"), cell("t_last"), same_n ? ", " + cell("n") + " samples" : std::string());
}

// The picture of DynRes j of file i with its caption, its spectrum and
// histogram.
pictures::Figure dynres_figure(const Params& p, std::size_t i, const FileSeries& f, std::size_t j,
                               const pictures::Layout& layout) {
    const pictures::Panel panel{
        f.numbers[j],
        panel_title(p, f.labels[j]),
        {pictures::Trace{f.file, f.full.times, f.full.values[j], f.peaks[j], mean_of(f.stats[j])}}};
    const pictures::Peak& pk = f.peaks[j];
    pictures::Figure fig;
    fig.id = fmt::format("f{}-d{}", i + 1, f.numbers[j]);
    fig.caption =
        f.stats[j].n == 0
            ? fmt::format("DynRes {}: no sample that is a finite number", f.numbers[j])
            : fmt::format("DynRes {}: peak ({}) {} at t = {} s; mean {}", f.numbers[j],
                          sign_name(p.sign), pictures::short_number(pk.value),
                          pictures::short_number(pk.time), pictures::short_number(f.stats[j].mean));
    fig.svg = pictures::render_svg(std::span(&panel, 1), shaded(p), layout);
    fig.analyses = analyses_of(p, f.full, j, f.labels[j]);
    return fig;
}

// Reads file i and draws its section; its series are let go when done.
void report_file(const Params& p, std::size_t i, reader::ReadBuffers& buffers, FileReport& out) {
    const std::string& file = p.files[i];
    pictures::FileSection& section = out.section;
    section.name = file;
    FileSeries f;
    if (!read_file(p, file, f, buffers)) {
        section.error = f.error.empty() ? "cannot be read" : f.error;
        return;
    }
    out.notes = std::move(f.warnings);
    // The window's first and last time, and its samples when every DynRes
    // has them all, are said once in the header.
    const std::vector<std::string> columns = command_columns("stats");
    std::vector<std::string> drop{"file", "t_first", "t_last"};
    const bool same_n = same_in_every_row(f.rows, column_of(columns, "n"));
    if (same_n) drop.push_back("n");
    section.table = table_of(columns, f.rows, drop);
    section.summary = file_summary(p, f, same_n);
    for (const Row& row : f.rows)
        section.table.anchors.push_back(fmt::format("f{}-d{}", i + 1, cell_text(row[1])));
    if (p.report_fatigue) section.more.push_back(fatigue_table(p, f, out.notes));
    if (p.report_extremes) section.more.push_back(extremes_table(p, f, out.notes));
    const pictures::Layout small = small_layout(p);
    for (std::size_t j = 0; j < f.numbers.size(); ++j) {
        out.peaks.push_back({f.numbers[j], f.labels[j], f.peaks[j].value});
        section.figures.push_back(dynres_figure(p, i, f, j, small));
        if (p.files.size() > 1) out.reduced.push_back(reduced_of(f, j));
    }
}

// The matrix of the peaks and the charts across the files (the files'
// peaks and reduced series are moved out).
void compare_files(const Params& p, std::vector<FileReport>& files, pictures::Report& r) {
    std::vector<std::vector<PeakOf>> peaks;
    std::vector<std::vector<Reduced>> reduced;
    for (FileReport& f : files) {
        peaks.push_back(std::move(f.peaks));
        reduced.push_back(std::move(f.reduced));
    }
    r.matrix_title = fmt::format("Peaks ({}) of each DynRes across the files", sign_name(p.sign));
    r.matrix = compare_peaks(p, peaks);
    for (const auto& row : r.matrix.rows) r.matrix.anchors.push_back("across-d" + row.front());
    pictures::Layout wide = small_layout(p);
    // Two side by side on A4 (about 90 mm each) keep their text at 7 pt.
    wide.width = 500;
    wide.font_size = 14;
    wide.panel_height = 150;
    wide.legend = true;
    r.across_title = "Each DynRes across the files";
    r.across_note = fmt::format(
        "Up to {} files every file's series with its peak; beyond, the largest and smallest "
        "value of all files at each time and the series of the file whose peak governs.",
        kOverlayFiles);
    r.across = across_figures(p, reduced, wide);
}

}  // namespace

int run_report(const Params& p, bool terminal, std::ostream& out, std::ostream& err) {
    const std::string prefix = "pektor report: ";
    pictures::Report r;
    r.command_line = p.command_line;
    r.date = utc_now();
    r.note = settings_note(p);

    // The files' sections, read and drawn in parallel.
    std::vector<FileReport> files(p.files.size());
    std::vector<reader::ReadBuffers> buffers(worker_count(p.jobs, p.files.size()));
    Progress progress(terminal && !p.quiet && p.files.size() > 1, p.files.size(), err);
    run_each(
        p.jobs, p.files.size(),
        [&](std::size_t i, std::size_t w) {
            const std::string why = guarded([&] { report_file(p, i, buffers[w], files[i]); });
            if (!why.empty()) {
                files[i] = FileReport{};
                files[i].section.name = p.files[i];
                files[i].section.error = why;
            }
        },
        {}, progress);
    progress.clear();
    std::size_t failed = 0;
    for (const FileReport& f : files) {
        if (!p.quiet) {
            for (const std::string& w : f.notes)
                err << prefix << f.section.name << ": " << w << '\n';
        }
        if (f.section.error.empty()) continue;
        err << printable(prefix + f.section.name + ": " + f.section.error) << '\n';
        ++failed;
    }
    if (failed == p.files.size()) {
        err << prefix << "no file could be read\n";
        return 1;
    }
    if (p.files.size() - failed > 1) compare_files(p, files, r);
    for (FileReport& f : files) r.files.push_back(std::move(f.section));
    if (!write_text(p, pictures::render_html(r), out, err)) return 1;
    return failed > 0 ? 2 : 0;
}

}  // namespace batch
