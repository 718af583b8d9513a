// cx-switchd's firmware table reader and the answers it gives from it: a whole machine built
// in memory, read through both entry point versions, then broken tables and entry points.
#include <gtest/gtest.h>

#include "machine_answers.h"
#include "smbios.h"
#include "smbios_builder.h"
#include "text_rows.h"

namespace cx::switchd {
namespace {

using test::SmbiosStructure;

// The structures of the sample machine in the test data.
std::vector<SmbiosStructure> SampleMachine() {
    std::vector<SmbiosStructure> structures;
    for (const test::TextRow& row : test::ReadRows(CX_TEST_DATA "/sample_machine.txt")) {
        SmbiosStructure& s = structures.emplace_back(row.Number(0), row.Number(1));
        for (std::size_t i = 2; i < row.fields.size(); ++i) {
            const std::size_t offset = std::stoul(row[i], nullptr, 0);
            const std::string value = row[i].substr(row[i].find('=') + 1);
            const std::size_t colon = value.find(':');
            if (value[0] == '"')
                s.Text(offset, value.substr(1, value.size() - 2));
            else
                s.Set(offset, std::stoull(value, nullptr, 0),
                      colon == std::string::npos ? 1 : std::stoul(value.substr(colon + 1)));
        }
    }
    return structures;
}

// Every request of the answer table in the test data, answered from `machine`.
void ExpectRows(const MachineInfo& machine) {
    const std::vector<test::TextRow> rows = test::ReadRows(CX_TEST_DATA "/machine_answers.txt");
    for (const test::TextRow& row : rows) {
        SCOPED_TRACE(row.line);
        const RequestKey key{static_cast<std::uint32_t>(row.Number(0)),
                             static_cast<std::uint32_t>(row.Number(1)),
                             static_cast<std::uint32_t>(row.Number(2)),
                             static_cast<std::uint32_t>(row.Number(3)),
                             {},
                             false};
        const std::optional<ReplySpec> reply = AnswerMachineRequest(machine, key);
        EXPECT_EQ(reply ? std::to_string(reply->status) + ":" + reply->data : "-",
                  row[4] == "-" ? row[4] : "0:" + row[4]);
    }
    EXPECT_GT(rows.size(), 60u);
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

std::string Patched(std::string bytes, std::size_t at, char value) {
    bytes[at] = value;
    return bytes;
}

TEST(SmbiosEntryPoint, AcceptsValidAndRejectsBrokenEntryPoints) {
    const std::string v3 = test::SmbiosEntryPoint3(4096), v2 = test::SmbiosEntryPoint2(4096, 12);
    // A 2.x entry point of length 0x1E: the checksum follows the length byte.
    const std::string v2_short = Patched(Patched(v2, 5, 0x1E), 4, static_cast<char>(v2[4] + 1));
    const struct {
        const char* name;
        std::string bytes;
        bool ok;
    } cases[] = {
        {"3.x", v3, true},
        {"2.x", v2, true},
        {"2.x of length 0x1E", v2_short, true},
        {"legacy _DMI_", v2.substr(0x10, 15), true},
        {"3.x checksum", Patched(v3, 0x0C, 1), false},
        {"2.x checksum", Patched(v2, 0x06, 9), false},
        {"2.x intermediate anchor", Patched(v2, 0x11, 'X'), false},
        {"3.x cut short", v3.substr(0, 10), false},
        {"3.x length past the file", Patched(v3, 6, static_cast<char>(0xFF)), false},
        {"no anchor", std::string(32, 'x'), false},
    };
    for (const auto& c : cases) {
        SmbiosEntryPoint entry;
        std::string error;
        EXPECT_EQ(ParseSmbiosEntryPoint(c.bytes, &entry, &error), c.ok) << c.name << ": " << error;
    }
}

SmbiosEntryPoint V3(std::uint32_t size = 0xFFFFFF) {
    SmbiosEntryPoint entry;
    entry.v3 = true;
    entry.major = 3;
    entry.table_length = size;
    return entry;
}

// What a walk kept of the BIOS, the system and the memory devices, in one line.
std::string Kept(const MachineInfo& m) {
    std::string kept;
    if (m.bios) kept += "bios " + m.bios->vendor + ";";
    if (m.system) {
        const SystemInfo& s = *m.system;
        kept += "system " + s.maker + "|" + s.product + "|" + s.version + "|" + s.serial + "|" +
                s.sku + ";";
    }
    for (const MemoryDeviceInfo& d : m.memory) {
        kept += "memory " + std::to_string(d.installed) + "|" +
                (d.size_mb ? std::to_string(*d.size_mb) : "?") + "|" + d.maker + ";";
    }
    return kept;
}

TEST(SmbiosTable, BrokenTablesKeepWhatCameBeforeTheFault) {
    const std::string bios = SmbiosStructure(0, 0x12).Text(0x04, "Catalix").Bytes();
    const std::string system = SmbiosStructure(1, 0x1B).Text(0x05, "Arden").Bytes();
    SmbiosEntryPoint counted = V3();
    counted.v3 = false;
    counted.structure_count = 1;
    const struct {
        const char* name;
        std::string table;
        SmbiosEntryPoint entry;
        std::size_t structures;
        const char* kept;
    } cases[] = {
        {"string index 0 and past the last string",
         SmbiosStructure(1, 0x1B).Text(0x06, "V1").Set(0x04, 0).Set(0x05, 7).Bytes(), V3(), 1,
         "system ||V1||;"},
        // The extended memory size lies beyond the end.
        {"structures shorter than a field's offset",
         SmbiosStructure(1, 0x08).Text(0x07, "SN1").Text(0x19, "SKU").Bytes() +
             SmbiosStructure(17, 0x15).Set(0x0C, 0x7FFF, 2).Text(0x17, "Memorix").Bytes(),
         V3(), 2, "system |||SN1|;memory 1|?|;"},
        {"a length running past the table", bios + system.substr(0, 10), V3(), 1, "bios Catalix;"},
        {"a length below the header's", bios + std::string("\x01\x02\0\0\0\0", 6) + system, V3(), 1,
         "bios Catalix;"},
        {"strings without the double NUL", bios + system.substr(0, system.size() - 1), V3(), 1,
         "bios Catalix;"},
        {"no strings at all: two NULs", SmbiosStructure(1, 0x1B).Bytes() + bios, V3(), 2,
         "bios Catalix;system ||||;"},
        {"placeholders and control bytes",
         SmbiosStructure(1, 0x1B)
             .Text(0x04, "  Not Specified ")
             .Text(0x05, "To Be Filled By O.E.M.")
             .Text(0x06, "Default string")
             .Text(0x07, "    ")
             .Text(0x19, "R\x01 20\xff")
             .Bytes(),
         V3(), 1, "system ||||R. 20.;"},
        {"the 2.x structure count ends the walk", bios + system, counted, 1, "bios Catalix;"},
        {"the 3.x size bound ends the walk", bios + system,
         V3(static_cast<std::uint32_t>(bios.size())), 1, "bios Catalix;"},
        {"the end-of-table structure ends the walk",
         bios + SmbiosStructure(127, 4).Bytes() + system, V3(), 2, "bios Catalix;"},
        {"empty", "", V3(), 0, ""},
    };
    for (const auto& c : cases) {
        MachineInfo machine;
        EXPECT_EQ(ParseSmbiosTable(c.entry, c.table, &machine), c.structures) << c.name;
        EXPECT_EQ(Kept(machine), c.kept) << c.name;
    }
}

}  // namespace
}  // namespace cx::switchd
