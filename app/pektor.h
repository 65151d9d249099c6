// The interactive dialogue: banner and menus, the answers for one job, the
// output file, the DynRes loop and the result lines.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dms/work_array.h"
#include "io/units.h"
#include "ops/operations.h"

namespace app {

inline constexpr std::int32_t kScreenUnit = 6;   // banners, menus, prompts, result lines
inline constexpr std::int32_t kOutputUnit = 17;  // the output file named by the user

// Runs the dialogue on the work array and the operations. Reads the answers
// from the keyboard (unit 5). Returns 0 after the completion banner, -1 on any
// failure (an operation that failed, an output file that cannot be opened, an
// answer that cannot be read). The output file is closed on every way out.
std::int32_t pektor(dms::WorkArray& w, io::Units& units, ops::Operations& ops);

}  // namespace app
