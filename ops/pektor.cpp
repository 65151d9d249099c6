#include "ops/pektor.h"

namespace ops {}  // namespace ops
