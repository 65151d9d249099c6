// Running the built pektor program for operations 4 and 5: a scratch
// directory with copies of the fixtures, the answers on standard input, and
// comparisons of the files it writes.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/dialogue_texts.h"
#include "support/program.h"
#include "support/scratch.h"

namespace combine_test {

using test_support::banner;
using test_support::kCompletion;
using test_support::ScratchDir;

struct Outcome {
    int code = -1;
    std::string console;
    std::string out;  // the output file "out.txt"
};

// Runs pektor in the directory with the answers (the work array in millions
// of words).
inline Outcome run_pektor(const ScratchDir& dir, const std::string& answers,
                          const std::string& size = "1") {
    const test_support::ProgramRun run =
        test_support::run_with_answers(dir, PEKTOR_BIN, size, answers);
    Outcome r;
    r.code = run.code;
    r.console = run.console;
    r.out = dir.read("out.txt");
    EXPECT_EQ(run.errors, "");
    return r;
}

// The answers of the dialogue up to the operation's own: the operation, the
// dyn file combo.dyn, the output file out.txt and the time window.
inline std::string dialogue(int operation, const std::string& window) {
    return std::to_string(operation) + "\ncombo.dyn\nout.txt\n" + window + "\n";
}

inline const std::string kCombinationBanner = banner(test_support::kTitle4);
inline const std::string kVectorBanner = banner(test_support::kTitle5);

inline std::string illegal_number(const std::string& error, const std::string& specified,
                                  const std::string& count) {
    return "\n  " + error +
           "\n"
           "\n  *** Illegal Dynres Number  "
           "\n      Specified  Dynres   : " +
           specified + "\n      Number of  Dynres   : " + count + "\n";
}

// Compares line by line. An expected line ending in "~0" matches a line
// that starts like it and ends in a number of magnitude below 1E-10 (a
// moment that is zero apart from rounding).
inline void expect_lines(const std::string& actual, const std::string& expected,
                         const std::string& what) {
    const auto split = [](const std::string& s) {
        std::vector<std::string> lines;
        std::stringstream in(s);
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        return lines;
    };
    const std::vector<std::string> a = split(actual);
    const std::vector<std::string> e = split(expected);
    bool near = false;
    for (std::size_t i = 0; i < a.size() && i < e.size(); ++i) {
        const std::string& x = e[i];
        if (x.size() >= 2 && x.compare(x.size() - 2, 2, "~0") == 0) {
            near = true;
            const std::string head = x.substr(0, x.size() - 2);
            EXPECT_EQ(a[i].substr(0, head.size()), head) << what << " line " << i + 1;
            const double v =
                std::strtod(a[i].c_str() + std::min(head.size(), a[i].size()), nullptr);
            EXPECT_LT(std::fabs(v), 1e-10) << what << " line " << i + 1 << ": " << a[i];
        } else {
            EXPECT_EQ(a[i], x) << what << " line " << i + 1;
        }
    }
    EXPECT_EQ(a.size(), e.size()) << what;
    if (!near) {
        EXPECT_EQ(actual, expected) << what;
    }
}

// Runs the answers with work arrays of first, first + step, ... up to last
// words, in fresh directories holding combo.dyn (and the named input file).
// Each run must either succeed (check_success) or end with the operation's
// error block after a refused booking (runs too small for the listing call
// before the operation are passed over); returns the arrays refused.
template <class Check>
std::set<std::string> sweep_work_array(const std::string& answers, const std::string& input,
                                       int first, int last, int step, const std::string& error,
                                       Check check_success) {
    std::set<std::string> refused;
    const std::string insufficient = "Insufficient space for array ";
    for (int words = first; words <= last; words += step) {
        ScratchDir dir;
        dir.copy_fixture("combo.dyn");
        if (!input.empty()) dir.copy_fixture(input);
        const Outcome r = run_pektor(dir, answers, std::to_string(words / 1.0e6));
        if (r.code == 0) {
            check_success(dir, r);
            continue;
        }
        EXPECT_EQ(r.code, 1) << words;
        // Too small for the listing call before the operation.
        if (r.out.ends_with("*** ERROR IN PEKTOR0    ***\n")) continue;
        EXPECT_TRUE(r.out.ends_with("\n  " + error + "\n")) << words << "\n" << r.out;
        const std::size_t at = r.out.find(insufficient);
        if (at == std::string::npos) {
            ADD_FAILURE() << words << "\n" << r.out;
            continue;
        }
        const std::size_t from = at + insufficient.size();
        refused.insert(r.out.substr(from, r.out.find('\n', from) - from));
    }
    return refused;
}

}  // namespace combine_test
