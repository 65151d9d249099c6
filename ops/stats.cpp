#include "ops/stats.h"

namespace ops {}  // namespace ops
