// Fuzz target: the bytes are a dyn file. Each dialogue opens it, lists its
// DynRes and recalls and gathers its series for one operation: statistics of
// every DynRes, peaks in a window, a combination and a vector length. The
// series reader of the batch commands then reads it: every DynRes over the
// whole series and in a window, read-only. The statistics of the batch
// commands in the dialogue's blank window (0 to 1.0E35) must agree with
// those of the dialogue: both refuse the file, both find no sample, or both
// give the same n, maximum, minimum, mean and standard deviation as printed.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "batch/source.h"
#include "batch/stats.h"
#include "fuzz_support.h"
#include "reader/series_reader.h"
#include "support/agreement.h"

namespace {

// Operation 4 on the first three DynRes of one group.
constexpr const char* kCombination = "1\n3\n1 2 3\n1 0 0\n0 1 0\n0 0 1\n1\nsum\n1 1 1 0 0 0\n";

const std::array<std::string, 4> kRuns = {
    "3\nf.dyn\nout.txt\n\nall\n",
    "1\n-2\nf.dyn\nout.txt\n0.05 0.5\n1\n3\n\n",
    "4\nf.dyn\nout.txt\n\nin.txt\n",
    "5\nf.dyn\nout.txt\n\n1\n2\n",
};

void read_series(const fuzz_support::PrivateDir& dir, std::string_view bytes) {
    dir.clear();
    dir.write("f.dyn", bytes);
    reader::SeriesReader r;
    if (!r.open(dir.path() / "f.dyn")) {
        if (r.error().empty()) fuzz_support::fail("series reader: refused without a message");
        return;
    }
    reader::SeriesReader::Summary s;
    if (!r.summary(s)) return;
    std::vector<int> all(static_cast<std::size_t>(r.dynres_count()));
    std::iota(all.begin(), all.end(), 1);
    reader::SeriesReader::Series whole;
    if (r.read(all, {}, whole)) {
        // Steps with a time that is not a number are outside every window.
        if (whole.times.size() > static_cast<std::size_t>(s.steps)) {
            fuzz_support::fail("series reader: more samples than the summary's steps");
        }
        for (const auto& v : whole.values) {
            if (v.size() != whole.times.size()) fuzz_support::fail("series reader: ragged series");
        }
        // A direct read into arrays gives the same bits.
        if (const std::optional<std::int64_t> n = r.direct_count()) {
            if (*n != static_cast<std::int64_t>(whole.times.size()))
                fuzz_support::fail("series reader: the direct count differs from the read");
            const auto k = static_cast<std::size_t>(r.dynres_count());
            std::vector<float> t(whole.times.size()), x(whole.times.size() * k);
            if (r.read_steps(0, *n, 1, r.dynres_count(), t.data(), x.data()) != 0)
                fuzz_support::fail("series reader: a direct read failed after a whole read");
            for (std::size_t i = 0; i < t.size(); ++i) {
                bool same = std::bit_cast<std::uint32_t>(t[i]) ==
                            std::bit_cast<std::uint32_t>(whole.times[i]);
                for (std::size_t c = 0; c < k; ++c)
                    same = same && std::bit_cast<std::uint32_t>(x[i * k + c]) ==
                                       std::bit_cast<std::uint32_t>(whole.values[c][i]);
                if (!same) fuzz_support::fail("series reader: a direct read differs");
            }
        }
    }
    const std::array<int, 3> some = {2, 1, 2};
    reader::SeriesReader::Series part;
    r.read(some, {0.05, 0.5}, part);
    if (fuzz_support::read_file(dir.path() / "f.dyn") != bytes) {
        fuzz_support::fail("series reader: the file changed");
    }
}

// Operation 3 with ALL and the blank window, as the batch commands compute it.
agreement::Outcome batch_outcome(const fuzz_support::PrivateDir& dir, std::string_view bytes) {
    dir.clear();
    dir.write("f.dyn", bytes);
    agreement::Outcome o;
    std::string error;
    const auto src = batch::open_source(dir.path() / "f.dyn", error);
    if (!src) return o;
    std::vector<std::int32_t> all(src->contents().dynres.size());
    std::iota(all.begin(), all.end(), 1);
    std::vector<batch::SeriesStats> stats;
    std::vector<batch::StatsTimes> times;
    if (!batch::stream_stats(*src, {0.0f, 1.0E35f}, all, batch::Moments::sample, stats, times,
                             error))
        return o;
    if (times.empty() || times.front().samples == 0) {
        o.kind = agreement::Outcome::Kind::NoSample;
        return o;
    }
    o.kind = agreement::Outcome::Kind::Read;
    for (std::size_t j = 0; j < stats.size(); ++j) {
        const batch::SeriesStats& st = stats[j];
        o.stats.push_back(agreement::batch_stats(st.n, st.max, st.min, st.mean,
                                                 st.std.value_or(0.0), times[j].samples));
    }
    return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz_support::PrivateDir& dir = fuzz_support::private_dir();
    const std::string_view bytes = fuzz_support::bytes(data, size);
    agreement::Outcome statistics;
    for (const std::string& answers : kRuns) {
        dir.clear();
        dir.write("f.dyn", bytes);
        dir.write("in.txt", kCombination);
        const fuzz_support::Dialogue d = fuzz_support::run_dialogue(dir, answers);
        if (&answers == &kRuns.front())
            statistics = agreement::from_dialogue(d.console, d.status == 0);
    }
    read_series(dir, bytes);
    const std::string differs = agreement::disagreement(statistics, batch_outcome(dir, bytes));
    if (!differs.empty()) fuzz_support::fail("dialogue and batch commands disagree", differs);
    dir.clear();
    return 0;
}
