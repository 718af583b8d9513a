// Requests answered from the machine's description, and the reading of that description.
#include "machine_answers.h"

#include <algorithm>
#include <fstream>

#include "procfs.h"
#include "smbios.h"

namespace cx::switchd {
namespace {

// Component classes of the count request (OpCode 0x0C21) that the machine has a source for.
constexpr std::uint32_t kClassPowerSupply = 4;
constexpr std::uint32_t kClassManagementCtrl = 5;
constexpr std::uint32_t kClassBaseBoard = 20;

// Item sections of OpCode 0x0C00 (high byte of the item code).
enum Section : std::uint32_t {
    kCabinet = 0x20,
    kChassis = 0x21,
    kPowerSupply = 0x23,
    kManagementCtrl = 0x29,
    kBaseBoard = 0x34,
    kBios = 0x36,
    kMemoryModule = 0x37,
};

// Item fields (low byte of the item code).
enum Field : std::uint32_t {
    kVendor = 1,
    kProdName = 2,
    kProdNumber = 3,
    kProdDescript = 4,
    kVersion = 5,
    kManuDate = 6,
    kSerialNo = 7,
    kCompId = 9,
};

// Base-board version fields that hold our part number go where the agent reads one.
constexpr char kPartNumberMark[] = "Q47120-";

// Texts larger than a reply may carry are cut; a firmware text never comes near it.
constexpr std::size_t kMaxTextBytes = 1024;
// Files larger than this are read only this far: a firmware table or cpuinfo of a big
// machine fits many times over.
constexpr std::size_t kMaxFileBytes = 8u << 20;

ReplySpec Bytes(std::string data) { return ReplySpec{0, std::move(data), 0}; }

ReplySpec Byte(std::size_t value) {
    return Bytes(std::string(1, static_cast<char>(value > 0xFF ? 0xFF : value)));
}

void PutLittleEndian(std::string* data, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        data->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::optional<ReplySpec> Text(const std::string& text) {
    if (text.empty()) return std::nullopt;
    std::string data = text.substr(0, kMaxTextBytes);
    data.push_back('\0');
    return Bytes(std::move(data));
}

const std::string& FirstOf(const std::string& a, const std::string& b) { return a.empty() ? b : a; }

std::string MemoryModuleName(const MemoryDeviceInfo& module) {
    std::string kind = module.type;
    if (!kind.empty() && module.speed_mts != 0) kind += "-" + std::to_string(module.speed_mts);
    if (!module.form.empty()) kind += (kind.empty() ? "" : " ") + module.form;
    if (module.locator.empty()) return kind.empty() ? "Memory Module" : kind;
    return kind.empty() ? module.locator : module.locator + ": " + kind;
}

template <typename T>
const T* At(const std::vector<T>& list, std::uint32_t index) {
    return index < list.size() ? &list[index] : nullptr;
}

std::optional<ReplySpec> Item(const MachineInfo& m, std::uint32_t item, std::uint32_t object) {
    const std::uint32_t section = (item >> 8) & 0xFF;
    const std::uint32_t field = item & 0xFF;
    switch (section) {
        case kCabinet: {
            if (object != 0) return std::nullopt;
            const SystemInfo system = m.system.value_or(SystemInfo{});
            const ChassisInfo chassis = m.chassis.value_or(ChassisInfo{});
            if (field == kVendor) return Text(FirstOf(system.maker, chassis.maker));
            if (field == kProdName) return Text(system.product);
            if (field == kProdNumber) return Text(system.sku);
            if (field == kProdDescript) return Text(chassis.kind);
            if (field == kVersion) return Text(system.version);
            if (field == kSerialNo) return Text(FirstOf(system.serial, chassis.serial));
            return std::nullopt;
        }
        case kChassis: {
            if (object != 0 || !m.chassis) return std::nullopt;
            if (field == kVendor) return Text(m.chassis->maker);
            if (field == kProdName) return Text(m.chassis->kind);
            if (field == kVersion) return Text(m.chassis->version);
            if (field == kSerialNo) return Text(m.chassis->serial);
            if (field == kCompId) return Text(m.chassis->asset_tag);
            return std::nullopt;
        }
        case kPowerSupply: {
            const PowerSupplyInfo* supply = At(m.power_supplies, object);
            if (supply == nullptr) return std::nullopt;
            if (field == kVendor) return Text(supply->maker);
            if (field == kProdName) return Text(FirstOf(supply->name, supply->location));
            if (field == kProdNumber) return Text(supply->part_number);
            if (field == kProdDescript && supply->max_watts != 0)
                return Text("Power Supply " + std::to_string(supply->max_watts) + " W");
            if (field == kVersion) return Text(supply->revision);
            if (field == kSerialNo) return Text(supply->serial);
            return std::nullopt;
        }
        case kManagementCtrl: {
            if (object != 0 || !m.management) return std::nullopt;
            const ManagementControllerInfo& bmc = *m.management;
            if (field == kProdName)
                return Text(bmc.interface.empty() ? "IPMI BMC"
                                                  : "IPMI BMC (" + bmc.interface + ")");
            if (field == kProdDescript) return Text("Baseboard Management Controller");
            if (field == kVersion) {
                return Text("IPMI " + std::to_string(bmc.spec_major) + "." +
                            std::to_string(bmc.spec_minor));
            }
            return std::nullopt;
        }
        case kBaseBoard: {
            const BoardInfo* board = At(m.boards, object);
            if (board == nullptr) return std::nullopt;
            const bool part_number = board->version.find(kPartNumberMark) != std::string::npos;
            if (field == kVendor) return Text(board->maker);
            if (field == kProdName) return Text(board->product);
            if (field == kProdNumber && part_number) return Text(board->version);
            if (field == kProdDescript) return Text(board->kind);
            if (field == kVersion && !part_number) return Text(board->version);
            if (field == kSerialNo) return Text(board->serial);
            return std::nullopt;
        }
        case kBios: {
            if (object != 0 || !m.bios) return std::nullopt;
            if (field == kVendor) return Text(m.bios->vendor);
            if (field == kVersion) return Text(m.bios->version);
            if (field == kManuDate) return Text(m.bios->release_date);
            return std::nullopt;
        }
        case kMemoryModule: {
            const MemoryDeviceInfo* module = At(m.memory, object);
            if (module == nullptr || !module->installed) return std::nullopt;
            if (field == kVendor) return Text(module->maker);
            if (field == kProdNumber) return Text(module->part_number);
            if (field == kSerialNo) return Text(module->serial);
            return std::nullopt;
        }
        default: return std::nullopt;
    }
}

std::optional<ReplySpec> Processor(const MachineInfo& m, std::uint32_t op_code,
                                   std::uint32_t object) {
    if (op_code == 0x0600) return Byte(m.processors.size());
    const ProcessorInfo* cpu = At(m.processors, object);
    if (cpu == nullptr) return std::nullopt;
    switch (op_code) {
        case 0x0601: return Byte(static_cast<std::uint8_t>(cpu->status));
        case 0x0603: {
            std::string data;
            PutLittleEndian(&data, cpu->max_mhz, 2);
            PutLittleEndian(&data, cpu->current_mhz, 2);
            PutLittleEndian(&data, 0, 1);
            PutLittleEndian(&data, cpu->stepping, 1);
            return Bytes(std::move(data));
        }
        case 0x0604: return Text(cpu->maker);
        // A populated socket always has a name: without one the agent would leave it out.
        case 0x0605: return Text(FirstOf(cpu->version, "Processor"));
        default: return std::nullopt;
    }
}

std::optional<ReplySpec> Memory(const MachineInfo& m, std::uint32_t op_code, std::uint32_t object) {
    if (op_code == 0x0700) return Byte(m.memory.size());
    const MemoryDeviceInfo* module = At(m.memory, object);
    if (module == nullptr) return std::nullopt;
    switch (op_code) {
        case 0x0701: return Byte(module->installed ? 1 : 0);
        case 0x0702:
            if (!module->installed) return std::nullopt;
            return Text(MemoryModuleName(*module));
        case 0x0703: {
            if (!module->installed) return std::nullopt;
            std::string data;
            PutLittleEndian(&data, 0, 4);
            PutLittleEndian(&data, module->size_mb.value_or(0xFFFFFFFFu), 4);
            return Bytes(std::move(data));
        }
        default: return std::nullopt;
    }
}

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

}  // namespace

std::optional<ReplySpec> AnswerMachineRequest(const MachineInfo& machine,
                                              const RequestKey& request) {
    const std::uint32_t all = request.low_16_bits ? 0xFFFFu : 0xFFFFFFFFu;
    const std::uint32_t cabinet = request.cabinet_id;
    const std::uint32_t object = request.object_id;
    // The rights check and the cabinet number are asked before the agent knows its cabinet.
    if (request.op_code == 0xE001) {
        switch (request.op_code_ext) {
            case 0x3811: return Byte(1);  // SNMP shutdown allowed
            case 0x3810: return Byte(0);  // SNMP SET not allowed
            case 0x3812: return Byte(0);  // no account check
            default: break;
        }
    }
    if (request.op_code == 0xE204) return Bytes(std::string("\x01\x00", 2));
    if (cabinet != kMachineCabinet && cabinet != all) return std::nullopt;
    switch (request.op_code) {
        case 0xE001:
            if (request.op_code_ext == 0x0100) return Byte(0);  // no UPS is known
            return std::nullopt;
        case 0xE221: return Byte(1);  // not a blade
        case 0x0C21:
            switch (request.op_code_ext) {
                case kClassPowerSupply: return Byte(machine.power_supplies.size());
                case kClassManagementCtrl: return Byte(machine.management ? 1 : 0);
                case kClassBaseBoard: return Byte(machine.boards.size());
                default: return Byte(0);
            }
        case 0x0500: return Byte(machine.power_supplies.size());
        case 0x0501: {
            const PowerSupplyInfo* supply = At(machine.power_supplies, object);
            if (supply == nullptr) return std::nullopt;
            return Byte(supply->present ? 1 : 0);
        }
        case 0x0600:
        case 0x0601:
        case 0x0603:
        case 0x0604:
        case 0x0605: return Processor(machine, request.op_code, object);
        case 0x0700:
        case 0x0701:
        case 0x0702:
        case 0x0703: return Memory(machine, request.op_code, object);
        case 0x0C00: return Item(machine, request.op_code_ext, object);
        default: return std::nullopt;
    }
}

MachineSource ReadMachine(const std::string& sys_root) {
    MachineSource source;
    const std::string dmi = sys_root + "/sys/firmware/dmi/tables/";
    std::string& why = source.no_table;
    std::optional<std::string> entry_bytes = ReadCapped(dmi + "smbios_entry_point");
    std::optional<std::string> table = ReadCapped(dmi + "DMI");
    SmbiosEntryPoint entry;
    if (!entry_bytes || !table) {
        why = "the SMBIOS table cannot be read";
    } else if (!ParseSmbiosEntryPoint(*entry_bytes, &entry, &why)) {
        why = "SMBIOS entry point: " + why;
    } else {
        const std::size_t count = ParseSmbiosTable(entry, *table, &source.info);
        source.description = "SMBIOS " + std::to_string(entry.major) + "." +
                             std::to_string(entry.minor) + " table (" + std::to_string(count) +
                             " structures)";
        if (count == 0) {
            why = "the SMBIOS table holds no structure";
            source.description.clear();
        }
    }
    if (source.description.empty()) {
        source.info = {};
        const std::string id = sys_root + "/sys/class/dmi/id/";
        const bool dmi_id = ReadDmiId(
            [&id](const std::string& name) { return ReadCapped(id + name); }, &source.info);
        source.description = dmi_id ? "/sys/class/dmi/id and /proc" : "/proc";
    }
    // Processors and memory the table does not list come from the kernel.
    if (source.info.processors.empty()) {
        if (auto cpuinfo = ReadCapped(sys_root + "/proc/cpuinfo")) {
            // A file cut at the limit ends in a processor without all its lines: left out.
            if (cpuinfo->size() >= kMaxFileBytes) cpuinfo->resize(cpuinfo->rfind("\n\n") + 1);
            source.info.processors = ParseCpuinfo(*cpuinfo);
        }
    }
    if (source.info.memory.empty()) {
        if (auto meminfo = ReadCapped(sys_root + "/proc/meminfo")) {
            if (auto module = ParseMeminfo(*meminfo)) source.info.memory.push_back(*module);
        }
    }
    return source;
}

}  // namespace cx::switchd
