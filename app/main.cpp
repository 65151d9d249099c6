// pektor [size of the work array in millions of words]
#include <cstdio>
#include <iostream>

#include "app/entry.h"
#include "app/unavailable_operations.h"
#include "io/units.h"

int main(int argc, char** argv) {
    try {
        io::Units units(std::cin, std::cout);
        app::UnavailableOperations ops(units);
        return app::entry(argc, argv, units, ops);
    } catch (...) {
        std::fputs("\n *** Internal error: unexpected failure at start-up\n", stdout);
        return 1;
    }
}
