#include "batch/extremes.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <optional>
#include <string_view>

#include "batch/commands.h"
#include "batch/filter.h"
#include "batch/options.h"

namespace batch {

namespace {

using analysis::Tail;

// Samples taken series by series: a tile of the block stays in the cache
// while each series of it is run through.
constexpr std::size_t kTile = 256;

// A finite number that reads in full, or nullopt.
std::optional<double> number(std::string_view text) {
    double v = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

Cell optional_cell(const std::optional<double>& v) {
    if (v) return *v;
    return std::monostate{};
}

// Is x beyond `best` in the direction of the tail (the first of equal ones
// stays)?
bool beyond(double x, double best, Tail tail) {
    return tail == Tail::min ? x < best : x > best;
}

// The samples of the window in blocks, in step order. Every pass of the
// command reads through here, so that a step applied to the samples on
// their way in applies to every figure alike.
bool window_blocks(const Params& p, SeriesSource& src, std::span<const std::int32_t> numbers,
                   const SeriesSource::BlockSink& sink, std::string& error) {
    return src.stream_blocks(p.window, numbers, sink, error);
}

// What the first pass gives of one series.
struct FirstPass {
    double sum = 0.0;      // of the finite samples, in order, in double precision
    std::int64_t n = 0;    // finite samples
    float extreme = 0.0f;  // the largest (smallest) finite sample
    float t_extreme = 0.0f;
};

// The sample extremes of the window; `samples`, `t_first`, `t_last` of the
// window. False with r.error set.
bool first_pass(const Params& p, SeriesSource& src, std::span<const std::int32_t> numbers,
                std::vector<FirstPass>& out, std::int64_t& samples, float& t_first, float& t_last,
                FileResult& r) {
    const Tail tail = p.extremes.tail;
    out.assign(numbers.size(), FirstPass{});
    samples = 0;
    const auto sink = [&](const SampleBlock& b) {
        if (b.count == 0) return;
        if (samples == 0) t_first = b.time(0);
        t_last = b.time(b.count - 1);
        samples += static_cast<std::int64_t>(b.count);
        for (std::size_t start = 0; start < b.count; start += kTile) {
            const std::size_t end = std::min(b.count, start + kTile);
            for (std::size_t j = 0; j < out.size(); ++j) {
                FirstPass f = out[j];
                const float* at = b.sample(start) + b.columns[j];
                for (std::size_t i = start; i < end; ++i, at += b.stride) {
                    const float v = *at;
                    if (!std::isfinite(v)) continue;
                    if (f.n == 0 || beyond(v, f.extreme, tail)) {
                        f.extreme = v;
                        f.t_extreme = b.time(i);
                    }
                    f.sum += static_cast<double>(v);
                    ++f.n;
                }
                out[j] = f;
            }
        }
    };
    if (!window_blocks(p, src, numbers, sink, r.error)) return false;
    if (samples == 0) {
        r.error = no_sample_text(p, src.contents());
        return false;
    }
    return true;
}

void left_out(FileResult& r, std::int32_t k, std::int64_t count) {
    if (count > 0) {
        r.warnings.push_back("DynRes " + std::to_string(k) + ": " + std::to_string(count) +
                             " samples that are not finite numbers left out");
    }
}

const char* tail_name(Tail t) {
    return t == Tail::min ? "min" : "max";
}

}  // namespace

ExtremesOptions parse_extremes_options(const std::string& sign, const std::string& fit,
                                       const std::string& duration,
                                       std::span<const std::string> quantiles,
                                       const std::string& group) {
    ExtremesOptions o;
    const std::string s = sign.empty() ? std::string("max") : trim(sign);
    if (s == "max") {
        o.tail = Tail::max;
    } else if (s == "min") {
        o.tail = Tail::min;
    } else {
        throw UsageError("sign '" + sign + "' is not max or min");
    }
    if (!group.empty()) {
        try {
            o.group = std::make_shared<const std::regex>(group, std::regex::ECMAScript);
        } catch (const std::regex_error& e) {
            throw UsageError("--group '" + group + "' is not a regular expression: " + e.what());
        }
        o.group_text = group;
    }
    const std::string f = trim(fit);
    if (o.group) {
        if (f.empty() || f == "moments") {
            o.gumbel = analysis::GumbelMethod::moments;
        } else if (f == "mle") {
            o.gumbel = analysis::GumbelMethod::mle;
        } else if (f == "pwm" || f == "msm") {
            throw UsageError("--fit " + f +
                             " fits the peaks of one file; with --group give moments or mle");
        } else {
            throw UsageError("--fit '" + fit + "' is not moments or mle (with --group)");
        }
    } else {
        if (f.empty() || f == "pwm") {
            o.weibull = analysis::WeibullMethod::pwm;
        } else if (f == "msm") {
            o.weibull = analysis::WeibullMethod::msm;
        } else if (f == "moments" || f == "mle") {
            throw UsageError("--fit " + f + " fits the maxima of a group: give --group too");
        } else {
            throw UsageError("--fit '" + fit + "' is not pwm or msm");
        }
    }
    if (!duration.empty()) {
        const auto d = number(trim(duration));
        if (!d || !(*d > 0.0))
            throw UsageError("--duration '" + duration + "' is not a number of seconds above 0");
        o.duration = *d;
    }
    std::vector<std::string> given(quantiles.begin(), quantiles.end());
    if (given.empty()) given = {o.group ? "0.57,0.90" : "0.37,0.57,0.90"};
    for_each_item(given, "quantile", [&](const std::string& item) {
        const auto q = number(item);
        if (!q || !(*q > 0.0 && *q < 1.0))
            throw UsageError("quantile '" + item + "' is not a number between 0 and 1");
        const std::string column = fmt::format("p_{:.10g}", *q * 100.0);
        for (std::size_t k = 0; k < o.quantiles.size(); ++k) {
            if (o.quantile_columns[k] == column)
                throw UsageError("quantile '" + item + "' is given twice (" + column + ")");
        }
        o.quantiles.push_back(*q);
        o.quantile_columns.push_back(column);
    });
    return o;
}

std::vector<std::string> extremes_columns(const ExtremesOptions& o) {
    std::vector<std::string> c;
    if (o.group) {
        c = {"group", "dynres", "label", "sign", "n_files", "mean", "std", "gloc", "gscale", "mpm"};
        c.insert(c.end(), o.quantile_columns.begin(), o.quantile_columns.end());
        c.insert(c.end(), {"max", "file_max"});
    } else {
        c = {"file",     "dynres", "label",  "sign",   "n_peaks", "t_first", "t_last", "duration",
             "n_target", "wloc",   "wscale", "wshape", "gloc",    "gscale",  "mpm"};
        c.insert(c.end(), o.quantile_columns.begin(), o.quantile_columns.end());
        c.insert(c.end(), {"sample_max", "t_sample_max"});
    }
    return c;
}

std::optional<std::string> group_name(const std::regex& group, const std::string& file) {
    std::smatch m;
    if (!std::regex_search(file, m, group)) return std::nullopt;
    return m.prefix().str() + m.suffix().str();
}

FileResult extremes_file(const Params& p, const std::string& file, reader::ReadBuffers* buffers) {
    FileResult r;
    const std::unique_ptr<SeriesSource> src = open_series(file, p.filter, r.error, buffers);
    if (!src) return r;
    return extremes_of(p, file, *src);
}

FileResult extremes_of(const Params& p, const std::string& file, SeriesSource& src) {
    const ExtremesOptions& o = p.extremes;
    FileResult r;
    std::vector<std::int32_t> numbers;
    if (!resolve_channels(p.channels, src.contents(), numbers, r.error)) return r;
    const auto label = [&](std::int32_t k) {
        return src.contents().dynres[static_cast<std::size_t>(k - 1)].label;
    };
    std::vector<FirstPass> first;
    std::int64_t samples = 0;
    float t_first = 0.0f;
    float t_last = 0.0f;
    if (!first_pass(p, src, numbers, first, samples, t_first, t_last, r)) return r;

    if (o.group) {
        // Only the sample extremes: the groups are fitted once every file is read.
        if (!group_name(*o.group, file)) {
            r.warnings.push_back("--group '" + o.group_text +
                                 "' does not match the name; the file is a group of its own");
        }
        for (std::size_t j = 0; j < numbers.size(); ++j) {
            Row row{std::int64_t{numbers[j]}, label(numbers[j])};
            if (first[j].n > 0) {
                row.emplace_back(first[j].extreme);
            } else {
                row.emplace_back(std::monostate{});
            }
            r.rows.push_back(std::move(row));
            left_out(r, numbers[j], samples - first[j].n);
        }
        r.ok = true;
        return r;
    }

    // Second pass: the peaks between up-crossings of each series' mean.
    std::vector<analysis::PeakCollector> peaks;
    peaks.reserve(numbers.size());
    for (const FirstPass& f : first) {
        peaks.emplace_back(f.n > 0 ? f.sum / static_cast<double>(f.n) : 0.0, o.tail);
    }
    // Series by series over tiles of samples that stay in the cache.
    const auto sink = [&](const SampleBlock& b) {
        for (std::size_t start = 0; start < b.count; start += kTile) {
            const std::size_t end = std::min(b.count, start + kTile);
            for (std::size_t j = 0; j < peaks.size(); ++j) {
                analysis::PeakCollector& c = peaks[j];
                const float* v = b.sample(start) + b.columns[j];
                for (std::size_t i = start; i < end; ++i, v += b.stride)
                    c.push(static_cast<double>(*v));
            }
        }
    };
    if (!window_blocks(p, src, numbers, sink, r.error)) return r;

    for (std::size_t j = 0; j < numbers.size(); ++j) {
        const std::int32_t k = numbers[j];
        const std::vector<double>& x = peaks[j].peaks();
        Row row{file,
                std::int64_t{k},
                label(k),
                std::string(tail_name(o.tail)),
                static_cast<std::int64_t>(x.size()),
                t_first,
                t_last,
                o.duration};
        std::string why;
        const auto n = analysis::storm_peak_count(o.duration, static_cast<double>(t_first),
                                                  static_cast<double>(t_last), x.size());
        const analysis::WeibullFit w = analysis::fit_weibull(x, o.weibull, o.tail);
        std::optional<analysis::Gumbel> g;
        if (!w.weibull) {
            why = w.reason;
        } else if (!n) {
            why = "the window has no length to scale the peaks to the storm";
        } else {
            const analysis::GumbelFit gf = analysis::gumbel_of_largest(*w.weibull, *n);
            g = gf.gumbel;
            if (!g) why = gf.reason;
        }
        row.push_back(optional_cell(n));
        if (w.weibull) {
            row.insert(row.end(), {w.weibull->loc, w.weibull->scale, w.weibull->shape});
        } else {
            row.resize(row.size() + 3);
        }
        if (g) {
            row.insert(row.end(), {g->loc, g->scale, g->loc});
            for (const double q : o.quantiles)
                row.push_back(optional_cell(analysis::gumbel_quantile(*g, q)));
        } else {
            row.resize(row.size() + 3 + o.quantiles.size());
        }
        if (first[j].n > 0) {
            row.insert(row.end(), {first[j].extreme, first[j].t_extreme});
        } else {
            row.resize(row.size() + 2);
        }
        r.rows.push_back(std::move(row));
        if (!why.empty())
            r.warnings.push_back("DynRes " + std::to_string(k) + ": " + why +
                                 "; fit cells left empty");
        left_out(r, k, samples - first[j].n);
    }
    r.ok = true;
    return r;
}

void extremes_group_rows(const ExtremesOptions& o, const std::vector<std::string>& files,
                         const std::vector<FileResult>& results, std::vector<Row>& rows,
                         std::vector<std::string>& warnings) {
    struct Series {
        std::int32_t dynres = 0;
        std::string label;  // of the first file that has it
        std::vector<double> values;
        std::vector<std::size_t> from;  // the file of each value
    };
    struct Group {
        std::string name;
        std::size_t files = 0;
        std::vector<Series> series;  // in the order first seen
    };
    std::vector<Group> groups;
    std::map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < files.size() && i < results.size(); ++i) {
        if (!results[i].ok) continue;
        const std::string name = group_name(*o.group, files[i]).value_or(files[i]);
        const auto [at, added] = index.emplace(name, groups.size());
        if (added) groups.push_back(Group{name, 0, {}});
        Group& g = groups[at->second];
        ++g.files;
        for (const Row& row : results[i].rows) {
            const auto k = static_cast<std::int32_t>(std::get<std::int64_t>(row[0]));
            auto s = std::find_if(g.series.begin(), g.series.end(),
                                  [&](const Series& e) { return e.dynres == k; });
            if (s == g.series.end()) {
                g.series.push_back(Series{k, std::get<std::string>(row[1]), {}, {}});
                s = g.series.end() - 1;
            }
            if (const float* v = std::get_if<float>(&row[2])) {
                s->values.push_back(static_cast<double>(*v));
                s->from.push_back(i);
            }
        }
    }
    for (const Group& g : groups) {
        std::string why;
        for (const Series& s : g.series) {
            Row row{g.name, std::int64_t{s.dynres}, s.label, std::string(tail_name(o.tail)),
                    static_cast<std::int64_t>(s.values.size())};
            const analysis::ExtremesFit f = analysis::fit_extremes(s.values, o.gumbel, o.tail);
            row.push_back(optional_cell(f.mean));
            row.push_back(optional_cell(f.std));
            if (const auto& gum = f.fit.gumbel) {
                row.insert(row.end(), {gum->loc, gum->scale, gum->loc});
                for (const double q : o.quantiles)
                    row.push_back(optional_cell(analysis::gumbel_quantile(*gum, q)));
            } else {
                row.resize(row.size() + 3 + o.quantiles.size());
                if (why.empty()) why = "DynRes " + std::to_string(s.dynres) + ": " + f.fit.reason;
            }
            std::size_t best = s.values.size();
            for (std::size_t v = 0; v < s.values.size(); ++v) {
                if (best == s.values.size() || beyond(s.values[v], s.values[best], o.tail))
                    best = v;
            }
            if (best < s.values.size()) {
                row.emplace_back(static_cast<float>(s.values[best]));
                row.emplace_back(files[s.from[best]]);
            } else {
                row.resize(row.size() + 2);
            }
            rows.push_back(std::move(row));
        }
        if (g.files == 1) {
            warnings.push_back(g.name + ": a group of one file; fit cells left empty");
        } else if (!why.empty()) {
            warnings.push_back(g.name + ": " + why + "; fit cells left empty");
        }
    }
}

}  // namespace batch
