// Trace calls of the SWITCH client under its component label.
#pragma once

#include "base/file_debug.h"

#define SWITCH_TRACE(level, format, ...) \
    CX_TRACE((level), "\nCSwitchClient       : " format __VA_OPT__(, ) __VA_ARGS__)
