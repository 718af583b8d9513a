// SC_MIB's tables from hostile sysfs files: the first four bytes are the class code (absurd
// ones included), then the resource, irq and network address texts separated by NULs.
#include <algorithm>
#include <cstddef>
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
    std::string rest(reinterpret_cast<const char*>(data + 4), size - 4);
    std::string fields[3];
    for (std::size_t i = 0, start = 0; i < 3 && start <= rest.size(); ++i) {
        const std::size_t end = i < 2 ? std::min(rest.find('\0', start), rest.size()) : rest.size();
        fields[i] = rest.substr(start, end - start);
        start = end + 1;
    }
    function.resource = fields[0];
    function.irq = fields[1];
    function.mac = fields[2];
    for (const cx::scmib::TableValue& value : cx::scmib::BuildTables({function})) {
        if (value.oid.size() < 16) __builtin_trap();  // every object has its column and index
    }
    return 0;
}
