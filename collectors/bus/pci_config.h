// The PCI configuration header of one function as SWITCH returns it, and the identification the
// bus collector takes from it. The decoder works on bytes only, so it can be fed anything.
#pragma once

#include <cstddef>

#include "platform/windef.h"

inline constexpr std::size_t kPciConfigSize = 256;

struct PciConfig {
    BYTE Raw[kPciConfigSize] = {};
    WORD VendorId = 0;
    WORD DeviceId = 0;
    BYTE Revision = 0;
    BYTE HeaderType = 0;  // offset 14 without the multi-function bit
    BOOL MultiFunction = FALSE;
    WORD SubVendorId = 0;  // type 0 headers only
    WORD SubSystemId = 0;
};

// Fills `config` from the first `length` bytes of a header (at most 256 are taken; a shorter
// answer leaves the rest of the header zero, as SWITCH may send only the first 64 bytes).
void DecodePciConfig(const BYTE* bytes, std::size_t length, PciConfig* config);
