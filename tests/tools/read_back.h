// Reading written dyn files back through the named-array store, as the
// operations do: the store set-up of the tests with a large work array, and
// the words, parameters, single recalls and keys of the arrays read.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

#include "dms/dms.h"
#include "store/store.h"
#include "support/store_set_up.h"

namespace tools_test {

using test_support::kFile;
using test_support::kNames;
using test_support::kOut;

class ReadBack : public test_support::StoreSetUp {
  protected:
    ReadBack() : StoreSetUp("pektor_tools_", 400000) {}

    std::filesystem::path path(std::string_view name) const { return dir / name; }

    // The words of an allocated array.
    std::vector<std::int32_t> words(std::string_view name) {
        std::int32_t ierr = 0;
        const std::int32_t p = store::ARGTIP(*st, w, name, kOut, ierr);
        EXPECT_EQ(ierr, 0) << name;
        if (ierr != 0) return {};
        const std::int64_t n =
            static_cast<std::int64_t>(dms::DMSINQ(w, name, 1)) * dms::DMSINQ(w, name, 2);
        const auto s = w.words(p, n);
        return {s.begin(), s.end()};
    }

    std::int32_t param(std::string_view name) {
        std::int32_t ierr = 0;
        const std::int32_t v = store::GTSTRU(*units, mstru(), name, kOut, ierr);
        EXPECT_EQ(ierr, 0) << name;
        return v;
    }

    // The single reals of an SP array recalled for a step (ARREC1).
    std::vector<float> record(std::string_view name, std::int32_t step) {
        std::int32_t ierr = 0;
        std::int32_t p = 0;
        store::ARREC1(*st, w, name, p, step, kFile, kOut, ierr);
        EXPECT_EQ(ierr, 0) << name << " step " << step;
        if (ierr != 0) return {};
        std::vector<float> v;
        for (std::int32_t k = 0; k < dms::DMSINQ(w, name, 1); ++k) v.push_back(w.f(p + k));
        return v;
    }

    store::Keys keys(std::string_view name, std::int32_t step) {
        store::Keys k;
        std::int32_t ierr = 0;
        store::ARKEYS(*st, w, name, step, k, kOut, ierr);
        EXPECT_EQ(ierr, 0) << name;
        return k;
    }
};

}  // namespace tools_test
