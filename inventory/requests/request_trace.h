// What the information requests share: their trace labels, the text fields of a component that
// the request table describes, and the bounded copy into a caller's field.
#pragma once

#include <cstdio>

#include "base/file_debug.h"
#include "inventory/component_entry.h"

#define REQUEST_TRACE(level, format, ...) \
    CX_TRACE((level), "\nCX_MIB              : " format __VA_OPT__(, ) __VA_ARGS__)
#define SWITCH_REQUEST_TRACE(level, format, ...) \
    CX_TRACE((level), "\nCX_MIB SwitchRequest: " format __VA_OPT__(, ) __VA_ARGS__)
#define CHECK_MIB_TRACE(level, format, ...) \
    CX_TRACE((level), "\nCX_MIB CheckMib     : " format __VA_OPT__(, ) __VA_ARGS__)
// Continuation lines: indented, without a label.
#define REQUEST_DETAIL(level, format, ...) CX_TRACE((level), "\n" format __VA_OPT__(, ) __VA_ARGS__)

// One text field of ComponentEntry and the request-table key that says how to obtain it.
struct InfoField {
    const char* key;
    char (ComponentEntry::*text)[kEntryTextSize];
};

// In the order the fields are asked for. The SNMP method never reads the last one (CompId).
inline constexpr InfoField kInfoFields[] = {
    {"Info.Vendor", &ComponentEntry::Vendor},
    {"Info.ProdName", &ComponentEntry::ProdName},
    {"Info.ProdNumber", &ComponentEntry::ProdNumber},
    {"Info.ProdDescript", &ComponentEntry::ProdDescript},
    {"Info.Version", &ComponentEntry::Version},
    {"Info.ManuDate", &ComponentEntry::ManuDate},
    {"Info.SerialNo", &ComponentEntry::SerialNo},
    {"Info.Language", &ComponentEntry::Language},
    {"Info.CompId", &ComponentEntry::CompId},
};
inline constexpr int kSnmpInfoFieldCount = 8;

// Copies at most size - 1 characters and terminates; nothing happens without room.
inline void CopyText(char* text, DWORD size, const char* value) {
    if (text != nullptr && size != 0) std::snprintf(text, size, "%s", value);
}
