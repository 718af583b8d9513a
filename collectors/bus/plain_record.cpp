// The common tail of every bus row that no storage handler took: the device name without its
// "[n]" prefix, the bus suffix, the component and its firmware object; and the text rules the
// rows share.
#include <strings.h>

#include <cstdio>
#include <cstring>

#include "base/file_debug.h"
#include "bus_steps.h"

namespace cx::bus {

void RemoveIndexPrefix(char* name) {
    if (name[0] != '[') return;
    CX_TRACE(5, "\n   *removing [n]: %s ", name);
    const char* close = std::strchr(name, ']');
    if (close == nullptr) return;
    const char* rest = close + 1;
    if (*rest == ' ') ++rest;
    std::memmove(name, rest, std::strlen(rest) + 1);
}

void MacAddressText(const BYTE* bytes, std::size_t length, char* text, std::size_t size) {
    if (size == 0) return;
    std::size_t used = static_cast<std::size_t>(std::snprintf(text, size, "MAC"));
    for (std::size_t i = 0; i < length && used < size; ++i) {
        const int written =
            std::snprintf(text + used, size - used, "%c%02X", i == 0 ? ':' : '-', bytes[i]);
        if (written < 0) break;
        used += static_cast<std::size_t>(written);
    }
}

bool StartsWithNoCase(const char* text, const char* prefix) {
    return strncasecmp(text, prefix, std::strlen(prefix)) == 0;
}

void RecordPlainly(CCX_Agent& agent, BusRow& row) {
    ComponentEntry& component = row.component;
    RemoveIndexPrefix(component.ProdName);
    const std::size_t length = strnlen(component.ProdDescript, kEntryTextSize - 1);
    CopyEntryText(component.ProdDescript + length, BusTypeSuffix(row.info.BusType),
                  kEntryTextSize - length);
    CX_TRACE(5, "\n   Component        : (%02X)", component.CompType);
    CX_TRACE(5, "\n   Device Name      : %s", component.ProdName);
    CX_TRACE(5, "\n   Vendor           : %s", component.Vendor);
    CX_TRACE(5, "\n   Description      : %s", component.ProdDescript);
    CX_TRACE(5, "\n   Version(PCI)     : %s", component.Version);
    CX_TRACE(5, "\n   Serial No        : %s", component.SerialNo);
    agent.InsertComponent(&component);
    if (row.firmware.ObjectName[0] != '\0') agent.InsertFwUpdateObject(&row.firmware);
}

}  // namespace cx::bus
