// SC_MIB's disk tables from hostile sysfs texts: NUL-separated fields give two devices (a
// path, block name, vendor, model, revision, type and nsid each); a PCI function stands at
// whatever address the first path names, so hostile devices reach the table building.
#include <cstdint>
#include <string>
#include <vector>

#include "disk_tables.h"

namespace {

constexpr std::size_t kFieldsPerDevice = 7;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> fields;
    for (std::size_t at = 0; fields.size() < 2 * kFieldsPerDevice;) {
        const std::size_t end = input.find('\0', at);
        fields.push_back(input.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    fields.resize(2 * kFieldsPerDevice);
    std::vector<cx::scmib::StorageDevice> devices(2);
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const std::string* f = &fields[i * kFieldsPerDevice];
        devices[i] = {f[0], f[1], f[2], f[3], f[4], f[5], f[6]};
        // An empty field stands for a missing file in the second device.
        if (i == 1 && f[2].empty()) devices[i].vendor.reset();
        if (i == 1 && f[5].empty()) devices[i].type.reset();
    }
    std::vector<cx::scmib::PciFunction> functions(1);
    if (const auto pci = cx::scmib::ParseDevicePath(devices[1].path).pci) {
        functions[0].domain = (*pci)[0];
        functions[0].bus = (*pci)[1];
        functions[0].device = (*pci)[2];
        functions[0].function = (*pci)[3];
    }
    functions[0].resource = fields[0];
    std::vector<std::string> left_out;
    for (const auto& value : cx::scmib::BuildDiskTables(functions, devices, &left_out)) {
        if (value.oid.size() < 18) __builtin_trap();  // column and a full index
        // Inquiry texts keep the 8/16/4 layout, printable throughout.
        if (value.oid[13] == 2 && value.oid[15] == 5) {
            if (value.octets.size() != 28) __builtin_trap();
            for (char c : value.octets)
                if (c < 0x20 || c > 0x7E) __builtin_trap();
        }
    }
    return 0;
}
