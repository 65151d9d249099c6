#include "batch/psd.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "analysis/welch.h"
#include "batch/commands.h"
#include "batch/filter.h"
#include "batch/options.h"
#include "batch/runner.h"

namespace batch {

namespace {

// One DynRes' estimate, or why there is none.
struct Estimate {
    analysis::WelchResult welch;
    analysis::SpectralMoments moments;
    std::string fault;    // the series has no spectrum: the warning
    std::string failure;  // the file fails
};

Cell optional_cell(const std::optional<double>& v) {
    if (v) return *v;
    return std::monostate{};
}

}  // namespace

PsdOptions parse_psd_options(std::string_view nperseg, std::string_view overlap, bool curve) {
    PsdOptions o;
    o.curve = curve;
    if (const std::string t = trim(nperseg); !t.empty()) {
        std::size_t n = 0;
        const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), n);
        if (ec != std::errc() || end != t.data() + t.size() || n < analysis::min_spectrum_samples) {
            throw UsageError("--nperseg '" + t + "' is not a whole number of at least " +
                             std::to_string(analysis::min_spectrum_samples) + " samples");
        }
        o.nperseg = n;
    }
    if (const std::string t = trim(overlap); !t.empty()) {
        double v = 0.0;
        const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
        if (ec != std::errc() || end != t.data() + t.size() || !(v >= 0.0 && v < 1.0)) {
            throw UsageError("--overlap '" + t + "' is not a fraction from 0 to below 1");
        }
        o.overlap = v;
    }
    return o;
}

std::vector<std::string> psd_columns(const PsdOptions& options) {
    if (options.curve) return {"file", "dynres", "label", "f", "psd"};
    return {"file", "dynres", "label", "n",       "nperseg", "segments", "df", "m0",
            "m1",   "m2",     "m4",    "tz_spec", "t01",     "tp",       "fp", "bandwidth"};
}

FileResult psd_file(const Params& p, const std::string& file, reader::ReadBuffers* buffers) {
    FileResult r;
    auto src = open_series(file, p.filter, r.error, buffers);
    if (!src) return r;
    std::vector<std::int32_t> numbers;
    if (!resolve_channels(p.channels, src->contents(), numbers, r.error)) return r;
    WindowSeries ws;
    if (!src->read(p.window, numbers, ws, r.error)) return r;
    const std::size_t n = ws.times.size();
    if (n == 0) {
        r.error = no_sample_text(p, src->contents());
        return r;
    }
    if (n < analysis::min_spectrum_samples) {
        r.error = std::to_string(n) + " samples in the window; a spectrum needs at least " +
                  std::to_string(analysis::min_spectrum_samples);
        return r;
    }
    const std::size_t nperseg = analysis::welch_segment_length(n, p.psd.nperseg);
    if (p.psd.nperseg > n) {
        r.error = "--nperseg " + std::to_string(p.psd.nperseg) + " is more than the " +
                  std::to_string(n) + " samples in the window";
        return r;
    }
    double fs = 0.0;
    try {
        const std::vector<double> t(ws.times.begin(), ws.times.end());
        fs = analysis::constant_time_step(t).sampling_frequency;
    } catch (const analysis::ArgumentError& e) {
        r.error = e.what();
        return r;
    }

    // The DynRes in parallel, an estimator per thread.
    const std::size_t m = numbers.size();
    std::vector<Estimate> est(m);
    std::atomic<std::size_t> next{0};
    // A thread that cannot set up its estimator fails the file.
    std::mutex setup_mutex;
    std::string setup_failure;
    const auto work = [&] {
        try {
            analysis::WelchEstimator welch(nperseg, p.psd.overlap);
            std::vector<double> x(n);
            for (std::size_t j = next++; j < m; j = next++) {
                Estimate& e = est[j];
                try {
                    const std::vector<float>& v = ws.values[j];
                    const auto bad = std::count_if(v.begin(), v.end(),
                                                   [](float s) { return !std::isfinite(s); });
                    if (bad > 0) {
                        e.fault = "DynRes " + std::to_string(numbers[j]) + ": " +
                                  std::to_string(bad) +
                                  " samples that are not finite numbers; a gap breaks the "
                                  "sampling: no spectrum";
                        continue;
                    }
                    std::copy(v.begin(), v.end(), x.begin());
                    welch.estimate(x, fs, e.welch);
                    e.moments = analysis::spectral_moments(e.welch.freqs, e.welch.psd);
                } catch (const analysis::ArgumentError& a) {
                    e.failure = "DynRes " + std::to_string(numbers[j]) + ": " + a.what();
                } catch (const std::bad_alloc&) {
                    e.failure = "not enough memory for the spectrum";
                } catch (const std::exception& other) {
                    e.failure = std::string("internal error: ") + other.what();
                }
            }
        } catch (const std::bad_alloc&) {
            const std::lock_guard lock(setup_mutex);
            setup_failure = "not enough memory for the spectrum";
        } catch (const std::exception& x) {
            const std::lock_guard lock(setup_mutex);
            setup_failure = x.what();
        }
    };
    const std::size_t threads = std::min<std::size_t>(
        static_cast<std::size_t>(std::max<std::int32_t>(p.psd.threads, 1)), m);
    run_on_threads(threads, work);

    if (!setup_failure.empty()) {
        r.error = setup_failure;
        return r;
    }
    const FileContents& c = src->contents();
    for (std::size_t j = 0; j < m; ++j) {
        const Estimate& e = est[j];
        if (!e.failure.empty()) {
            r.rows.clear();
            r.warnings.clear();
            r.error = e.failure;
            return r;
        }
        const std::int32_t k = numbers[j];
        const std::string& label = c.dynres[static_cast<std::size_t>(k - 1)].label;
        if (!e.fault.empty()) r.warnings.push_back(e.fault);
        if (p.psd.curve) {
            if (!e.fault.empty()) continue;
            for (std::size_t i = 0; i < e.welch.freqs.size(); ++i)
                r.rows.push_back(
                    Row{file, std::int64_t{k}, label, e.welch.freqs[i], e.welch.psd[i]});
            continue;
        }
        Row row{file, std::int64_t{k}, label};
        if (!e.fault.empty()) {
            row.resize(psd_columns(p.psd).size());
            r.rows.push_back(std::move(row));
            continue;
        }
        const analysis::WelchResult& w = e.welch;
        const analysis::SpectralMoments& s = e.moments;
        row.emplace_back(static_cast<std::int64_t>(w.samples_used));
        row.emplace_back(static_cast<std::int64_t>(w.nperseg));
        row.emplace_back(static_cast<std::int64_t>(w.segments));
        row.emplace_back(w.df);
        row.emplace_back(s.m0);
        row.emplace_back(s.m1);
        row.emplace_back(s.m2);
        row.emplace_back(s.m4);
        row.push_back(optional_cell(s.tz_spec));
        row.push_back(optional_cell(s.t01));
        row.push_back(optional_cell(s.tp));
        row.emplace_back(s.fp);
        row.push_back(optional_cell(s.bandwidth));
        r.rows.push_back(std::move(row));
    }
    r.ok = true;
    return r;
}

}  // namespace batch
