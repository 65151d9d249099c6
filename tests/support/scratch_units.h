// A set of units over a scratch directory: the keyboard reads the answers
// given and the console is captured.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>

#include "io/units.h"
#include "support/scratch.h"

namespace test_support {

struct ScratchUnits {
    explicit ScratchUnits(const std::string& answers = {})
        : keyboard(answers), units(keyboard, console, dir.path()) {}

    // Closes the unit; the content of its file in the directory.
    std::string closed_file(std::int32_t unit, const std::string& name) {
        units.close(unit);
        return dir.read(name);
    }

    ScratchDir dir;
    std::istringstream keyboard;
    std::ostringstream console;
    io::Units units;
};

}  // namespace test_support
