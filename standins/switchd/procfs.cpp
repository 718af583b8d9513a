// procfs and sysfs readers of cx-switchd --linux.
#include "procfs.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "smbios.h"

namespace cx::switchd {
namespace {

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// "key<TAB>: value" lines; false at the end of the text.
bool NextField(std::string_view* text, std::string_view* key, std::string_view* value) {
    if (text->empty()) return false;
    const std::size_t end = text->find('\n');
    std::string_view line = text->substr(0, end);
    *text = end == std::string_view::npos ? std::string_view() : text->substr(end + 1);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        *key = Trim(line);
        *value = {};
    } else {
        *key = Trim(line.substr(0, colon));
        *value = Trim(line.substr(colon + 1));
    }
    return true;
}

template <typename T>
std::optional<T> Decimal(std::string_view text) {
    T value{};
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) return std::nullopt;
    return value;
}

std::uint16_t Megahertz(std::string_view text) {
    auto mhz = Decimal<double>(text);
    if (!mhz || !(*mhz > 0) || *mhz > 65535) return 0;
    return static_cast<std::uint16_t>(std::lround(*mhz));
}

struct LogicalCpu {
    std::string physical_id;
    bool has_physical_id = false;
    ProcessorInfo cpu;
    bool any = false;
};

void AddCpu(const LogicalCpu& logical, std::vector<std::string>* ids,
            std::vector<ProcessorInfo>* sockets) {
    if (!logical.any) return;
    const std::string id = logical.has_physical_id ? logical.physical_id : std::string();
    for (const std::string& known : *ids) {
        if (known == id) return;  // a further core or thread of a socket already counted
    }
    ids->push_back(id);
    ProcessorInfo cpu = logical.cpu;
    cpu.socket = logical.has_physical_id ? "CPU " + id : "CPU";
    sockets->push_back(std::move(cpu));
}

}  // namespace

std::vector<ProcessorInfo> ParseCpuinfo(std::string_view text) {
    std::vector<ProcessorInfo> sockets;
    std::vector<std::string> ids;
    LogicalCpu logical;
    std::string_view key, value;
    while (NextField(&text, &key, &value)) {
        if (key.empty()) {  // a blank line ends one logical processor
            AddCpu(logical, &ids, &sockets);
            logical = {};
            continue;
        }
        logical.any = true;
        if (key == "physical id") {
            logical.physical_id = std::string(value);
            logical.has_physical_id = true;
        } else if (key == "model name" || key == "cpu model" ||
                   (key == "Processor" && logical.cpu.version.empty())) {
            logical.cpu.version = CleanFirmwareText(value);
        } else if (key == "vendor_id") {
            logical.cpu.maker = CleanFirmwareText(value);
        } else if (key == "cpu MHz") {
            logical.cpu.current_mhz = Megahertz(value);
        } else if (key == "stepping") {
            logical.cpu.stepping = Decimal<std::uint8_t>(value).value_or(0);
        }
    }
    AddCpu(logical, &ids, &sockets);
    return sockets;
}

std::optional<MemoryDeviceInfo> ParseMeminfo(std::string_view text) {
    std::string_view key, value;
    while (NextField(&text, &key, &value)) {
        if (key != "MemTotal") continue;
        auto kb = Decimal<std::uint64_t>(value);
        if (!kb) return std::nullopt;
        MemoryDeviceInfo module;
        module.locator = "System Memory";
        module.installed = true;
        const std::uint64_t mb = *kb / 1024;
        module.size_mb = static_cast<std::uint32_t>(mb > 0xFFFFFFFEu ? 0xFFFFFFFEu : mb);
        return module;
    }
    return std::nullopt;
}

bool ReadDmiId(const FileReader& read, MachineInfo* info) {
    bool any = false;
    auto text = [&](const char* name) {
        std::optional<std::string> content = read(name);
        std::string clean = content ? CleanFirmwareText(Trim(*content)) : std::string();
        any = any || !clean.empty();
        return clean;
    };
    BiosInfo bios{text("bios_vendor"), text("bios_version"), text("bios_date")};
    if (!bios.vendor.empty() || !bios.version.empty() || !bios.release_date.empty())
        info->bios = std::move(bios);
    SystemInfo system{text("sys_vendor"), text("product_name"), text("product_version"),
                      text("product_serial"), text("product_sku")};
    if (!system.maker.empty() || !system.product.empty()) info->system = std::move(system);
    BoardInfo board{text("board_vendor"),
                    text("board_name"),
                    text("board_version"),
                    text("board_serial"),
                    text("board_asset_tag"),
                    {},
                    {}};
    if (!board.maker.empty() || !board.product.empty()) info->boards.push_back(std::move(board));
    ChassisInfo chassis{text("chassis_vendor"),    {},
                        text("chassis_version"),   text("chassis_serial"),
                        text("chassis_asset_tag"), {}};
    if (!chassis.maker.empty() || !chassis.serial.empty()) info->chassis = std::move(chassis);
    return any;
}

bool ReadDeviceTree(const FileReader& read, MachineInfo* info) {
    auto text = [&](const char* name) {
        std::optional<std::string> content = read(name);
        if (!content) return std::string();
        return CleanFirmwareText(Trim(std::string_view(*content).substr(0, content->find('\0'))));
    };
    SystemInfo system{{}, text("model"), {}, text("serial-number"), {}};
    if (system.product.empty() && system.serial.empty()) return false;
    info->system = std::move(system);
    return true;
}

}  // namespace cx::switchd
