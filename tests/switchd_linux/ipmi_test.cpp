// The management controller as a source, on recorded bytes: the decoders of its answers (FRU
// images and SDR records whole, cut short, with wrong checksums and lengths), one whole read of
// a controller replayed by a fake that stops answering on demand, the look at its event log,
// and the UPS server's variables and dates.
#include <gtest/gtest.h>

#include <map>

#include "ipmi_bmc.h"
#include "ipmi_builder.h"
#include "ipmi_records.h"
#include "nut_ups.h"

namespace cx::switchd {
namespace {

using test::SdrSensor;

// Get Device ID as the simulator answers it: device 0 revision 3, firmware 1.42, IPMI 2.0,
// manufacturer 999999 (no organisation's), product 0x1234.
const std::string kDeviceId("\x00\x03\x01\x42\x02\x9F\x3F\x42\x0F\x34\x12", 11);

TEST(IpmiRecords, FruImagesWholeBrokenAndCut) {
    const std::string good = test::InventedSystemFru().Bytes();
    const std::optional<FruInfo> fru = DecodeFru(good);
    ASSERT_TRUE(fru && fru->board && fru->product && fru->chassis);
    EXPECT_EQ(fru->board->maker + "|" + fru->board->product + "|" + fru->board->serial + "|" +
                  fru->board->part_number,
              "Catalix|Arden Board R2|BRD0042|Q47120-B200");
    EXPECT_EQ(fru->product->name + "|" + fru->product->version + "|" + fru->product->part_number,
              "Arden R20|A1|Q47120-R20");
    EXPECT_EQ(fru->chassis->type, 0x17);
    EXPECT_EQ(fru->chassis->serial, "CH0042");
    EXPECT_EQ(fru->problems, "");
    EXPECT_EQ(DecodeFru(test::InventedSupplyFru(1).Bytes())->capacity_watts, 800);

    struct Case {
        const char* name;
        std::string image;
        bool decoded;
        bool board;
        bool product;
    };
    std::string bad_header = good, bad_board = good, long_board = good;
    bad_header[7] = static_cast<char>(bad_header[7] + 1);
    const std::size_t board = 8 * static_cast<unsigned char>(good[3]);
    bad_board[board + 4] = static_cast<char>(bad_board[board + 4] ^ 0x20);
    long_board[board + 1] = static_cast<char>(0xFF);  // 2040 bytes: past the image
    const Case cases[] = {
        {"empty", "", false, false, false},
        {"header checksum wrong", bad_header, false, false, false},
        {"board checksum wrong", bad_board, true, false, true},
        {"board area longer than the image", long_board, true, false, true},
        {"cut in the product area", good.substr(0, good.size() - 4), true, true, false},
        {"oversized image", std::string(70000, '\x01'), false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<FruInfo> decoded = DecodeFru(c.image);
        ASSERT_EQ(decoded.has_value(), c.decoded);
        if (!decoded) continue;
        EXPECT_EQ(decoded->board.has_value(), c.board);
        EXPECT_EQ(decoded->product.has_value(), c.product);
        EXPECT_NE(decoded->problems, "");
    }
}

TEST(IpmiRecords, SdrRecordsAndShortAnswers) {
    const std::string fan = SdrSensor{7, true, 0x30, 0x04, 0x01, 29, 2, "FAN2"}.Bytes();
    std::optional<SdrRecord> record = DecodeSdrRecord(fan + "trailing");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->id, 7);
    EXPECT_EQ(record->name + "|" + std::to_string(record->sensor_number) + "|" +
                  std::to_string(record->entity_instance) + "|" + std::to_string(record->owner_id),
              "FAN2|48|2|32");
    record = DecodeSdrRecord(SdrSensor{8, false, 0x31, 0x08, 0x6F, 10, 1, "PSU1 Status"}.Bytes());
    ASSERT_TRUE(record);
    EXPECT_EQ(record->type, SdrRecord::kCompactSensor);
    EXPECT_EQ(record->event_type, 0x6F);
    record = DecodeSdrRecord(test::SdrFruLocator(9, 3, 10, 1, "PSU1"));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->fru_device, 3);
    EXPECT_TRUE(record->logical_fru);
    EXPECT_EQ(record->fru_access_address, 0x20);

    std::string other = fan;
    other[3] = 0x12;  // a controller locator: not read
    for (const std::string& bad : {fan.substr(0, fan.size() - 1), fan.substr(0, 4), other})
        EXPECT_FALSE(DecodeSdrRecord(bad));

    EXPECT_FALSE(DecodeDeviceId(kDeviceId.substr(0, 10)));
    const std::optional<DeviceId> id = DecodeDeviceId(kDeviceId);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->firmware + "|" + std::to_string(id->manufacturer_id) + "|" +
                  std::to_string(id->product_id) + "|" + std::to_string(id->ipmi_major),
              "1.42|999999|4660|2");
    EXPECT_EQ(DecodeSdrRepository(std::string("\x51\x26\x00", 3))->version, "1.5");
    EXPECT_FALSE(DecodeSdrRepository("\x51"));
    // Scanning off, or the reading marked unavailable: no reading.
    EXPECT_TRUE(DecodeSensorReading(std::string("\x40\xC0", 2))->available);
    EXPECT_FALSE(DecodeSensorReading(std::string("\x40\x80", 2))->available);
    EXPECT_FALSE(DecodeSensorReading(std::string("\x40\xE0", 2))->available);
    EXPECT_FALSE(DecodeSensorReading("\x40"));
}

// A controller that answers from recorded data, and stops answering after `answers` requests.
class FakeBmc : public IpmiTransport {
  public:
    std::optional<IpmiResponse> Send(std::uint8_t, std::uint8_t net_fn, std::uint8_t command,
                                     std::string_view data) override {
        if (answers-- <= 0) return std::nullopt;
        auto ok = [](std::string bytes) { return IpmiResponse{0, std::move(bytes)}; };
        const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(data[i]); };
        switch (net_fn << 8 | command) {
            case 0x0601: return ok(kDeviceId);
            case 0x0A20: return ok(std::string("\x51", 1) + std::string(13, '\0'));
            case 0x0A22: return ok(std::string("\x01\x00", 2));
            case 0x0A23: {  // Get SDR: record by position, next ID 0xFFFF after the last
                const std::size_t at = byte(2) | byte(3) << 8;
                if (at >= sdrs.size()) return IpmiResponse{0xCB, {}};
                const std::uint16_t next = at + 1 < sdrs.size() ? at + 1 : 0xFFFF;
                return ok(
                    std::string{static_cast<char>(next & 0xFF), static_cast<char>(next >> 8)} +
                    sdrs[at].substr(byte(4), byte(5)));
            }
            case 0x0A10: {
                auto fru = frus.find(byte(0));
                if (fru == frus.end()) return IpmiResponse{0xCB, {}};
                const std::size_t size = fru->second.size();
                return ok({static_cast<char>(size & 0xFF), static_cast<char>(size >> 8), 0});
            }
            case 0x0A11: {
                const std::string part = frus[byte(0)].substr(byte(1) | byte(2) << 8, byte(3));
                return ok(static_cast<char>(part.size()) + part);
            }
            case 0x042D: {
                auto reading = readings.find(byte(0));
                if (reading == readings.end()) return IpmiResponse{0xCB, {}};
                return ok(reading->second);
            }
            default: return IpmiResponse{0xC1, {}};
        }
    }

    int answers = 1000;
    std::vector<std::string> sdrs;
    std::map<std::uint8_t, std::string> frus;
    std::map<std::uint8_t, std::string> readings;
};

// The invented server; FAN3 does not read, PSU2's presence bit is clear.
FakeBmc ServerBmc() {
    FakeBmc bmc;
    bmc.sdrs = test::InventedSdrs();
    bmc.frus = {{0, test::InventedSystemFru().Bytes()},
                {3, test::InventedSupplyFru(1).Bytes()},
                {4, test::InventedSupplyFru(2).Bytes()}};
    bmc.readings = {{0x30, std::string("\x50\xC0", 2)},
                    {0x31, std::string("\x50\xC0", 2)},
                    {0x32, std::string("\x00\x80", 2)},
                    {0x40, std::string("\x00\xC0\x01", 3)},
                    {0x41, std::string("\x00\xC0\x00", 3)}};
    return bmc;
}

TEST(IpmiRead, AWholeControllerAndOneThatStopsAnswering) {
    FakeBmc bmc = ServerBmc();
    const auto later = IpmiClock::now() + std::chrono::seconds(30);
    BmcReading reading = ReadBmc(bmc, later);
    ASSERT_TRUE(reading.complete) << reading.note;
    const MachineInfo& m = reading.info;
    // 999999 is in no table of makers: the board's maker names the controller.
    EXPECT_EQ(m.management->maker + "|" + m.management->product + "|" + m.management->firmware,
              "Catalix|0x1234|1.42");
    EXPECT_EQ(m.sdr->version, "1.5");
    ASSERT_EQ(m.fans.size(), 2u);
    EXPECT_EQ(m.fans[1].name + "|" + m.fans[1].entity, "FAN2|29.2");
    ASSERT_EQ(m.power_supplies.size(), 2u);
    const PowerSupplyInfo& first = m.power_supplies[0];
    EXPECT_EQ(first.location + "|" + first.maker + "|" + first.name + "|" + first.part_number +
                  "|" + first.revision + "|" + first.serial + "|" + std::to_string(first.max_watts),
              "PSU1|Arvenmark|PSU 800|Q47120-P800|B1|PSU0041|800");
    EXPECT_TRUE(first.present);
    EXPECT_EQ(m.power_supplies[1].serial, "PSU0042");
    EXPECT_FALSE(m.power_supplies[1].present);  // its FRU answers, its presence bit is clear
    EXPECT_EQ(m.system->product + "|" + m.system->sku, "Arden R20|Q47120-R20");
    EXPECT_EQ(m.chassis->kind, "Rack Mount Chassis");
    EXPECT_EQ(m.boards.at(0).part_number, "Q47120-B200");

    // Stopping anywhere in the read, or a read out of time, is not a smaller machine.
    for (int answers : {0, 3, 12, 30}) {
        FakeBmc cut = ServerBmc();
        cut.answers = answers;
        reading = ReadBmc(cut, later);
        EXPECT_FALSE(reading.complete) << answers;
        EXPECT_NE(reading.note.find("no answer"), std::string::npos) << reading.note;
    }
    EXPECT_FALSE(ReadBmc(bmc, IpmiClock::now()).complete);
}

// Get SEL Entry answers (next ID, then the record): which events tell of hardware that came
// or went.
TEST(IpmiRecords, EventLogEntries) {
    const std::pair<std::uint16_t, bool> events[] = {
        {0x0101, false},  // a temperature threshold
        {0x2C6F, true},   // a FRU's state
        {0x256F, true},   // an entity's presence
        {0x0408, true},   // a fan removed or inserted
        {0x086F, true},   // a power supply's presence
    };
    for (const auto& [event, change] : events) {
        std::string entry("\x05\x00\x04\x00\x02", 5);
        entry.resize(18, '\0');
        entry[12] = static_cast<char>(event >> 8);
        entry[14] = static_cast<char>(event & 0xFF);
        std::uint16_t next = 0;
        const std::optional<SelEvent> decoded = DecodeSelEntry(entry, &next);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(next, 5);
        EXPECT_EQ(decoded->id, 4);
        EXPECT_EQ(IsHardwareChange(*decoded), change) << event;
    }
    std::uint16_t next = 0;
    EXPECT_FALSE(DecodeSelEntry(std::string(17, '\0'), &next));
    EXPECT_EQ(
        DecodeSelInfo(std::string("\x51\x03\x00\x00\x00\x07\x00\x00\x00\x09\x00\x00\x00", 13)),
        (SelInfo{3, 7, 9}));
}

TEST(NutUps, VariablesDatesAndTargets) {
    const UpsInfo ups = UpsFromVariables("cxups@localhost", "Rack UPS",
                                         {{"device.mfr", "Arvenmark"},
                                          {"device.model", "Catalix U1500"},
                                          {"ups.model", "Catalix U1500 R"},
                                          {"ups.serial", "Not Available"},
                                          {"device.serial", "U1500-0042"},
                                          {"battery.date", "2021/05/17"}});
    EXPECT_EQ(ups.maker + "|" + ups.model + "|" + ups.serial + "|" + ups.date + "|" + ups.id,
              "Arvenmark|Catalix U1500 R|U1500-0042|2021-05-17 00:00:00|cxups@localhost");
    const std::pair<const char*, const char*> dates[] = {
        {"05/17/21", "2021-05-17 00:00:00"},
        {"07/04/71", "1971-07-04 00:00:00"},
        {"07-04-1999", "1999-07-04 00:00:00"},
        {"2020-02-29", "2020-02-29 00:00:00"},
        {"13/01/21", "13/01/21"},
        {"20051020", "20051020"},
        {"1/2", "1/2"},
        {"1/2/3/4", "1/2/3/4"},
        {"ab/cd/ef", "ab/cd/ef"},
    };
    for (const auto& [text, converted] : dates)
        EXPECT_EQ(ConvertUpsDate(text), converted) << text;

    const std::pair<const char*, const char*> targets[] = {
        {"ups.example", "ups.example:3493"},
        {"10.0.0.7:3500", "10.0.0.7:3500"},
        {"[::1]:3501", "::1:3501"},
        {"::1", "::1:3493"},
        {"host:0", ""},
        {"host:x", ""},
        {":3493", ""},
        {"[::1", ""},
    };
    for (const auto& [text, parsed] : targets) {
        NutTarget target;
        const bool ok = ParseNutTarget(text, &target);
        EXPECT_EQ(ok ? target.host + ":" + std::to_string(target.port) : "", parsed) << text;
    }
}

}  // namespace
}  // namespace cx::switchd
