// A work array of 420 words with a DMS of N = 20 numbers over its first 400
// words, messages captured from the console (unit 6).
//   T1(a) = W(a), T2(a) = W(20+a), T3(a) = W(40+a); top = W(41), NWIWA = W(42),
//   high-water mark = W(43), name-table address = W(45); after DMSANN the
//   name table is W(61..100) (NT(3) = W(63)) and the top is 101.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "dms/dms.h"
#include "dms/dms_internal.h"
#include "io/units.h"
#include "support/scratch.h"

namespace dms_test {

inline constexpr std::int32_t kN = 20;
inline constexpr std::int32_t kNwiwa = 400;
inline constexpr std::int32_t kSize = 420;
inline constexpr std::int32_t kFill = 0x5A5A5A5A;

class DmsTest : public ::testing::Test {
  protected:
    DmsTest() {
        // These tests read, compare and damage free words on purpose.
        w.unguard();
        for (std::int32_t k = 1; k <= kSize; ++k) w.set_i(k, kFill);
    }

    // DMSOPN_32 and DMSANN; the console is emptied afterwards.
    void open(std::int32_t nwiwa = kNwiwa) {
        std::int32_t ierr = 0;
        dms::DMSOPN_32(w, u, nwiwa, -kN, 0, io::kConsole, ierr);
        ASSERT_EQ(ierr, 0);
        dms::DMSANN(w, u, 0, 0, 1);
        ASSERT_EQ(dms::DMSERR(w), 0) << console();
    }

    // Declares and allocates; returns the pointer.
    std::int32_t book(const char* name, std::int32_t a, std::int32_t dim, std::int32_t nwpe) {
        dms::DMSDCL(w, u, name, a, dim, nwpe, 1);
        return dms::DMSPTR(w, u, name, 1);
    }

    std::int32_t t1(std::int32_t a) const { return w.i(a); }
    std::int32_t t2(std::int32_t a) const { return w.i(kN + a); }
    std::int32_t t3(std::int32_t a) const { return w.i(2 * kN + a); }
    std::int32_t top() const { return w.i(2 * kN + 1); }

    std::vector<std::int32_t> snapshot() const {
        std::vector<std::int32_t> s;
        for (std::int32_t k = 1; k <= kSize; ++k) s.push_back(w.i(k));
        return s;
    }

    std::string console() {
        std::string s = out.str();
        out.str("");
        return s;
    }

    std::istringstream in;
    std::ostringstream out;
    // Damaged control blocks may name any message unit: files that such
    // messages open go to a directory of the test's own.
    test_support::ScratchDir dir{"pektor_dms_"};
    io::Units u{in, out, dir.path()};
    dms::WorkArray w{kSize};
};

}  // namespace dms_test
