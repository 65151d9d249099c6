#include "ops/common.h"

namespace ops {}  // namespace ops
