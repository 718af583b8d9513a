// Decoders of management controller answers; libfreeipmi parses the SDR and FRU formats.
#include "ipmi_records.h"

#include <freeipmi/freeipmi.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "smbios.h"

namespace cx::switchd {
namespace {

constexpr std::size_t kSdrHeaderBytes = 5;
// A FRU image's areas and fields are small; these are the library's own limits.
constexpr unsigned kFruAreaBytes = IPMI_FRU_AREA_SIZE_MAX;
constexpr unsigned kFruTextBytes = IPMI_FRU_AREA_STRING_MAX;
// Areas an image may hold: header, four info areas and the multirecord list.
constexpr int kMaxFruAreas = 64;

std::uint8_t U8(std::string_view data, std::size_t at) {
    return static_cast<std::uint8_t>(data[at]);
}
std::uint32_t LittleEndian(std::string_view data, std::size_t at, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = size; i-- > 0;)
        value = value << 8 | U8(data, at + i);
    return value;
}

struct SdrContext {
    void operator()(ipmi_sdr_ctx_t ctx) const { ipmi_sdr_ctx_destroy(ctx); }
};
struct FruContext {
    void operator()(ipmi_fru_ctx_t ctx) const {
        ipmi_fru_close_device_id(ctx);
        ipmi_fru_ctx_destroy(ctx);
    }
};

// A type/length field as text, cleaned as the firmware table's texts are.
std::string FruText(ipmi_fru_ctx_t ctx, const ipmi_fru_field_t& field, std::uint8_t language) {
    if (field.type_length_field_length == 0) return {};
    char text[kFruTextBytes + 1] = {};
    unsigned length = kFruTextBytes;
    if (ipmi_fru_type_length_field_to_string(ctx, field.type_length_field,
                                             field.type_length_field_length, language, text,
                                             &length) < 0)
        return {};
    return CleanFirmwareText(std::string_view(text, std::min(length, kFruTextBytes)));
}

void ReadArea(ipmi_fru_ctx_t ctx, unsigned type, const std::uint8_t* area, unsigned length,
              FruInfo* fru) {
    std::uint8_t language = 0;
    switch (type) {
        case IPMI_FRU_AREA_TYPE_CHASSIS_INFO_AREA: {
            ipmi_fru_field_t part{}, serial{};
            FruInfo::Chassis chassis;
            if (ipmi_fru_chassis_info_area(ctx, area, length, &chassis.type, &part, &serial,
                                           nullptr, 0) < 0)
                break;
            chassis.part_number = FruText(ctx, part, 0);
            chassis.serial = FruText(ctx, serial, 0);
            fru->chassis = std::move(chassis);
            break;
        }
        case IPMI_FRU_AREA_TYPE_BOARD_INFO_AREA: {
            ipmi_fru_field_t maker{}, product{}, serial{}, part{}, file{};
            std::uint32_t date = 0;
            if (ipmi_fru_board_info_area(ctx, area, length, &language, &date, &maker, &product,
                                         &serial, &part, &file, nullptr, 0) < 0)
                break;
            fru->board =
                FruInfo::Board{FruText(ctx, maker, language), FruText(ctx, product, language),
                               FruText(ctx, serial, language), FruText(ctx, part, language)};
            break;
        }
        case IPMI_FRU_AREA_TYPE_PRODUCT_INFO_AREA: {
            ipmi_fru_field_t maker{}, name{}, part{}, version{}, serial{}, asset{}, file{};
            if (ipmi_fru_product_info_area(ctx, area, length, &language, &maker, &name, &part,
                                           &version, &serial, &asset, &file, nullptr, 0) < 0)
                break;
            fru->product =
                FruInfo::Product{FruText(ctx, maker, language),  FruText(ctx, name, language),
                                 FruText(ctx, part, language),   FruText(ctx, version, language),
                                 FruText(ctx, serial, language), FruText(ctx, asset, language)};
            break;
        }
        case IPMI_FRU_AREA_TYPE_MULTIRECORD_POWER_SUPPLY_INFORMATION: {
            unsigned capacity = 0;
            if (ipmi_fru_multirecord_power_supply_information(
                    ctx, area, length, &capacity, nullptr, nullptr, nullptr, nullptr, nullptr,
                    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) == 0 &&
                capacity <= 0xFFFF)
                fru->capacity_watts = static_cast<std::uint16_t>(capacity);
            break;
        }
        default: break;
    }
}

}  // namespace

std::string BcdVersion(std::uint8_t value) {
    return std::to_string(value & 0x0F) + "." + std::to_string(value >> 4);
}

std::optional<DeviceId> DecodeDeviceId(std::string_view data) {
    if (data.size() < 11) return std::nullopt;
    DeviceId id;
    id.device_id = U8(data, 0);
    id.device_revision = U8(data, 1) & 0x0F;
    char firmware[16];
    std::snprintf(firmware, sizeof(firmware), "%u.%02X", U8(data, 2) & 0x7Fu, U8(data, 3));
    id.firmware = firmware;
    id.ipmi_major = U8(data, 4) & 0x0F;
    id.ipmi_minor = U8(data, 4) >> 4;
    id.manufacturer_id = LittleEndian(data, 6, 3) & 0x0FFFFF;
    id.product_id = static_cast<std::uint16_t>(LittleEndian(data, 9, 2));
    return id;
}

std::optional<SdrRepository> DecodeSdrRepository(std::string_view data) {
    if (data.size() < 3) return std::nullopt;
    return SdrRepository{BcdVersion(U8(data, 0)),
                         static_cast<std::uint16_t>(LittleEndian(data, 1, 2))};
}

std::optional<SdrRecord> DecodeSdrRecord(std::string_view record) {
    if (record.size() < kSdrHeaderBytes) return std::nullopt;
    record = record.substr(0, std::min(record.size(), kSdrHeaderBytes + U8(record, 4)));
    if (record.size() < kSdrHeaderBytes + U8(record, 4)) return std::nullopt;
    const std::unique_ptr<ipmi_sdr_ctx, SdrContext> ctx(ipmi_sdr_ctx_create());
    if (ctx == nullptr) return std::nullopt;
    const void* bytes = record.data();
    const auto length = static_cast<unsigned>(record.size());
    SdrRecord sdr;
    if (ipmi_sdr_parse_record_id_and_type(ctx.get(), bytes, length, &sdr.id, &sdr.type) < 0)
        return std::nullopt;
    char name[IPMI_SDR_MAX_ID_STRING_LENGTH + 1] = {};
    if (sdr.type == SdrRecord::kFullSensor || sdr.type == SdrRecord::kCompactSensor) {
        std::uint8_t owner_type = 0, owner = 0, channel = 0, instance_type = 0;
        if (ipmi_sdr_parse_sensor_owner_id(ctx.get(), bytes, length, &owner_type, &owner) < 0 ||
            ipmi_sdr_parse_sensor_owner_lun(ctx.get(), bytes, length, &sdr.owner_lun, &channel) <
                0 ||
            ipmi_sdr_parse_sensor_number(ctx.get(), bytes, length, &sdr.sensor_number) < 0 ||
            ipmi_sdr_parse_sensor_type(ctx.get(), bytes, length, &sdr.sensor_type) < 0 ||
            ipmi_sdr_parse_event_reading_type_code(ctx.get(), bytes, length, &sdr.event_type) < 0 ||
            ipmi_sdr_parse_entity_id_instance_type(ctx.get(), bytes, length, &sdr.entity_id,
                                                   &sdr.entity_instance, &instance_type) < 0 ||
            ipmi_sdr_parse_id_string(ctx.get(), bytes, length, name, sizeof(name) - 1) < 0)
            return std::nullopt;
        sdr.owner_id = static_cast<std::uint8_t>(owner << 1 | (owner_type & 1));
    } else if (sdr.type == SdrRecord::kFruLocator) {
        std::uint8_t address = 0, device = 0, bus = 0, lun = 0, logical = 0, channel = 0;
        if (ipmi_sdr_parse_fru_device_locator_parameters(
                ctx.get(), bytes, length, &address, &device, &bus, &lun, &logical, &channel) < 0 ||
            ipmi_sdr_parse_fru_entity_id_and_instance(ctx.get(), bytes, length, &sdr.entity_id,
                                                      &sdr.entity_instance) < 0 ||
            ipmi_sdr_parse_device_id_string(ctx.get(), bytes, length, name, sizeof(name) - 1) < 0)
            return std::nullopt;
        sdr.fru_access_address = static_cast<std::uint8_t>(address << 1);
        sdr.fru_device = device;
        sdr.logical_fru = logical != 0;
    } else {
        return std::nullopt;
    }
    sdr.name = CleanFirmwareText(name);
    return sdr;
}

std::optional<SensorReading> DecodeSensorReading(std::string_view data) {
    if (data.size() < 2) return std::nullopt;
    SensorReading reading;
    const std::uint8_t flags = U8(data, 1);
    reading.available = (flags & 0x40) != 0 && (flags & 0x20) == 0;
    if (data.size() >= 3) reading.states = U8(data, 2);
    if (data.size() >= 4) reading.states |= static_cast<std::uint16_t>((U8(data, 3) & 0x7F) << 8);
    return reading;
}

std::optional<SelEvent> DecodeSelEntry(std::string_view data, std::uint16_t* next_id) {
    // Next record ID, then the 16-byte record.
    if (data.size() < 18) return std::nullopt;
    *next_id = static_cast<std::uint16_t>(LittleEndian(data, 0, 2));
    const std::string_view record = data.substr(2, 16);
    SelEvent event;
    event.id = static_cast<std::uint16_t>(LittleEndian(record, 0, 2));
    // Only system event records (type 02h) name a sensor; OEM records do not.
    if (U8(record, 2) != 0x02) return event;
    event.sensor_type = U8(record, 10);
    event.event_type = U8(record, 12) & 0x7F;
    event.offset = U8(record, 13) & 0x0F;
    return event;
}

bool IsHardwareChange(const SelEvent& event) {
    constexpr std::uint8_t kPowerSupply = 0x08, kEntityPresence = 0x25, kFruState = 0x2C;
    constexpr std::uint8_t kGenericPresence = 0x08, kSensorSpecific = 0x6F;
    if (event.sensor_type == kFruState || event.sensor_type == kEntityPresence) return true;
    if (event.event_type == kGenericPresence) return true;  // device removed or inserted
    return event.sensor_type == kPowerSupply && event.event_type == kSensorSpecific &&
           event.offset == 0;  // presence detected
}

std::optional<SelInfo> DecodeSelInfo(std::string_view data) {
    if (data.size() < 13) return std::nullopt;
    return SelInfo{static_cast<std::uint16_t>(LittleEndian(data, 1, 2)), LittleEndian(data, 5, 4),
                   LittleEndian(data, 9, 4)};
}

std::optional<FruInfo> DecodeFru(std::string_view image) {
    if (image.size() < 8 || image.size() > kFruAreaBytes) return std::nullopt;
    const std::unique_ptr<ipmi_fru_ctx, FruContext> ctx(ipmi_fru_ctx_create(nullptr));
    if (ctx == nullptr) return std::nullopt;
    if (ipmi_fru_open_device_id_with_buffer(ctx.get(), image.data(),
                                            static_cast<unsigned>(image.size())) < 0 ||
        ipmi_fru_first(ctx.get()) < 0)
        return std::nullopt;
    FruInfo fru;
    auto area = std::make_unique<std::uint8_t[]>(kFruAreaBytes);
    for (int n = 0; n < kMaxFruAreas; ++n) {
        unsigned type = 0, length = 0;
        if (ipmi_fru_read_data_area(ctx.get(), &type, &length, area.get(), kFruAreaBytes) < 0) {
            if (!fru.problems.empty()) fru.problems += "; ";
            fru.problems += ipmi_fru_ctx_errormsg(ctx.get());
        } else {
            ReadArea(ctx.get(), type, area.get(), std::min(length, kFruAreaBytes), &fru);
        }
        if (ipmi_fru_next(ctx.get()) != 1) break;
    }
    return fru;
}

}  // namespace cx::switchd
