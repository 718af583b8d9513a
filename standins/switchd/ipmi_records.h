// What a management controller answers, decoded: Get Device ID, Get SDR Repository Info, sensor
// data records, sensor readings, event log entries and FRU inventory images. Bytes in (the
// response data after the completion code, or a whole record or image), structs out; lengths
// and checksums are checked, and nothing here talks to a controller. The SDR and FRU formats
// are read with libfreeipmi's parsers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cx::switchd {

// Get Device ID (IPMI 2.0, 20.1).
struct DeviceId {
    std::uint8_t device_id = 0;
    std::uint8_t device_revision = 0;
    std::string firmware;  // "1.42": major, then the BCD minor revision
    std::uint8_t ipmi_major = 0;
    std::uint8_t ipmi_minor = 0;
    std::uint32_t manufacturer_id = 0;  // 20 bits
    std::uint16_t product_id = 0;
};
std::optional<DeviceId> DecodeDeviceId(std::string_view data);

// Get SDR Repository Info (33.9).
struct SdrRepository {
    std::string version;  // "1.5" from 51h
    std::uint16_t records = 0;
};
std::optional<SdrRepository> DecodeSdrRepository(std::string_view data);

// The parts of a sensor data record the inventory uses.
struct SdrRecord {
    static constexpr std::uint8_t kFullSensor = 0x01;
    static constexpr std::uint8_t kCompactSensor = 0x02;
    static constexpr std::uint8_t kFruLocator = 0x11;

    std::uint16_t id = 0;
    std::uint8_t type = 0;
    std::uint8_t entity_id = 0;
    std::uint8_t entity_instance = 0;
    std::string name;  // the ID string, or the device ID string of a locator
    // Sensors (full and compact records).
    std::uint8_t owner_id = 0;  // the owner's slave address (bit 0 clear) or software ID
    std::uint8_t owner_lun = 0;
    std::uint8_t sensor_number = 0;
    std::uint8_t sensor_type = 0;
    std::uint8_t event_type = 0;
    // FRU device locators.
    std::uint8_t fru_access_address = 0;  // the controller that holds the FRU (8-bit form)
    std::uint8_t fru_device = 0;
    bool logical_fru = false;
};
// One whole record (5 header bytes, then as many as the header's length says); nullopt for a
// record that is cut short, or whose type is not one of the three.
std::optional<SdrRecord> DecodeSdrRecord(std::string_view record);

// Get Sensor Reading (35.14): whether the sensor reads, and its discrete state bits.
struct SensorReading {
    bool available = false;  // scanning enabled and the reading not marked unavailable
    std::uint16_t states = 0;
};
std::optional<SensorReading> DecodeSensorReading(std::string_view data);

// A system event record of the event log (32.1), as Get SEL Entry returns it after the next
// record ID.
struct SelEvent {
    std::uint16_t id = 0;
    std::uint8_t sensor_type = 0;
    std::uint8_t event_type = 0;  // event/reading type code, without the direction bit
    std::uint8_t offset = 0;      // of event data 1
};
std::optional<SelEvent> DecodeSelEntry(std::string_view data, std::uint16_t* next_id);

// Whether an event tells of hardware that came or went: a FRU's state, an entity's presence,
// a device inserted or removed, a power supply's presence.
bool IsHardwareChange(const SelEvent& event);

// Get SEL Info (31.2): what tells that entries were added or the log was cleared.
struct SelInfo {
    std::uint16_t entries = 0;
    std::uint32_t last_addition = 0;
    std::uint32_t last_erase = 0;
    bool operator==(const SelInfo&) const = default;
};
std::optional<SelInfo> DecodeSelInfo(std::string_view data);

// The texts of a FRU inventory image (Platform Management FRU Information Storage Definition
// 1.0): common header, chassis, board and product info areas, power supply record. An area
// whose checksum or length is wrong is left out, with the reason in `problems`.
struct FruInfo {
    struct Board {
        std::string maker, product, serial, part_number;
    };
    struct Product {
        std::string maker, name, part_number, version, serial, asset_tag;
    };
    struct Chassis {
        std::uint8_t type = 0;  // the firmware table's chassis types
        std::string part_number, serial;
    };
    std::optional<Board> board;
    std::optional<Product> product;
    std::optional<Chassis> chassis;
    std::uint16_t capacity_watts = 0;  // of a power supply record; 0 without one
    std::string problems;
};
// nullopt when the image has no valid common header.
std::optional<FruInfo> DecodeFru(std::string_view image);

// "1.5" of a BCD version byte whose low nibble is the major digit (IPMI and SDR versions).
std::string BcdVersion(std::uint8_t value);

}  // namespace cx::switchd
