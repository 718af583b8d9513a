// cx-switchd's firmware table reader and the answers it gives from it: a whole machine built
// in memory, read through both entry point versions, then broken tables and entry points.
#include <gtest/gtest.h>

#include <functional>

#include "machine_answers.h"
#include "smbios.h"
#include "smbios_builder.h"

namespace cx::switchd {
namespace {

using test::SmbiosStructure;

std::vector<SmbiosStructure> SampleMachine() {
    auto cpu = [](const char* socket, std::uint8_t status) {
        return SmbiosStructure(
                   4, 0x2A,
                   {{0x04, socket}, {0x07, "Arvenmark Chips"}, {0x10, "Arvenmark Cx64 Processor"}})
            .Set({{0x05, 0x03},
                  {0x06, 0xB3},
                  {0x08, 0x000606A6, 4},
                  {0x14, 3600, 2},
                  {0x16, 2800, 2},
                  {0x18, status}});
    };
    auto dimm = [](const char* slot, std::uint16_t size) {
        return SmbiosStructure(17, 0x5C,
                               {{0x10, slot},
                                {0x11, "BANK 0"},
                                {0x17, "Memorix"},
                                {0x18, "3A0F1C22"},
                                {0x1A, "CX-MEM-16G"}})
            .Set({{0x0C, size, 2}, {0x0E, 0x09}, {0x12, 0x1A}, {0x15, 3200, 2}});
    };
    auto supply = [](const char* location, std::uint16_t traits) {
        return SmbiosStructure(39, 0x16,
                               {{0x05, location},
                                {0x06, "PS-800"},
                                {0x07, "Arvenmark Powerco"},
                                {0x08, "PS10A0042"},
                                {0x0A, "Q47120-P800"},
                                {0x0B, "02"}})
            .Set({{0x0C, 800, 2}, {0x0E, traits, 2}});
    };
    return {
        SmbiosStructure(0, 0x1A, {{0x04, "Catalix"}, {0x05, "1.07.2210"}, {0x08, "10/16/2024"}}),
        SmbiosStructure(1, 0x1B,
                        {{0x04, "Catalix"},
                         {0x05, "Arden R20 Rack"},
                         {0x06, "Not Specified"},
                         {0x07, "R20A004711"},
                         {0x19, "Q47120-R20-A10"}}),
        SmbiosStructure(
            2, 0x0F,
            {{0x04, "Catalix"}, {0x05, "K3120"}, {0x06, "Q47120-K3120-A11"}, {0x07, "BB0042"}})
            .Set(0x0D, 0x0A),
        SmbiosStructure(2, 0x0F, {{0x04, "Catalix"}, {0x06, "GS02"}}).Set(0x0D, 0x07),
        SmbiosStructure(3, 0x15,
                        {{0x04, "Catalix"}, {0x06, "None"}, {0x07, "CH4711"}, {0x08, "ASSET-0815"}})
            .Set(0x05, 0x17),
        cpu("CPU0", 0x41),
        SmbiosStructure(4, 0x2A, {{0x04, "CPU1"}, {0x07, "Not Specified"}, {0x10, "Not Specified"}})
            .Set(0x05, 0x03),              // an empty socket
        cpu("CPU2", 0x43),                 // disabled by the firmware
        cpu("FPU", 0x41).Set(0x05, 0x04),  // not a central processor
        dimm("DIMM A1", 16384),
        dimm("DIMM A2", 0),
        dimm("DIMM B1", 0x7FFF)
            .Set({{0x1C, 65536, 4}, {0x12, 0x22}, {0x15, 0xFFFF, 2}, {0x54, 4800, 4}}),
        dimm("DIMM B2", 0x8000 | 2048),  // KByte granularity
        dimm("DIMM B3", 0xFFFF),         // installed, size unknown
        SmbiosStructure(38, 0x12).Set({{0x04, 1}, {0x05, 0x20}}),
        supply("PSU1", 0x0003),
        supply("PSU2", 0x0004),  // not present
    };
}

std::string Txt(const std::string& text) { return text + '\0'; }
std::string Hex(std::initializer_list<int> bytes) {
    std::string data;
    for (int b : bytes)
        data.push_back(static_cast<char>(b));
    return data;
}

struct Row {
    std::uint32_t op_code, ext, object, cabinet;
    std::optional<std::string> data;  // nullopt: not available
};

// Cabinet 1 is the machine's own; 0xFFFFFFFF stands for it too.
const Row kRows[] = {
    {0xE204, 0, 0, 0, Hex({1, 0})},
    {0xE001, 0x3811, 0, 0xFFFFFFFF, Hex({1})},
    {0xE001, 0x3810, 0, 0xFFFFFFFF, Hex({0})},
    {0xE001, 0x0100, 0, 1, Hex({0})},
    {0xE221, 0, 0, 1, Hex({1})},
    {0x0220, 0, 0, 1, std::nullopt},
    {0xE222, 0, 0, 1, std::nullopt},
    {0x0C21, 20, 0, 1, Hex({2})},
    {0x0C21, 5, 0, 1, Hex({1})},
    {0x0C21, 4, 0, 1, Hex({2})},
    {0x0C21, 7, 0, 1, Hex({0})},
    {0x0C00, 0x2001, 0, 1, Txt("Catalix")},
    {0x0C00, 0x2002, 0, 1, Txt("Arden R20 Rack")},
    {0x0C00, 0x2003, 0, 1, Txt("Q47120-R20-A10")},
    {0x0C00, 0x2004, 0, 1, Txt("Rack Mount Chassis")},
    {0x0C00, 0x2005, 0, 1, std::nullopt},  // "Not Specified"
    {0x0C00, 0x2007, 0, 1, Txt("R20A004711")},
    {0x0C00, 0x2102, 0, 1, Txt("Rack Mount Chassis")},
    {0x0C00, 0x2105, 0, 1, std::nullopt},  // "None"
    {0x0C00, 0x2107, 0, 1, Txt("CH4711")},
    {0x0C00, 0x2109, 0, 1, Txt("ASSET-0815")},
    {0x0C00, 0x3401, 0, 1, Txt("Catalix")},
    {0x0C00, 0x3403, 0, 1, Txt("Q47120-K3120-A11")},
    {0x0C00, 0x3404, 0, 1, Txt("Motherboard")},
    {0x0C00, 0x3405, 0, 1, std::nullopt},
    {0x0C00, 0x3407, 0, 1, Txt("BB0042")},
    {0x0C00, 0x3402, 1, 1, std::nullopt},
    {0x0C00, 0x3403, 1, 1, std::nullopt},
    {0x0C00, 0x3405, 1, 1, Txt("GS02")},
    {0x0C00, 0x3401, 2, 1, std::nullopt},
    {0x0C00, 0x3601, 0, 0xFFFFFFFF, Txt("Catalix")},
    {0x0C00, 0x3605, 0, 1, Txt("1.07.2210")},
    {0x0C00, 0x3606, 0, 1, Txt("10/16/2024")},
    {0x0600, 0, 0, 1, Hex({3})},
    {0x0601, 0, 0, 1, Hex({1})},
    {0x0601, 0, 1, 1, Hex({0})},
    {0x0601, 0, 2, 1, Hex({2})},
    {0x0601, 0, 3, 1, std::nullopt},
    {0x0603, 0, 0, 1, Hex({0x10, 0x0E, 0xF0, 0x0A, 0, 6})},
    {0x0604, 0, 0, 1, Txt("Arvenmark Chips")},
    {0x0605, 0, 0, 1, Txt("Arvenmark Cx64 Processor")},
    {0x0604, 0, 1, 1, std::nullopt},
    {0x0600, 0, 0, 2, std::nullopt},  // no such cabinet
    {0x0700, 0, 0, 1, Hex({5})},
    {0x0701, 0, 0, 1, Hex({1})},
    {0x0701, 0, 1, 1, Hex({0})},
    {0x0702, 0, 0, 1, Txt("DIMM A1: DDR4-3200 DIMM")},
    {0x0703, 0, 0, 1, Hex({0, 0, 0, 0, 0x00, 0x40, 0, 0})},
    {0x0702, 0, 1, 1, std::nullopt},
    {0x0702, 0, 2, 1, Txt("DIMM B1: DDR5-4800 DIMM")},
    {0x0703, 0, 2, 1, Hex({0, 0, 0, 0, 0x00, 0x00, 1, 0})},
    {0x0703, 0, 3, 1, Hex({0, 0, 0, 0, 2, 0, 0, 0})},
    {0x0703, 0, 4, 1, Hex({0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF})},
    {0x0C00, 0x3701, 0, 1, Txt("Memorix")},
    {0x0C00, 0x3703, 0, 1, Txt("CX-MEM-16G")},
    {0x0C00, 0x3707, 0, 1, Txt("3A0F1C22")},
    {0x0C00, 0x3701, 1, 1, std::nullopt},
    {0x0500, 0, 0, 1, Hex({2})},
    {0x0501, 0, 0, 1, Hex({1})},
    {0x0501, 0, 1, 1, Hex({0})},
    {0x0C00, 0x2301, 0, 1, Txt("Arvenmark Powerco")},
    {0x0C00, 0x2302, 0, 1, Txt("PS-800")},
    {0x0C00, 0x2303, 0, 1, Txt("Q47120-P800")},
    {0x0C00, 0x2304, 0, 1, Txt("Power Supply 800 W")},
    {0x0C00, 0x2902, 0, 1, Txt("IPMI BMC (KCS)")},
    {0x0C00, 0x2904, 0, 1, Txt("Baseboard Management Controller")},
    {0x0C00, 0x2905, 0, 1, Txt("IPMI 2.0")},
    {0x0C00, 0x2C01, 0, 1, std::nullopt},  // fans: no source
};

void ExpectRows(const MachineInfo& machine) {
    for (const Row& row : kRows) {
        RequestKey key{row.op_code, row.ext, row.object, row.cabinet, {}, false};
        std::optional<ReplySpec> reply = AnswerMachineRequest(machine, key);
        SCOPED_TRACE(testing::Message() << std::hex << "request " << row.op_code << " " << row.ext
                                        << " object " << row.object << " cabinet " << row.cabinet);
        ASSERT_EQ(reply.has_value(), row.data.has_value());
        if (reply) {
            EXPECT_EQ(reply->status, 0u);
            EXPECT_EQ(reply->data, *row.data);
        }
    }
}

TEST(SmbiosMachine, BothEntryPointVersionsGiveEveryItem) {
    const std::string table = test::SmbiosTable(SampleMachine());
    const std::uint16_t count = static_cast<std::uint16_t>(SampleMachine().size() + 1);
    for (const std::string& entry_bytes :
         {test::SmbiosEntryPoint3(static_cast<std::uint32_t>(table.size())),
          test::SmbiosEntryPoint2(static_cast<std::uint16_t>(table.size()), count)}) {
        SmbiosEntryPoint entry;
        std::string error;
        ASSERT_TRUE(ParseSmbiosEntryPoint(entry_bytes, &entry, &error)) << error;
        MachineInfo machine;
        EXPECT_EQ(ParseSmbiosTable(entry, table, &machine), count);
        ExpectRows(machine);
    }
}

TEST(SmbiosMachine, SixteenBitRequestsNameTheOwnCabinetAs0xFFFF) {
    MachineInfo machine;
    machine.processors.resize(2);
    RequestKey key{0x0600, 0, 0, 0xFFFF, {}, true};
    ASSERT_TRUE(AnswerMachineRequest(machine, key));
    key.low_16_bits = false;
    EXPECT_FALSE(AnswerMachineRequest(machine, key));
}

struct EntryCase {
    const char* name;
    std::function<std::string()> bytes;
    bool ok;
};

std::string Patched(std::string bytes, std::size_t at, char value) {
    bytes[at] = value;
    return bytes;
}

TEST(SmbiosEntryPoint, AcceptsValidAndRejectsBrokenEntryPoints) {
    const EntryCase cases[] = {
        {"3.x", [] { return test::SmbiosEntryPoint3(4096); }, true},
        {"2.x", [] { return test::SmbiosEntryPoint2(4096, 12); }, true},
        {"2.x of length 0x1E",
         [] {
             std::string b = test::SmbiosEntryPoint2(4096, 12);
             b[5] = 0x1E;
             b[4] = static_cast<char>(b[4] + 1);  // the checksum follows the length byte
             return b;
         },
         true},
        {"legacy _DMI_", [] { return test::SmbiosEntryPoint2(4096, 12).substr(0x10, 15); }, true},
        {"3.x checksum", [] { return Patched(test::SmbiosEntryPoint3(4096), 0x0C, 1); }, false},
        {"2.x checksum", [] { return Patched(test::SmbiosEntryPoint2(4096, 1), 0x06, 9); }, false},
        {"2.x intermediate anchor",
         [] { return Patched(test::SmbiosEntryPoint2(4096, 1), 0x11, 'X'); }, false},
        {"3.x cut short", [] { return test::SmbiosEntryPoint3(4096).substr(0, 10); }, false},
        {"2.x cut short", [] { return test::SmbiosEntryPoint2(4096, 1).substr(0, 20); }, false},
        {"3.x length past the file",
         [] { return Patched(test::SmbiosEntryPoint3(4096), 6, static_cast<char>(0xFF)); }, false},
        {"no anchor", [] { return std::string(32, 'x'); }, false},
        {"empty", [] { return std::string(); }, false},
    };
    for (const EntryCase& c : cases) {
        SmbiosEntryPoint entry;
        std::string error;
        EXPECT_EQ(ParseSmbiosEntryPoint(c.bytes(), &entry, &error), c.ok)
            << c.name << ": " << error;
    }
    SmbiosEntryPoint entry;
    std::string error;
    ASSERT_TRUE(ParseSmbiosEntryPoint(test::SmbiosEntryPoint3(4096, 3, 5), &entry, &error));
    EXPECT_TRUE(entry.v3);
    EXPECT_EQ(entry.table_length, 4096u);
    EXPECT_EQ(entry.minor, 5);
    ASSERT_TRUE(ParseSmbiosEntryPoint(test::SmbiosEntryPoint2(300, 12), &entry, &error));
    EXPECT_EQ(entry.structure_count, 12u);
    EXPECT_EQ(entry.table_length, 300u);
}

struct TableCase {
    const char* name;
    std::string table;
    SmbiosEntryPoint entry;
    std::size_t structures;
    std::function<void(const MachineInfo&)> check;
};

SmbiosEntryPoint V3(std::uint32_t size = 0xFFFFFF) {
    SmbiosEntryPoint entry;
    entry.v3 = true;
    entry.major = 3;
    entry.table_length = size;
    return entry;
}

TEST(SmbiosTable, BrokenTablesKeepWhatCameBeforeTheFault) {
    const std::string bios = SmbiosStructure(0, 0x12).Text(0x04, "Catalix").Bytes();
    const std::string system = SmbiosStructure(1, 0x1B).Text(0x05, "Arden").Bytes();
    SmbiosEntryPoint counted = V3();
    counted.v3 = false;
    counted.structure_count = 1;
    const TableCase cases[] = {
        {"string index 0 and past the last string",
         SmbiosStructure(1, 0x1B).Text(0x06, "V1").Set(0x04, 0).Set(0x05, 7).Bytes(), V3(), 1,
         [](const MachineInfo& m) {
             ASSERT_TRUE(m.system);
             EXPECT_EQ(m.system->maker, "");
             EXPECT_EQ(m.system->product, "");
             EXPECT_EQ(m.system->version, "V1");
         }},
        {"structures shorter than a field's offset",
         SmbiosStructure(1, 0x08).Text(0x07, "SN1").Text(0x19, "SKU").Bytes() +
             SmbiosStructure(17, 0x15).Set(0x0C, 0x7FFF, 2).Text(0x17, "Memorix").Bytes(),
         V3(), 2,
         [](const MachineInfo& m) {
             ASSERT_TRUE(m.system);
             EXPECT_EQ(m.system->serial, "SN1");
             EXPECT_EQ(m.system->sku, "");
             ASSERT_EQ(m.memory.size(), 1u);
             EXPECT_TRUE(m.memory[0].installed);
             EXPECT_FALSE(m.memory[0].size_mb);  // the extended size lies beyond the end
             EXPECT_EQ(m.memory[0].maker, "");
         }},
        {"a length running past the table", bios + system.substr(0, 10), V3(), 1,
         [](const MachineInfo& m) {
             EXPECT_TRUE(m.bios);
             EXPECT_FALSE(m.system);
         }},
        {"a length below the header's", bios + Hex({1, 2, 0, 0, 0, 0}) + system, V3(), 1,
         [](const MachineInfo& m) { EXPECT_FALSE(m.system); }},
        {"strings without the double NUL", bios + system.substr(0, system.size() - 1), V3(), 1,
         [](const MachineInfo& m) { EXPECT_FALSE(m.system); }},
        {"no strings at all: two NULs", SmbiosStructure(1, 0x1B).Bytes() + bios, V3(), 2,
         [](const MachineInfo& m) { EXPECT_EQ(m.bios->vendor, "Catalix"); }},
        {"placeholders and control bytes",
         SmbiosStructure(1, 0x1B)
             .Text(0x04, "  Not Specified ")
             .Text(0x05, "To Be Filled By O.E.M.")
             .Text(0x06, "Default string")
             .Text(0x07, "    ")
             .Text(0x19, "R\x01 20\xff")
             .Bytes(),
         V3(), 1,
         [](const MachineInfo& m) {
             EXPECT_EQ(m.system->maker + m.system->product + m.system->version + m.system->serial,
                       "");
             EXPECT_EQ(m.system->sku, "R. 20.");
         }},
        {"the 2.x structure count ends the walk", bios + system, counted, 1,
         [](const MachineInfo& m) { EXPECT_FALSE(m.system); }},
        {"the 3.x size bound ends the walk", bios + system,
         V3(static_cast<std::uint32_t>(bios.size())), 1,
         [](const MachineInfo& m) { EXPECT_FALSE(m.system); }},
        {"the end-of-table structure ends the walk",
         bios + SmbiosStructure(127, 4).Bytes() + system, V3(), 2,
         [](const MachineInfo& m) { EXPECT_FALSE(m.system); }},
        {"empty", "", V3(), 0, [](const MachineInfo& m) { EXPECT_FALSE(m.bios); }},
    };
    for (const TableCase& c : cases) {
        SCOPED_TRACE(c.name);
        MachineInfo machine;
        EXPECT_EQ(ParseSmbiosTable(c.entry, c.table, &machine), c.structures);
        c.check(machine);
    }
}

}  // namespace
}  // namespace cx::switchd
