#include "ops/extract.h"

namespace ops {}  // namespace ops
