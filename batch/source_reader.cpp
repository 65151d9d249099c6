// The files read through the series reader: read-only, nothing written
// anywhere, one reader per file and thread.
#include <algorithm>
#include <thread>

#include "batch/label_text.h"
#include "batch/source.h"
#include "reader/series_reader.h"

namespace batch {

namespace {

class ReaderSource final : public SeriesSource {
  public:
    bool open(const std::filesystem::path& file, std::string& error) {
        if (!reader_.open(file)) {
            error = reader_.error();
            return false;
        }
        reader::SeriesReader::Summary s;
        if (!reader_.summary(s)) {
            error = reader_.error();
            return false;
        }
        contents_.steps = s.steps;
        contents_.t_first = s.first_time;
        contents_.t_last = s.last_time;
        const auto& labels = reader_.labels();
        for (std::size_t k = 0; k < labels.size(); ++k)
            contents_.dynres.push_back({static_cast<std::int32_t>(k + 1), label_utf8(labels[k])});
        return true;
    }

    const FileContents& contents() const override { return contents_; }

    bool read(const Window& window, std::span<const std::int32_t> dynres, WindowSeries& out,
              std::string& error) override {
        reader::SeriesReader::Series s;
        const std::vector<int> numbers(dynres.begin(), dynres.end());
        if (!reader_.read(numbers,
                          {static_cast<double>(window.first), static_cast<double>(window.last)}, s,
                          buffers_)) {
            error = reader_.error();
            return false;
        }
        out.times = std::move(s.times);
        out.values = std::move(s.values);
        return true;
    }

    bool stream_blocks(const Window& window, std::span<const std::int32_t> dynres,
                       const BlockSink& sink, std::string& error) override {
        std::vector<std::size_t> columns(dynres.size());
        for (std::size_t j = 0; j < dynres.size(); ++j) {
            const std::int32_t k = dynres[j];
            if (k < 1 || k > reader_.dynres_count()) {
                error = "no DynRes " + std::to_string(k);
                return false;
            }
            columns[j] = static_cast<std::size_t>(k);  // row[k] is DynRes k
        }
        // The rows straight out of the read buffer.
        const auto rows = [&](const reader::SeriesReader::Rows& r) {
            sink(SampleBlock{r.data, r.stride, r.count, columns});
        };
        if (!reader_.stream({static_cast<double>(window.first), static_cast<double>(window.last)},
                            rows, buffers_)) {
            error = reader_.error();
            return false;
        }
        return true;
    }

    std::optional<std::int64_t> count_hint(const Window& window) override {
        return reader_.count_hint(
            {static_cast<double>(window.first), static_cast<double>(window.last)});
    }

    std::optional<std::int64_t> whole_count() override { return reader_.direct_count(); }

    bool read_whole(std::int32_t first, std::int32_t count, float* t, float* x,
                    std::string& error) override {
        const std::optional<std::int64_t> n = reader_.direct_count();
        if (!n) return SeriesSource::read_whole(first, count, t, x, error);
        // Two halves on two threads when there is enough to read (the reads
        // go straight from the page cache into the arrays).
        constexpr std::int64_t kSplitBytes = std::int64_t{8} << 20;
        const std::int64_t half = *n * (count + 1) * 4 >= kSplitBytes ? *n / 2 : 0;
        int late = 0;
        std::thread second;
        if (half > 0) {
            second = std::thread([&] {
                late = reader_.read_steps(
                    half, *n - half, first, count, t + half,
                    x + static_cast<std::size_t>(half) * static_cast<std::size_t>(count));
            });
        }
        const int early = reader_.read_steps(0, half > 0 ? half : *n, first, count, t, x);
        if (second.joinable()) second.join();
        if (early != 0 || late != 0) {
            error = reader::SeriesReader::read_status_text(early != 0 ? early : late);
            return false;
        }
        return true;
    }

    reader::ReadBuffers* buffers_ = nullptr;

  private:
    reader::SeriesReader reader_;
    FileContents contents_;
};

class MemorySource final : public SeriesSource {
  public:
    MemorySource(const FileContents& contents, std::span<const std::int32_t> numbers,
                 const WindowSeries& series)
        : contents_(contents), numbers_(numbers.begin(), numbers.end()), series_(series) {}

    const FileContents& contents() const override { return contents_; }

    bool read(const Window& window, std::span<const std::int32_t> dynres, WindowSeries& out,
              std::string& error) override {
        std::vector<std::size_t> at;
        if (!columns_of(dynres, at, error)) return false;
        const std::vector<std::size_t> steps = steps_of(window, 0, series_.times.size());
        out.times.clear();
        for (const std::size_t i : steps) out.times.push_back(series_.times[i]);
        out.values.assign(dynres.size(), {});
        for (std::size_t j = 0; j < at.size(); ++j) {
            const std::vector<float>& v = series_.values[at[j]];
            out.values[j].reserve(steps.size());
            for (const std::size_t i : steps) out.values[j].push_back(v[i]);
        }
        return true;
    }

    // Blocks filled column by column straight from the series.
    bool stream_blocks(const Window& window, std::span<const std::int32_t> dynres,
                       const BlockSink& sink, std::string& error) override {
        std::vector<std::size_t> at;
        if (!columns_of(dynres, at, error)) return false;
        const std::size_t m = at.size(), stride = m + 1;
        std::vector<std::size_t> columns(m);
        for (std::size_t j = 0; j < m; ++j) columns[j] = j + 1;
        std::vector<float> rows;
        const std::size_t n = series_.times.size();
        // Blocks of about 1 MiB, which stay in the cache.
        const std::size_t block = std::max<std::size_t>(1, (std::size_t{1} << 18) / stride);
        for (std::size_t from = 0; from < n; from += block) {
            const std::vector<std::size_t> steps =
                steps_of(window, from, std::min(n, from + block));
            rows.resize(steps.size() * stride);
            for (std::size_t r = 0; r < steps.size(); ++r)
                rows[r * stride] = series_.times[steps[r]];
            // Usually the steps follow each other: no look-up per sample.
            const bool run = !steps.empty() && steps.back() - steps.front() + 1 == steps.size();
            for (std::size_t j = 0; j < m; ++j) {
                const std::vector<float>& v = series_.values[at[j]];
                float* out = rows.data() + j + 1;
                if (run) {
                    const float* in = v.data() + steps.front();
                    for (std::size_t r = 0; r < steps.size(); ++r) out[r * stride] = in[r];
                } else {
                    for (std::size_t r = 0; r < steps.size(); ++r) out[r * stride] = v[steps[r]];
                }
            }
            if (!steps.empty()) sink(SampleBlock{rows.data(), stride, steps.size(), columns});
            if (ended_) break;
        }
        return true;
    }

  private:
    bool columns_of(std::span<const std::int32_t> dynres, std::vector<std::size_t>& at,
                    std::string& error) const {
        for (const std::int32_t k : dynres) {
            const auto it = std::find(numbers_.begin(), numbers_.end(), k);
            if (it == numbers_.end()) {
                error = "no DynRes " + std::to_string(k);
                return false;
            }
            at.push_back(static_cast<std::size_t>(it - numbers_.begin()));
        }
        return true;
    }

    // The samples of [from, to) inside the window as the reader takes them:
    // before it skipped, the first after it ends the scan (ended_).
    std::vector<std::size_t> steps_of(const Window& window, std::size_t from, std::size_t to) {
        if (from == 0) ended_ = false;
        std::vector<std::size_t> steps;
        for (std::size_t i = from; i < to && !ended_; ++i) {
            const float t = series_.times[i];
            if (t > window.last) {
                ended_ = true;
            } else if (!(t < window.first)) {
                steps.push_back(i);
            }
        }
        return steps;
    }

    FileContents contents_;
    std::vector<std::int32_t> numbers_;
    const WindowSeries& series_;
    bool ended_ = false;  // the scan met a sample after the window
};

}  // namespace

std::unique_ptr<SeriesSource> memory_source(const FileContents& contents,
                                            std::span<const std::int32_t> numbers,
                                            const WindowSeries& series) {
    return std::make_unique<MemorySource>(contents, numbers, series);
}

bool SeriesSource::read_whole(std::int32_t, std::int32_t, float*, float*, std::string& error) {
    error = "this source cannot read into arrays";
    return false;
}

bool SeriesSource::stream_blocks(const Window& window, std::span<const std::int32_t> dynres,
                                 const BlockSink& sink, std::string& error) {
    WindowSeries ws;
    if (!read(window, dynres, ws, error)) return false;
    const std::size_t m = dynres.size();
    const std::size_t stride = m + 1;
    std::vector<std::size_t> columns(m);
    for (std::size_t j = 0; j < m; ++j) columns[j] = j + 1;
    std::vector<float> rows;
    for (std::size_t from = 0; from < ws.times.size(); from += kBlockSteps) {
        const std::size_t count = std::min(kBlockSteps, ws.times.size() - from);
        rows.resize(count * stride);
        for (std::size_t i = 0; i < count; ++i) {
            float* row = rows.data() + i * stride;
            row[0] = ws.times[from + i];
            for (std::size_t j = 0; j < m; ++j) row[j + 1] = ws.values[j][from + i];
        }
        sink(SampleBlock{rows.data(), stride, count, columns});
    }
    return true;
}

bool SeriesSource::stream(const Window& window, std::span<const std::int32_t> dynres,
                          const SampleSink& sink, std::string& error) {
    std::vector<float> values(dynres.size());
    return stream_blocks(
        window, dynres,
        [&](const SampleBlock& b) {
            for (std::size_t i = 0; i < b.count; ++i) {
                for (std::size_t j = 0; j < values.size(); ++j) values[j] = b.value(i, j);
                sink(b.time(i), values);
            }
        },
        error);
}

std::unique_ptr<SeriesSource> open_source(const std::filesystem::path& file, std::string& error,
                                          reader::ReadBuffers* buffers) {
    auto s = std::make_unique<ReaderSource>();
    s->buffers_ = buffers;
    if (!s->open(file, error)) return nullptr;
    return s;
}

}  // namespace batch
