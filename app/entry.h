// The program entry: the size of the work array from the command line, its
// allocation, the dialogue on it, and the exit code.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "dms/work_array.h"
#include "io/units.h"
#include "ops/operations.h"

namespace app {

inline constexpr std::int32_t kDefaultWords = 300'000'000;

struct WorkArraySize {
    std::int32_t nwiwa = 0;  // words of the work array
    float x = 0.0f;          // the single-precision product it was truncated from
};

// Truncates toward zero; NaN and values outside the 32-bit range give
// -2147483648.
std::int32_t truncate_to_int32(float x);

// The work-array length for the size argument in millions of words (nullptr:
// no argument, 300 million words). The text is read as a decimal number the
// way strtod reads it (leading white space skipped, reading stops at the
// first character that cannot continue the number, no number gives 0),
// narrowed to single precision and multiplied by 1.0E6 in single precision.
WorkArraySize work_array_size(const char* arg);

// Allocates the work array in one piece (not cleared); throws std::bad_alloc.
using WorkArrayAllocator = std::function<std::unique_ptr<dms::WorkArray>(std::int32_t nwiwa)>;
std::unique_ptr<dms::WorkArray> allocate_work_array(std::int32_t nwiwa);

// The whole program run: sizes and allocates the work array, reports it on
// the console, runs the dialogue and returns the exit code (0 or 1). Every
// message goes to the console unit. Never throws.
int entry(int argc, const char* const* argv, io::Units& units, ops::Operations& ops,
          const WorkArrayAllocator& allocate = allocate_work_array);

}  // namespace app
