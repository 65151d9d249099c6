// Fuzz target: the bytes are a dyn file. Each dialogue opens it, lists its
// DynRes and recalls and gathers its series for one operation: statistics of
// every DynRes, peaks in a window, a combination and a vector length.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"

namespace {

// Operation 4 on the first three DynRes of one group.
constexpr const char* kCombination = "1\n3\n1 2 3\n1 0 0\n0 1 0\n0 0 1\n1\nsum\n1 1 1 0 0 0\n";

const std::array<std::string, 4> kRuns = {
    "3\nf.dyn\nout.txt\n\nall\n",
    "1\n-2\nf.dyn\nout.txt\n0.05 0.5\n1\n3\n\n",
    "4\nf.dyn\nout.txt\n\nin.txt\n",
    "5\nf.dyn\nout.txt\n\n1\n2\n",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz_support::PrivateDir& dir = fuzz_support::private_dir();
    for (const std::string& answers : kRuns) {
        dir.clear();
        dir.write("f.dyn", fuzz_support::bytes(data, size));
        dir.write("in.txt", kCombination);
        fuzz_support::run_dialogue(dir, answers);
    }
    dir.clear();
    return 0;
}
