// The firmware's SMBIOS table, read defensively: the entry point (2.x "_SM_", 3.x "_SM3_" or
// the bare legacy "_DMI_") tells the version and the table's size; the table is walked with
// every length checked, strings taken by index and placeholder texts left out. Bytes in,
// MachineInfo out; no file access here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "machine_info.h"

namespace cx::switchd {

struct SmbiosEntryPoint {
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    std::uint32_t table_length = 0;     // 3.x: the table's maximum size
    std::uint32_t structure_count = 0;  // 2.x only; 0 when not given
    bool v3 = false;
};

// Reads the entry point; false with the reason in *error for a wrong anchor, a short or
// oversized length or a bad checksum.
bool ParseSmbiosEntryPoint(std::string_view bytes, SmbiosEntryPoint* entry, std::string* error);

// Adds what the table describes to *info. A broken structure (a length below the header's,
// a formatted area or string set running past the end) ends the walk; what came before it
// stays. Returns the number of structures read.
std::size_t ParseSmbiosTable(const SmbiosEntryPoint& entry, std::string_view table,
                             MachineInfo* info);

// The name of a chassis type code ("Rack Mount Chassis"); FRU chassis areas use the same codes.
// Empty for codes without one.
std::string ChassisTypeName(std::uint8_t type);

// A firmware text as the agent should see it: control and non-ASCII bytes as '.', blanks
// trimmed, placeholders ("Not Specified", "To be filled by O.E.M.", ...) as empty.
std::string CleanFirmwareText(std::string_view text);

}  // namespace cx::switchd
