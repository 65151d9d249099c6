// Fuzz target: the bytes are the answers on standard input of a whole
// program run (work array of 2 million words) in a directory that holds a
// valid dyn file, combo.dyn, and its combination input, combo_input.txt.
// The run must end with exit code 0 (and the completion banner) or 1, without
// an internal error, and leave combo.dyn as it was.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dyn = fuzz_support::fixture("combo.dyn");
    static const std::string input = fuzz_support::fixture("combo_input.txt");
    const fuzz_support::PrivateDir& dir = fuzz_support::private_dir();
    dir.clear();
    dir.write("combo.dyn", dyn);
    dir.write("combo_input.txt", input);

    std::istringstream keyboard(fuzz_support::confined_answers(fuzz_support::bytes(data, size)));
    std::ostringstream console;
    int code = 0;
    {
        io::Units units(keyboard, console, dir.path());
        raflib::Raflib raf(units);
        ops::Pektor ops(units, raf);
        const char* const argv[] = {"pektor", fuzz_support::kWordsArgument, nullptr};
        code = app::entry(2, argv, units, ops);
    }
    const std::string text = console.str();
    fuzz_support::echo(text);
    if (code != 0 && code != 1) fuzz_support::fail("exit code neither 0 nor 1", text);
    if (text.find("\n *** Internal error") != std::string::npos) {
        fuzz_support::fail("internal error", text);
    }
    if ((code == 0) != text.ends_with(fuzz_support::kCompletionBanner)) {
        fuzz_support::fail("completion banner and exit code disagree", text);
    }
    // Whatever the answers name, the dyn file is never written over (the
    // input file may be: it may be named as the output file).
    fuzz_support::expect_unchanged(dir, "combo.dyn", dyn);
    dir.clear();
    return 0;
}
