// The requests the machine answers, one row each, and the answer to a request from them.
#include "machine_answers.h"

#include <algorithm>

#include "clients/cmd_frame.h"
#include "clients/component_types.h"
#include "clients/switch_protocol.h"

namespace cx::switchd {
namespace {

using Answer = std::optional<ReplySpec>;
using namespace switch_item;

// Base-board version fields that hold our part number go where the agent reads one.
constexpr char kPartNumberMark[] = "Q47120-";

// Texts larger than a reply may carry are cut; a firmware text never comes near it.
constexpr std::size_t kMaxTextBytes = 1024;

ReplySpec Bytes(std::string data) { return ReplySpec{CMD_STATUS_OK, std::move(data), 0}; }

Answer Byte(std::size_t value) {
    return Bytes(std::string(1, static_cast<char>(value > 0xFF ? 0xFF : value)));
}

// A count of things some source lists; none is "nothing known" (the row answers 0).
Answer Count(std::size_t count) { return count == 0 ? std::nullopt : Byte(count); }

void PutLittleEndian(std::string* data, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        data->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

Answer Text(const std::string& text) {
    if (text.empty()) return std::nullopt;
    std::string data = text.substr(0, kMaxTextBytes);
    data.push_back('\0');
    return Bytes(std::move(data));
}

// A text of the one component of its kind (object 0).
Answer One(std::uint32_t object, const std::string& text) {
    return object == 0 ? Text(text) : std::nullopt;
}

const std::string& FirstOf(const std::string& a, const std::string& b) { return a.empty() ? b : a; }

template <typename T>
const T* At(const std::vector<T>& list, std::uint32_t index) {
    return index < list.size() ? &list[index] : nullptr;
}

template <typename T, typename Field>
Answer TextOf(const std::vector<T>& list, std::uint32_t index, Field field) {
    const T* item = At(list, index);
    return item == nullptr ? std::nullopt : Text(field(*item));
}

std::string MemoryModuleName(const MemoryDeviceInfo& module) {
    std::string kind = module.type;
    if (!kind.empty() && module.speed_mts != 0) kind += "-" + std::to_string(module.speed_mts);
    if (!module.form.empty()) kind += (kind.empty() ? "" : " ") + module.form;
    if (module.locator.empty()) return kind.empty() ? "Memory Module" : kind;
    return kind.empty() ? module.locator : module.locator + ": " + kind;
}

bool IsPartNumber(const std::string& text) {
    return text.find(kPartNumberMark) != std::string::npos;
}

const SystemInfo& System(const MachineInfo& m) {
    static const SystemInfo kNone;
    return m.system ? *m.system : kNone;
}
const ChassisInfo& Chassis(const MachineInfo& m) {
    static const ChassisInfo kNone;
    return m.chassis ? *m.chassis : kNone;
}
const BiosInfo& Bios(const MachineInfo& m) {
    static const BiosInfo kNone;
    return m.bios ? *m.bios : kNone;
}
const ManagementControllerInfo& Bmc(const MachineInfo& m) {
    static const ManagementControllerInfo kNone;
    return m.management ? *m.management : kNone;
}

// Texts of the management controller that only exist when there is one.
Answer BmcText(const MachineInfo& m, std::uint32_t object, const std::string& text) {
    return m.management ? One(object, text) : std::nullopt;
}

const MemoryDeviceInfo* Installed(const MachineInfo& m, std::uint32_t slot) {
    const MemoryDeviceInfo* module = At(m.memory, slot);
    return module != nullptr && module->installed ? module : nullptr;
}

Answer ProcessorData(const MachineInfo& m, std::uint32_t socket) {
    const ProcessorInfo* cpu = At(m.processors, socket);
    if (cpu == nullptr) return std::nullopt;
    std::string data;
    PutLittleEndian(&data, cpu->max_mhz, 2);
    PutLittleEndian(&data, cpu->current_mhz, 2);
    PutLittleEndian(&data, 0, 1);
    PutLittleEndian(&data, cpu->stepping, 1);
    return Bytes(std::move(data));
}

Answer MemoryModuleData(const MachineInfo& m, std::uint32_t slot) {
    const MemoryDeviceInfo* module = Installed(m, slot);
    if (module == nullptr) return std::nullopt;
    std::string data;
    PutLittleEndian(&data, 0, 4);
    PutLittleEndian(&data, module->size_mb.value_or(0xFFFFFFFFu), 4);
    return Bytes(std::move(data));
}

using M = const MachineInfo&;
using O = std::uint32_t;

constexpr SourceSet kFirmware = kSmbios;
constexpr SourceSet kFirmwareOrBmc = kSmbios | kIpmi;
constexpr SourceSet kKernel = kSmbios | kProcfs;

// Rows of one OpCode stand together; within 0x0C00 in the order of the item codes.
constexpr ItemRow kItems[] = {
    // The rights check and the cabinet number are asked before the agent knows its cabinet.
    {switch_op::kSwitchItem, switch_ext::kShutdownAllowed, "SNMP shutdown allowed", kFixed,
     [](M, O) { return Byte(1); }, false, true},
    {switch_op::kSwitchItem, switch_ext::kSetAllowed, "SNMP SET allowed", kFixed,
     [](M, O) { return Byte(0); }, false, true},
    {switch_op::kSwitchItem, switch_ext::kAccountCheck, "account check", kFixed,
     [](M, O) { return Byte(0); }, false, true},
    {switch_op::kServerCabinet, 0, "server cabinet", kFixed,
     [](M, O) { return Answer(Bytes(std::string("\x01\x00", 2))); }, false, true},
    {switch_op::kSwitchItem, switch_ext::kUpsCount, "UPS count", kNut,
     [](M m, O) { return Count(m.ups.size()); }, true},
    {switch_op::kBladeSystem, 0, "blade system", kFixed, [](M, O) { return Byte(1); }},

    {switch_op::kComponentCount, kCompPowerSupply, "power supply count", kFirmwareOrBmc,
     [](M m, O) { return Count(m.power_supplies.size()); }, true},
    {switch_op::kComponentCount, kCompManagementCtrl, "management controller count",
     kFirmwareOrBmc, [](M m, O) { return Count(m.management ? 1 : 0); }, true},
    {switch_op::kComponentCount, kCompFan, "fan count", kIpmi,
     [](M m, O) { return Count(m.fans.size()); }, true},
    {switch_op::kComponentCount, kCompBaseBoard, "base board count", kFirmwareOrBmc,
     [](M m, O) { return Count(m.boards.size()); }, true},
    {switch_op::kComponentCount, kCompSdrVersion, "SDR repository count", kIpmi,
     [](M m, O) { return Count(m.sdr ? 1 : 0); }, true},
    {switch_op::kComponentCount, kAnyExtension, "other classes", kFixed,
     [](M, O) { return Byte(0); }},

    {switch_op::kPowerSupplyCount, 0, "power supply bays", kFirmwareOrBmc,
     [](M m, O) { return Count(m.power_supplies.size()); }, true},
    {switch_op::kPowerSupplyStatus, 0, "bay status", kFirmwareOrBmc,
     [](M m, O bay) {
         const PowerSupplyInfo* supply = At(m.power_supplies, bay);
         return supply == nullptr ? std::nullopt : Byte(supply->present ? 1 : 0);
     }},

    {switch_op::kProcessorCount, 0, "processor sockets", kKernel,
     [](M m, O) { return Count(m.processors.size()); }, true},
    {switch_op::kProcessorStatus, 0, "socket status", kKernel,
     [](M m, O socket) {
         const ProcessorInfo* cpu = At(m.processors, socket);
         return cpu == nullptr ? std::nullopt : Byte(static_cast<std::uint8_t>(cpu->status));
     }},
    {switch_op::kProcessorData, 0, "processor data", kKernel, ProcessorData},
    {switch_op::kProcessorVendor, 0, "processor maker", kKernel,
     [](M m, O socket) { return TextOf(m.processors, socket, [](auto& c) { return c.maker; }); }},
    // A populated socket always has a name: without one the agent would leave it out.
    {switch_op::kProcessorName, 0, "processor name", kKernel,
     [](M m, O socket) {
         return TextOf(m.processors, socket,
                       [](auto& c) { return FirstOf(c.version, "Processor"); });
     }},

    {switch_op::kMemorySlotCount, 0, "memory slots", kKernel,
     [](M m, O) { return Count(m.memory.size()); }, true},
    {switch_op::kMemorySlotStatus, 0, "slot status", kKernel,
     [](M m, O slot) {
         const MemoryDeviceInfo* module = At(m.memory, slot);
         return module == nullptr ? std::nullopt : Byte(module->installed ? 1 : 0);
     }},
    {switch_op::kMemoryModuleName, 0, "module name", kKernel,
     [](M m, O slot) {
         const MemoryDeviceInfo* module = Installed(m, slot);
         return module == nullptr ? std::nullopt : Text(MemoryModuleName(*module));
     }},
    {switch_op::kMemoryModuleData, 0, "module data", kKernel, MemoryModuleData},

    {switch_op::kComponentItem, Code(kCabinet, kVendor), "cabinet Vendor", kFirmwareOrBmc,
     [](M m, O i) { return One(i, FirstOf(System(m).maker, Chassis(m).maker)); }},
    {switch_op::kComponentItem, Code(kCabinet, kProdName), "cabinet ProdName",
     kSmbios | kDeviceTree | kIpmi, [](M m, O i) { return One(i, System(m).product); }},
    {switch_op::kComponentItem, Code(kCabinet, kProdNumber), "cabinet ProdNumber",
     kFirmwareOrBmc, [](M m, O i) { return One(i, System(m).sku); }},
    {switch_op::kComponentItem, Code(kCabinet, kProdDescript), "cabinet ProdDescript",
     kFirmwareOrBmc, [](M m, O i) { return One(i, Chassis(m).kind); }},
    {switch_op::kComponentItem, Code(kCabinet, kVersion), "cabinet Version", kFirmwareOrBmc,
     [](M m, O i) { return One(i, System(m).version); }},
    {switch_op::kComponentItem, Code(kCabinet, kSerialNo), "cabinet SerialNo",
     kSmbios | kDeviceTree | kIpmi,
     [](M m, O i) { return One(i, FirstOf(System(m).serial, Chassis(m).serial)); }},

    {switch_op::kComponentItem, Code(kChassis, kVendor), "chassis Vendor", kFirmware,
     [](M m, O i) { return One(i, Chassis(m).maker); }},
    {switch_op::kComponentItem, Code(kChassis, kProdName), "chassis ProdName", kFirmwareOrBmc,
     [](M m, O i) { return One(i, Chassis(m).kind); }},
    {switch_op::kComponentItem, Code(kChassis, kProdNumber), "chassis ProdNumber", kIpmi,
     [](M m, O i) { return One(i, Chassis(m).part_number); }},
    {switch_op::kComponentItem, Code(kChassis, kVersion), "chassis Version", kFirmware,
     [](M m, O i) { return One(i, Chassis(m).version); }},
    {switch_op::kComponentItem, Code(kChassis, kSerialNo), "chassis SerialNo", kFirmwareOrBmc,
     [](M m, O i) { return One(i, Chassis(m).serial); }},
    {switch_op::kComponentItem, Code(kChassis, kCompId), "chassis CompId", kFirmware,
     [](M m, O i) { return One(i, Chassis(m).asset_tag); }},

    {switch_op::kComponentItem, Code(kPowerSupply, kVendor), "power supply Vendor",
     kFirmwareOrBmc,
     [](M m, O bay) { return TextOf(m.power_supplies, bay, [](auto& p) { return p.maker; }); }},
    {switch_op::kComponentItem, Code(kPowerSupply, kProdName), "power supply ProdName",
     kFirmwareOrBmc,
     [](M m, O bay) {
         return TextOf(m.power_supplies, bay, [](auto& p) { return FirstOf(p.name, p.location); });
     }},
    {switch_op::kComponentItem, Code(kPowerSupply, kProdNumber), "power supply ProdNumber",
     kFirmwareOrBmc,
     [](M m, O bay) {
         return TextOf(m.power_supplies, bay, [](auto& p) { return p.part_number; });
     }},
    {switch_op::kComponentItem, Code(kPowerSupply, kProdDescript), "power supply ProdDescript",
     kFirmwareOrBmc,
     [](M m, O bay) {
         return TextOf(m.power_supplies, bay, [](const PowerSupplyInfo& p) {
             return p.max_watts == 0 ? std::string()
                                     : "Power Supply " + std::to_string(p.max_watts) + " W";
         });
     }},
    {switch_op::kComponentItem, Code(kPowerSupply, kVersion), "power supply Version",
     kFirmwareOrBmc,
     [](M m, O bay) { return TextOf(m.power_supplies, bay, [](auto& p) { return p.revision; }); }},
    {switch_op::kComponentItem, Code(kPowerSupply, kSerialNo), "power supply SerialNo",
     kFirmwareOrBmc,
     [](M m, O bay) { return TextOf(m.power_supplies, bay, [](auto& p) { return p.serial; }); }},

    {switch_op::kComponentItem, Code(kManagementCtrl, kVendor), "management controller Vendor",
     kIpmi, [](M m, O i) { return One(i, Bmc(m).maker); }},
    {switch_op::kComponentItem, Code(kManagementCtrl, kProdName),
     "management controller ProdName", kFirmwareOrBmc,
     [](M m, O i) {
         const std::string& interface = Bmc(m).interface;
         return BmcText(m, i, interface.empty() ? "IPMI BMC" : "IPMI BMC (" + interface + ")");
     }},
    {switch_op::kComponentItem, Code(kManagementCtrl, kProdNumber),
     "management controller ProdNumber", kIpmi, [](M m, O i) { return One(i, Bmc(m).product); }},
    {switch_op::kComponentItem, Code(kManagementCtrl, kProdDescript),
     "management controller ProdDescript", kFirmwareOrBmc,
     [](M m, O i) { return BmcText(m, i, "Baseboard Management Controller"); }},
    {switch_op::kComponentItem, Code(kManagementCtrl, kVersion),
     "management controller Version", kFirmwareOrBmc,
     [](M m, O i) {
         const ManagementControllerInfo& bmc = Bmc(m);
         return BmcText(m, i,
                        "IPMI " + std::to_string(bmc.spec_major) + "." +
                            std::to_string(bmc.spec_minor));
     }},

    {switch_op::kComponentItem, Code(kManagementFirmware, kVendor), "controller firmware Vendor",
     kIpmi, [](M m, O i) { return Bmc(m).firmware.empty() ? std::nullopt : One(i, Bmc(m).maker); }},
    {switch_op::kComponentItem, Code(kManagementFirmware, kProdName),
     "controller firmware ProdName", kIpmi,
     [](M m, O i) { return Bmc(m).firmware.empty() ? std::nullopt : One(i, "BMC Firmware"); }},
    {switch_op::kComponentItem, Code(kManagementFirmware, kProdDescript),
     "controller firmware ProdDescript", kIpmi,
     [](M m, O i) {
         return Bmc(m).firmware.empty() ? std::nullopt
                                        : One(i, "Management Controller Firmware");
     }},
    {switch_op::kComponentItem, Code(kManagementFirmware, kVersion),
     "controller firmware Version", kIpmi, [](M m, O i) { return One(i, Bmc(m).firmware); }},

    {switch_op::kComponentItem, Code(kSdrVersion, kVendor), "SDR repository Vendor", kIpmi,
     [](M m, O i) { return m.sdr ? One(i, Bmc(m).maker) : std::nullopt; }},
    {switch_op::kComponentItem, Code(kSdrVersion, kProdName), "SDR repository ProdName", kIpmi,
     [](M m, O i) { return m.sdr ? One(i, "SDR Repository") : std::nullopt; }},
    {switch_op::kComponentItem, Code(kSdrVersion, kProdDescript), "SDR repository ProdDescript",
     kIpmi,
     [](M m, O i) {
         return m.sdr ? One(i, "Sensor Data Records: " + std::to_string(m.sdr->records))
                      : std::nullopt;
     }},
    {switch_op::kComponentItem, Code(kSdrVersion, kVersion), "SDR repository Version", kIpmi,
     [](M m, O i) { return m.sdr ? One(i, m.sdr->version) : std::nullopt; }},

    {switch_op::kComponentItem, Code(kFan, kProdName), "fan ProdName", kIpmi,
     [](M m, O fan) { return TextOf(m.fans, fan, [](auto& f) { return f.name; }); }},
    {switch_op::kComponentItem, Code(kFan, kProdDescript), "fan ProdDescript", kIpmi,
     [](M m, O fan) { return TextOf(m.fans, fan, [](auto&) { return std::string("Fan"); }); }},
    {switch_op::kComponentItem, Code(kFan, kCompId), "fan CompId", kIpmi,
     [](M m, O fan) { return TextOf(m.fans, fan, [](auto& f) { return f.entity; }); }},

    {switch_op::kComponentItem, Code(kUps, kVendor), "UPS Vendor", kNut,
     [](M m, O ups) { return TextOf(m.ups, ups, [](auto& u) { return u.maker; }); }},
    {switch_op::kComponentItem, Code(kUps, kProdName), "UPS ProdName", kNut,
     [](M m, O ups) { return TextOf(m.ups, ups, [](auto& u) { return u.model; }); }},
    {switch_op::kComponentItem, Code(kUps, kProdDescript), "UPS ProdDescript", kNut,
     [](M m, O ups) { return TextOf(m.ups, ups, [](auto& u) { return u.description; }); }},
    {switch_op::kComponentItem, Code(kUps, kVersion), "UPS Version", kNut,
     [](M m, O ups) { return TextOf(m.ups, ups, [](auto& u) { return u.firmware; }); }},
    {switch_op::kComponentItem, Code(kUps, kManuDate), "UPS ManuDate", kNut,
     [](M m, O ups) { return TextOf(m.ups, ups, [](auto& u) { return u.date; }); }},
    {switch_op::kComponentItem, Code(kUps, kSerialNo), "UPS SerialNo", kNut,
     [](M m, O ups) { return TextOf(m.ups, ups, [](auto& u) { return u.serial; }); }},
    {switch_op::kComponentItem, Code(kUps, kCompId), "UPS CompId", kNut,
     [](M m, O ups) { return TextOf(m.ups, ups, [](auto& u) { return u.id; }); }},

    {switch_op::kComponentItem, Code(kBaseBoard, kVendor), "base board Vendor", kFirmwareOrBmc,
     [](M m, O b) { return TextOf(m.boards, b, [](auto& x) { return x.maker; }); }},
    {switch_op::kComponentItem, Code(kBaseBoard, kProdName), "base board ProdName",
     kFirmwareOrBmc,
     [](M m, O b) { return TextOf(m.boards, b, [](auto& x) { return x.product; }); }},
    // The agent names a board without product by the part number.
    {switch_op::kComponentItem, Code(kBaseBoard, kProdNumber), "base board ProdNumber",
     kFirmwareOrBmc,
     [](M m, O b) {
         return TextOf(m.boards, b, [](const BoardInfo& x) {
             return FirstOf(x.part_number, IsPartNumber(x.version) ? x.version : std::string());
         });
     }},
    {switch_op::kComponentItem, Code(kBaseBoard, kProdDescript), "base board ProdDescript",
     kFirmware, [](M m, O b) { return TextOf(m.boards, b, [](auto& x) { return x.kind; }); }},
    {switch_op::kComponentItem, Code(kBaseBoard, kVersion), "base board Version", kFirmware,
     [](M m, O b) {
         return TextOf(m.boards, b, [](const BoardInfo& x) {
             return IsPartNumber(x.version) ? std::string() : x.version;
         });
     }},
    {switch_op::kComponentItem, Code(kBaseBoard, kSerialNo), "base board SerialNo",
     kFirmwareOrBmc,
     [](M m, O b) { return TextOf(m.boards, b, [](auto& x) { return x.serial; }); }},

    {switch_op::kComponentItem, Code(kBios, kVendor), "BIOS Vendor", kFirmware,
     [](M m, O i) { return One(i, Bios(m).vendor); }},
    {switch_op::kComponentItem, Code(kBios, kVersion), "BIOS Version", kFirmware,
     [](M m, O i) { return One(i, Bios(m).version); }},
    {switch_op::kComponentItem, Code(kBios, kManuDate), "BIOS ManuDate", kFirmware,
     [](M m, O i) { return One(i, Bios(m).release_date); }},

    {switch_op::kComponentItem, Code(kMemoryModule, kVendor), "memory module Vendor", kFirmware,
     [](M m, O slot) {
         const MemoryDeviceInfo* module = Installed(m, slot);
         return module == nullptr ? std::nullopt : Text(module->maker);
     }},
    {switch_op::kComponentItem, Code(kMemoryModule, kProdNumber), "memory module ProdNumber",
     kFirmware,
     [](M m, O slot) {
         const MemoryDeviceInfo* module = Installed(m, slot);
         return module == nullptr ? std::nullopt : Text(module->part_number);
     }},
    {switch_op::kComponentItem, Code(kMemoryModule, kSerialNo), "memory module SerialNo",
     kFirmware,
     [](M m, O slot) {
         const MemoryDeviceInfo* module = Installed(m, slot);
         return module == nullptr ? std::nullopt : Text(module->serial);
     }},
};

const ItemRow* FindRow(std::uint32_t op_code, std::uint32_t op_code_ext) {
    const ItemRow* any = nullptr;
    for (const ItemRow& row : kItems) {
        if (row.op_code != op_code) continue;
        if (row.op_code_ext == op_code_ext) return &row;
        if (row.op_code_ext == kAnyExtension) any = &row;
    }
    return any;
}

}  // namespace

std::span<const ItemRow> MachineItems() { return kItems; }

std::string SourceNames(SourceSet sources) {
    static constexpr std::pair<Source, const char*> kNames[] = {
        {kFixed, "fixed"},   {kSmbios, "SMBIOS"}, {kDeviceTree, "device tree"},
        {kProcfs, "procfs"}, {kIpmi, "IPMI"},     {kNut, "NUT"}};
    std::string names;
    for (const auto& [source, name] : kNames) {
        if ((sources & source) == 0) continue;
        if (!names.empty()) names += ", ";
        names += name;
    }
    return names;
}

std::optional<ReplySpec> AnswerMachineRequest(const MachineInfo& machine,
                                              const RequestKey& request) {
    // The 16-bit methods carry the low half of the numbers only.
    const std::uint32_t mask = request.low_16_bits ? 0xFFFFu : 0xFFFFFFFFu;
    const ItemRow* row = FindRow(request.op_code, request.op_code_ext & mask);
    if (row == nullptr) return std::nullopt;
    const std::uint32_t cabinet = request.cabinet_id;
    if (!row->any_cabinet && cabinet != kMachineCabinet && cabinet != (CMD_CABINET_SERVER & mask))
        return std::nullopt;
    if (Answer answer = row->answer(machine, request.object_id)) return answer;
    if ((row->sources & machine.failed) != 0) return ReplySpec{CMD_STATUS_NOT_DELIVERED, {}, 0};
    return row->count ? Byte(0) : std::nullopt;
}

}  // namespace cx::switchd
