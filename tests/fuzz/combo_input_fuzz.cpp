// Fuzz target: the bytes are the input file of operation 4 (combination of
// time series), run on the valid dyn file combo.dyn over the whole series;
// neither file may change.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dyn = fuzz_support::fixture("combo.dyn");
    const fuzz_support::PrivateDir& dir = fuzz_support::private_dir();
    dir.clear();
    dir.write("combo.dyn", dyn);
    dir.write("in.txt", fuzz_support::bytes(data, size));
    fuzz_support::run_dialogue(dir, "4\ncombo.dyn\nout.txt\n\nin.txt\n");
    fuzz_support::expect_unchanged(dir, "combo.dyn", dyn);
    fuzz_support::expect_unchanged(dir, "in.txt", fuzz_support::bytes(data, size));
    dir.clear();
    return 0;
}
