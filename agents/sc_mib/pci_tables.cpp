// Builds SC_MIB's tables from PCI function facts: the class map, the parsers of the small sysfs
// files and the rows of each table.
#include "pci_tables.h"

#include <charconv>
#include <cstdio>

#include "sc_mib/sc_mib_oids.h"

namespace cx::scmib {
namespace {

constexpr std::uint32_t kNetworkClass = 6;
constexpr std::uint32_t kOtherClass = 11;
constexpr std::size_t kBarLines = 6;  // the resource file's first lines; ROM and windows follow
constexpr std::uint64_t kIoResource = 0x100;
constexpr std::uint64_t kMemResource = 0x200;

// PCI class (and subclass, -1 for any) to the bus table's device class; the first match
// counts, anything unlisted is 11 (other). docs/sc_mib.md explains each row.
struct ClassRow {
    int base;
    int sub;
    std::uint32_t device_class;
};
constexpr ClassRow kClassMap[] = {
    {0x00, 0x01, 7},                    // unclassified, VGA compatible
    {0x00, -1, 0},                      // unclassified
    {0x01, 0x00, 1},  {0x01, 0x04, 1},  // SCSI, RAID
    {0x01, 0x06, 1},  {0x01, 0x07, 1},  // SATA, SAS
    {0x01, 0x01, 2},  {0x01, 0x05, 2},  // IDE, ATA
    {0x01, 0x02, 3},                    // floppy
    {0x01, -1, 4},                      // other mass storage (IPI, NVM, UFS, other)
    {0x02, -1, 6},                      // network
    {0x03, -1, 7},                      // display
    {0x05, -1, 0},                      // memory controller
    {0x06, -1, 0},                      // bridge
    {0x07, -1, 13},                     // communication
    {0x08, -1, 12},                     // base system peripheral
    {0x0B, -1, 14},                     // processor
    {0x0C, 0x04, 5},                    // Fibre Channel
    {0x0C, 0x05, 0},                    // SMBus
    {0x0C, 0x07, 12},                   // IPMI interface
    {0x0D, -1, 6},                      // wireless
    {0x0E, -1, 14},                     // intelligent I/O processors
    {0x0F, -1, 13},                     // satellite communication
};

using Oid = std::vector<std::uint32_t>;

std::string_view TrimmedLine(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' ||
                             text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// A "0x..." hexadecimal field of up to 64 bits; advances `text` past it and its blanks.
std::optional<std::uint64_t> HexField(std::string_view* text) {
    std::string_view rest = *text;
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    if (rest.size() < 3 || rest[0] != '0' || (rest[1] != 'x' && rest[1] != 'X')) return {};
    rest.remove_prefix(2);
    std::uint64_t value = 0;
    auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value, 16);
    if (error != std::errc() || end == rest.data()) return {};
    rest.remove_prefix(static_cast<std::size_t>(end - rest.data()));
    if (!rest.empty() && rest.front() != ' ') return {};
    *text = rest;
    return value;
}

std::string Hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof(text), "%04x", value & 0xFFFFu);
    return text;
}

std::string NameOr(const std::string& name, std::string fallback) {
    return name.empty() ? fallback : name;
}

class TableWriter {
  public:
    explicit TableWriter(std::vector<TableValue>* out) : out_(out) {}
    void Integer(Oid oid, std::uint32_t value) {
        out_->push_back({std::move(oid), TableValue::Type::kInteger, value, {}});
    }
    void Gauge(Oid oid, std::uint32_t value) {
        out_->push_back({std::move(oid), TableValue::Type::kGauge, value, {}});
    }
    void Octets(Oid oid, std::string value) {
        out_->push_back({std::move(oid), TableValue::Type::kOctets, 0, std::move(value)});
    }

  private:
    std::vector<TableValue>* out_;
};

std::uint32_t Saturated(std::uint64_t value) {
    return value > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(value);
}

void AddBusRow(const PciFunction& f, std::uint32_t bus, std::uint32_t function, TableWriter* w) {
    const std::uint32_t device_class = DeviceClassOf(f.class_code);
    auto column = [&](std::uint32_t c) {
        return ColumnOid(CX_SC_BUS_ENTRY, c, {kBusTypePci, bus, f.device, function});
    };
    w->Integer(column(kBusBusType), kBusTypePci);
    w->Integer(column(kBusBusNo), bus);
    w->Integer(column(kBusDevNo), f.device);
    w->Integer(column(kBusFuncNo), function);
    w->Integer(column(kBusDevClass), device_class);
    w->Octets(column(kBusDescription), NameOr(f.class_name, "Class " + Hex4(f.class_code >> 8)));
    w->Octets(column(kBusDeviceName), NameOr(f.device_name, Hex4(f.device_id)));
    w->Octets(column(kBusVendorName), NameOr(f.vendor_name, Hex4(f.vendor_id)));
    w->Integer(column(kBusSlot), f.slot);
    if (device_class != kNetworkClass) return;
    if (auto mac = ParseMac(f.mac)) w->Octets(column(kBusMacAddress), std::move(*mac));
}

void AddRangeRows(const PciFunction& f, std::uint32_t bus, std::uint32_t function, TableWriter* w) {
    if (!f.resource) return;
    std::uint32_t io_count = 0;
    std::uint32_t memory_count = 0;
    for (const PciRange& range : ParseResource(*f.resource)) {
        const std::uint32_t number = range.io ? ++io_count : ++memory_count;
        const char* entry = range.io ? CX_SC_IO_RANGE_ENTRY : CX_SC_MEMORY_RANGE_ENTRY;
        auto column = [&](std::uint32_t c) {
            return ColumnOid(entry, c, {kBusTypePci, bus, f.device, function, number});
        };
        w->Integer(column(kRangeBusType), kBusTypePci);
        w->Integer(column(kRangeBusNo), bus);
        w->Integer(column(kRangeDevNo), f.device);
        w->Integer(column(kRangeFuncNo), function);
        w->Integer(column(kRangeNo), number);
        const std::uint32_t length = Saturated(range.end - range.start + 1);
        if (range.io) {
            w->Integer(column(kIoRangeFirstPort), static_cast<std::uint32_t>(range.start));
            w->Integer(column(kIoRangeLength), length);
        } else {
            // The table holds 32 bits: the start address's low half.
            w->Gauge(column(kMemoryRangeStart), static_cast<std::uint32_t>(range.start));
            w->Gauge(column(kMemoryRangeLength), length);
        }
    }
}

void AddInterruptRow(const PciFunction& f, std::uint32_t bus, std::uint32_t function,
                     TableWriter* w) {
    if (!f.irq) return;
    const std::optional<std::uint32_t> irq = ParseIrq(*f.irq);
    if (!irq) return;
    auto column = [&](std::uint32_t c) {
        return ColumnOid(CX_SC_INTERRUPT_ENTRY, c, {bus, f.device, function});
    };
    w->Integer(column(kInterruptBusNo), bus);
    w->Integer(column(kInterruptDevNo), f.device);
    w->Integer(column(kInterruptFuncNo), function);
    w->Integer(column(kInterruptLevel), *irq);
}

}  // namespace

Oid ColumnOid(std::string_view entry, std::uint32_t column,
              std::initializer_list<std::uint32_t> index) {
    Oid oid;
    oid.reserve(20);
    while (!entry.empty()) {
        entry.remove_prefix(1);  // the dot before each number
        std::uint32_t number = 0;
        const char* end = std::from_chars(entry.data(), entry.data() + entry.size(), number).ptr;
        oid.push_back(number);
        entry.remove_prefix(static_cast<std::size_t>(end - entry.data()));
    }
    oid.push_back(column);
    oid.insert(oid.end(), index);
    return oid;
}

std::uint32_t DeviceClassOf(std::uint32_t class_code) {
    const int base = static_cast<int>((class_code >> 16) & 0xFF);
    const int sub = static_cast<int>((class_code >> 8) & 0xFF);
    for (const ClassRow& row : kClassMap) {
        if (row.base == base && (row.sub < 0 || row.sub == sub)) return row.device_class;
    }
    return kOtherClass;
}

std::vector<PciRange> ParseResource(std::string_view text) {
    std::vector<PciRange> ranges;
    for (std::size_t line = 0; line < kBarLines && !text.empty(); ++line) {
        const std::size_t newline = text.find('\n');
        std::string_view fields = TrimmedLine(text.substr(0, newline));
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        const auto start = HexField(&fields);
        const auto end = start ? HexField(&fields) : std::nullopt;
        const auto flags = end ? HexField(&fields) : std::nullopt;
        if (!flags || !TrimmedLine(fields).empty()) continue;
        if ((*start == 0 && *end == 0) || *end < *start) continue;
        if ((*flags & (kIoResource | kMemResource)) == 0) continue;
        ranges.push_back({(*flags & kIoResource) != 0, *start, *end});
    }
    return ranges;
}

std::optional<std::uint32_t> ParseIrq(std::string_view text) {
    text = TrimmedLine(text);
    std::uint32_t irq = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), irq, 10);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return {};
    if (irq > 0x7FFFFFFFu) return {};  // served as INTEGER
    return irq;
}

std::optional<std::string> ParseMac(std::string_view text) {
    text = TrimmedLine(text);
    if (text.size() != 17) return {};
    std::string bytes;
    for (std::size_t i = 0; i < 6; ++i) {
        const std::size_t at = i * 3;
        if (i > 0 && text[at - 1] != ':') return {};
        unsigned value = 0;
        auto [end, error] = std::from_chars(text.data() + at, text.data() + at + 2, value, 16);
        if (error != std::errc() || end != text.data() + at + 2) return {};
        bytes.push_back(static_cast<char>(value));
    }
    return bytes;
}

std::vector<TableValue> BuildTables(const std::vector<PciFunction>& functions) {
    std::vector<TableValue> values;
    values.reserve(functions.size() * 24);
    TableWriter writer(&values);
    for (const PciFunction& f : functions) {
        if (f.domain != 0 || f.bus > 255 || f.device > 31 || f.function > 7) continue;
        // The tables count buses and functions from 1.
        const std::uint32_t bus = f.bus + 1;
        const std::uint32_t function = f.function + 1;
        AddBusRow(f, bus, function, &writer);
        AddRangeRows(f, bus, function, &writer);
        AddInterruptRow(f, bus, function, &writer);
    }
    return values;
}

}  // namespace cx::scmib
