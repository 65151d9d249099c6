#include "batch/commands.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "analysis/combination.h"
#include "batch/stats.h"
#include "io/listin.h"
#include "io/text.h"
#include "io/units.h"
#include "raflib/files.h"

namespace batch {

std::string no_sample_text(const Params& p, const FileContents& c) {
    // Without a window the whole series is asked for: nothing in it means
    // the file has no result steps at all.
    if (p.window_text.empty() && c.steps == 0) return "the file has no result steps";
    return "no sample in the window " + (p.window_text.empty() ? std::string(":") : p.window_text);
}

namespace {

constexpr std::int32_t kComboUnit = ops::kInputUnit;
constexpr double kTinyReference = 1.0E-30;

std::string no_sample(const Params& p, const FileContents& c) {
    return no_sample_text(p, c);
}

const std::string& label_of(const FileContents& c, std::int32_t k) {
    return c.dynres[static_cast<std::size_t>(k - 1)].label;
}

// A file's source, the DynRes selected in it and (once read) their series in
// the window.
struct Selected {
    std::unique_ptr<SeriesSource> src;
    std::vector<std::int32_t> numbers;
    WindowSeries ws;
};

// Opens the file and resolves the list; false with r.error set.
bool open_and_select(const Params& p, const std::string& file, Selected& s, FileResult& r,
                     reader::ReadBuffers* buffers) {
    s.src = open_series(file, p.filter, r.error, buffers);
    if (!s.src) return false;
    return resolve_channels(p.channels, s.src->contents(), s.numbers, r.error);
}

bool read_window(const Params& p, SeriesSource& src, std::span<const std::int32_t> numbers,
                 WindowSeries& ws, FileResult& r) {
    if (!src.read(p.window, numbers, ws, r.error)) return false;
    if (ws.times.empty()) {
        r.error = no_sample(p, src.contents());
        return false;
    }
    return true;
}

// The warning for samples that are not finite numbers, left out of a
// series' figures.
void left_out(FileResult& r, const std::string& what, std::int64_t count) {
    if (count > 0) {
        r.warnings.push_back(what + ": " + std::to_string(count) +
                             " samples that are not finite numbers left out");
    }
}

std::string read_problem(int st) {
    if (st == io::kIostatEnd) return "the file ends before this item is complete";
    return io::iostat_text(st);
}

// "7", "7-9", "3,7-9": the numbers (ascending) with runs joined.
std::string number_runs(std::span<const std::int32_t> numbers) {
    std::string s;
    for (std::size_t i = 0; i < numbers.size();) {
        std::size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
        if (!s.empty()) s += ',';
        s += std::to_string(numbers[i]);
        if (j > i) s += "-" + std::to_string(numbers[j]);
        i = j + 1;
    }
    return s;
}

// The coincident DynRes that the file has, item by item; what it lacks is
// said in `missing` (empty when it lacks none).
void resolve_coincident(const ChannelList& list, const FileContents& file,
                        std::vector<std::int32_t>& numbers, std::string& missing) {
    const auto n = static_cast<std::int32_t>(file.dynres.size());
    std::vector<std::string> lacks;
    std::vector<std::int32_t> one;
    std::vector<bool> taken(static_cast<std::size_t>(n) + 1, false);
    for (const ChannelItem& item : list.items) {
        ChannelItem have = item;
        if (item.kind == ChannelItem::Kind::range && item.to > n) {
            const std::int32_t from = std::max(item.from, n + 1);
            lacks.push_back("no DynRes " + std::to_string(from) +
                            (item.to > from ? "-" + std::to_string(item.to) : std::string()) +
                            " (the file has " + std::to_string(n) + ")");
            if (item.from > n) continue;
            have.to = n;
        }
        std::string error;
        if (!resolve_channels(ChannelList{{have}}, file, one, error)) {
            lacks.push_back(error);
            continue;
        }
        for (const std::int32_t k : one) {
            if (!taken[static_cast<std::size_t>(k)]) numbers.push_back(k);
            taken[static_cast<std::size_t>(k)] = true;
        }
    }
    missing.clear();
    for (const std::string& l : lacks) missing += (missing.empty() ? "" : "; ") + l;
}

std::string trimmed(std::string_view s) {
    const std::string_view t = io::trim_right(s);
    const auto b = t.find_first_not_of(' ');
    return b == std::string_view::npos ? std::string() : std::string(t.substr(b));
}

}  // namespace

std::vector<std::string> command_columns(const std::string& command) {
    std::vector<std::string> c;
    const auto stats = [&] {
        c.insert(c.end(), std::begin(kStatsColumns), std::end(kStatsColumns));
    };
    if (command == "list") {
        c = {"file", "dynres", "label", "steps", "t_first", "t_last"};
    } else if (command == "stats") {
        c = {"file", "dynres", "label"};
        stats();
    } else if (command == "peak") {
        c = {"file", "dynres", "label", "sign", "peak", "t_peak", "n"};
    } else if (command == "daf") {
        c = {"file", "ref", "dynres", "label", "peak_ref", "t_ref", "peak", "t_peak", "daf"};
    } else if (command == "vector") {
        c = {"file", "dynres_a", "dynres_b"};
        stats();
    } else if (command == "combine") {
        c = {"file", "component", "description"};
        stats();
    } else if (command == "fatigue") {
        static const FatigueOptions defaults;
        c = fatigue_columns(defaults);
    }
    return c;
}

bool looks_like_dyn_file(const std::string& file) {
    return raflib::looks_like_raflib_file(file);
}

FileResult list_file(const Params& p, const std::string& file, reader::ReadBuffers* buffers) {
    FileResult r;
    Selected s;
    if (!open_and_select(p, file, s, r, buffers)) return r;
    const FileContents& c = s.src->contents();
    for (const std::int32_t k : s.numbers) {
        Row row{file, std::int64_t{k}, label_of(c, k), std::int64_t{c.steps}};
        if (c.steps > 0) {
            row.emplace_back(c.t_first);
            row.emplace_back(c.t_last);
        } else {
            row.emplace_back(std::monostate{});
            row.emplace_back(std::monostate{});
        }
        r.rows.push_back(std::move(row));
    }
    r.ok = true;
    return r;
}

FileResult stats_file(const Params& p, const std::string& file, reader::ReadBuffers* buffers) {
    FileResult r;
    Selected sel;
    if (!open_and_select(p, file, sel, r, buffers)) return r;
    // Streamed: no series is kept, whatever the number of DynRes.
    std::vector<SeriesStats> stats;
    std::vector<StatsTimes> times;
    if (!stream_stats(*sel.src, p.window, sel.numbers, p.moments, stats, times, r.error)) return r;
    if (!times.empty() && times.front().samples == 0) {
        r.error = no_sample(p, sel.src->contents());
        return r;
    }
    for (std::size_t j = 0; j < sel.numbers.size(); ++j) {
        Row row{file, std::int64_t{sel.numbers[j]}, label_of(sel.src->contents(), sel.numbers[j])};
        append_stats(row, stats[j], times[j], true);
        r.rows.push_back(std::move(row));
        left_out(r, "DynRes " + std::to_string(sel.numbers[j]), times[j].samples - stats[j].n);
    }
    r.ok = true;
    return r;
}

FileResult peak_file(const Params& p, const std::string& file, reader::ReadBuffers* buffers) {
    FileResult r;
    Selected sel;
    if (!open_and_select(p, file, sel, r, buffers)) return r;
    auto& [src, numbers, ws] = sel;
    // A coincident DynRes that this file lacks leaves its cells empty.
    std::vector<std::int32_t> coincident;
    std::string missing;
    resolve_coincident(p.coincident, src->contents(), coincident, missing);
    if (!missing.empty()) r.warnings.push_back("--coincident: " + missing + "; left empty");
    std::vector<std::int32_t> all = numbers;
    all.insert(all.end(), coincident.begin(), coincident.end());
    if (!read_window(p, *src, all, ws, r)) return r;
    for (std::size_t j = 0; j < numbers.size(); ++j) {
        const std::vector<float>& x = ws.values[j];
        const std::int64_t used = finite_count(x);
        Row row{file, std::int64_t{numbers[j]}, label_of(src->contents(), numbers[j]),
                std::string(sign_name(p.sign))};
        const std::optional<std::size_t> at = finite_peak_index(x, p.sign);
        if (at) {
            row.emplace_back(peak_value(x[*at], p.sign));
            row.emplace_back(ws.times[*at]);
        } else {
            // No finite sample: no peak, and no sample for coincident values.
            row.resize(row.size() + 2);
        }
        row.emplace_back(used);
        for (std::size_t c = 0; c < coincident.size(); ++c) {
            row.emplace_back(std::int64_t{coincident[c]});
            if (at) {
                row.emplace_back(ws.values[numbers.size() + c][*at]);
            } else {
                row.emplace_back(std::monostate{});
            }
        }
        r.rows.push_back(std::move(row));
        left_out(r, "DynRes " + std::to_string(numbers[j]),
                 static_cast<std::int64_t>(x.size()) - used);
    }
    r.ok = true;
    return r;
}

void coincident_rows(std::vector<FileResult>& results, std::vector<std::string>& columns,
                     std::vector<Row>& rows) {
    constexpr std::size_t kBase = 7;
    std::vector<std::int64_t> order;
    for (const FileResult& fr : results) {
        for (const Row& row : fr.rows) {
            for (std::size_t c = kBase; c + 1 < row.size(); c += 2) {
                const std::int64_t k = std::get<std::int64_t>(row[c]);
                if (std::find(order.begin(), order.end(), k) == order.end()) order.push_back(k);
            }
        }
    }
    for (const std::int64_t k : order) columns.push_back("c" + std::to_string(k));
    for (FileResult& fr : results) {
        for (Row& row : fr.rows) {
            Row out(row.begin(),
                    row.begin() + static_cast<std::ptrdiff_t>(std::min(kBase, row.size())));
            out.resize(kBase + order.size());
            for (std::size_t c = kBase; c + 1 < row.size(); c += 2) {
                const std::int64_t k = std::get<std::int64_t>(row[c]);
                const auto at = std::find(order.begin(), order.end(), k) - order.begin();
                out[kBase + static_cast<std::size_t>(at)] = row[c + 1];
            }
            rows.push_back(std::move(out));
        }
    }
}

bool reference_peaks(const Params& p, ReferencePeaks& ref, std::string& error) {
    const auto src = open_source(p.ref, error);
    if (!src) return false;
    ref.contents = src->contents();
    const auto n = static_cast<std::int32_t>(ref.contents.dynres.size());
    ref.peak.assign(static_cast<std::size_t>(n), 0.0f);
    ref.time.assign(static_cast<std::size_t>(n), 0.0f);
    ref.found.assign(static_cast<std::size_t>(n), 0);
    // A few series at a time: the reference may be large.
    constexpr std::int32_t kChunk = 16;
    for (std::int32_t from = 1; from <= n; from += kChunk) {
        std::vector<std::int32_t> numbers;
        for (std::int32_t k = from; k <= std::min(n, from + kChunk - 1); ++k) numbers.push_back(k);
        WindowSeries ws;
        if (!src->read(p.window, numbers, ws, error)) return false;
        if (ws.times.empty()) {
            error = no_sample(p, ref.contents);
            return false;
        }
        for (std::size_t j = 0; j < numbers.size(); ++j) {
            const auto k = static_cast<std::size_t>(numbers[j] - 1);
            const std::optional<std::size_t> i = finite_peak_index(ws.values[j], p.sign);
            ref.found[k] = i ? 1 : 0;
            if (!i) continue;
            ref.peak[k] = peak_value(ws.values[j][*i], p.sign);
            ref.time[k] = ws.times[*i];
        }
    }
    return true;
}

FileResult daf_file(const Params& p, const std::string& file, reader::ReadBuffers* buffers) {
    FileResult r;
    Selected sel;
    if (!open_and_select(p, file, sel, r, buffers)) return r;
    auto& [src, numbers, ws] = sel;
    const ReferencePeaks& ref = p.reference;
    const auto nref = static_cast<std::int32_t>(ref.contents.dynres.size());
    // A DynRes that the reference lacks has no reference peak and no DAF.
    std::vector<std::int32_t> beyond;
    for (const std::int32_t k : numbers) {
        if (k > nref) beyond.push_back(k);
    }
    if (!beyond.empty()) {
        std::sort(beyond.begin(), beyond.end());
        r.warnings.push_back("no DynRes " + number_runs(beyond) + " in the reference file " +
                             p.ref + " (it has " + std::to_string(nref) +
                             "); peak_ref, t_ref and daf left empty");
    }
    if (!read_window(p, *src, numbers, ws, r)) return r;
    for (std::size_t j = 0; j < numbers.size(); ++j) {
        const std::int32_t k = numbers[j];
        const std::string& label = label_of(src->contents(), k);
        const std::vector<float>& x = ws.values[j];
        const std::optional<std::size_t> i = finite_peak_index(x, p.sign);
        const auto kk = static_cast<std::size_t>(k - 1);
        if (k <= nref) {
            const std::string& ref_label = label_of(ref.contents, k);
            if (label != ref_label) {
                r.warnings.push_back("DynRes " + std::to_string(k) + " is \"" + label +
                                     "\" here but \"" + ref_label + "\" in " + p.ref);
            }
        }
        // No reference peak: a DynRes the reference lacks, or one without a
        // finite sample there.
        const bool has_ref = k <= nref && (ref.found.empty() || ref.found[kk] != 0);
        Row row{file, p.ref, std::int64_t{k}, label};
        if (has_ref) {
            row.emplace_back(ref.peak[kk]);
            row.emplace_back(ref.time[kk]);
        } else {
            row.resize(row.size() + 2);
        }
        // A series without a finite sample has no peak: empty cells.
        if (i) {
            row.emplace_back(peak_value(x[*i], p.sign));
            row.emplace_back(ws.times[*i]);
        } else {
            row.resize(row.size() + 2);
        }
        if (i && has_ref && std::fabs(static_cast<double>(ref.peak[kk])) > kTinyReference) {
            row.emplace_back(static_cast<double>(peak_value(x[*i], p.sign)) /
                             static_cast<double>(ref.peak[kk]));
        } else {
            row.emplace_back(std::monostate{});
        }
        r.rows.push_back(std::move(row));
        left_out(r, "DynRes " + std::to_string(k),
                 static_cast<std::int64_t>(x.size()) - finite_count(x));
    }
    r.ok = true;
    return r;
}

FileResult vector_file(const Params& p, const std::string& file, reader::ReadBuffers* buffers) {
    FileResult r;
    auto src = open_series(file, p.filter, r.error, buffers);
    if (!src) return r;
    // Each of the two items names one DynRes.
    std::vector<std::int32_t> pair;
    for (const ChannelItem& item : p.channels.items) {
        std::vector<std::int32_t> one;
        if (!resolve_channels(ChannelList{{item}}, src->contents(), one, r.error)) return r;
        if (one.size() != 1) {
            r.error = "'" + item.pattern + "' matches " + std::to_string(one.size()) +
                      " DynRes labels; one is needed";
            return r;
        }
        pair.push_back(one.front());
    }
    WindowSeries ws;
    if (!read_window(p, *src, pair, ws, r)) return r;
    std::vector<double> length(ws.times.size());
    for (std::size_t i = 0; i < length.size(); ++i) {
        length[i] = analysis::vector_length(ws.values[0][i], ws.values[1][i]);
    }
    const SeriesStats s = series_stats(length, ws.times, p.moments);
    Row row{file, std::int64_t{pair[0]}, std::int64_t{pair[1]}};
    append_stats(row, s, ws.times, false);
    r.rows.push_back(std::move(row));
    left_out(r,
             "the vector of DynRes " + std::to_string(pair[0]) + " and " + std::to_string(pair[1]),
             static_cast<std::int64_t>(length.size()) - s.n);
    r.ok = true;
    return r;
}

bool read_combo_input(const std::string& file, ComboInput& combo, std::string& error) {
    std::istringstream keyboard;
    std::ostringstream console;
    io::Units units(keyboard, console);
    if (const int st = units.open_text(kComboUnit, file, io::OpenStatus::Old); st != 0) {
        error = "cannot be opened";
        return false;
    }
    ops::InputError e;
    if (!ops::read_groups(units, kComboUnit, combo.groups, e)) {
        error = e.item + ": " + e.problem;
        return false;
    }
    std::string line;
    if (const int st = units.read_line(kComboUnit, line); st != 0) {
        error = "number of components: " + read_problem(st);
        return false;
    }
    combo.components.clear();
    if (io::is_blank(line)) return true;
    std::int32_t count = 0;
    if (!ops::component_count(line, count, e)) {
        error = e.item + ": " + e.problem;
        return false;
    }
    for (std::int32_t k = 1; k <= count; ++k) {
        Component c;
        const std::string number = std::to_string(k);
        if (const int st = units.read_line(kComboUnit, line); st != 0) {
            error = "descriptive text of component " + number + ": " + read_problem(st);
            return false;
        }
        c.description = trimmed(line);
        auto& f = c.factors;
        const std::array<io::ListItem, 6> items = {&f[0], &f[1], &f[2], &f[3], &f[4], &f[5]};
        if (const int st = units.read_list(kComboUnit, items); st != 0) {
            error = "transfer functions of component " + number + ": " + read_problem(st);
            return false;
        }
        combo.components.push_back(std::move(c));
    }
    return true;
}

FileResult combine_file(const Params& p, const std::string& file, reader::ReadBuffers* buffers) {
    FileResult r;
    auto src = open_series(file, p.filter, r.error, buffers);
    if (!src) return r;
    const ops::Groups& g = p.combo.groups;
    const auto nsel = static_cast<std::size_t>(g.selected());
    const std::vector<std::int32_t> numbers(g.dynres.begin(),
                                            g.dynres.begin() + static_cast<std::ptrdiff_t>(nsel));
    const auto ndynres = static_cast<std::int32_t>(src->contents().dynres.size());
    for (const std::int32_t k : numbers) {
        if (k < 1 || k > ndynres) {
            r.error = "no DynRes " + std::to_string(k) + " (the file has " +
                      std::to_string(ndynres) + ")";
            return r;
        }
    }
    WindowSeries ws;
    if (!read_window(p, *src, numbers, ws, r)) return r;
    const std::size_t n = ws.times.size();
    // The six resultants of every sample.
    const analysis::CombinationGroups groups{g.nr, g.nc, std::span<const double>(g.t)};
    std::vector<std::array<double, 6>> res(n);
    std::vector<double> values(nsel);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t c = 0; c < nsel; ++c) values[c] = ws.values[c][i];
        res[i] = analysis::resultants(groups, values);
    }
    std::vector<double> x(n);
    for (std::size_t k = 0; k < p.combo.components.size(); ++k) {
        const Component& comp = p.combo.components[k];
        for (std::size_t i = 0; i < n; ++i) x[i] = analysis::component(comp.factors, res[i]);
        const SeriesStats s = series_stats(x, ws.times, p.moments);
        Row row{file, static_cast<std::int64_t>(k + 1), comp.description};
        append_stats(row, s, ws.times, false);
        r.rows.push_back(std::move(row));
        left_out(r, "component " + std::to_string(k + 1), static_cast<std::int64_t>(n) - s.n);
    }
    r.ok = true;
    return r;
}

FileResult fatigue_file(const Params& p, const std::string& file, reader::ReadBuffers* buffers) {
    FileResult r;
    const std::unique_ptr<SeriesSource> src = open_series(file, p.filter, r.error, buffers);
    if (!src) return r;
    return fatigue_of(p, file, *src);
}

FileResult fatigue_of(const Params& p, const std::string& file, SeriesSource& src) {
    FileResult r;
    std::vector<std::int32_t> numbers;
    if (!resolve_channels(p.channels, src.contents(), numbers, r.error)) return r;
    // One count per DynRes, fed as the file is read: no series is kept.
    std::vector<FatigueSeries> series(numbers.size(), FatigueSeries(p.fatigue));
    std::int64_t samples = 0;
    const auto sink = [&](const SampleBlock& b) {
        samples += static_cast<std::int64_t>(b.count);
        for (std::size_t j = 0; j < series.size(); ++j) {
            FatigueSeries& s = series[j];
            for (std::size_t i = 0; i < b.count; ++i) s.push(b.time(i), b.value(i, j));
        }
    };
    if (!src.stream_blocks(p.window, numbers, sink, r.error)) return r;
    if (samples == 0) {
        r.error = no_sample(p, src.contents());
        return r;
    }
    for (std::size_t j = 0; j < numbers.size(); ++j) {
        const Row head{file, std::int64_t{numbers[j]}, label_of(src.contents(), numbers[j])};
        series[j].finish(head, "DynRes " + std::to_string(numbers[j]), r.rows, r.warnings);
    }
    r.ok = true;
    return r;
}

}  // namespace batch
