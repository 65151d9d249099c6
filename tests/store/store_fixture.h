// A fresh store over a temporary directory, a captured console and a small
// work array, with the name list that the operations use.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "dms/dms.h"
#include "store/store.h"
#include "support/scratch.h"
#include "support/store_set_up.h"

namespace store_test {

using test_support::kFile;
using test_support::kNames;
using test_support::kOut;

class StoreTest : public test_support::StoreSetUp {
  protected:
    explicit StoreTest(std::int32_t words = 200000) : StoreSetUp("pektor_store_", words) {}

    // Opens a dyn file of tests/data (copied, read-only as stored) and
    // builds the catalogue.
    std::int32_t open(const std::string& fixture) {
        test_support::copy_fixture(fixture, dir / fixture, test_support::Copy::as_stored);
        return StoreSetUp::open(fixture);
    }

    // Only an operation's DMS and catalogue, without a file.
    void catalogue_only() {
        std::int32_t ierr = 0;
        dms::DMSOPN_32(w, *units, w.size(), -33, 0, kOut, ierr);
        ASSERT_EQ(ierr, 0);
        store::ARINIT(*st, w, kNames, 8, 30, 0, kOut, ierr);
        ASSERT_EQ(ierr, 0);
    }
};

}  // namespace store_test
