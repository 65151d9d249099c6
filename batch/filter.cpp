#include "batch/filter.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <exception>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "analysis/welch.h"
#include "batch/options.h"
#include "batch/runner.h"

namespace batch {

namespace {

double frequency(std::string_view text, std::string_view whole) {
    const std::string t = trim(text);
    double v = 0.0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || ec != std::errc() || end != t.data() + t.size() || !std::isfinite(v)) {
        throw UsageError("--filter " + std::string(whole) + ": '" + t +
                         "' is not a frequency in Hz");
    }
    return v;
}

std::vector<std::string_view> split(std::string_view s, char sep) {
    std::vector<std::string_view> parts;
    for (std::size_t from = 0;;) {
        const std::size_t at = s.find(sep, from);
        parts.push_back(s.substr(from, at == std::string_view::npos ? s.npos : at - from));
        if (at == std::string_view::npos) return parts;
        from = at + 1;
    }
}

// The filtered source: the inner source's whole series of the last set of
// DynRes asked for, filtered, and every window cut from them.
class FilteredSource final : public SeriesSource {
  public:
    FilteredSource(std::unique_ptr<SeriesSource> inner, const SeriesFilter& filter)
        : inner_(std::move(inner)), filter_(filter) {}

    const FileContents& contents() const override { return inner_->contents(); }

    bool read(const Window& window, std::span<const std::int32_t> dynres, WindowSeries& out,
              std::string& error) override {
        if (!filtered(dynres, error)) return false;
        out.times.clear();
        out.values.assign(dynres.size(), {});
        const auto [from, to] = range(window);
        out.times.assign(full_.times.begin() + from, full_.times.begin() + to);
        for (std::size_t j = 0; j < dynres.size(); ++j) {
            const std::vector<float>& v = full_.values[j];
            out.values[j].assign(v.begin() + from, v.begin() + to);
        }
        return true;
    }

    bool stream_blocks(const Window& window, std::span<const std::int32_t> dynres,
                       const BlockSink& sink, std::string& error) override {
        if (!filtered(dynres, error)) return false;
        const auto [from, to] = range(window);
        const std::size_t m = dynres.size();
        const std::size_t stride = m + 1;
        std::vector<std::size_t> columns(m);
        for (std::size_t j = 0; j < m; ++j) columns[j] = j + 1;
        std::vector<float> rows;
        for (std::size_t at = from; at < to; at += kBlockSteps) {
            const std::size_t count = std::min(kBlockSteps, to - at);
            rows.resize(count * stride);
            for (std::size_t i = 0; i < count; ++i) rows[i * stride] = full_.times[at + i];
            for (std::size_t j = 0; j < m; ++j) {
                const float* v = full_.values[j].data() + at;
                for (std::size_t i = 0; i < count; ++i) rows[i * stride + j + 1] = v[i];
            }
            sink(SampleBlock{rows.data(), stride, count, columns});
        }
        return true;
    }

  private:
    // The samples [first, last) of the window: the stored times in step
    // order, as the reader takes them (times outside the window skipped).
    std::pair<std::size_t, std::size_t> range(const Window& window) const {
        const std::vector<float>& t = full_.times;
        std::size_t from = 0;
        while (from < t.size() && !window.contains(t[from])) ++from;
        std::size_t to = t.size();
        while (to > from && !window.contains(t[to - 1])) --to;
        return {from, to};
    }

    bool filtered(std::span<const std::int32_t> dynres, std::string& error) {
        if (have_ && std::equal(dynres.begin(), dynres.end(), numbers_.begin(), numbers_.end()))
            return true;
        have_ = false;
        const auto steps = static_cast<std::uint64_t>(std::max<std::int64_t>(contents().steps, 0));
        const std::uint64_t need = steps * dynres.size() * kFilterBytesPerSample;
        if (dynres.size() > 0 && need / dynres.size() / kFilterBytesPerSample != steps) {
            error = "too many samples to filter";
            return false;
        }
        if (need > filter_.max_memory) {
            error = "filtering keeps " + std::to_string(dynres.size()) + " DynRes of " +
                    std::to_string(steps) + " samples in memory (" + mib(need) +
                    " MiB at 8 bytes a sample), more than --max-memory " + mib(filter_.max_memory) +
                    " MiB; select fewer DynRes or raise --max-memory";
            return false;
        }
        full_ = {};
        if (!inner_->read(Window{}, dynres, full_, error)) return false;
        const std::vector<double> t(full_.times.begin(), full_.times.end());
        try {
            const double fs = analysis::constant_time_step(t).sampling_frequency;
            const analysis::Sos sos = analysis::butterworth(filter_.settings, fs);
            filter_all(sos, dynres);
        } catch (const analysis::ArgumentError& e) {
            error = std::string("cannot filter: ") + e.what();
            return false;
        }
        if (!failure_.empty()) {
            error = failure_;
            return false;
        }
        numbers_.assign(dynres.begin(), dynres.end());
        have_ = true;
        return true;
    }

    // Each selected series filtered in place, on up to filter_.threads
    // threads; the first fault in failure_.
    void filter_all(const analysis::Sos& sos, std::span<const std::int32_t> dynres) {
        failure_.clear();
        const std::size_t m = full_.values.size();
        std::vector<std::string> faults(m);
        std::atomic<std::size_t> next{0};
        const auto work = [&] {
            std::vector<double> y;
            for (std::size_t j = next++; j < m; j = next++) {
                std::vector<float>& v = full_.values[j];
                try {
                    if (const auto bad = std::find_if(v.begin(), v.end(),
                                                      [](float s) { return !std::isfinite(s); });
                        bad != v.end()) {
                        faults[j] = "DynRes " + std::to_string(dynres[j]) + ": sample " +
                                    std::to_string(bad - v.begin() + 1) +
                                    " is not a finite number; a gap breaks the sampling, "
                                    "the series cannot be filtered";
                        continue;
                    }
                    y.resize(v.size());
                    analysis::sosfiltfilt(sos, std::span<const float>(v), std::span<double>(y));
                    for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<float>(y[i]);
                } catch (const analysis::ArgumentError& e) {
                    faults[j] =
                        "DynRes " + std::to_string(dynres[j]) + ": cannot filter: " + e.what();
                } catch (const std::bad_alloc&) {
                    faults[j] = "not enough memory to filter";
                } catch (const std::exception& e) {
                    faults[j] = std::string("internal error: ") + e.what();
                }
            }
        };
        const std::size_t n = std::min<std::size_t>(
            static_cast<std::size_t>(std::max<std::int32_t>(filter_.threads, 1)), m);
        run_on_threads(n, work);
        for (const std::string& f : faults) {
            if (!f.empty()) {
                failure_ = f;
                return;
            }
        }
    }

    static std::string mib(std::uint64_t bytes) {
        return std::to_string((bytes + (std::uint64_t{1} << 20) - 1) >> 20);
    }

    std::unique_ptr<SeriesSource> inner_;
    SeriesFilter filter_;
    bool have_ = false;
    std::vector<std::int32_t> numbers_;
    WindowSeries full_;
    std::string failure_;
};

}  // namespace

analysis::FilterSettings parse_filter(std::string_view text, std::string_view order) {
    analysis::FilterSettings s;
    const std::string whole = trim(text);
    const std::vector<std::string_view> parts = split(whole, ':');
    const std::string kind = trim(parts.front());
    std::size_t want = 2;
    if (kind == "low") {
        s.kind = analysis::FilterKind::low;
    } else if (kind == "high") {
        s.kind = analysis::FilterKind::high;
    } else if (kind == "band") {
        s.kind = analysis::FilterKind::band;
        want = 3;
    } else if (kind == "stop") {
        s.kind = analysis::FilterKind::stop;
        want = 3;
    } else {
        throw UsageError("--filter '" + whole + "' is not low:F, high:F, band:F1:F2 or stop:F1:F2");
    }
    if (parts.size() != want) {
        throw UsageError("--filter '" + whole + "': " + kind + " takes " +
                         (want == 2 ? "one frequency (" + kind + ":F)"
                                    : "two frequencies (" + kind + ":F1:F2)"));
    }
    s.f1 = frequency(parts[1], whole);
    if (want == 3) s.f2 = frequency(parts[2], whole);
    for (const double f : {s.f1, want == 3 ? s.f2 : s.f1}) {
        if (f <= 0.0) throw UsageError("--filter " + whole + ": a frequency must be above 0 Hz");
    }
    if (want == 3 && s.f1 >= s.f2) {
        throw UsageError("--filter " + whole + ": the band ends must increase (F1 below F2)");
    }
    const std::string o = trim(order);
    int n = 0;
    const auto [end, ec] = std::from_chars(o.data(), o.data() + o.size(), n);
    if (o.empty() || ec != std::errc() || end != o.data() + o.size() ||
        n < analysis::min_filter_order || n > analysis::max_filter_order) {
        throw UsageError("--filter-order '" + o + "' is not a whole number from " +
                         std::to_string(analysis::min_filter_order) + " to " +
                         std::to_string(analysis::max_filter_order));
    }
    s.order = n;
    return s;
}

std::uint64_t parse_memory(std::string_view text) {
    const std::string t = trim(text);
    std::uint64_t v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    std::string suffix(end, t.data() + t.size());
    for (char& c : suffix) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (suffix.size() == 3 && suffix.substr(1) == "IB") suffix.resize(1);
    int shift = -1;
    if (suffix.empty()) shift = 0;
    if (suffix == "K") shift = 10;
    if (suffix == "M") shift = 20;
    if (suffix == "G") shift = 30;
    if (suffix == "T") shift = 40;
    if (t.empty() || ec != std::errc() || shift < 0 || v == 0 || (v << shift) >> shift != v) {
        throw UsageError("--max-memory '" + t +
                         "' is not a byte count (a whole number above 0, with K, M, G or T)");
    }
    return v << shift;
}

std::string filter_text(const SeriesFilter& filter) {
    return filter.on ? analysis::describe(filter.settings) : std::string();
}

std::unique_ptr<SeriesSource> open_series(const std::filesystem::path& file,
                                          const SeriesFilter& filter, std::string& error,
                                          reader::ReadBuffers* buffers) {
    std::unique_ptr<SeriesSource> src = open_source(file, error, buffers);
    if (!src || !filter.on) return src;
    return std::make_unique<FilteredSource>(std::move(src), filter);
}

}  // namespace batch
