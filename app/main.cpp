// pektor [size of the work array in millions of words]
// pektor list|stats|peak|daf|export|vector|combine [options] FILE...
#include <cstdio>
#include <iostream>

#include "app/batch/batch.h"
#include "app/entry.h"
#include "io/units.h"
#include "ops/pektor.h"
#include "raflib/raflib.h"

int main(int argc, char** argv) {
    if (argc > 1 && app::batch::is_batch_argument(argv[1])) {
        try {
            return app::batch::run_batch(argc, argv, std::cout, std::cerr);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "pektor: internal error: %s\n", e.what());
            return 1;
        } catch (...) {
            std::fputs("pektor: internal error\n", stderr);
            return 1;
        }
    }
    try {
        io::Units units(std::cin, std::cout);
        raflib::Raflib raf(units);
        ops::Pektor ops(units, raf);
        return app::entry(argc, argv, units, ops);
    } catch (...) {
        std::fputs("\n *** Internal error: unexpected failure at start-up\n", stdout);
        return 1;
    }
}
