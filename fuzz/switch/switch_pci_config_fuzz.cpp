// cx-switchd --linux on hostile PCI configuration requests and headers: the first byte picks
// the object, the next three are the request's data, the rest is the header the reader returns
// (truncated, empty or longer than 256 bytes).
#include <cstddef>
#include <cstdint>
#include <string>

#include "pci_config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    cx::switchd::RequestKey key;
    key.op_code = 0x1401;
    key.object_id = data[0] & 0x07;
    const std::size_t data_bytes = size - 1 < 3 ? size - 1 : 3;
    key.data.assign(reinterpret_cast<const char*>(data + 1), data_bytes);
    const std::string header(reinterpret_cast<const char*>(data + 1 + data_bytes),
                             size - 1 - data_bytes);
    auto reply = cx::switchd::AnswerPciConfig(
        key, [&](std::uint32_t bus, std::uint32_t device, std::uint32_t function) {
            if (bus > 255 || device > 31 || function > 7) __builtin_trap();
            return std::optional<std::string>(header);
        });
    if (reply && (reply->data.size() < 64 || reply->data.size() > 256)) __builtin_trap();
    return 0;
}
