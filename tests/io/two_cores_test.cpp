// Work on two cores used in order, and rows written through it.
#include "io/two_cores.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "io/units.h"
#include "support/scratch.h"

namespace {

using Cores = io::TwoCores<std::vector<int>>;

// Item c fills its buffer with c; the item `fail` fails.
Cores::DoItem numbered(std::size_t fail, std::atomic<int>& calls) {
    return [fail, &calls](std::size_t c, std::vector<int>& buffer) {
        ++calls;
        buffer.assign(100, static_cast<int>(c));
        return c != fail;
    };
}

// With and without the helper, the items come in order, each done once, and
// the first failure (odd: the helper's, even: the caller's) ends the run
// there; a run left early stops the helper however far it has got; the next
// get() hands back the buffers a caller did not release.
TEST(TwoCores, ItemsInOrderFailuresAndEarlyEnds) {
    constexpr std::size_t kNone = 1000;
    struct Case {
        std::size_t count, fail, stop_at;
    };
    for (const int mode : {0, 1, 2}) {
        const bool helper = mode > 0;
        const bool release = mode < 2;
        for (const Case k :
             {Case{40, kNone, kNone}, Case{40, 7, kNone}, Case{40, 12, kNone}, Case{40, kNone, 3},
              Case{3, kNone, kNone}, Case{0, kNone, kNone}, Case{1000, kNone, 500}}) {
            std::atomic<int> calls = 0;
            std::size_t seen = 0;
            bool failed = false;
            {
                Cores cores(k.count, numbered(k.fail, calls), helper);
                for (std::size_t c = 0; c < k.count && c < k.stop_at; ++c) {
                    const std::vector<int>* b = cores.get(c);
                    if (b == nullptr) {
                        failed = true;
                        EXPECT_EQ(c, k.fail);
                        break;
                    }
                    ASSERT_EQ(b->size(), 100U);
                    EXPECT_EQ(b->front(), static_cast<int>(c));
                    EXPECT_EQ(b->back(), static_cast<int>(c));
                    ++seen;
                    if (release) cores.release(c);
                }
            }
            EXPECT_EQ(failed, k.fail < k.count) << helper << " " << k.count;
            EXPECT_EQ(seen, std::min({k.count, k.fail, k.stop_at}));
            // Nothing is done twice, and the helper runs at most a ring ahead.
            EXPECT_LE(static_cast<std::size_t>(calls.load()), std::min(k.count, seen + 18));
        }
    }
}

TEST(TwoCores, WriteRowsGivesTheRecordsInOrderAndPassesOnAnError) {
    test_support::ScratchDir scratch{"pektor_rows_"};
    std::istringstream in;
    std::ostringstream out;
    const auto row_text = [](std::int64_t r) {
        std::string s = std::to_string(r);
        return std::string(9 - s.size(), ' ') + s;
    };
    for (const std::int64_t rows : {0, 1, 6553, 6554, 100000}) {
        {
            io::Units u(in, out, scratch.path());
            u.write(31, "# head");
            io::write_rows(u, 31, rows, 9, [&](std::int64_t r, char* line) {
                const std::string s = row_text(r);
                std::copy(s.begin(), s.end(), line);
            });
            u.close(31);
        }
        std::string expected = "# head\n";
        for (std::int64_t r = 0; r < rows; ++r) expected += row_text(r) + "\n";
        EXPECT_EQ(test_support::read_file(scratch.path() / "fort.31"), expected) << rows;
    }
    io::Units u(in, out, scratch.path());
    EXPECT_THROW(io::write_rows(u, 32, 100000, 9,
                                [](std::int64_t r, char* line) {
                                    if (r == 72084) throw std::out_of_range("row");
                                    line[0] = 'x';
                                }),
                 std::out_of_range);
}

}  // namespace
