// Management controller data for tests, byte for byte: FRU inventory images with their areas
// and checksums, sensor data records and sensor readings, as a controller holds them. Used on
// recorded answers and to set up the BMC simulator.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cx::test {

// A type/length field of 8-bit text (of one character it would read as the end marker C1h).
inline std::string FruField(const std::string& text) {
    return static_cast<char>(0xC0 | text.size()) + text;
}

// The byte that makes the sum of `bytes` and itself 0.
inline char ZeroSum(const std::string& bytes) {
    unsigned sum = 0;
    for (char c : bytes)
        sum += static_cast<unsigned char>(c);
    return static_cast<char>((0x100 - sum % 0x100) % 0x100);
}

// Pads `area` (version and length byte first) to whole 8-byte blocks and ends it with its
// checksum.
inline std::string SealFruArea(std::string area) {
    area.push_back(static_cast<char>(0xC1));  // end of fields
    while ((area.size() + 1) % 8 != 0)
        area.push_back('\0');
    area[1] = static_cast<char>((area.size() + 1) / 8);
    return area + ZeroSum(area);
}

struct FruImage {
    std::optional<std::uint8_t> chassis_type;
    std::vector<std::string> chassis;  // part number, serial
    std::vector<std::string> board;    // maker, product, serial, part number, FRU file ID
    std::vector<std::string> product;  // maker, name, part number, version, serial, asset tag,
                                       // FRU file ID
    std::uint16_t capacity_watts = 0;  // a power supply record when not 0

    std::string Bytes() const {
        std::string header(8, '\0'), areas;
        header[0] = 1;
        auto add = [&](int slot, std::string area) {
            header[slot] = static_cast<char>((8 + areas.size()) / 8);
            areas += area;
        };
        auto fields = [](std::string area, const std::vector<std::string>& texts) {
            for (const std::string& text : texts)
                area += FruField(text);
            return SealFruArea(area);
        };
        if (chassis_type)
            add(2, fields(std::string{1, 0, static_cast<char>(*chassis_type)}, chassis));
        if (!board.empty()) add(3, fields(std::string("\x01\x00\x00\x10\x20\x30", 6), board));
        if (!product.empty()) add(4, fields(std::string("\x01\x00\x00", 3), product));
        if (capacity_watts != 0) {
            std::string record(24, '\0');
            record[0] = static_cast<char>(capacity_watts & 0xFF);
            record[1] = static_cast<char>(capacity_watts >> 8 & 0x0F);
            const std::string head{0x00, static_cast<char>(0x82), 24, ZeroSum(record)};
            add(5, head + ZeroSum(head) + record);
        }
        header[7] = ZeroSum(header.substr(0, 7));
        return header + areas;
    }
};

// Sensor data records (IPMI 2.0, 43): a full or compact sensor record, owned by the BMC.
struct SdrSensor {
    std::uint16_t id = 0;
    bool full = true;
    std::uint8_t number = 0;
    std::uint8_t sensor_type = 0x04;  // fan
    std::uint8_t event_type = 0x01;   // threshold
    std::uint8_t entity = 29;         // fan device
    std::uint8_t instance = 1;
    std::string name;
    std::uint8_t owner = 0x20;

    std::string Bytes() const {
        std::string body{static_cast<char>(owner),
                         0,
                         static_cast<char>(number),
                         static_cast<char>(entity),
                         static_cast<char>(instance),
                         0x7F,  // initialisation: scanning and events enabled
                         0x68,  // capabilities
                         static_cast<char>(sensor_type),
                         static_cast<char>(event_type)};
        body.resize(full ? 42 : 26, '\0');
        body += FruField(name);
        std::string header{static_cast<char>(id & 0xFF), static_cast<char>(id >> 8), 0x51,
                           static_cast<char>(full ? 0x01 : 0x02), static_cast<char>(body.size())};
        return header + body;
    }
};

// A FRU device locator record: a logical FRU device of the BMC.
inline std::string SdrFruLocator(std::uint16_t id, std::uint8_t device, std::uint8_t entity,
                                 std::uint8_t instance, const std::string& name) {
    std::string body{0x20,
                     static_cast<char>(device),
                     static_cast<char>(0x80),  // logical FRU device, LUN 0, private bus 0
                     0,
                     0,
                     0x10,  // FRU inventory device behind a management controller
                     0,
                     static_cast<char>(entity),
                     static_cast<char>(instance),
                     0};
    body += FruField(name);
    std::string header{static_cast<char>(id & 0xFF), static_cast<char>(id >> 8), 0x51, 0x11,
                       static_cast<char>(body.size())};
    return header + body;
}

// The invented server of the tests: the system's FRU (a rack mount chassis, board
// "Arden Board R2", product "Arden R20"), power supply n's FRU (serial PSU004n, 800 W), and
// seven SDRs: fans FAN1-FAN3 (sensors 30h-32h, entity 29), the power supplies' FRU locators
// (devices 3 and 4, entity 10) and presence sensors (40h, 41h).
inline FruImage InventedSystemFru() {
    FruImage fru;
    fru.chassis_type = 0x17;
    fru.chassis = {"Q47120-C100", "CH0042"};
    fru.board = {"Catalix", "Arden Board R2", "BRD0042", "Q47120-B200", ""};
    fru.product = {"Catalix", "Arden R20", "Q47120-R20", "A1", "SYS0042", "", ""};
    return fru;
}

inline FruImage InventedSupplyFru(int n) {
    FruImage fru;
    fru.product = {"Arvenmark", "PSU 800", "Q47120-P800", "B1", "PSU004" + std::to_string(n),
                   "",          ""};
    fru.capacity_watts = 800;
    return fru;
}

inline std::vector<std::string> InventedSdrs() {
    return {SdrSensor{1, true, 0x30, 0x04, 0x01, 29, 1, "FAN1"}.Bytes(),
            SdrSensor{2, false, 0x31, 0x04, 0x01, 29, 2, "FAN2"}.Bytes(),
            SdrSensor{3, false, 0x32, 0x04, 0x01, 29, 3, "FAN3"}.Bytes(),
            SdrFruLocator(4, 3, 10, 1, "PSU1"),
            SdrSensor{5, false, 0x40, 0x08, 0x6F, 10, 1, "PSU1 Status"}.Bytes(),
            SdrFruLocator(6, 4, 10, 2, "PSU2"),
            SdrSensor{7, false, 0x41, 0x08, 0x6F, 10, 2, "PSU2 Status"}.Bytes()};
}

}  // namespace cx::test
