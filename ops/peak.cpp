#include "ops/peak.h"

namespace ops {}  // namespace ops
