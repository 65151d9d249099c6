// pektor [size of the work array in millions of words]
// pektor list|stats|peak|daf|export|vector|combine [options] FILE...
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "app/entry.h"
#include "batch/batch.h"
#include "io/units.h"
#include "ops/pektor.h"
#include "raflib/raflib.h"

int main(int argc, char** argv) {
    if (argc > 1 && batch::is_batch_argument(argv[1])) {
        try {
            return batch::run_batch(argc, argv, std::cout, std::cerr);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "pektor: internal error: %s\n", e.what());
            return 1;
        } catch (...) {
            std::fputs("pektor: internal error\n", stderr);
            return 1;
        }
    }
    if (!batch::is_dialogue_line(argc, argv)) return batch::unknown_command(argc, argv, std::cerr);
    // A closed console pipe fails the dialogue's writes (and the run)
    // instead of killing the process.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        io::Units units(std::cin, std::cout);
        raflib::Raflib raf(units);
        // PEKTOR_PER_STEP=1 reads every step through the store, as the
        // fast path's reference (used by the tests that compare the two).
        const char* per_step = std::getenv("PEKTOR_PER_STEP");
        ops::Pektor ops(units, raf, per_step != nullptr && *per_step != '\0' && *per_step != '0');
        const int code = app::entry(argc, argv, units, ops);
        // A console that could not be written (a full disk, a closed pipe)
        // is a failed run, whatever the dialogue said on it.
        std::cout.flush();
        if (!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout) != 0) return 1;
        return code;
    } catch (...) {
        std::fputs("\n *** Internal error: unexpected failure at start-up\n", stdout);
        return 1;
    }
}
