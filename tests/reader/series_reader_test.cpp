// The series reader on every fixture: DynRes, labels, steps and series
// against the sidecars; the window; the refusals; nothing written.
#include "reader/series_reader.h"

#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/json_lite.h"
#include "support/scratch.h"
#include "tools/dynres_writer.h"

namespace {

namespace fs = std::filesystem;
namespace json = test_support::json;
using reader::SeriesReader;
using test_support::fixture_path;

float f32(const json::Value& v) {
    return static_cast<float>(v.number);
}

std::vector<int> all_of(int n) {
    std::vector<int> k;
    for (int i = 1; i <= n; ++i) k.push_back(i);
    return k;
}

class ReadableFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(ReadableFixture, GivesTheDynResLabelsAndSeriesOfTheSidecar) {
    const std::string file = GetParam();
    const json::Value j = json::sidecar(file);
    const std::string before = test_support::read_file(fixture_path(file));
    SeriesReader r;
    ASSERT_TRUE(r.open(fixture_path(file))) << r.error();
    EXPECT_EQ(r.problem(), SeriesReader::Problem::None);
    const int n = static_cast<int>(j["nDynRes"].number);
    ASSERT_EQ(r.dynres_count(), n);
    for (int k = 1; k <= n; ++k) {
        EXPECT_EQ(r.label(k), j["labels_listed"][static_cast<std::size_t>(k - 1)].text) << k;
    }

    const auto steps = static_cast<std::size_t>(j["steps"].number);
    SeriesReader::Summary s;
    ASSERT_TRUE(r.summary(s)) << r.error();
    EXPECT_EQ(s.steps, static_cast<std::int64_t>(steps));
    if (steps > 0) {
        EXPECT_EQ(s.first_time, f32(j["times"][0]));
        EXPECT_EQ(s.last_time, f32(j["times"][steps - 1]));
    }

    SeriesReader::Series out;
    ASSERT_TRUE(r.read(all_of(n), {}, out)) << r.error();
    ASSERT_EQ(out.times.size(), steps);
    ASSERT_EQ(out.values.size(), static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < steps; ++i) {
        EXPECT_EQ(out.times[i], f32(j["times"][i])) << file << " step " << i;
        for (std::size_t k = 0; k < static_cast<std::size_t>(n); ++k) {
            ASSERT_EQ(out.values[k].size(), steps);
            EXPECT_EQ(out.values[k][i], f32(j["values"][k][i]))
                << file << " DynRes " << k + 1 << " step " << i;
        }
    }
    // Read-only: a version-0 file is not converted, nothing else is touched.
    EXPECT_EQ(test_support::read_file(fixture_path(file)), before);
}

// Direct reads into arrays give the samples of a read of the whole series,
// for any consecutive DynRes and any split of the steps (the halves of a
// read on two threads); files packed several steps to a record have none.
TEST_P(ReadableFixture, DirectReadsGiveTheSamplesOfTheWholeSeries) {
    SeriesReader r;
    ASSERT_TRUE(r.open(fixture_path(GetParam()))) << r.error();
    const int n = r.dynres_count();
    SeriesReader::Series whole;
    ASSERT_TRUE(r.read(all_of(n), {}, whole)) << r.error();
    const std::optional<std::int64_t> count = r.direct_count();
    if (r.steps_per_record() > 1) {
        EXPECT_FALSE(count);
        return;
    }
    ASSERT_TRUE(count);
    const auto steps = static_cast<std::int64_t>(whole.times.size());
    ASSERT_EQ(*count, steps);
    struct Pick {
        int first, count;
    };
    for (const Pick pick :
         {Pick{1, n}, Pick{1, 1}, Pick{n, 1}, Pick{std::min(2, n), n > 2 ? 2 : 1}, Pick{1, 0}}) {
        for (const std::int64_t split : {std::int64_t{0}, steps / 3, steps}) {
            SCOPED_TRACE(::testing::Message() << "DynRes " << pick.first << " + " << pick.count
                                              << ", split at " << split);
            const auto m = static_cast<std::size_t>(pick.count);
            std::vector<float> t(static_cast<std::size_t>(steps), -1.0f);
            std::vector<float> x(static_cast<std::size_t>(steps) * m, -1.0f);
            ASSERT_EQ(r.read_steps(0, split, pick.first, pick.count, t.data(), x.data()), 0);
            ASSERT_EQ(r.read_steps(split, steps - split, pick.first, pick.count, t.data() + split,
                                   x.data() + static_cast<std::size_t>(split) * m),
                      0);
            for (std::size_t i = 0; i < t.size(); ++i) {
                ASSERT_EQ(std::bit_cast<std::uint32_t>(t[i]),
                          std::bit_cast<std::uint32_t>(whole.times[i]))
                    << i;
                for (std::size_t c = 0; c < m; ++c) {
                    ASSERT_EQ(std::bit_cast<std::uint32_t>(x[i * m + c]),
                              std::bit_cast<std::uint32_t>(
                                  whole.values[static_cast<std::size_t>(pick.first - 1) + c][i]))
                        << i << " " << c;
                }
            }
        }
    }
    // Steps or DynRes the file does not have are refused, nothing read.
    float t = 0, x = 0;
    EXPECT_NE(r.read_steps(steps, 1, 1, 1, &t, &x), 0);
    EXPECT_NE(r.read_steps(0, 1, n, 2, &t, &x), 0);
    EXPECT_NE(r.read_steps(0, 1, 0, 1, &t, &x), 0);
    EXPECT_NE(r.read_steps(-1, 1, 1, 1, &t, &x), 0);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ReadableFixture,
                         ::testing::Values("le_basic.dyn", "be_basic.dyn", "packed.dyn",
                                           "packed_simple.dyn", "packed_slack.dyn",
                                           "packed_cap.dyn", "ncol0.dyn", "v1.dyn", "v0_small.dyn",
                                           "v0_convert.dyn", "v0_convert_after.dyn", "combo.dyn",
                                           "dupname.dyn", "loadst0.dyn"));

struct Refusal {
    const char* file;
    SeriesReader::Problem problem;
    const char* text;  // start of the message
};

class RefusedFixture : public ::testing::TestWithParam<Refusal> {};

TEST_P(RefusedFixture, IsRefusedWithOneLineSayingWhy) {
    const Refusal& c = GetParam();
    SeriesReader r;
    EXPECT_FALSE(r.open(fixture_path(c.file)));
    EXPECT_EQ(r.problem(), c.problem) << r.error();
    EXPECT_EQ(r.error().rfind(c.text, 0), 0U) << r.error();
    EXPECT_EQ(r.error().find('\n'), std::string::npos);
    SeriesReader::Summary s;
    SeriesReader::Series out;
    EXPECT_FALSE(r.summary(s));
    EXPECT_FALSE(r.read(std::vector<int>{1}, {}, out));
}

using P = SeriesReader::Problem;
INSTANTIATE_TEST_SUITE_P(
    Fixtures, RefusedFixture,
    ::testing::Values(Refusal{"no_such_file.dyn", P::Missing, "missing"},
                      Refusal{"not_raflib.dyn", P::NotDynFile, "not a dyn file"},
                      Refusal{"FIXTURES.md", P::NotDynFile, "not a dyn file"},
                      Refusal{"combo_input.txt", P::NotDynFile, "not a dyn file"},
                      Refusal{"locked.dyn", P::Locked, "locked"},
                      Refusal{"version3.dyn", P::NewerVersion, "newer format version 3"},
                      Refusal{"foreign_type.dyn", P::ForeignType,
                              "cannot read files generated on Sun SPARC / SunOS"},
                      Refusal{"badcur.dyn", P::Damaged, "damaged: the file key has MFPCUR = 193"},
                      Refusal{"truncated.dyn", P::Truncated,
                              "truncated: the DYNRES record of step 21 ends beyond"},
                      Refusal{"fixed_mstru.dyn", P::Damaged, "damaged"}));

TEST(SeriesReaderFiles, ADirectoryOrAnEmptyFileIsRefused) {
    test_support::ScratchDir dir;
    SeriesReader r;
    EXPECT_FALSE(r.open(dir.path()));
    EXPECT_EQ(r.problem(), P::CannotOpen);
    test_support::write_file(dir.path() / "empty.dyn", "");
    EXPECT_FALSE(r.open(dir.path() / "empty.dyn"));
    EXPECT_EQ(r.problem(), P::NotDynFile);
    EXPECT_EQ(r.error(), "not a dyn file: shorter than a RAFLIB key (0 bytes)");
}

TEST(SeriesReaderFiles, EveryCutOfAFileIsRefusedOrReadNeverMisread) {
    // le_basic.dyn cut after every record: the reader refuses it (never
    // crashes), except when the cut lies behind the last record it needs.
    test_support::ScratchDir dir;
    const std::string whole = test_support::read_file(fixture_path("le_basic.dyn"));
    const json::Value j = json::sidecar("le_basic.dyn");
    for (std::size_t size = 0; size < whole.size(); size += 512) {
        const fs::path p = dir.path() / "cut.dyn";
        test_support::write_file(p, std::string_view(whole).substr(0, size));
        SeriesReader r;
        if (!r.open(p)) {
            EXPECT_TRUE(r.problem() == P::Truncated || r.problem() == P::NotDynFile) << r.error();
            continue;
        }
        SeriesReader::Series out;
        ASSERT_TRUE(r.read(std::vector<int>{5}, {}, out)) << size;
        ASSERT_EQ(out.values[0].size(), 40U);
        EXPECT_EQ(out.values[0][23], -125.0F);
    }
}

TEST(SeriesReaderWindow, BothEndsAreInsideAtSinglePrecision) {
    SeriesReader r;
    ASSERT_TRUE(r.open(fixture_path("le_basic.dyn"))) << r.error();
    const json::Value j = json::sidecar("le_basic.dyn");
    SeriesReader::Series out;
    // 0.15 and 0.3 are stored as the floats nearest to them, both a little
    // above the typed numbers: still inside.
    ASSERT_TRUE(r.read(std::vector<int>{1}, {0.15, 0.3}, out));
    ASSERT_EQ(out.times.size(), 4U);
    EXPECT_EQ(out.times.front(), f32(j["times"][3]));
    EXPECT_EQ(out.times.back(), f32(j["times"][6]));
    EXPECT_EQ(out.values[0].back(), f32(j["values"][0][6]));
    // One end open; a window beyond the series; a reversed window.
    ASSERT_TRUE(r.read(std::vector<int>{1}, {1.9, SeriesReader::Window{}.last}, out));
    EXPECT_EQ(out.times.size(), 2U);
    ASSERT_TRUE(r.read(std::vector<int>{1}, {5.0, 6.0}, out));
    EXPECT_TRUE(out.times.empty());
    ASSERT_TRUE(r.read(std::vector<int>{1}, {1.0, 0.5}, out));
    EXPECT_TRUE(out.times.empty());
    // Exactly one sample.
    ASSERT_TRUE(r.read(std::vector<int>{5}, {1.15, 1.15}, out));
    ASSERT_EQ(out.values[0].size(), 1U);
    EXPECT_EQ(out.values[0][0], -125.0F);
}

TEST(SeriesReaderWindow, PackedRecordsKeepTheirStepsInTheWindow) {
    SeriesReader r;
    ASSERT_TRUE(r.open(fixture_path("packed.dyn"))) << r.error();
    SeriesReader::Series out;
    // Steps 4 .. 7 lie in three records; the ignored slots of record 2 (times
    // 9.5 and 9.75) never end the window.
    ASSERT_TRUE(r.read(std::vector<int>{2}, {0.4, 0.7}, out));
    ASSERT_EQ(out.times.size(), 4U);
    EXPECT_EQ(out.values[0], (std::vector<float>{-10.0F, -12.5F, -15.0F, -17.5F}));
}

// The number of samples of a window told from a few stored times is the
// number a read gives, wherever the window lies; packed records cannot tell.
TEST(SeriesReaderWindow, CountHintIsTheNumberOfSamplesRead) {
    SeriesReader r;
    ASSERT_TRUE(r.open(fixture_path("le_basic.dyn"))) << r.error();
    const double inf = SeriesReader::Window{}.last;
    const std::vector<SeriesReader::Window> windows = {
        {}, {0.15, 0.3}, {1.9, inf}, {-inf, 0.0}, {5.0, 6.0}, {1.0, 0.5}, {1.15, 1.15}, {-3, -1}};
    for (const SeriesReader::Window& w : windows) {
        SeriesReader::Series out;
        ASSERT_TRUE(r.read(std::vector<int>{1}, w, out));
        EXPECT_EQ(r.count_hint(w), static_cast<std::int64_t>(out.times.size()))
            << w.first << ":" << w.last;
    }
    SeriesReader packed;
    ASSERT_TRUE(packed.open(fixture_path("packed.dyn"))) << packed.error();
    EXPECT_FALSE(packed.count_hint({0.4, 0.7}));
}

// Read buffers given to every read serve file after file (and a read on two
// cores): the same series as without them, and no more memory the second
// time round.
TEST(SeriesReaderBuffers, KeptFromFileToFileAndGiveTheSameSeries) {
    test_support::ScratchDir dir;
    // 199 DynRes: two records a step, 5 MiB (read on two cores).
    constexpr int kDynRes = 199;
    constexpr int kSteps = 5000;
    std::vector<float> times(kSteps);
    std::vector<std::vector<float>> values(kDynRes, std::vector<float>(kSteps));
    for (int i = 0; i < kSteps; ++i) {
        times[static_cast<std::size_t>(i)] = 0.01f * static_cast<float>(i);
        for (int k = 0; k < kDynRes; ++k)
            values[static_cast<std::size_t>(k)][static_cast<std::size_t>(i)] =
                static_cast<float>(k * 1000 + (i * 7919) % 1009);
    }
    tools::DynResLayout layout;
    layout.labels = std::vector<std::string>(kDynRes, "x");
    const fs::path big = dir.path() / "big.dyn";
    tools::write_dynres_file(big, layout, times, values);
    const std::vector<fs::path> files = {big, fixture_path("le_basic.dyn"),
                                         fixture_path("be_basic.dyn"), big,
                                         fixture_path("packed.dyn")};
    reader::ReadBuffers buffers;
    std::size_t held = 0;
    for (int round = 0; round < 2; ++round) {
        for (const fs::path& f : files) {
            SeriesReader r;
            ASSERT_TRUE(r.open(f)) << r.error();
            const std::vector<int> pick{r.dynres_count(), 1};
            SeriesReader::Series own, shared;
            ASSERT_TRUE(r.read(pick, {}, own)) << r.error();
            ASSERT_TRUE(r.read(pick, {}, shared, &buffers)) << r.error();
            EXPECT_FALSE(shared.times.empty()) << f;
            EXPECT_EQ(shared.times, own.times) << f;
            EXPECT_EQ(shared.values, own.values) << f;
            if (f == big) {
                ASSERT_EQ(shared.times.size(), static_cast<std::size_t>(kSteps));
                EXPECT_EQ(shared.values[0], values.back());
                EXPECT_EQ(shared.values[1], values.front());
            }
        }
        if (round == 0) held = buffers.held();
    }
    EXPECT_GT(held, 0U);
    EXPECT_EQ(buffers.held(), held);
}

TEST(SeriesReaderSelection, AnyOrderAndRepeatsAndRefusedNumbers) {
    SeriesReader r;
    ASSERT_TRUE(r.open(fixture_path("be_basic.dyn"))) << r.error();
    const json::Value j = json::sidecar("be_basic.dyn");
    SeriesReader::Series out;
    ASSERT_TRUE(r.read(std::vector<int>{5, 1, 5}, {}, out));
    ASSERT_EQ(out.values.size(), 3U);
    EXPECT_EQ(out.values[0], out.values[2]);
    EXPECT_EQ(out.values[1][10], f32(j["values"][0][10]));
    EXPECT_EQ(out.values[0][23], -125.0F);
    for (const int bad : {0, 6, -1}) {
        EXPECT_FALSE(r.read(std::vector<int>{1, bad}, {}, out)) << bad;
        EXPECT_TRUE(r.is_open());
        EXPECT_NE(r.error().find("does not exist"), std::string::npos);
    }
    // The reader stays usable after a refused number.
    EXPECT_TRUE(r.read(std::vector<int>{}, {}, out));
    EXPECT_EQ(out.times.size(), 40U);
}

TEST(SeriesReaderThreads, ReadersInParallelThreadsGiveTheSameSeries) {
    const std::vector<std::string> files{"le_basic.dyn", "be_basic.dyn", "packed_slack.dyn",
                                         "v1.dyn"};
    std::vector<SeriesReader::Series> got(files.size() * 2);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < got.size(); ++i) {
        threads.emplace_back([&, i] {
            SeriesReader r;
            if (r.open(fixture_path(files[i % files.size()])))
                r.read(all_of(r.dynres_count()), {}, got[i]);
        });
    }
    for (auto& t : threads) t.join();
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_FALSE(got[i].times.empty()) << files[i];
        EXPECT_EQ(got[i].times, got[i + files.size()].times);
        EXPECT_EQ(got[i].values, got[i + files.size()].values);
    }
    EXPECT_EQ(got[0].values, got[1].values);  // little- and big-endian alike
}

TEST(SeriesReaderFiles, ARunningReaderWritesNothingIntoTheCurrentFolder) {
    test_support::ScratchDir dir;
    const fs::path cwd = fs::current_path();
    fs::current_path(dir.path());
    for (const char* f : {"le_basic.dyn", "locked.dyn", "truncated.dyn", "version3.dyn"}) {
        SeriesReader r;
        SeriesReader::Series out;
        if (r.open(fixture_path(f))) r.read(std::vector<int>{1}, {}, out);
    }
    fs::current_path(cwd);
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

}  // namespace
