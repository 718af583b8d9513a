// One whole read of the management controller, and the look at its event log.
#include "ipmi_bmc.h"

#include <freeipmi/freeipmi.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <vector>

#include "smbios.h"

namespace cx::switchd {
namespace {

// Network functions and commands (IPMI 2.0, appendix G).
constexpr std::uint8_t kApp = 0x06, kSensorEvent = 0x04, kStorage = 0x0A;
constexpr std::uint8_t kGetDeviceId = 0x01, kGetSensorReading = 0x2D;
constexpr std::uint8_t kGetFruAreaInfo = 0x10, kReadFruData = 0x11;
constexpr std::uint8_t kGetSdrRepositoryInfo = 0x20, kReserveSdrRepository = 0x22, kGetSdr = 0x23;
constexpr std::uint8_t kGetSelInfo = 0x40, kGetSelEntry = 0x43;
constexpr std::uint8_t kReservationCancelled = 0xC5;

// The controller's own slave address; sensors of other controllers would need bridging.
constexpr std::uint8_t kBmcAddress = 0x20;
constexpr std::uint16_t kLastRecord = 0xFFFF;
// Bounds of one read: records in the repository, bytes of one FRU image, entries of the log
// looked at per change. A real controller stays far below each.
constexpr int kMaxSdrs = 2048;
constexpr std::size_t kMaxFruBytes = 8192;
constexpr int kMaxSelEntries = 64;
// Bytes per read of a record or an image: what every controller and the LAN session carry.
constexpr std::size_t kChunk = 16;
constexpr int kReservationRetries = 3;

// Entity IDs and sensor types (IPMI 2.0, tables 43-13 and 42-3).
constexpr std::uint8_t kEntityPowerSupply = 10;
constexpr std::uint8_t kSensorFan = 0x04, kSensorPowerSupply = 0x08;
constexpr std::uint8_t kSensorSpecific = 0x6F;

std::string Word(std::uint16_t value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
}
std::uint16_t WordAt(std::string_view data, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(data[at]) |
                                      static_cast<std::uint8_t>(data[at + 1]) << 8);
}

// The requests of one read: once the controller fails to answer, or the time is up, every
// further request fails at once.
class Requests {
  public:
    Requests(IpmiTransport& bmc, IpmiClock::time_point deadline) : bmc_(bmc), deadline_(deadline) {}

    // The answer's data; nullopt for an error completion (kept in *completion) or no answer.
    std::optional<std::string> Ask(std::uint8_t net_fn, std::uint8_t command, std::string_view data,
                                   std::uint8_t lun = 0, std::uint8_t* completion = nullptr) {
        if (!stopped_.empty()) return std::nullopt;
        if (IpmiClock::now() >= deadline_) {
            stopped_ = "the read took longer than allowed";
            return std::nullopt;
        }
        std::optional<IpmiResponse> response = bmc_.Send(lun, net_fn, command, data);
        if (!response) {
            char what[64];
            std::snprintf(what, sizeof(what), "no answer to command %02Xh/%02Xh", net_fn, command);
            stopped_ = what;
            return std::nullopt;
        }
        if (completion != nullptr) *completion = response->completion;
        if (response->completion != 0) return std::nullopt;
        return std::move(response->data);
    }
    const std::string& stopped() const { return stopped_; }

  private:
    IpmiTransport& bmc_;
    IpmiClock::time_point deadline_;
    std::string stopped_;
};

std::uint16_t Reserve(Requests& requests) {
    auto reply = requests.Ask(kStorage, kReserveSdrRepository, {});
    return reply && reply->size() >= 2 ? WordAt(*reply, 0) : 0;
}

// One record: its header first, then the rest in chunks. nullopt with *completion set when
// the reservation was lost on the way.
std::optional<std::string> ReadSdr(Requests& requests, std::uint16_t reservation, std::uint16_t id,
                                   std::uint16_t* next, std::uint8_t* completion) {
    std::string record;
    std::size_t length = 5;
    while (record.size() < length) {
        const std::size_t want = record.empty() ? 5 : std::min(kChunk, length - record.size());
        const std::string request = Word(reservation) + Word(id) +
                                    static_cast<char>(record.size()) + static_cast<char>(want);
        std::optional<std::string> reply = requests.Ask(kStorage, kGetSdr, request, 0, completion);
        if (!reply || reply->size() <= 2 || reply->size() - 2 > want) return std::nullopt;
        *next = WordAt(*reply, 0);
        record += reply->substr(2);
        // Offsets into a record are one byte: of a longer one the decoder gets a cut, which it
        // leaves out.
        if (length == 5 && record.size() >= 5)
            length = std::min<std::size_t>(5 + static_cast<std::uint8_t>(record[4]), 0xFF);
    }
    return record;
}

std::vector<SdrRecord> ReadRepository(Requests& requests) {
    std::vector<SdrRecord> records;
    std::set<std::uint16_t> seen;
    std::uint16_t reservation = Reserve(requests);
    std::uint16_t id = 0;
    for (int n = 0; n < kMaxSdrs && id != kLastRecord && seen.insert(id).second; ++n) {
        std::uint16_t next = kLastRecord;
        std::optional<std::string> record;
        for (int attempt = 0; attempt < kReservationRetries && !record; ++attempt) {
            std::uint8_t completion = 0;
            record = ReadSdr(requests, reservation, id, &next, &completion);
            if (completion != kReservationCancelled) break;
            reservation = Reserve(requests);
        }
        if (!record) break;
        if (auto sdr = DecodeSdrRecord(*record)) records.push_back(std::move(*sdr));
        id = next;
    }
    return records;
}

std::optional<SensorReading> ReadSensor(Requests& requests, const SdrRecord& sensor) {
    if (sensor.owner_id != kBmcAddress) return std::nullopt;
    auto reply =
        requests.Ask(kSensorEvent, kGetSensorReading,
                     std::string(1, static_cast<char>(sensor.sensor_number)), sensor.owner_lun);
    return reply ? DecodeSensorReading(*reply) : std::nullopt;
}

std::optional<FruInfo> ReadFru(Requests& requests, std::uint8_t device) {
    const std::string id(1, static_cast<char>(device));
    auto info = requests.Ask(kStorage, kGetFruAreaInfo, id);
    if (!info || info->size() < 3) return std::nullopt;
    const bool words = (static_cast<std::uint8_t>((*info)[2]) & 1) != 0;
    const std::size_t size = std::min<std::size_t>(WordAt(*info, 0), kMaxFruBytes);
    std::string image;
    while (image.size() < size) {
        const std::size_t want = std::min(kChunk, size - image.size());
        const std::size_t count = words ? std::max<std::size_t>(want / 2, 1) : want;
        auto reply = requests.Ask(
            kStorage, kReadFruData,
            id + Word(static_cast<std::uint16_t>(image.size())) + static_cast<char>(count));
        if (!reply || reply->size() < 2) break;
        const std::size_t got = static_cast<std::uint8_t>((*reply)[0]) * (words ? 2u : 1u);
        if (got == 0 || got > reply->size() - 1) break;
        image += reply->substr(1, got);
    }
    if (image.empty()) return std::nullopt;
    return DecodeFru(image);
}

std::string MakerName(const DeviceId& id, const std::optional<FruInfo>& board_fru) {
    char name[256] = {};
    if (ipmi_iana_enterprise_numbers_string(id.manufacturer_id, name, sizeof(name) - 1) > 0)
        return CleanFirmwareText(name);
    if (board_fru && board_fru->board && !board_fru->board->maker.empty())
        return board_fru->board->maker;
    return "ID " + std::to_string(id.manufacturer_id);
}

std::string Entity(const SdrRecord& record) {
    return std::to_string(record.entity_id) + "." + std::to_string(record.entity_instance);
}

// The system's own FRU (device 0): board, product and chassis areas.
void AddSystemFru(const FruInfo& fru, MachineInfo* info) {
    if (fru.board) {
        const FruInfo::Board& b = *fru.board;
        BoardInfo board;
        board.maker = b.maker;
        board.product = b.product;
        board.part_number = b.part_number;
        board.serial = b.serial;
        info->boards.push_back(std::move(board));
    }
    if (fru.product) {
        const FruInfo::Product& p = *fru.product;
        info->system = SystemInfo{p.maker, p.name, p.version, p.serial, p.part_number};
    }
    if (fru.chassis) {
        ChassisInfo chassis;
        chassis.kind = ChassisTypeName(fru.chassis->type);
        chassis.part_number = fru.chassis->part_number;
        chassis.serial = fru.chassis->serial;
        info->chassis = std::move(chassis);
    }
}

PowerSupplyInfo SupplyFromFru(const std::string& location, const FruInfo& fru) {
    PowerSupplyInfo supply;
    supply.location = location;
    const FruInfo::Product product = fru.product.value_or(FruInfo::Product{});
    const FruInfo::Board board = fru.board.value_or(FruInfo::Board{});
    auto first = [](const std::string& a, const std::string& b) { return a.empty() ? b : a; };
    supply.maker = first(product.maker, board.maker);
    supply.name = first(product.name, board.product);
    supply.part_number = first(product.part_number, board.part_number);
    supply.revision = product.version;
    supply.serial = first(product.serial, board.serial);
    supply.max_watts = fru.capacity_watts;
    return supply;
}

// Power supplies: one bay per instance of the power supply entity that a FRU locator or a
// sensor names, in the order of the repository; present by their presence sensor, else when
// their FRU answers or a sensor of theirs reads.
void AddPowerSupplies(Requests& requests, const std::vector<SdrRecord>& records,
                      MachineInfo* info) {
    std::vector<std::uint8_t> instances;
    for (const SdrRecord& r : records) {
        if (r.entity_id == kEntityPowerSupply &&
            std::find(instances.begin(), instances.end(), r.entity_instance) == instances.end())
            instances.push_back(r.entity_instance);
    }
    for (std::uint8_t instance : instances) {
        PowerSupplyInfo supply;
        std::optional<bool> presence;
        bool reads = false;
        for (const SdrRecord& r : records) {
            if (r.entity_id != kEntityPowerSupply || r.entity_instance != instance) continue;
            if (r.type == SdrRecord::kFruLocator) {
                std::optional<FruInfo> fru;
                if (r.logical_fru && r.fru_access_address == kBmcAddress)
                    fru = ReadFru(requests, r.fru_device);
                if (fru) {
                    supply = SupplyFromFru(r.name, *fru);
                } else {
                    supply.location = r.name;
                }
                reads = reads || fru.has_value();
                continue;
            }
            if (supply.location.empty()) supply.location = r.name;
            const std::optional<SensorReading> reading = ReadSensor(requests, r);
            if (!reading || !reading->available) continue;
            reads = true;
            if (r.sensor_type == kSensorPowerSupply && r.event_type == kSensorSpecific)
                presence = (reading->states & 1) != 0;
        }
        supply.present = presence.value_or(reads);
        info->power_supplies.push_back(std::move(supply));
    }
}

}  // namespace

BmcReading ReadBmc(IpmiTransport& bmc, IpmiClock::time_point deadline) {
    BmcReading reading;
    Requests requests(bmc, deadline);
    auto device = requests.Ask(kApp, kGetDeviceId, {});
    const std::optional<DeviceId> id = device ? DecodeDeviceId(*device) : std::nullopt;
    if (!id) {
        reading.note = requests.stopped().empty() ? "no valid device ID" : requests.stopped();
        return reading;
    }
    MachineInfo& info = reading.info;
    std::vector<SdrRecord> records;
    if (auto repository = requests.Ask(kStorage, kGetSdrRepositoryInfo, {})) {
        if (auto sdr = DecodeSdrRepository(*repository)) {
            info.sdr = SdrRepositoryInfo{sdr->version, sdr->records};
            records = ReadRepository(requests);
        }
    }
    const std::optional<FruInfo> system_fru = ReadFru(requests, 0);
    if (system_fru) AddSystemFru(*system_fru, &info);

    ManagementControllerInfo management;
    management.spec_major = id->ipmi_major;
    management.spec_minor = id->ipmi_minor;
    management.maker = MakerName(*id, system_fru);
    char product[8];
    std::snprintf(product, sizeof(product), "0x%04X", id->product_id);
    management.product = product;
    management.firmware = id->firmware;
    info.management = std::move(management);

    for (const SdrRecord& r : records) {
        if (r.sensor_type != kSensorFan || r.type == SdrRecord::kFruLocator) continue;
        const std::optional<SensorReading> fan = ReadSensor(requests, r);
        if (fan && fan->available) info.fans.push_back({r.name, Entity(r)});
    }
    AddPowerSupplies(requests, records, &info);

    reading.complete = requests.stopped().empty();
    char note[160];
    std::snprintf(note, sizeof(note),
                  "controller ID %u, firmware %s, IPMI %u.%u: %zu SDRs, %zu fan(s), %zu power "
                  "supplies",
                  id->manufacturer_id, id->firmware.c_str(), id->ipmi_major, id->ipmi_minor,
                  records.size(), info.fans.size(), info.power_supplies.size());
    reading.note = reading.complete ? note : std::string(note) + "; " + requests.stopped();
    return reading;
}

std::optional<bool> SelTellsOfChange(IpmiTransport& bmc, SelCursor* cursor) {
    Requests requests(bmc, IpmiClock::now() + std::chrono::seconds(30));
    auto reply = requests.Ask(kStorage, kGetSelInfo, {});
    if (!reply) return requests.stopped().empty() ? std::optional<bool>(false) : std::nullopt;
    const std::optional<SelInfo> info = DecodeSelInfo(*reply);
    if (!info) return false;
    auto entry = [&](std::uint16_t id, std::uint16_t* next) -> std::optional<SelEvent> {
        auto data =
            requests.Ask(kStorage, kGetSelEntry, Word(0) + Word(id) + std::string("\x00\xFF", 2));
        return data ? DecodeSelEntry(*data, next) : std::nullopt;
    };
    std::uint16_t next = kLastRecord;
    if (!cursor->info) {
        cursor->info = info;
        if (auto last = entry(kLastRecord, &next)) cursor->last_id = last->id;
        return requests.stopped().empty() ? std::optional<bool>(false) : std::nullopt;
    }
    if (*info == *cursor->info) return false;
    // A cleared log is read from its start.
    if (info->last_erase != cursor->info->last_erase) cursor->last_id = kLastRecord;
    cursor->info = info;
    next = 0;
    if (cursor->last_id != kLastRecord && !entry(cursor->last_id, &next)) next = 0;
    bool changed = false;
    for (int n = 0; n < kMaxSelEntries && next != kLastRecord; ++n) {
        const std::optional<SelEvent> event = entry(next, &next);
        if (!event) break;
        cursor->last_id = event->id;
        changed = changed || IsHardwareChange(*event);
    }
    if (!requests.stopped().empty()) return std::nullopt;
    return changed;
}

}  // namespace cx::switchd
