// Builds SC_MIB's adapter and device tables from storage device facts: the sysfs path parser,
// the inquiry text and device type of each device, and the adapters they are grouped into.
#include "disk_tables.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>
#include <tuple>

#include "sc_mib/sc_mib_oids.h"

namespace cx::scmib {
namespace {

constexpr std::uint32_t kInterfaceIde = 2;
constexpr std::uint32_t kInterfaceScsi = 3;
constexpr std::uint32_t kTypeOther = 1;
constexpr std::uint32_t kTypeDisk = 2;
constexpr std::uint32_t kTypeCdRom = 7;
constexpr std::uint32_t kMemoryHighBits = 0xFFFF0000u;

// SCSI peripheral device type (0 to 31) to the table's device type; anything else is 1.
constexpr std::pair<std::uint32_t, std::uint32_t> kScsiTypes[] = {
    {0x00, 2},  // direct access
    {0x01, 3},  // sequential (tape)
    {0x03, 5},  // processor
    {0x04, 9},  // write-once, an optical medium
    {0x05, 7},  // CD/DVD
    {0x06, 8},  // scanner
    {0x07, 9},  // optical memory
    {0x0E, 2},  // simplified direct access
};

using Oid = std::vector<std::uint32_t>;
using Address = std::array<std::uint32_t, 4>;

std::optional<std::uint32_t> Decimal(std::string_view text) {
    std::uint32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return {};
    return value;
}

std::optional<std::uint32_t> Hex(std::string_view text) {
    std::uint32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return {};
    return value;
}

// "dddd:bb:dd.f", as the kernel names PCI functions.
std::optional<Address> PciAddress(std::string_view c) {
    if (c.size() != 12 || c[4] != ':' || c[7] != ':' || c[10] != '.') return {};
    const auto domain = Hex(c.substr(0, 4));
    const auto bus = Hex(c.substr(5, 2));
    const auto device = Hex(c.substr(8, 2));
    const auto function = Hex(c.substr(11, 1));
    if (!domain || !bus || !device || !function || *device > 31 || *function > 7) return {};
    return Address{*domain, *bus, *device, *function};
}

// "<prefix><decimal>".
std::optional<std::uint32_t> Numbered(std::string_view c, std::string_view prefix) {
    if (c.substr(0, prefix.size()) != prefix) return {};
    return Decimal(c.substr(prefix.size()));
}

// "H:C:T:L", four decimals.
std::optional<Address> ScsiAddress(std::string_view c) {
    Address address{};
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t colon = i < 3 ? c.find(':') : c.size();
        if (colon == std::string_view::npos) return {};
        const auto number = Decimal(c.substr(0, colon));
        if (!number) return {};
        address[i] = *number;
        c.remove_prefix(i < 3 ? colon + 1 : c.size());
    }
    return address;
}

std::string_view Trimmed(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string Hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof(text), "%04x", value & 0xFFFFu);
    return text;
}

constexpr std::size_t kVendorWidth = 8;  // the inquiry text's vendor field
constexpr std::size_t kShortestVendor = 4;

// Words that say what kind of company a maker is, not which one.
constexpr std::string_view kLegalForms[] = {
    "ab",   "ag",  "asa",          "bv",  "co",  "company", "corp",    "corporation",
    "gmbh", "inc", "incorporated", "kk",  "llc", "ltd",     "limited", "nv",
    "oy",   "plc", "pte",          "pty", "sa",  "sas",     "spa",     "srl"};

bool IsAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsLegalForm(std::string_view word) {
    std::string lower(word);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return std::find(std::begin(kLegalForms), std::end(kLegalForms), lower) !=
           std::end(kLegalForms);
}

// The words of `text`: runs of letters and digits.
std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    for (std::size_t at = 0; at < text.size();) {
        if (!IsAlnum(text[at])) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < text.size() && IsAlnum(text[end]))
            ++end;
        words.push_back(text.substr(at, end - at));
        at = end;
    }
    return words;
}

// Adapters in the order of their PCI function, then SCSI hosts, NVMe controllers, the rest.
enum class Kind { kScsi, kNvme, kOther };
struct AdapterKey {
    Address pci;
    Kind kind;
    std::uint32_t number;  // host or controller number; 0 for the rest
    bool operator<(const AdapterKey& o) const {
        return std::tie(pci, kind, number) < std::tie(o.pci, o.kind, o.number);
    }
};

struct Placed {
    const StorageDevice* device;
    DevicePath path;
};

struct DeviceRow {
    std::array<std::uint32_t, 3> address;  // channel, target, logical unit
    std::string inquiry;
    std::uint32_t type;
};

std::uint32_t TypeOf(const StorageDevice& d) {
    if (d.type) {
        if (auto type = DeviceTypeOfScsiType(*d.type)) return *type;
    }
    // No readable type: what the block device's name says (sr: the SCSI CD driver).
    if (d.block.empty()) return kTypeOther;
    return d.block.rfind("sr", 0) == 0 ? kTypeCdRom : kTypeDisk;
}

std::string Inquiry(std::string_view vendor, std::string_view model, std::string_view revision) {
    return InquiryField(vendor, 8) + InquiryField(model, 16) + InquiryField(revision, 4);
}

// The first I/O port, else the first memory address: what the bus collector stores as the
// controller's IoPort and MemAddr. A memory address without any of its upper 16 bits set would
// be compared with the I/O port, which is then 0.
std::uint32_t PortOf(const PciFunction& f) {
    if (!f.resource) return 0;
    const std::vector<PciRange> ranges = ParseResource(*f.resource);
    const auto io = std::find_if(ranges.begin(), ranges.end(), [](auto& r) { return r.io; });
    if (io != ranges.end()) return static_cast<std::uint32_t>(io->start);
    const auto memory = std::find_if(ranges.begin(), ranges.end(), [](auto& r) { return !r.io; });
    if (memory == ranges.end()) return 0;
    const auto low = static_cast<std::uint32_t>(memory->start);
    return (low & kMemoryHighBits) != 0 ? low : 0;
}

std::vector<DeviceRow> RowsOf(const AdapterKey& key, std::vector<Placed> placed,
                              const PciFunction& f) {
    std::sort(placed.begin(), placed.end(),
              [](const Placed& a, const Placed& b) { return a.device->block < b.device->block; });
    const std::string vendor = InquiryVendor(f.vendor_name, f.vendor_id);
    const std::string name = f.device_name.empty() ? Hex4(f.device_id) : f.device_name;
    std::vector<DeviceRow> rows;
    std::uint32_t ordinal = 0;
    for (const Placed& p : placed) {
        const StorageDevice& d = *p.device;
        auto text = [](const std::optional<std::string>& t) -> std::string_view {
            return t ? std::string_view(*t) : std::string_view();
        };
        switch (key.kind) {
            case Kind::kScsi: {
                const Address& a = *p.path.scsi_address;
                rows.push_back({{a[1], a[2], a[3]},
                                Inquiry(text(d.vendor), text(d.model), text(d.revision)),
                                TypeOf(d)});
                break;
            }
            case Kind::kNvme: {
                // The namespace's nsid, else the number the kernel put into its name.
                std::optional<std::uint32_t> nsid;
                if (d.nsid) nsid = Decimal(Trimmed(*d.nsid));
                if (!nsid) {
                    const std::size_t n = d.block.rfind('n');
                    if (n != std::string::npos)
                        nsid = Decimal(std::string_view(d.block).substr(n + 1));
                }
                rows.push_back({{0, nsid.value_or(ordinal), 0},
                                Inquiry(vendor, text(d.model), text(d.revision)),
                                kTypeDisk});
                break;
            }
            case Kind::kOther:
                rows.push_back({{0, ordinal, 0}, Inquiry(vendor, name, ""), kTypeDisk});
                break;
        }
        ++ordinal;
    }
    // One row per address: a second device claiming one is left out.
    std::stable_sort(rows.begin(), rows.end(),
                     [](const DeviceRow& a, const DeviceRow& b) { return a.address < b.address; });
    rows.erase(
        std::unique(rows.begin(), rows.end(),
                    [](const DeviceRow& a, const DeviceRow& b) { return a.address == b.address; }),
        rows.end());
    return rows;
}

}  // namespace

DevicePath ParseDevicePath(std::string_view path) {
    DevicePath parsed;
    std::string_view previous;
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        const std::string_view c = path.substr(0, slash);
        path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
        if (auto pci = PciAddress(c)) {
            // A function further down (behind a bridge) is the nearer controller.
            parsed = DevicePath{};
            parsed.pci = pci;
        } else if (Numbered(c, "ata")) {
            parsed.ata = true;
        } else if (auto host = Numbered(c, "host")) {
            parsed.scsi_host = host;
        } else if (auto address = ScsiAddress(c)) {
            parsed.scsi_address = address;
        } else if (auto controller = Numbered(c, "nvme"); controller && previous == "nvme") {
            parsed.nvme_controller = controller;
        }
        previous = c;
    }
    return parsed;
}

std::optional<std::uint32_t> DeviceTypeOfScsiType(std::string_view text) {
    const auto type = Decimal(Trimmed(text));
    if (!type) return {};
    for (const auto& [scsi, table] : kScsiTypes)
        if (scsi == *type) return table;
    return kTypeOther;
}

std::string InquiryField(std::string_view text, std::size_t width) {
    text = Trimmed(text);
    std::string field(text.substr(0, width));
    for (char& c : field)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
    field.resize(width, ' ');
    return field;
}

std::string InquiryVendor(std::string_view vendor_name, std::uint16_t vendor_id) {
    // The ID database writes a maker's common short name in brackets after its full name.
    const std::size_t open = vendor_name.find('[');
    const std::size_t close = vendor_name.find(']', open);
    std::vector<std::string_view> words;
    if (open != std::string_view::npos && close != std::string_view::npos)
        words = Words(vendor_name.substr(open + 1, close - open - 1));
    if (words.empty()) words = Words(vendor_name.substr(0, open));
    while (words.size() > 1 && IsLegalForm(words.back()))
        words.pop_back();
    // A blank inside the field would end the vendor early where the inventory splits the text,
    // so the words are joined. Whole words as far as they fit; a word is cut only when fewer
    // than four characters would be left to tell the maker by.
    std::string vendor;
    for (std::string_view word : words) {
        if (vendor.size() + word.size() <= kVendorWidth) {
            vendor += word;
            continue;
        }
        if (vendor.size() < kShortestVendor) vendor += word;
        break;
    }
    if (vendor.empty()) vendor = Hex4(vendor_id);
    return vendor.substr(0, kVendorWidth);
}

std::vector<TableValue> BuildDiskTables(const std::vector<PciFunction>& functions,
                                        const std::vector<StorageDevice>& devices,
                                        std::vector<std::string>* left_out) {
    std::map<Address, const PciFunction*> by_address;
    for (const PciFunction& f : functions) {
        if (f.domain == 0 && f.bus <= 255 && f.device <= 31 && f.function <= 7)
            by_address.emplace(Address{f.domain, f.bus, f.device, f.function}, &f);
    }
    auto leave_out = [&](const StorageDevice& d, const char* why) {
        if (left_out != nullptr)
            left_out->push_back((d.block.empty() ? d.path : d.block) + ": left out, " + why);
    };

    // Devices by adapter; an adapter is served only when a block device sits on it.
    std::map<AdapterKey, std::vector<Placed>> adapters;
    std::map<AdapterKey, bool> with_block;
    for (const StorageDevice& d : devices) {
        DevicePath path = ParseDevicePath(d.path);
        if (!path.pci || by_address.count(*path.pci) == 0) {
            leave_out(d, "on no PCI function of domain 0");
            continue;
        }
        AdapterKey key{*path.pci, Kind::kOther, 0};
        if (path.scsi_address) {
            key.kind = Kind::kScsi;
            key.number = path.scsi_host.value_or((*path.scsi_address)[0]);
        } else if (path.nvme_controller) {
            key.kind = Kind::kNvme;
            key.number = *path.nvme_controller;
        } else if (d.block.empty()) {
            leave_out(d, "neither a SCSI device nor a disk");
            continue;
        }
        adapters[key].push_back({&d, std::move(path)});
        with_block[key] = with_block[key] || !d.block.empty();
    }

    std::vector<TableValue> values;
    auto integer = [&](Oid oid, std::uint32_t value) {
        values.push_back({std::move(oid), TableValue::Type::kInteger, value, {}});
    };
    std::uint32_t number = 0;
    for (auto& [key, placed] : adapters) {
        if (!with_block[key]) continue;
        const PciFunction& f = *by_address.at(key.pci);
        const std::uint32_t bus = f.bus + 1;  // as the bus table counts
        const std::uint32_t adapter = ++number;
        const bool ata = placed.front().path.ata;
        const std::vector<DeviceRow> rows = RowsOf(key, std::move(placed), f);
        auto a = [&](std::uint32_t c) {
            return ColumnOid(CX_SC_HD_ADAPTER_ENTRY, c, {kBusTypePci, bus, adapter});
        };
        integer(a(kAdapterBusType), kBusTypePci);
        integer(a(kAdapterBusNo), bus);
        integer(a(kAdapterNo), adapter);
        values.push_back({a(kAdapterName), TableValue::Type::kOctets, 0,
                          f.device_name.empty() ? Hex4(f.device_id) : f.device_name});
        integer(a(kAdapterDevices), static_cast<std::uint32_t>(rows.size()));
        integer(a(kAdapterSlot), f.slot);
        values.push_back({a(kAdapterPort), TableValue::Type::kGauge, PortOf(f), {}});
        integer(a(kAdapterInterface), ata ? kInterfaceIde : kInterfaceScsi);
        integer(a(kAdapterIndex), adapter);
        for (const DeviceRow& row : rows) {
            const std::uint32_t channel = row.address[0];
            const std::uint32_t target = row.address[1];
            const std::uint32_t lun = row.address[2];
            auto d = [&](std::uint32_t c) {
                return ColumnOid(CX_SC_HD_DEVICE_ENTRY, c,
                                 {kBusTypePci, bus, adapter, channel, target, lun});
            };
            integer(d(kDeviceAdapterNo), adapter);
            values.push_back({d(kDeviceInquiry), TableValue::Type::kOctets, 0, row.inquiry});
            integer(d(kDeviceType), row.type);
            integer(d(kDeviceChannel), channel);
            integer(d(kDeviceTarget), target);
            integer(d(kDeviceLun), lun);
        }
    }
    return values;
}

}  // namespace cx::scmib
