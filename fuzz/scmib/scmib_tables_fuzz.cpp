// SC_MIB's tables from hostile sysfs files: the first four bytes are the class code (absurd
// ones included), then the resource, irq and network address texts separated by NULs.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "pci_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    cx::scmib::PciFunction function;
    std::memcpy(&function.class_code, data, 4);
    function.device = data[0] & 0x3F;  // beyond 31 too
    function.function = data[1] & 0x0F;
    const std::string rest(reinterpret_cast<const char*>(data + 4), size - 4);
    const std::size_t first = std::min(rest.find('\0'), rest.size());
    const std::size_t second = std::min(rest.find('\0', first + 1), rest.size());
    function.resource = rest.substr(0, first);
    function.irq = rest.substr(std::min(first + 1, rest.size()), second - first);
    function.mac = rest.substr(std::min(second + 1, rest.size()));
    for (const cx::scmib::TableValue& value : cx::scmib::BuildTables({function}))
        if (value.oid.size() < 16) __builtin_trap();  // every object has its column and index
    return 0;
}
