// The dyn files of the batch commands: what a file holds (its DynRes with
// labels, the number of steps, the first and last time) and the selected
// series inside a time window, read only, one object per file and thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace app::batch {

struct DynResInfo {
    std::int32_t number = 0;  // 1-based
    // As listed (blank runs collapsed, trailing blanks removed), in UTF-8:
    // each stored byte one character (label_text.h).
    std::string label;
};

struct FileContents {
    std::vector<DynResInfo> dynres;
    std::int64_t steps = 0;
    float t_first = 0.0f;  // time of the first and the last step (0 without steps)
    float t_last = 0.0f;
};

// Both ends inclusive, compared with the stored single-precision times; the
// ends are the typed numbers rounded to single precision.
struct Window {
    float first = -std::numeric_limits<float>::infinity();
    float last = std::numeric_limits<float>::infinity();

    bool contains(float t) const { return t >= first && t <= last; }
};

// The samples inside a window: their times, and values[j] the series of the
// j-th DynRes asked for.
struct WindowSeries {
    std::vector<float> times;
    std::vector<std::vector<float>> values;
};

class SeriesSource {
  public:
    virtual ~SeriesSource() = default;
    virtual const FileContents& contents() const = 0;
    // The samples of the DynRes numbers (each 1 .. number of DynRes) inside
    // the window. Returns false with a one-line reason when the file cannot
    // give them.
    virtual bool read(const Window& window, std::span<const std::int32_t> dynres, WindowSeries& out,
                      std::string& error) = 0;

    // The same samples handed over one at a time, in step order, without
    // keeping them: sink(t, values) with values[j] the value of dynres[j] at
    // time t (valid during the call). The default reads the window first.
    using SampleSink = std::function<void(float time, std::span<const float> values)>;
    virtual bool stream(const Window& window, std::span<const std::int32_t> dynres,
                        const SampleSink& sink, std::string& error) {
        WindowSeries ws;
        if (!read(window, dynres, ws, error)) return false;
        std::vector<float> row(dynres.size());
        for (std::size_t i = 0; i < ws.times.size(); ++i) {
            for (std::size_t j = 0; j < row.size(); ++j) row[j] = ws.values[j][i];
            sink(ws.times[i], row);
        }
        return true;
    }
};

// Opens a dyn file read-only; nullptr with a one-line reason when it cannot
// be read.
std::unique_ptr<SeriesSource> open_source(const std::filesystem::path& file, std::string& error);

}  // namespace app::batch
