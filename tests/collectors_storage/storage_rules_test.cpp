// The storage collectors' text rules and name tables, and the association lookup's cap.
#include <gtest/gtest.h>

#include <string>

#include "inventory_fixture.h"
#include "storage_steps.h"

namespace cx::storage {
namespace {

TEST(StorageRules, Inquiry) {
    const struct {
        Inquiry (*split)(const char*);
        const char* text;
        Inquiry parts;
    } cases[] = {
        // The hard-disk MIB's: a blank within the first eight characters ends the vendor; the
        // product keeps its padding, the version stays at characters 25 to 28; short texts give
        // whatever is there, and "N/A" for a missing or blank version.
        {SplitHdInquiry, "CATA    Q47120-D3695    C96H", {"CATA", "Q47120-D3695    ", "C96H"}},
        {SplitHdInquiry, "CX Q47120-D3695 C96H", {"CX", "Q47120-D3695 C96", "N/A"}},
        {SplitHdInquiry, "ARVENMRKQ47120-T7       T100", {"ARVENMRK", "Q47120-T7       ", "T100"}},
        {SplitHdInquiry, "CATALIX", {"CATALIX", "", "N/A"}},
        {SplitHdInquiry, "ARVENMRKQ47120", {"ARVENMRK", "Q47120", "N/A"}},
        {SplitHdInquiry, "CATALIX Q47120-D1            X", {"CATALIX", "Q47120-D1       ", "N/A"}},
        {SplitHdInquiry, "", {"", "", "N/A"}},
        // The I/O manager's: fixed columns after the vendor's blanks.
        {SplitIomInquiry, "CATALIX Q47120-D001     C001", {"CATALIX ", "Q47120-D001     ", "C001"}},
        {SplitIomInquiry,
         "ARVENMRK    Q47120-E1           0102",
         {"ARVENMRK", "Q47120-E1       ", "0102"}},
        {SplitIomInquiry, "ARVEN", {"ARVEN", "", ""}},
    };
    for (const auto& c : cases) {
        const Inquiry parts = c.split(c.text);
        EXPECT_EQ(parts.vendor + "|" + parts.product + "|" + parts.version,
                  c.parts.vendor + "|" + c.parts.product + "|" + c.parts.version)
            << c.text;
    }
}

// Version texts as the AAC (label: version) and DPT (label; Version: v; Built: date) agents
// send them.
TEST(StorageRules, VersionTexts) {
    const struct {
        bool dpt;
        const char* text;
        const char* descript;
        const char* version;
        const char* date;
    } cases[] = {
        {false, "Kernel: 4.1-0", "Kernel", "4.1-0", ""},
        {false, "4.1-0", "", "4.1-0", ""},
        {false, "Kernel:", "Kernel", "", ""},
        {false, ":x", "", "", ""},
        {true, "Firmware Image; Version: 7A1.02; Built: 03-15-04", "Firmware Image", "7A1.02",
         "03-15-04"},
        {true, "Firmware Image; Version: 7A1.02", "Firmware Image", "N/A", ""},
        {true, "Firmware Image", "Firmware Image", "N/A", ""},
        {true, "Image;", "Image", "N/A", ""},
        {true, "Image; V:;", "Image", "", ""},
        {true, "Image; V:; D:", "Image", "", ""},
        {true, "", "", "N/A", ""},
    };
    for (const auto& c : cases) {
        ComponentEntry entry;
        if (c.dpt) {
            SplitDptVersion(&entry, c.text);
        } else {
            CopyEntryText(entry.ProdDescript, c.text);
            CopyEntryText(entry.Version, "old");
            SplitAacVersion(&entry);
        }
        EXPECT_EQ(std::string(entry.ProdDescript) + "|" + entry.Version + "|" + entry.ManuDate,
                  std::string(c.descript) + "|" + c.version + "|" + c.date)
            << c.text;
    }
}

TEST(StorageRules, DevicePath) {
    const struct {
        const char* path;
        LONG target;
        LONG unit;
    } cases[] = {{"Bus:0 ID:3 LUN:0", 3, 0},
                 {"Bus:1 ID:15", 15, -1},
                 {"Bus:0 LUN:2", -1, -1},
                 {"ID:", 0, -1},
                 {"ID:99999999999 LUN:7", 0x7FFFFFFF, 7},
                 {"", -1, -1}};
    for (const auto& c : cases) {
        LONG target = 5;
        LONG unit = 5;
        SplitDevPath(c.path, &target, &unit);
        EXPECT_EQ(target, c.target) << c.path;
        EXPECT_EQ(unit, c.unit) << c.path;
    }
}

// The ends of the name tables and what lies past them (the names in between, the scans of each
// family show).
TEST(StorageRules, TypeNames) {
    const struct {
        TypeTable table;
        UINT number;
        const char* name;
    } cases[] = {{TypeTable::kHdDevice, 4, "unknown"},
                 {TypeTable::kIomDevice, 5, "undefined"},
                 {TypeTable::kIomDevice, 16, "digitalVersatileRAM"},
                 {TypeTable::kIomEnclosure, 0, "undefined"},
                 {TypeTable::kAacPeripheral, 3, "procesor"},
                 {TypeTable::kAacPeripheral, 10, "unknown"},
                 {TypeTable::kDptPeripheral, 97, "saf-te"},
                 {TypeTable::kDptPeripheral, 0, "unknown"},
                 {TypeTable::kGamPeripheral, 199, "host"},
                 {TypeTable::kGamPeripheral, 12, "unknown"},
                 {TypeTable::kLsiDevice, 0, "unknown"},
                 {TypeTable::kTvcDevice, 7, "cdRom/dvd"},
                 {TypeTable::kTvcDevice, 98, "host"},
                 {TypeTable::kTvcInterface, 5, "SATA"},
                 {TypeTable::kTvcInterface, 8, "unknown"}};
    for (const auto& c : cases)
        EXPECT_STREQ(TypeName(c.table, c.number), c.name) << c.number;
}

class AssocTest : public cx::test::InventoryTest {};

// Twenty ports of one controller among other associations: the first sixteen, in table order,
// and the line that says there were more.
TEST_F(AssocTest, SixteenAtMost) {
    AicAssocList list;
    for (DWORD i = 0; i < 20; ++i) {
        list.Append({3, 1, 5, 100 + i});
        list.Append({3, 2, 5, 200 + i});
        list.Append({5, 100 + i, 2, 300 + i});
    }
    DWORD out[16] = {};
    EXPECT_EQ(agent_->FindAssoc(&list, 3, 1, 5, out), 16);
    for (DWORD i = 0; i < 16; ++i)
        EXPECT_EQ(out[i], 100 + i);
    EXPECT_EQ(TraceCount("\n   MORE THAN 16 ENTRIES !!!"), 1u);
    EXPECT_EQ(TraceCount("\n   Found Assoc T1 3 I1 1 T2 5 I2 115"), 1u);
    EXPECT_EQ(agent_->FindAssoc(&list, 5, 107, 2, out), 1);
    EXPECT_EQ(out[0], 307u);
    EXPECT_EQ(agent_->FindAssoc(&list, 2, 307, 5, out), 0);
    EXPECT_EQ(TraceCount("MORE THAN 16"), 1u);
}

// A Mylex controller type the definition table does not name.
TEST_F(AssocTest, UnknownControllerType) {
    WriteTableFile("[GamController]\r\n0081=Q47120-M4\r\n");
    EXPECT_EQ(agent_->GetCtrlName(82), "");
    EXPECT_EQ(TraceCount("\nCX_MIB GetCtrlName  : unknown CtrlType 82 (0x52)"), 1u);
}

}  // namespace
}  // namespace cx::storage
