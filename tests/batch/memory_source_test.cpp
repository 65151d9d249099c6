// Series already read, served again as a source: the samples of every
// window are those the file's own source gives, times that go back and
// forth included, through read and through blocks alike.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "batch/source.h"
#include "support/scratch.h"
#include "tools/dynres_writer.h"

namespace {

using batch::Window;
using batch::WindowSeries;

// The samples of a window through the blocks of a source.
WindowSeries streamed(batch::SeriesSource& src, const Window& w,
                      const std::vector<std::int32_t>& numbers) {
    WindowSeries out;
    out.values.resize(numbers.size());
    std::string error;
    EXPECT_TRUE(src.stream_blocks(
        w, numbers,
        [&](const batch::SampleBlock& b) {
            for (std::size_t i = 0; i < b.count; ++i) {
                out.times.push_back(b.time(i));
                for (std::size_t j = 0; j < numbers.size(); ++j)
                    out.values[j].push_back(b.value(i, j));
            }
        },
        error))
        << error;
    return out;
}

TEST(MemorySource, WindowsAsTheFileGivesThem) {
    test_support::ScratchDir dir;
    // Times that go back once (a restart) and a long run for several blocks.
    std::vector<float> t, a, b, c;
    for (int i = 0; i < 3000; ++i) {
        t.push_back(i < 1500 ? static_cast<float>(i) * 0.01f
                             : static_cast<float>(i - 1400) * 0.01f);
        a.push_back(static_cast<float>(std::sin(i * 0.1)));
        b.push_back(static_cast<float>(i));
        c.push_back(static_cast<float>(-i));
    }
    tools::DynResLayout layout;
    layout.labels = {"A", "B", "C"};
    tools::write_dynres_file(dir.path() / "f.dyn", layout, t, {a, b, c});
    std::string error;
    const auto file = batch::open_source(dir.path() / "f.dyn", error);
    ASSERT_TRUE(file) << error;
    const std::vector<std::int32_t> all{1, 2, 3};
    WindowSeries whole;
    ASSERT_TRUE(file->read(Window{}, all, whole, error)) << error;
    const auto memory = batch::memory_source(file->contents(), all, whole);

    const std::vector<Window> windows{
        {},          {2.0f, 5.0f}, {0.5f, 14.0f}, {14.5f, 30.0f}, {-1.0f, 0.0f}, {40.0f, 50.0f},
        {3.0f, 1.0f}};
    const std::vector<std::vector<std::int32_t>> picks{{1, 2, 3}, {3, 1}, {2}};
    for (const Window& w : windows) {
        for (const auto& pick : picks) {
            SCOPED_TRACE(::testing::Message() << w.first << ":" << w.last << " of " << pick.size());
            WindowSeries want, got;
            ASSERT_TRUE(file->read(w, pick, want, error)) << error;
            ASSERT_TRUE(memory->read(w, pick, got, error)) << error;
            EXPECT_EQ(got.times, want.times);
            EXPECT_EQ(got.values, want.values);
            const WindowSeries blocks = streamed(*memory, w, pick);
            EXPECT_EQ(blocks.times, want.times);
            EXPECT_EQ(blocks.values, want.values);
        }
    }
    // A DynRes it does not hold is refused.
    const std::vector<std::int32_t> one{1};
    const auto part = batch::memory_source(file->contents(), one, whole);
    WindowSeries none;
    EXPECT_FALSE(part->read(Window{}, std::vector<std::int32_t>{2}, none, error));
}

}  // namespace
