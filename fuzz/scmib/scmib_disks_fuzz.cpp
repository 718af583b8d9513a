// SC_MIB's disk tables from hostile sysfs texts: NUL-separated fields give two devices (path,
// block name, vendor, model, revision, type, nsid); the PCI function stands at whatever address
// the second path names, with the first field as its resource file and the third (the first
// device's vendor) as its vendor's name.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "disk_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> f;
    for (std::size_t at = 0; at <= input.size() && f.size() < 14;) {
        const std::size_t end = std::min(input.find('\0', at), input.size());
        f.push_back(input.substr(at, end - at));
        at = end + 1;
    }
    f.resize(14);
    std::vector<cx::scmib::StorageDevice> devices = {{f[0], f[1], f[2], f[3], f[4], f[5], f[6]},
                                                     {f[7], f[8], f[9], f[10], f[11], f[12], {}}};
    if (f[13].empty()) devices[1].vendor.reset();  // a missing file
    cx::scmib::PciFunction function;
    function.resource = f[0];
    function.vendor_name = f[2];  // the maker of NVMe and other PCI disks
    if (const auto pci = cx::scmib::ParseDevicePath(devices[1].path).pci) {
        function.domain = (*pci)[0];
        function.bus = (*pci)[1];
        function.device = (*pci)[2];
        function.function = (*pci)[3];
    }
    std::vector<std::string> left_out;
    for (const auto& value : cx::scmib::BuildDiskTables({function}, devices, &left_out)) {
        if (value.oid.size() < 18) __builtin_trap();  // column and a full index
        // Inquiry texts keep the 8/16/4 layout, printable throughout.
        if (value.oid[12] == 2 && value.oid[14] == 5) {
            if (value.octets.size() != 28) __builtin_trap();
            for (char c : value.octets)
                if (c < 0x20 || c > 0x7E) __builtin_trap();
        }
    }
    return 0;
}
