// The reader of SC_MIB's facts: libpci for the function list, identification and names, plain
// reads for the rest. libpci reports errors through a handler that must not return; ours jumps
// back to the guard around the one libpci call that failed, so a function that disappears
// while it is read costs that function only.
#include "sysfs_reader.h"

#include <algorithm>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <tuple>

#include "sysfs_files.h"

extern "C" {
#include <pci/pci.h>
}

namespace cx::scmib {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kNetworkClass = 6;
constexpr int kNameLookup = PCI_LOOKUP_NO_NUMBERS | PCI_LOOKUP_NO_HWDB;

// Where the handlers of the thread that runs libpci report to.
thread_local std::jmp_buf* t_error_jump = nullptr;
thread_local std::vector<std::string>* t_problems = nullptr;

void Report(const char* prefix, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof(text), format, args);
    if (t_problems != nullptr) t_problems->push_back(std::string(prefix) + text);
}

// GNU noreturn, not [[noreturn]]: libpci's handler type carries the attribute.
__attribute__((noreturn)) void OnError(char* format, ...) {
    va_list args;
    va_start(args, format);
    Report("libpci: ", format, args);
    va_end(args);
    std::longjmp(*t_error_jump, 1);
}

void OnWarning(char* format, ...) {
    va_list args;
    va_start(args, format);
    Report("libpci warning: ", format, args);
    va_end(args);
}

void OnDebug(char*, ...) {}

// Guarded libpci calls: only trivially destructible locals, as the error handler jumps out.
bool GuardedInitAndScan(pci_access* access) {
    std::jmp_buf jump;
    t_error_jump = &jump;
    if (setjmp(jump) != 0) return false;
    pci_init(access);
    pci_scan_bus(access);
    return true;
}

struct RawNames {
    char class_name[256];
    char device_name[256];
    char vendor_name[256];
};

bool GuardedFill(pci_access* access, pci_dev* dev, RawNames* names) {
    std::jmp_buf jump;
    t_error_jump = &jump;
    if (setjmp(jump) != 0) return false;
    const int known = pci_fill_info(dev, PCI_FILL_IDENT | PCI_FILL_CLASS);
    if ((known & (PCI_FILL_IDENT | PCI_FILL_CLASS)) != (PCI_FILL_IDENT | PCI_FILL_CLASS))
        return false;
    auto lookup = [&](char* buffer, int flags, auto... ids) {
        buffer[0] = '\0';
        if (pci_lookup_name(access, buffer, sizeof(RawNames::class_name), kNameLookup | flags,
                            ids...) == nullptr)
            buffer[0] = '\0';
    };
    lookup(names->class_name, PCI_LOOKUP_CLASS, static_cast<int>(dev->device_class));
    lookup(names->vendor_name, PCI_LOOKUP_VENDOR, static_cast<int>(dev->vendor_id));
    lookup(names->device_name, PCI_LOOKUP_DEVICE, static_cast<int>(dev->vendor_id),
           static_cast<int>(dev->device_id));
    return true;
}

// The address of the function's first network interface: net/*/address, or one level down
// where a bus driver sits between (virtio: virtioN/net/*/address).
std::string NetworkAddress(const fs::path& function_dir) {
    std::error_code error;
    auto first_address = [](const fs::path& net_dir) -> std::string {
        for (const fs::path& entry : Entries(net_dir)) {
            if (auto text = ReadSmallFile(entry / "address")) return *text;
        }
        return {};
    };
    if (fs::is_directory(function_dir / "net", error)) return first_address(function_dir / "net");
    for (const fs::path& entry : Entries(function_dir)) {
        const fs::path net_dir = entry / "net";
        if (!fs::is_symlink(entry, error) && fs::is_directory(net_dir, error)) {
            std::string address = first_address(net_dir);
            if (!address.empty()) return address;
        }
    }
    return {};
}

using SlotKey = std::tuple<unsigned, unsigned, unsigned>;  // domain, bus, device

// slots/<name>/address holds "DDDD:BB:DD"; the slot's number is its name's leading digits.
std::map<SlotKey, std::uint32_t> ReadSlots(const fs::path& slots_dir) {
    std::map<SlotKey, std::uint32_t> slots;
    for (const fs::path& entry : Entries(slots_dir)) {
        const auto address = ReadSmallFile(entry / "address");
        unsigned domain = 0, bus = 0, device = 0;
        if (!address || std::sscanf(address->c_str(), "%x:%x:%x", &domain, &bus, &device) != 3)
            continue;
        unsigned long number = 0;
        const std::string name = entry.filename().string();
        std::sscanf(name.c_str(), "%lu", &number);
        slots.emplace(SlotKey{domain, bus, device},
                      static_cast<std::uint32_t>(number > 0xFFFFFFFFul ? 0 : number));
    }
    return slots;
}

struct AccessDeleter {
    void operator()(pci_access* access) const { pci_cleanup(access); }
};

}  // namespace

ReadResult ReadPciFunctions(const ReaderOptions& options) {
    ReadResult result;
    t_problems = &result.problems;
    const fs::path pci_dir = fs::path(options.sys_root + "/sys/bus/pci");
    std::string sysfs_path = pci_dir.string();
    std::string ids_file = options.ids_file;  // outlives the access object, which keeps it

    std::unique_ptr<pci_access, AccessDeleter> access(pci_alloc());
    access->error = OnError;
    access->warning = OnWarning;
    access->debug = OnDebug;
    access->method = PCI_ACCESS_SYS_BUS_PCI;
    pci_set_param(access.get(), const_cast<char*>("sysfs.path"), sysfs_path.data());
    if (!ids_file.empty()) pci_set_name_list_path(access.get(), ids_file.data(), 0);
    if (!GuardedInitAndScan(access.get())) {
        t_problems = nullptr;
        return result;
    }

    const auto slots = ReadSlots(pci_dir / "slots");
    for (pci_dev* dev = access->devices; dev != nullptr; dev = dev->next) {
        char name[32];
        std::snprintf(name, sizeof(name), "%04x:%02x:%02x.%u", static_cast<unsigned>(dev->domain),
                      dev->bus, dev->dev, static_cast<unsigned>(dev->func));
        RawNames names{};
        if (!GuardedFill(access.get(), dev, &names)) {
            result.problems.push_back(std::string(name) + ": left out, cannot be read");
            continue;
        }
        PciFunction f;
        f.domain = static_cast<std::uint32_t>(dev->domain);
        f.bus = dev->bus;
        f.device = dev->dev;
        f.function = dev->func;
        f.vendor_id = dev->vendor_id;
        f.device_id = dev->device_id;
        f.class_code = static_cast<std::uint32_t>(dev->device_class) << 8;
        f.class_name = names.class_name;
        f.device_name = names.device_name;
        f.vendor_name = names.vendor_name;
        const fs::path dir = pci_dir / "devices" / name;
        f.resource = ReadSmallFile(dir / "resource");
        f.irq = ReadSmallFile(dir / "irq");
        // Only the network functions' addresses are served; the search costs a directory walk.
        if (DeviceClassOf(f.class_code) == kNetworkClass) f.mac = NetworkAddress(dir);
        if (auto slot = slots.find(SlotKey{f.domain, f.bus, f.device}); slot != slots.end())
            f.slot = slot->second;
        result.functions.push_back(std::move(f));
    }
    t_problems = nullptr;
    std::sort(result.functions.begin(), result.functions.end(),
              [](const PciFunction& a, const PciFunction& b) {
                  return std::tie(a.domain, a.bus, a.device, a.function) <
                         std::tie(b.domain, b.bus, b.device, b.function);
              });
    return result;
}

}  // namespace cx::scmib
