// SMBIOS entry point and table reader of cx-switchd --linux.
#include "smbios.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

namespace cx::switchd {
namespace {

constexpr std::size_t kHeaderBytes = 4;

std::uint8_t Checksum(std::string_view bytes) {
    std::uint8_t sum = 0;
    for (char c : bytes)
        sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(c));
    return sum;
}

std::uint64_t LittleEndian(std::string_view bytes, std::size_t offset, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = size; i-- > 0;)
        value = (value << 8) | static_cast<std::uint8_t>(bytes[offset + i]);
    return value;
}

// One structure: its formatted area and the strings that follow it.
class Structure {
  public:
    Structure(std::string_view formatted, std::string_view strings)
        : formatted_(formatted), strings_(strings) {}

    std::uint8_t type() const { return static_cast<std::uint8_t>(formatted_[0]); }

    // A field exists only when the formatted area reaches its last byte.
    std::optional<std::uint64_t> Number(std::size_t offset, std::size_t size) const {
        if (offset + size > formatted_.size()) return std::nullopt;
        return LittleEndian(formatted_, offset, size);
    }
    std::optional<std::uint8_t> Byte(std::size_t offset) const {
        auto value = Number(offset, 1);
        if (!value) return std::nullopt;
        return static_cast<std::uint8_t>(*value);
    }
    std::optional<std::uint16_t> Word(std::size_t offset) const {
        auto value = Number(offset, 2);
        if (!value) return std::nullopt;
        return static_cast<std::uint16_t>(*value);
    }
    std::optional<std::uint32_t> Dword(std::size_t offset) const {
        auto value = Number(offset, 4);
        if (!value) return std::nullopt;
        return static_cast<std::uint32_t>(*value);
    }
    // The string whose 1-based index sits at `offset`; index 0 and indexes past the last
    // string are "none".
    std::string Text(std::size_t offset) const {
        auto index = Byte(offset);
        if (!index || *index == 0) return {};
        std::string_view rest = strings_;
        for (std::uint8_t n = 1; !rest.empty(); ++n) {
            const std::size_t end = rest.find('\0');
            if (n == *index) return CleanFirmwareText(rest.substr(0, end));
            if (end == std::string_view::npos) break;
            rest.remove_prefix(end + 1);
        }
        return {};
    }

  private:
    std::string_view formatted_;
    std::string_view strings_;  // "one\0two" without the set's final NULs
};

std::string Lookup(std::uint32_t code,
                   std::initializer_list<std::pair<std::uint32_t, const char*>> names) {
    for (const auto& [number, name] : names) {
        if (number == code) return name;
    }
    return {};
}

}  // namespace

std::string ChassisTypeName(std::uint8_t type) {
    return Lookup(type & 0x7Fu, {{0x03, "Desktop"},
                                 {0x04, "Low Profile Desktop"},
                                 {0x06, "Mini Tower"},
                                 {0x07, "Tower"},
                                 {0x09, "Laptop"},
                                 {0x0A, "Notebook"},
                                 {0x11, "Main Server Chassis"},
                                 {0x12, "Expansion Chassis"},
                                 {0x17, "Rack Mount Chassis"},
                                 {0x18, "Sealed-case PC"},
                                 {0x19, "Multi-system Chassis"},
                                 {0x1C, "Blade"},
                                 {0x1D, "Blade Enclosure"},
                                 {0x23, "Mini PC"}});
}

namespace {

std::string BoardKind(std::uint8_t type) {
    return Lookup(type, {{0x03, "Server Blade"},
                         {0x04, "Connectivity Switch"},
                         {0x05, "System Management Module"},
                         {0x06, "Processor Module"},
                         {0x07, "I/O Module"},
                         {0x08, "Memory Module"},
                         {0x09, "Daughter Board"},
                         {0x0A, "Motherboard"},
                         {0x0B, "Processor/Memory Module"},
                         {0x0C, "Processor/IO Module"},
                         {0x0D, "Interconnect Board"}});
}

std::string MemoryType(std::uint8_t type) {
    return Lookup(type, {{0x03, "DRAM"},
                         {0x06, "SRAM"},
                         {0x07, "RAM"},
                         {0x0F, "SDRAM"},
                         {0x11, "RDRAM"},
                         {0x12, "DDR"},
                         {0x13, "DDR2"},
                         {0x14, "DDR2 FB-DIMM"},
                         {0x18, "DDR3"},
                         {0x1A, "DDR4"},
                         {0x1B, "LPDDR"},
                         {0x1C, "LPDDR2"},
                         {0x1D, "LPDDR3"},
                         {0x1E, "LPDDR4"},
                         {0x20, "HBM"},
                         {0x21, "HBM2"},
                         {0x22, "DDR5"},
                         {0x23, "LPDDR5"},
                         {0x24, "HBM3"}});
}

std::string MemoryForm(std::uint8_t form) {
    return Lookup(form, {{0x03, "SIMM"},
                         {0x05, "Chip"},
                         {0x09, "DIMM"},
                         {0x0B, "Row of chips"},
                         {0x0C, "RIMM"},
                         {0x0D, "SODIMM"},
                         {0x0F, "FB-DIMM"},
                         {0x10, "Die"}});
}

void ReadBios(const Structure& s, MachineInfo* info) {
    if (info->bios) return;  // the first one describes the machine's firmware
    info->bios = BiosInfo{s.Text(0x04), s.Text(0x05), s.Text(0x08)};
}

void ReadSystem(const Structure& s, MachineInfo* info) {
    if (info->system) return;
    info->system = SystemInfo{s.Text(0x04), s.Text(0x05), s.Text(0x06), s.Text(0x07), s.Text(0x19)};
}

void ReadBoard(const Structure& s, MachineInfo* info) {
    BoardInfo board{s.Text(0x04), s.Text(0x05), s.Text(0x06), s.Text(0x07), s.Text(0x08), {}, {}};
    if (auto type = s.Byte(0x0D)) board.kind = BoardKind(*type);
    info->boards.push_back(std::move(board));
}

void ReadChassis(const Structure& s, MachineInfo* info) {
    if (info->chassis) return;
    ChassisInfo chassis{s.Text(0x04), {}, s.Text(0x06), s.Text(0x07), s.Text(0x08), {}};
    if (auto type = s.Byte(0x05)) chassis.kind = ChassisTypeName(*type);
    info->chassis = std::move(chassis);
}

// Architectures whose processor ID is not the x86 signature (ARM, RISC-V, LoongArch families
// of the second family field) carry no stepping there.
bool HasX86Signature(const Structure& s) {
    auto family = s.Byte(0x06);
    if (family == 0xFE) {
        auto family2 = s.Word(0x28);
        return family2 && *family2 < 0x100;
    }
    return family.has_value();
}

void ReadProcessor(const Structure& s, MachineInfo* info) {
    auto type = s.Byte(0x05);
    if (type && *type != 0x03) return;  // only central processors, not maths or DSP units
    ProcessorInfo cpu;
    cpu.socket = s.Text(0x04);
    cpu.maker = s.Text(0x07);
    cpu.version = s.Text(0x10);
    cpu.max_mhz = s.Word(0x14).value_or(0);
    cpu.current_mhz = s.Word(0x16).value_or(0);
    auto status = s.Byte(0x18);
    if (status && (*status & 0x40) == 0) {
        cpu.status = SocketStatus::kEmpty;
    } else if (status && (*status & 0x07) != 1) {
        cpu.status = SocketStatus::kDisabled;
    }
    if (auto id = s.Dword(0x08); id && HasX86Signature(s))
        cpu.stepping = static_cast<std::uint8_t>(*id & 0x0F);
    info->processors.push_back(std::move(cpu));
}

void ReadMemoryDevice(const Structure& s, MachineInfo* info) {
    MemoryDeviceInfo module;
    module.locator = s.Text(0x10);
    module.bank = s.Text(0x11);
    module.maker = s.Text(0x17);
    module.serial = s.Text(0x18);
    module.part_number = s.Text(0x1A);
    if (auto type = s.Byte(0x12)) module.type = MemoryType(*type);
    if (auto form = s.Byte(0x0E)) module.form = MemoryForm(*form);
    std::uint16_t speed = s.Word(0x15).value_or(0);
    if (speed == 0xFFFF) {
        // The real speed is in the extended field; more than a word can hold is left out.
        std::uint32_t extended = s.Dword(0x54).value_or(0);
        speed = extended <= 0xFFFE ? static_cast<std::uint16_t>(extended) : 0;
    }
    module.speed_mts = speed;
    auto size = s.Word(0x0C);
    if (!size || *size == 0) {
        module.installed = false;
    } else if (*size == 0xFFFF) {
        module.installed = true;  // of unknown size
    } else if (*size == 0x7FFF) {
        // 32 GiB and more: the extended size in MByte, bits 0-30.
        module.installed = true;
        if (auto extended = s.Dword(0x1C)) module.size_mb = *extended & 0x7FFFFFFFu;
    } else if ((*size & 0x8000) != 0) {
        module.installed = true;
        module.size_mb = ((*size & 0x7FFFu) + 1023u) / 1024u;  // KByte granularity, rounded up
    } else {
        module.installed = true;
        module.size_mb = *size;
    }
    info->memory.push_back(std::move(module));
}

void ReadPowerSupply(const Structure& s, MachineInfo* info) {
    PowerSupplyInfo supply;
    supply.location = s.Text(0x05);
    supply.name = s.Text(0x06);
    supply.maker = s.Text(0x07);
    supply.serial = s.Text(0x08);
    supply.part_number = s.Text(0x0A);
    supply.revision = s.Text(0x0B);
    std::uint16_t watts = s.Word(0x0C).value_or(0x8000);
    supply.max_watts = watts == 0x8000 ? 0 : watts;
    auto traits = s.Word(0x0E);
    supply.present = traits && (*traits & 0x0002) != 0;
    info->power_supplies.push_back(std::move(supply));
}

void ReadIpmi(const Structure& s, MachineInfo* info) {
    if (info->management) return;
    auto revision = s.Byte(0x05);
    if (!revision) return;
    ManagementControllerInfo bmc;
    bmc.interface =
        Lookup(s.Byte(0x04).value_or(0), {{1, "KCS"}, {2, "SMIC"}, {3, "BT"}, {4, "SSIF"}});
    bmc.spec_major = static_cast<std::uint8_t>(*revision >> 4);
    bmc.spec_minor = static_cast<std::uint8_t>(*revision & 0x0F);
    info->management = std::move(bmc);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Calls `read` for every whole structure of the table, in order; returns how many there were.
template <typename Reader>
std::size_t WalkTable(const SmbiosEntryPoint& entry, std::string_view table, Reader&& read) {
    std::size_t count = 0;
    std::size_t at = 0;
    while (at + kHeaderBytes <= table.size()) {
        if (entry.structure_count != 0 && count >= entry.structure_count) break;
        const std::uint8_t type = static_cast<std::uint8_t>(table[at]);
        const std::size_t length = static_cast<std::uint8_t>(table[at + 1]);
        if (length < kHeaderBytes || at + length > table.size()) break;
        // The string set ends at the first pair of NULs, which is the whole set when the
        // structure has no strings.
        std::size_t pair = at + length;
        while (pair + 1 < table.size() && (table[pair] != '\0' || table[pair + 1] != '\0')) {
            const void* nul = std::memchr(table.data() + pair + 1, 0, table.size() - pair - 1);
            if (nul == nullptr) {
                pair = table.size();
                break;
            }
            pair = static_cast<std::size_t>(static_cast<const char*>(nul) - table.data());
        }
        if (pair + 1 >= table.size()) break;  // strings run past the table: cut off
        ++count;
        read(Structure(table.substr(at, length), table.substr(at + length, pair - at - length)));
        if (type == 127) break;  // end of table
        at = pair + 2;
    }
    return count;
}

}  // namespace

std::string CleanFirmwareText(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    static constexpr std::array<std::string_view, 5> kPlaceholders = {
        "Not Specified", "Default string", "To be filled by O.E.M.", "None", "Not Available"};
    for (std::string_view placeholder : kPlaceholders) {
        if (EqualsIgnoringCase(text, placeholder)) return {};
    }
    std::string clean(text);
    for (char& c : clean) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) c = '.';
    }
    return clean;
}

bool ParseSmbiosEntryPoint(std::string_view bytes, SmbiosEntryPoint* entry, std::string* error) {
    *entry = {};
    auto fail = [&](const char* why) {
        *error = why;
        return false;
    };
    if (bytes.substr(0, 5) == "_SM3_") {
        if (bytes.size() < 0x18) return fail("3.x entry point shorter than 24 bytes");
        const std::size_t length = static_cast<std::uint8_t>(bytes[6]);
        if (length < 0x18 || length > bytes.size()) return fail("3.x entry point length wrong");
        if (Checksum(bytes.substr(0, length)) != 0) return fail("3.x entry point checksum wrong");
        entry->v3 = true;
        entry->major = static_cast<std::uint8_t>(bytes[7]);
        entry->minor = static_cast<std::uint8_t>(bytes[8]);
        entry->table_length = static_cast<std::uint32_t>(LittleEndian(bytes, 0x0C, 4));
        return true;
    }
    if (bytes.substr(0, 4) == "_SM_") {
        if (bytes.size() < 0x1F) return fail("2.x entry point shorter than 31 bytes");
        std::size_t length = static_cast<std::uint8_t>(bytes[5]);
        // Some firmware writes 0x1E for the 31-byte structure.
        if (length == 0x1E) length = 0x1F;
        if (length < 0x1F || length > bytes.size()) return fail("2.x entry point length wrong");
        if (Checksum(bytes.substr(0, length)) != 0) return fail("2.x entry point checksum wrong");
        if (bytes.substr(0x10, 5) != "_DMI_" || Checksum(bytes.substr(0x10, 15)) != 0)
            return fail("2.x intermediate entry point wrong");
        entry->major = static_cast<std::uint8_t>(bytes[6]);
        entry->minor = static_cast<std::uint8_t>(bytes[7]);
        entry->table_length = static_cast<std::uint32_t>(LittleEndian(bytes, 0x16, 2));
        entry->structure_count = static_cast<std::uint32_t>(LittleEndian(bytes, 0x1C, 2));
        return true;
    }
    if (bytes.substr(0, 5) == "_DMI_") {
        if (bytes.size() < 15 || Checksum(bytes.substr(0, 15)) != 0)
            return fail("legacy entry point short or checksum wrong");
        const auto bcd = static_cast<std::uint8_t>(bytes[0x0E]);
        entry->major = static_cast<std::uint8_t>(bcd >> 4);
        entry->minor = static_cast<std::uint8_t>(bcd & 0x0F);
        entry->table_length = static_cast<std::uint32_t>(LittleEndian(bytes, 0x06, 2));
        entry->structure_count = static_cast<std::uint32_t>(LittleEndian(bytes, 0x0C, 2));
        return true;
    }
    return fail("no SMBIOS anchor");
}

std::size_t ParseSmbiosTable(const SmbiosEntryPoint& entry, std::string_view table,
                             MachineInfo* info) {
    if (entry.table_length < table.size()) table = table.substr(0, entry.table_length);
    // Counted first, so that the lists of a large machine are allocated once.
    std::size_t processors = 0, memory = 0;
    WalkTable(entry, table, [&](const Structure& s) {
        processors += s.type() == 4;
        memory += s.type() == 17;
    });
    info->processors.reserve(info->processors.size() + processors);
    info->memory.reserve(info->memory.size() + memory);
    return WalkTable(entry, table, [info](const Structure& s) {
        switch (s.type()) {
            case 0: ReadBios(s, info); break;
            case 1: ReadSystem(s, info); break;
            case 2: ReadBoard(s, info); break;
            case 3: ReadChassis(s, info); break;
            case 4: ReadProcessor(s, info); break;
            case 17: ReadMemoryDevice(s, info); break;
            case 38: ReadIpmi(s, info); break;
            case 39: ReadPowerSupply(s, info); break;
            default: break;
        }
    });
}

}  // namespace cx::switchd
