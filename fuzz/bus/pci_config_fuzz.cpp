// A configuration header is whatever SWITCH sends: any length, any header type, any class code.
// The decoder must keep to its 256 bytes and read the subsystem only from a type 0 header.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "pci_config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    PciConfig config;
    DecodePciConfig(data, size, &config);
    const std::size_t kept = size < kPciConfigSize ? size : kPciConfigSize;
    if (std::memcmp(config.Raw, data, kept) != 0) std::abort();
    for (std::size_t i = kept; i < kPciConfigSize; ++i)
        if (config.Raw[i] != 0) std::abort();
    if ((config.HeaderType & 0x80) != 0) std::abort();
    if (config.HeaderType != 0 && (config.SubVendorId != 0 || config.SubSystemId != 0))
        std::abort();
    if (config.VendorId != (config.Raw[0] | config.Raw[1] << 8)) std::abort();
    return 0;
}
