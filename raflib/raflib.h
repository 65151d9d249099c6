// RAFLIB: random access files of numbered arrays in 512-byte records.
#pragma once

#include "raflib/arrays.h"
#include "raflib/files.h"
#include "raflib/layout.h"
#include "raflib/messages.h"
#include "raflib/state.h"
