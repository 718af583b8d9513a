// Trace calls of the SNMP manager client under its component label.
#pragma once

#include "base/file_debug.h"

#define SNMPMGR_TRACE(level, format, ...) \
    CX_TRACE((level), "\nCSnmpMgr            : " format __VA_OPT__(, ) __VA_ARGS__)
