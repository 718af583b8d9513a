// Trace calls of the blade collector under its component label.
#pragma once

#include "base/file_debug.h"

#define BLADE_TRACE(level, format, ...) \
    CX_TRACE((level), "\nCX_MIB ChkBlade     :" format __VA_OPT__(, ) __VA_ARGS__)
