// The source table of cx-switchd --linux: the readers of the files, the controller and the UPS
// server, and how their parts make one description.
#include "machine_sources.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "ipmi_bmc.h"
#include "procfs.h"
#include "smbios.h"

namespace cx::switchd {
namespace {

using State = SourceResult::State;

// Files larger than this are read only this far: a firmware table or cpuinfo of a big
// machine fits many times over.
constexpr std::size_t kMaxFileBytes = 8u << 20;

// Where the kernel's IPMI driver puts its device, by the udev rules in use.
constexpr const char* kIpmiDevices[] = {"/dev/ipmi0", "/dev/ipmi/0", "/dev/ipmidev/0"};

std::optional<std::string> ReadCapped(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string data;
    char chunk[65536];
    while (data.size() < kMaxFileBytes && file) {
        file.read(chunk, static_cast<std::streamsize>(
                             std::min(sizeof(chunk), kMaxFileBytes - data.size())));
        data.append(chunk, static_cast<std::size_t>(file.gcount()));
    }
    if (file.bad()) return std::nullopt;
    return data;
}

FileReader FilesBelow(const std::string& directory) {
    return [directory](const std::string& name) { return ReadCapped(directory + name); };
}

SourceResult Found(MachineInfo part, std::string note) {
    return {State::kRead, std::move(part), std::move(note)};
}
SourceResult Absent(std::string note) { return {State::kAbsent, {}, std::move(note)}; }

SourceResult ReadSmbiosTable(const SourceOptions& options) {
    const std::string dmi = options.sys_root + "/sys/firmware/dmi/tables/";
    std::optional<std::string> entry_bytes = ReadCapped(dmi + "smbios_entry_point");
    std::optional<std::string> table = ReadCapped(dmi + "DMI");
    if (!entry_bytes || !table) return Absent("the table cannot be read");
    SmbiosEntryPoint entry;
    std::string why;
    if (!ParseSmbiosEntryPoint(*entry_bytes, &entry, &why)) return Absent("entry point: " + why);
    MachineInfo part;
    const std::size_t count = ParseSmbiosTable(entry, *table, &part);
    if (count == 0) return Absent("the table holds no structure");
    return Found(std::move(part), std::to_string(entry.major) + "." + std::to_string(entry.minor) +
                                      " table (" + std::to_string(count) + " structures)");
}

// The kernel's copy of the table's names, readable without the table (the serial numbers
// are root's only there too).
SourceResult ReadDmiIdFiles(const SourceOptions& options) {
    MachineInfo part;
    if (!ReadDmiId(FilesBelow(options.sys_root + "/sys/class/dmi/id/"), &part))
        return Absent("no texts in /sys/class/dmi/id");
    return Found(std::move(part), "/sys/class/dmi/id");
}

SourceResult ReadDeviceTreeFiles(const SourceOptions& options) {
    for (const char* root : {"/proc/device-tree/", "/sys/firmware/devicetree/base/"}) {
        MachineInfo part;
        if (ReadDeviceTree(FilesBelow(options.sys_root + root), &part))
            return Found(std::move(part), root);
    }
    return Absent("no /proc/device-tree");
}

SourceResult ReadProcFiles(const SourceOptions& options) {
    MachineInfo part;
    if (auto cpuinfo = ReadCapped(options.sys_root + "/proc/cpuinfo")) {
        // A file cut at the limit ends in a processor without all its lines: left out.
        if (cpuinfo->size() >= kMaxFileBytes) cpuinfo->resize(cpuinfo->rfind("\n\n") + 1);
        part.processors = ParseCpuinfo(*cpuinfo);
    }
    if (auto meminfo = ReadCapped(options.sys_root + "/proc/meminfo")) {
        if (auto module = ParseMeminfo(*meminfo)) part.memory.push_back(*module);
    }
    if (part.processors.empty() && part.memory.empty()) return Absent("no cpuinfo, no meminfo");
    return Found(std::move(part), "/proc/cpuinfo and /proc/meminfo");
}

SourceResult ReadController(const SourceOptions& options) {
    std::string why;
    const std::optional<IpmiOptions> ipmi = ControllerToAsk(options, &why);
    if (!ipmi) return Absent(why);
    const std::string where = ipmi->lan_host.empty() ? ipmi->device : ipmi->lan_host;
    std::string error;
    std::unique_ptr<IpmiSession> session = IpmiSession::Open(*ipmi, &error);
    if (session == nullptr) {
        // A device that is there but cannot be used (not root) says nothing about the
        // controller; a controller named on the command line that does not answer does.
        if (ipmi->lan_host.empty()) return Absent(where + ": " + error);
        return {State::kFailed, {}, where + ": " + error};
    }
    const auto deadline = IpmiClock::now() + std::chrono::milliseconds(kBmcReadBudgetMs);
    BmcReading bmc = ReadBmc(*session, deadline);
    return {bmc.complete ? State::kRead : State::kFailed, std::move(bmc.info),
            where + ": " + bmc.note};
}

SourceResult ReadUpsServer(const SourceOptions& options) {
    if (!options.nut) return Absent("not asked");
    NutReading nut = ReadNut(*options.nut);
    MachineInfo part;
    part.ups = std::move(nut.ups);
    const State state = nut.state == NutReading::State::kRead     ? State::kRead
                        : nut.state == NutReading::State::kFailed ? State::kFailed
                                                                  : State::kAbsent;
    return {state, std::move(part), std::move(nut.note)};
}

constexpr SourceRow kSources[] = {
    {"SMBIOS", kSmbios, ReadSmbiosTable},
    {"dmi/id", kSmbios, ReadDmiIdFiles},
    {"device tree", kDeviceTree, ReadDeviceTreeFiles},
    {"procfs", kProcfs, ReadProcFiles},
    {"IPMI", kIpmi, ReadController},
    {"NUT", kNut, ReadUpsServer},
};

void Fill(std::string* into, const std::string& from) {
    if (into->empty()) *into = from;
}

template <typename T, typename FillFields>
void FillOptional(std::optional<T>* into, const std::optional<T>& from, FillFields fill) {
    if (!from) return;
    if (!*into) {
        *into = from;
        return;
    }
    fill(**into, *from);
}

template <typename T>
void TakeList(std::vector<T>* into, const std::vector<T>& from) {
    if (into->empty()) *into = from;
}

}  // namespace

std::span<const SourceRow> MachineSources() { return kSources; }

std::optional<IpmiOptions> ControllerToAsk(const SourceOptions& options, std::string* why) {
    if (!options.ipmi) {
        *why = "not asked";
        return std::nullopt;
    }
    IpmiOptions ipmi = *options.ipmi;
    if (!ipmi.lan_host.empty()) return ipmi;
    for (const char* device : kIpmiDevices) {
        struct stat status {};
        const std::string path = options.sys_root + device;
        if (stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode)) {
            ipmi.device = path;
            return ipmi;
        }
    }
    *why = "no /dev/ipmi0 (the kernel's IPMI driver is not loaded)";
    return std::nullopt;
}

void MergeMachine(const MachineInfo& part, MachineInfo* into) {
    FillOptional(&into->bios, part.bios, [](BiosInfo& a, const BiosInfo& b) {
        Fill(&a.vendor, b.vendor);
        Fill(&a.version, b.version);
        Fill(&a.release_date, b.release_date);
    });
    FillOptional(&into->system, part.system, [](SystemInfo& a, const SystemInfo& b) {
        Fill(&a.maker, b.maker);
        Fill(&a.product, b.product);
        Fill(&a.version, b.version);
        Fill(&a.serial, b.serial);
        Fill(&a.sku, b.sku);
    });
    FillOptional(&into->chassis, part.chassis, [](ChassisInfo& a, const ChassisInfo& b) {
        Fill(&a.maker, b.maker);
        Fill(&a.kind, b.kind);
        Fill(&a.version, b.version);
        Fill(&a.part_number, b.part_number);
        Fill(&a.serial, b.serial);
        Fill(&a.asset_tag, b.asset_tag);
    });
    FillOptional(&into->management, part.management,
                 [](ManagementControllerInfo& a, const ManagementControllerInfo& b) {
                     Fill(&a.interface, b.interface);
                     if (a.spec_major == 0) {
                         a.spec_major = b.spec_major;
                         a.spec_minor = b.spec_minor;
                     }
                     Fill(&a.maker, b.maker);
                     Fill(&a.product, b.product);
                     Fill(&a.firmware, b.firmware);
                 });
    FillOptional(&into->sdr, part.sdr, [](SdrRepositoryInfo&, const SdrRepositoryInfo&) {});
    for (std::size_t i = 0; i < part.boards.size(); ++i) {
        if (i >= into->boards.size()) {
            into->boards.push_back(part.boards[i]);
            continue;
        }
        BoardInfo& a = into->boards[i];
        const BoardInfo& b = part.boards[i];
        Fill(&a.maker, b.maker);
        Fill(&a.product, b.product);
        Fill(&a.version, b.version);
        Fill(&a.part_number, b.part_number);
        Fill(&a.serial, b.serial);
        Fill(&a.asset_tag, b.asset_tag);
        Fill(&a.kind, b.kind);
    }
    TakeList(&into->processors, part.processors);
    TakeList(&into->memory, part.memory);
    TakeList(&into->power_supplies, part.power_supplies);
    TakeList(&into->fans, part.fans);
    TakeList(&into->ups, part.ups);
    into->failed |= part.failed;
}

MachineReading ReadMachine(const SourceOptions& options) {
    MachineReading reading;
    for (const SourceRow& row : kSources) {
        SourceResult result = row.read(options);
        // What a source told before it stopped is not the whole of it: a fan list read half
        // would retire the other half. Nothing of it is used.
        if (result.state == State::kFailed) {
            result.part = {};
            result.part.failed = row.source;
        }
        MergeMachine(result.part, &reading.info);
        const char* state = result.state == State::kRead     ? ""
                            : result.state == State::kFailed ? "FAILED: "
                                                             : "none: ";
        reading.log.push_back(std::string(row.name) + ": " + state + result.note);
    }
    return reading;
}

std::string Summary(const MachineInfo& info) {
    return "machine: " + std::to_string(info.processors.size()) + " processor socket(s), " +
           std::to_string(info.memory.size()) + " memory slot(s), " +
           std::to_string(info.boards.size()) + " base board(s), " +
           std::to_string(info.power_supplies.size()) + " power supplies, " +
           std::to_string(info.fans.size()) + " fan(s), " + std::to_string(info.ups.size()) +
           " UPS";
}

}  // namespace cx::switchd
