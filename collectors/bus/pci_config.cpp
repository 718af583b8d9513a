// Decoding of a PCI configuration header: the raw bytes kept, the identification read from the
// offsets every header type shares, the subsystem only from a type 0 header.
#include "pci_config.h"

#include <cstring>

namespace {

constexpr std::size_t kVendorOffset = 0;
constexpr std::size_t kDeviceOffset = 2;
constexpr std::size_t kRevisionOffset = 8;
constexpr std::size_t kHeaderTypeOffset = 14;
constexpr std::size_t kSubVendorOffset = 44;
constexpr std::size_t kSubSystemOffset = 46;
constexpr BYTE kMultiFunctionBit = 0x80;

WORD LittleEndianWord(const BYTE* raw, std::size_t offset) {
    return static_cast<WORD>(raw[offset] | (raw[offset + 1] << 8));
}

}  // namespace

void DecodePciConfig(const BYTE* bytes, std::size_t length, PciConfig* config) {
    if (config == nullptr) return;
    *config = PciConfig{};
    if (bytes != nullptr) {
        std::memcpy(config->Raw, bytes, length < kPciConfigSize ? length : kPciConfigSize);
    }
    const BYTE* raw = config->Raw;
    config->VendorId = LittleEndianWord(raw, kVendorOffset);
    config->DeviceId = LittleEndianWord(raw, kDeviceOffset);
    config->Revision = raw[kRevisionOffset];
    config->HeaderType = static_cast<BYTE>(raw[kHeaderTypeOffset] & ~kMultiFunctionBit);
    config->MultiFunction = (raw[kHeaderTypeOffset] & kMultiFunctionBit) != 0 ? TRUE : FALSE;
    // Bridges keep other registers at those offsets.
    if (config->HeaderType == 0) {
        config->SubVendorId = LittleEndianWord(raw, kSubVendorOffset);
        config->SubSystemId = LittleEndianWord(raw, kSubSystemOffset);
    }
}
