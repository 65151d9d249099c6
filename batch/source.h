// The dyn files of the batch commands: what a file holds (its DynRes with
// labels, the number of steps, the first and last time) and the selected
// series inside a time window, read only, one object per file and thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace reader {
class ReadBuffers;
}

namespace batch {

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

// Consecutive samples of a window, in step order: sample i has the time
// time(i) and the value value(i, j) of the j-th DynRes asked for. The block
// may point straight into a read buffer; it is valid only during the call.
struct SampleBlock {
    const float* data = nullptr;
    std::size_t stride = 0;                // floats from one sample to the next
    std::size_t count = 0;                 // samples
    std::span<const std::size_t> columns;  // place of the j-th DynRes in a sample

    const float* sample(std::size_t i) const { return data + i * stride; }
    float time(std::size_t i) const { return data[i * stride]; }
    float value(std::size_t i, std::size_t j) const { return data[i * stride + columns[j]]; }
};

// Samples per block when a source builds the blocks itself.
inline constexpr std::size_t kBlockSteps = std::size_t{1} << 16;

class SeriesSource {
  public:
    virtual ~SeriesSource() = default;
    virtual const FileContents& contents() const = 0;
    // The samples of the DynRes numbers (each 1 .. number of DynRes) inside
    // the window. Returns false with a one-line reason when the file cannot
    // give them.
    virtual bool read(const Window& window, std::span<const std::int32_t> dynres, WindowSeries& out,
                      std::string& error) = 0;

    // The same samples handed over in blocks of consecutive samples, in step
    // order, without keeping them (see SampleBlock). The default reads the
    // window first and hands it over in blocks of kBlockSteps samples.
    using BlockSink = std::function<void(const SampleBlock& block)>;
    virtual bool stream_blocks(const Window& window, std::span<const std::int32_t> dynres,
                               const BlockSink& sink, std::string& error);

    // The number of samples inside the window when it can be told without
    // reading the samples (nullopt otherwise). Only a hint: a stream of the
    // window may give another number (stored times that do not increase).
    virtual std::optional<std::int64_t> count_hint(const Window&) { return std::nullopt; }

    // The whole series (the window Window{}) of the DynRes first .. first +
    // count - 1 read straight into arrays, where the source can: the number
    // of samples (nullopt: it cannot), then read_whole filling t[0 .. n) and
    // x (n rows of `count` values), on two threads when large. The samples
    // are those of a read of the whole series, to the bit.
    virtual std::optional<std::int64_t> whole_count() { return std::nullopt; }
    virtual bool read_whole(std::int32_t first, std::int32_t count, float* t, float* x,
                            std::string& error);

    // The samples one at a time: sink(t, values) with values[j] the value of
    // dynres[j] at time t (valid during the call). Over stream_blocks.
    using SampleSink = std::function<void(float time, std::span<const float> values)>;
    bool stream(const Window& window, std::span<const std::int32_t> dynres, const SampleSink& sink,
                std::string& error);
};

// A source over series already read: the samples of `series` (the DynRes
// `numbers` of a file with `contents`), a window taken from them as the
// reader takes it from the file (steps before it skipped, the first step
// after it ends the scan). The series is borrowed: it must outlive the source.
std::unique_ptr<SeriesSource> memory_source(const FileContents& contents,
                                            std::span<const std::int32_t> numbers,
                                            const WindowSeries& series);

// Opens a dyn file read-only; nullptr with a one-line reason when it cannot
// be read. The source reads through `buffers` when given (the read buffers
// of the calling thread, kept from file to file); it must outlive the source.
std::unique_ptr<SeriesSource> open_source(const std::filesystem::path& file, std::string& error,
                                          reader::ReadBuffers* buffers = nullptr);

}  // namespace batch
