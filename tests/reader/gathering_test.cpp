// The rules that decide which steps a dyn file holds, shared by the gathering
// of the dialogue and the series reader: each refusal with the detail lines
// the dialogue prints and the one line the batch commands print.
#include "reader/gathering.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/scratch_units.h"

namespace {

using reader::gathering::Fault;
using reader::gathering::Layout;
using reader::gathering::Parameters;
using reader::gathering::Verdict;

struct Case {
    const char* what;
    Verdict verdict;
    Fault fault;
    const char* detail;  // the dialogue's lines, each ending in a newline
    const char* reason;
};

Layout layout_of(const Parameters& p) {
    Layout l;
    EXPECT_TRUE(reader::gathering::check_parameters(p, l).ok());
    return l;
}

// Three DynRes, 40 steps, one per record: 4 words a step, one record each.
const Layout kPlain = layout_of({40, 3, 0, 0});
// Packed: 5 slots of 4 words, 12 slots in all.
const Layout kPacked = layout_of({3, 3, 5, 12});

std::vector<Case> cases() {
    Layout l;
    return {
        {"no DynRes", reader::gathering::check_parameters({40, 0, 0, 0}, l), Fault::NoDynRes,
         "      Number of DynRes (nDynRes) below 1    :         0\n",
         "damaged: DynRes parameter nDynRes = 0"},
        {"negative steps", reader::gathering::check_parameters({-1, 3, 0, 0}, l),
         Fault::NegativeSteps, "      Result steps (LSTSTO) negative         :        -1\n",
         "damaged: DynRes parameter LSTSTO = -1"},
        {"negative packing", reader::gathering::check_parameters({4, 3, -2, 0}, l),
         Fault::NegativePack, "      Steps per record (nDRpack) negative    :        -2\n",
         "damaged: DynRes parameter nDRpack = -2"},
        {"negative slots", reader::gathering::check_parameters({4, 3, 2, -7}, l),
         Fault::NegativeSlots, "      Time-step slots (nDRStep) negative     :        -7\n",
         "damaged: DynRes parameter nDRStep = -7"},
        {"steps beyond the file", reader::gathering::check_file_size(kPlain, 30 * 512 + 511),
         Fault::StepsBeyondFile,
         "      Result steps (LSTSTO)                  :        40\n"
         "      need 512-byte records per step         :         1\n"
         "      the file holds 512-byte records        :        30\n",
         "truncated: 40 result steps (LSTSTO) of 1 record each cannot fit the 30 records of the "
         "file"},
        {"short record", reader::gathering::check_record(kPacked, 1, 19), Fault::ShortRecord,
         "      DYNRES record of step                  :         1\n"
         "      holds words                            :        19\n"
         "      needs nDRpack * (nDynRes + 1) words    :        20\n",
         "damaged: DYNRES records of 19 words cannot hold the 20 words of a step record"},
        {"shared record", reader::gathering::check_keys(kPlain, 111, 111), Fault::SharedRecord,
         "      Result steps (LSTSTO)                  :        40\n"
         "      DYNRES record key of step 1            :       111\n"
         "      DYNRES record key of step 2            :       111\n",
         "damaged: the result steps do not advance through the DYNRES records (step 1 reads key "
         "111, step 2 key 111)"},
    };
}

TEST(Gathering, EachRefusalPrintsItsDetailLinesAndItsOneLineReason) {
    for (const Case& c : cases()) {
        test_support::ScratchUnits u;
        EXPECT_EQ(c.verdict.fault, c.fault) << c.what;
        c.verdict.report(u.units, 6);
        EXPECT_EQ(u.console.str(), c.detail) << c.what;
        EXPECT_EQ(c.verdict.reason(), c.reason) << c.what;
    }
}

TEST(Gathering, FilesThatHoldTheirStepsPass) {
    // Exactly enough records; a record of exactly P slots; advancing keys;
    // one step needs no second key; no step needs no record.
    EXPECT_TRUE(reader::gathering::check_file_size(kPlain, 40 * 512).ok());
    EXPECT_TRUE(reader::gathering::check_file_size(layout_of({0, 3, 0, 0}), 0).ok());
    EXPECT_TRUE(reader::gathering::check_record(kPacked, 1, 20).ok());
    EXPECT_TRUE(reader::gathering::check_keys(kPlain, 111, 112).ok());
    EXPECT_TRUE(reader::gathering::check_keys(layout_of({1, 3, 0, 0}), 111, 111).ok());
    // A step of many slots spans several records: 200 slots of 4 words.
    const Layout wide = layout_of({10, 3, 200, 2000});
    EXPECT_EQ(wide.capacity, 2000);
    EXPECT_TRUE(reader::gathering::check_file_size(wide, 70 * 512).ok());
    EXPECT_EQ(reader::gathering::check_file_size(wide, 69 * 512).fault, Fault::StepsBeyondFile);
    // The largest claimed count is refused by arithmetic, not by a table.
    EXPECT_EQ(reader::gathering::check_file_size(layout_of({2147483647, 3, 0, 0}), 50688).fault,
              Fault::StepsBeyondFile);
}

}  // namespace
