// PCI configuration headers from sysfs for cx-switchd --linux.
#include "pci_config.h"

#include <cstdio>
#include <fstream>

namespace cx::switchd {
namespace {

constexpr std::uint32_t kPciConfigOpCode = 0x1401;
constexpr std::uint32_t kPciConfigObject = 5;
constexpr std::size_t kMinConfigBytes = 64;   // what an unprivileged reader gets
constexpr std::size_t kMaxConfigBytes = 256;  // the header the request asks for

}  // namespace

std::optional<ReplySpec> AnswerPciConfig(const RequestKey& request, const PciConfigReader& read) {
    if (request.op_code != kPciConfigOpCode || request.object_id != kPciConfigObject)
        return std::nullopt;
    if (request.data.size() < 3 || !read) return std::nullopt;
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(request.data[i]); };
    const std::uint32_t bus = byte(0);
    const std::uint32_t device = byte(1);
    const std::uint32_t function = byte(2);
    if (device > 31 || function > 7) return std::nullopt;
    std::optional<std::string> config = read(bus, device, function);
    if (!config || config->size() < kMinConfigBytes) return std::nullopt;
    if (config->size() > kMaxConfigBytes) config->resize(kMaxConfigBytes);
    return ReplySpec{0, std::move(*config), 0};
}

PciConfigReader SysfsPciConfigReader(std::string sys_root) {
    return [root = std::move(sys_root)](std::uint32_t bus, std::uint32_t device,
                                        std::uint32_t function) -> std::optional<std::string> {
        char name[64];
        std::snprintf(name, sizeof(name), "/sys/bus/pci/devices/0000:%02x:%02x.%u/config", bus,
                      device, function);
        std::ifstream file(root + name, std::ios::binary);
        if (!file) return std::nullopt;
        std::string config(kMaxConfigBytes, '\0');
        file.read(config.data(), static_cast<std::streamsize>(config.size()));
        if (file.bad()) return std::nullopt;
        config.resize(static_cast<std::size_t>(file.gcount()));
        return config;
    };
}

}  // namespace cx::switchd
