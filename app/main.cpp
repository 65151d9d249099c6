// pektor [size of the work array in millions of words]
#include <cstdio>
#include <iostream>

#include "app/entry.h"
#include "io/units.h"
#include "ops/pektor.h"
#include "raflib/raflib.h"

int main(int argc, char** argv) {
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
