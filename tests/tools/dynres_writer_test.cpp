// DynRes files: the same bytes as the independently written fixtures, and
// files of every layout read back through the store.
#include "tools/dynres_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "read_back.h"
#include "support/scratch.h"

namespace {

using tools::DynResLayout;
using tools::DynResWriter;
using tools::WriteError;
using tools_test::ReadBack;

DynResLayout fixture_layout(std::vector<std::string> labels) {
    DynResLayout s;
    s.labels = std::move(labels);
    s.options.clock = [] { return raflib::LocalTime{2024, 3, 11, 14, 25, 36}; };
    return s;
}

// Step k of packed.dyn: time, DynRes 1..3.
std::vector<float> packed_slot(int k) {
    return {static_cast<float>(0.1 * k), static_cast<float>(k), static_cast<float>(-2.5 * k),
            static_cast<float>(k * k / 4.0)};
}

std::vector<float> joined(const std::vector<std::vector<float>>& slots) {
    std::vector<float> r;
    for (const auto& s : slots) r.insert(r.end(), s.begin(), s.end());
    return r;
}

using Fixtures = ReadBack;

TEST_F(Fixtures, SameBytesAsTheFixtureFiles) {
    const auto same = [&](const char* fixture) {
        EXPECT_EQ(test_support::read_bytes(path(fixture)),
                  test_support::read_bytes(test_support::fixture_path(fixture)))
            << fixture;
    };
    {
        DynResLayout s =
            fixture_layout({"Shear X", "Shear Y", "Overturn M", "Pressure", "Axial  F"});
        std::vector<float> t;
        std::vector<std::vector<float>> v(5);
        const double pi = std::numbers::pi;
        for (int i = 0; i < 40; ++i) {
            t.push_back(static_cast<float>(0.05 * i));
            v[0].push_back(static_cast<float>(1000 * std::sin(2 * pi * i / 40)));
            v[1].push_back(static_cast<float>(500 + 250 * std::cos(2 * pi * i / 20)));
            v[2].push_back(static_cast<float>(12500 * (1 - std::cos(2 * pi * i / 40))));
            v[3].push_back(42.5F);
            v[4].push_back(i == 23 ? -125.0F : static_cast<float>(10 + 0.5 * i));
        }
        tools::write_dynres_file(path("le_basic.dyn"), s, t, v);
        same("le_basic.dyn");
    }
    {
        DynResLayout s = fixture_layout({"Disp X", "Force Y", "Energy"});
        s.pack = 4;
        s.steps = 10;
        const std::vector<std::vector<float>> records{
            joined({packed_slot(1), packed_slot(2), packed_slot(3), packed_slot(4)}),
            joined({packed_slot(5),
                    {0, 555, 555, 555},
                    {9.5, 999, -999, 999},
                    {9.75, 999, -999, 999}}),
            joined({packed_slot(6), packed_slot(7), packed_slot(8), packed_slot(9)}),
            joined({packed_slot(10), {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}})};
        tools::write_dynres_records(path("packed.dyn"), s, records);
        same("packed.dyn");

        std::vector<float> t;
        std::vector<std::vector<float>> v(3);
        for (int k = 1; k <= 10; ++k) {
            const auto slot = packed_slot(k);
            t.push_back(slot[0]);
            for (std::size_t j = 0; j < 3; ++j) v[j].push_back(slot[j + 1]);
        }
        tools::write_dynres_file(path("packed_simple.dyn"), s, t, v);
        same("packed_simple.dyn");
    }
    {
        DynResLayout s = fixture_layout({"First", "Second"});
        std::vector<float> t;
        std::vector<std::vector<float>> v(2);
        for (int i = 0; i < 6; ++i) {
            t.push_back(0.5F * static_cast<float>(i));
            v[0].push_back(1.0F + static_cast<float>(i));
            v[1].push_back(-1.0F - static_cast<float>(i));
        }
        tools::Mstru fixed;
        fixed.fixed = true;
        fixed.words.assign(200, 0);
        fixed.words[1] = 5;
        fixed.words[2] = 3;
        fixed.words[49] = 6;
        s.mstru = fixed;
        tools::write_dynres_file(path("fixed_mstru.dyn"), s, t, v);
        same("fixed_mstru.dyn");

        for (auto& series : v) series.pop_back();
        t.pop_back();
        s.mstru = tools::dynres_mstru(0, 2, 10, 5, 0);
        tools::write_dynres_file(path("loadst0.dyn"), s, t, v);
        same("loadst0.dyn");
    }
}

using DynRes = ReadBack;

TEST_F(DynRes, OneStepPerRecordReadsBack) {
    DynResLayout s;
    s.labels = {"Surge", "Heave  motion", "Pitch angle X"};
    std::vector<float> t;
    std::vector<std::vector<float>> v(3);
    for (int i = 0; i < 7; ++i) {
        t.push_back(0.25F * static_cast<float>(i));
        for (std::size_t k = 0; k < 3; ++k)
            v[k].push_back(static_cast<float>(100 * (k + 1) + i) - 0.5F);
    }
    tools::write_dynres_file(path("one.dyn"), s, t, v);
    std::array<std::string_view, 30> names = tools_test::kNames;
    names[28] = "STEPINF";
    ASSERT_EQ(open("one.dyn", names), 0) << output();
    ASSERT_EQ(recall_all(), 0) << output();

    EXPECT_EQ(param("LOADST"), 7);
    EXPECT_EQ(param("nDynRes"), 3);
    EXPECT_EQ(param("nCol   "), 10);
    EXPECT_EQ(param("nDRStep "), 7);
    EXPECT_EQ(param("nDRpack "), 0);
    // The spare room takes the reader's own parameters.
    std::int32_t ierr = 0;
    EXPECT_EQ(store::PTSTRU(*units, mstru(), "LSTSTO", 7, tools_test::kOut, ierr), 7);
    EXPECT_EQ(store::PTSTRU(*units, mstru(), "IXACT ", 1, tools_test::kOut, ierr), 8);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(param("iXact   "), 1);

    std::vector<std::int32_t> labels;
    for (std::string_view l : {"Surge     ", "Heave  mot", "Pitch angl"})
        for (char c : l) labels.push_back(c);
    EXPECT_EQ(words("ICDYNR"), labels);
    EXPECT_EQ(record("DYNRES", 1), (std::vector<float>{0.0F, 99.5F, 199.5F, 299.5F}));
    EXPECT_EQ(record("DYNRES", 4), (std::vector<float>{0.75F, 102.5F, 202.5F, 302.5F}));
    EXPECT_EQ(record("DYNRES", 7), (std::vector<float>{1.5F, 105.5F, 205.5F, 305.5F}));
    EXPECT_EQ(record("STEPINF", 4), (std::vector<float>{4.25F, 4.5F}));
    EXPECT_EQ(keys("DYNRES", 4).key, 100 + 9 + 2 * 3 + 2);
    EXPECT_EQ(output(), "");
}

TEST_F(DynRes, PackedStepsFillSlotsAndLeaveTheRestZero) {
    DynResLayout s;
    s.labels = {"A", "B"};
    s.pack = 3;
    s.steps = 7;
    DynResWriter wr(path("packed.dyn"), s);
    EXPECT_EQ(wr.records(), 3);
    EXPECT_EQ(wr.record_length(), 9);
    for (int k = 1; k <= 7; ++k) {
        const std::vector<float> values{static_cast<float>(k), static_cast<float>(-k)};
        wr.add_step(0.5F * static_cast<float>(k), values);
    }
    wr.finish();

    ASSERT_EQ(open("packed.dyn"), 0) << output();
    ASSERT_EQ(recall_all(), 0) << output();
    EXPECT_EQ(param("LOADST"), 3);
    EXPECT_EQ(param("nDRStep"), 7);
    EXPECT_EQ(param("nDRpack "), 3);
    EXPECT_EQ(record("DYNRES", 2), (std::vector<float>{2, 4, -4, 2.5, 5, -5, 3, 6, -6}));
    EXPECT_EQ(record("DYNRES", 3), (std::vector<float>{3.5, 7, -7, 0, 0, 0, 0, 0, 0}));
}

TEST_F(DynRes, LabelWidthFromTheLongestLabelWhenNcolIsZero) {
    DynResLayout s;
    s.labels = {"Heave motion", "Pitch", ""};
    s.ncol = 0;
    s.zero_padding = true;
    const std::vector<float> t{0.0F, 1.0F};
    tools::write_dynres_file(path("ncol0.dyn"), s, t, {{1, 2}, {3, 4}, {5, 6}});
    ASSERT_EQ(open("ncol0.dyn"), 0) << output();
    ASSERT_EQ(recall_all(), 0) << output();
    EXPECT_EQ(param("nCol   "), 0);
    std::int32_t ierr = 0;
    EXPECT_EQ(store::ARSIZE(*st, w, "ICDYNR", tools_test::kOut, ierr), 36);
    std::vector<std::int32_t> labels(36, 0);
    for (std::size_t c = 0; c < 12; ++c) labels[c] = "Heave motion"[c];
    for (std::size_t c = 0; c < 5; ++c) labels[12 + c] = "Pitch"[c];
    EXPECT_EQ(words("ICDYNR"), labels);
    EXPECT_EQ(record("DYNRES", 2), (std::vector<float>{1, 2, 4, 6}));
}

TEST_F(DynRes, OverridesForDamagedFiles) {
    DynResLayout s;
    s.ndynres = 2;
    s.pack = 2;
    s.steps = 3;
    s.stepinf = false;
    s.raw_labels = std::vector<std::int32_t>{65, 66, 0};
    s.dynres_length = 3;
    tools::Mstru m = tools::default_mstru(s);
    EXPECT_EQ(m.get("LOADST"), 2);
    m.set("nDRStep", 16);
    m.set("LOADST", -4);
    m.remove("NCOL");
    m.set("NNP", 48);
    s.mstru = m;
    tools::write_dynres_records(path("odd.dyn"), s, {{0.5F, 1, 2}, {1.5F, 3, 4}});
    ASSERT_EQ(open("odd.dyn"), 0) << output();
    ASSERT_EQ(recall_all(), 0) << output();
    EXPECT_EQ(param("nDRStep"), 16);
    EXPECT_EQ(param("LOADST"), -4);
    EXPECT_EQ(param("nCol   "), 0);
    EXPECT_EQ(param("nDRpack "), 2);
    EXPECT_EQ(param("NNP"), 48);
    EXPECT_EQ(words("ICDYNR"), (std::vector<std::int32_t>{65, 66, 0}));
    // One result array per step: DYNRES of step s at key 109 + s.
    EXPECT_EQ(keys("DYNRES", 2).key, 111);
    EXPECT_EQ(record("DYNRES", 2), (std::vector<float>{1.5F, 3, 4}));
}

TEST(DynResRefusals, StepsAndLayoutMustAgree) {
    const test_support::ScratchDir scratch;
    const auto p = scratch.path() / "refusals.dyn";
    DynResLayout s;
    s.labels = {"A", "B"};
    s.steps = 2;
    {
        DynResWriter wr(p, s);
        EXPECT_THROW(wr.add_step(0, std::vector<float>{1}), WriteError);
        wr.add_step(0, std::vector<float>{1, 2});
        EXPECT_THROW(wr.add_record(std::vector<float>{0, 1, 2}), WriteError);
        EXPECT_THROW(wr.finish(), WriteError);
        wr.add_step(1, std::vector<float>{1, 2});
        EXPECT_THROW(wr.add_step(2, std::vector<float>{1, 2}), WriteError);
        wr.finish();
    }
    s.ndynres = 1;
    EXPECT_THROW(DynResWriter(p, s), WriteError);
    tools::Mstru m;
    m.offset = 1;
    m.identifiers = {{"IDLAYOUT", -1}, {"IDOFFSET", 1}};
    EXPECT_THROW(m.build(), WriteError);
    m.offset = 2;
    m.identifiers.push_back({"TOO_LONG_", 1});
    EXPECT_THROW(m.build(), WriteError);
    std::filesystem::remove(p);
}

}  // namespace
