// The files read through the series reader: read-only, nothing written
// anywhere, one reader per file and thread.
#include "app/batch/label_text.h"
#include "app/batch/source.h"
#include "ops/series_reader.h"

namespace app::batch {

namespace {

class ReaderSource final : public SeriesSource {
  public:
    bool open(const std::filesystem::path& file, std::string& error) {
        if (!reader_.open(file)) {
            error = reader_.error();
            return false;
        }
        ops::SeriesReader::Summary s;
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
        ops::SeriesReader::Series s;
        const std::vector<int> numbers(dynres.begin(), dynres.end());
        if (!reader_.read(numbers,
                          {static_cast<double>(window.first), static_cast<double>(window.last)},
                          s)) {
            error = reader_.error();
            return false;
        }
        out.times = std::move(s.times);
        out.values = std::move(s.values);
        return true;
    }

    bool stream(const Window& window, std::span<const std::int32_t> dynres, const SampleSink& sink,
                std::string& error) override {
        for (const std::int32_t k : dynres) {
            if (k < 1 || k > reader_.dynres_count()) {
                error = "no DynRes " + std::to_string(k);
                return false;
            }
        }
        std::vector<float> row(dynres.size());
        const auto rows = [&](const ops::SeriesReader::Rows& r) {
            for (std::size_t i = 0; i < r.count; ++i) {
                const float* step = r.row(i);
                for (std::size_t j = 0; j < row.size(); ++j) row[j] = step[dynres[j]];
                sink(step[0], row);
            }
        };
        if (!reader_.stream({static_cast<double>(window.first), static_cast<double>(window.last)},
                            rows)) {
            error = reader_.error();
            return false;
        }
        return true;
    }

  private:
    ops::SeriesReader reader_;
    FileContents contents_;
};

}  // namespace

std::unique_ptr<SeriesSource> open_source(const std::filesystem::path& file, std::string& error) {
    auto s = std::make_unique<ReaderSource>();
    if (!s->open(file, error)) return nullptr;
    return s;
}

}  // namespace app::batch
