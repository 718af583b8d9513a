// The entity table of saved inventories: containment, classes, revisions and dates, what is
// left out, stable indexes, and hostile files (dangling parents, loops, a tampered index map).
#include <gtest/gtest.h>

#include <fstream>

#include "change_throttle.h"
#include "entity_table.h"
#include "index_map.h"
#include "inventory/profile_file.h"
#include "saved_inventory.h"
#include "temp_dir.h"

namespace cx::entity {
namespace {

using test::TempDir;

// A saved file as the inventory writes it: two cabinets in a computer, a few components.
constexpr char kSaved[] = R"([Physical Container]
NrContainer=3
Type.1=1
Parent.1=0
Name.1=CXSERVER
Type.2=2
Parent.2=1
Name.2=Catalix CX2200
Type.3=3
Parent.3=1
Name.3=Catalix SX40 Storage
[Physical Definition]
Type.1=1
Name.1=PhysKorvan
Type.2=2
Name.2=ServerCabinet
Type.3=3
Name.3=StorageExtension
[Component Table]
NrComponents=6
PhysCont.1=1
CompType.1=21
ProdName.1=CXSERVER
PhysCont.2=2
CompType.2=10
Vendor.2=Arvenmark
ProdName.2=Cx64 Processor
ProdDescript.2=CPU 1
Version.2=Stepping 4
SerialNo.2=N/A
PhysCont.3=2
CompType.3=22
Vendor.3=Memorix
ProdName.3=DIMM 8 GB
ProdNumber.3=Q47120-M8
ProdDescript.3=DIMM 1A
ManuDate.3=2024-03-15 00:00:00
Version.3=N/A
PhysCont.4=2
CompType.4=22
Vendor.4=Memorix
ProdName.4=DIMM 8 GB
ProdNumber.4=Q47120-M8
ProdDescript.4=DIMM 1B
Version.4=N/A
PhysCont.5=2
CompType.5=160
Vendor.5=Catalix
ProdName.5=System BIOS
ProdDescript.5=BIOS
Version.5=1.07
PhysCont.6=3
CompType.6=167
ProdName.6=Catalix OS
)";

SavedInventory Read(const TempDir& dir, const std::string& text) {
    const std::string path = dir.File("Catalix.sav");
    std::ofstream(path) << text;
    ProfileFile file;
    file.SetPath(path.c_str());
    file.Open(TRUE);
    return ReadSavedInventory(file);
}

TEST(EntityTable, ContainmentClassesAndColumnsOfASavedInventory) {
    TempDir dir;
    IndexMap indexes;
    const EntityTable table = BuildEntityTable(Read(dir, kSaved), indexes);
    EXPECT_TRUE(table.problems.empty());
    // Three containers and four hardware components; the computer name and the OS stay out.
    ASSERT_EQ(table.rows.size(), 7u);
    struct Expected {
        std::int32_t index, contained_in, rel_pos;
        PhysicalClass physical_class;
        const char* name;
        const char* hardware_rev;
        const char* firmware_rev;
        const char* model;
        bool fru;
    };
    const Expected expected[] = {
        {1, 0, 1, PhysicalClass::kContainer, "CXSERVER", "", "", "", false},
        {2, 1, 1, PhysicalClass::kChassis, "Catalix CX2200", "", "", "", false},
        {3, 1, 2, PhysicalClass::kChassis, "Catalix SX40 Storage", "", "", "", false},
        {4, 2, 1, PhysicalClass::kCpu, "Cx64 Processor", "Stepping 4", "", "Cx64 Processor", true},
        {5, 2, 2, PhysicalClass::kModule, "DIMM 8 GB", "", "", "Q47120-M8", true},
        {6, 2, 3, PhysicalClass::kModule, "DIMM 8 GB", "", "", "Q47120-M8", true},
        {7, 2, 4, PhysicalClass::kOther, "System BIOS", "", "1.07", "System BIOS", true},
    };
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const EntityRow& row = table.rows[i];
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(row.index, expected[i].index);
        EXPECT_EQ(row.contained_in, expected[i].contained_in);
        EXPECT_EQ(row.parent_rel_pos, expected[i].rel_pos);
        EXPECT_EQ(row.physical_class, expected[i].physical_class);
        EXPECT_EQ(row.name, expected[i].name);
        EXPECT_EQ(row.hardware_rev, expected[i].hardware_rev);
        EXPECT_EQ(row.firmware_rev, expected[i].firmware_rev);
        EXPECT_EQ(row.model_name, expected[i].model);
        EXPECT_EQ(row.is_fru, expected[i].fru);
    }
    EXPECT_EQ(table.rows[3].serial_num, "");  // "N/A" is the inventory's "unknown"
    EXPECT_EQ(table.rows[3].descr, "CPU 1");
    EXPECT_EQ(table.rows[4].mfg_date, std::string("\x07\xE8\x03\x0F\0\0\0\0", 8));
    EXPECT_EQ(table.rows[5].mfg_date, std::string(8, '\0'));
}

TEST(EntityTable, ClassesByComponentType) {
    const std::pair<DWORD, PhysicalClass> cases[] = {
        {0x01, PhysicalClass::kChassis},     {0x02, PhysicalClass::kChassis},
        {0x04, PhysicalClass::kPowerSupply}, {0x07, PhysicalClass::kFan},
        {0x0A, PhysicalClass::kCpu},         {0x0C, PhysicalClass::kModule},
        {0x14, PhysicalClass::kModule},      {0x16, PhysicalClass::kModule},
        {0x19, PhysicalClass::kModule},      {0x0B, PhysicalClass::kOther},
        {0xA1, PhysicalClass::kOther},
    };
    for (const auto& [type, physical_class] : cases)
        EXPECT_EQ(ClassOf(type), physical_class) << std::hex << type;
    for (DWORD software : {0x15u, 0xA2u, 0xA3u, 0xA4u, 0xA7u, 0xFFu})
        EXPECT_FALSE(IsPhysical(software)) << std::hex << software;
}

TEST(EntityTable, DateAndTimeOnlyFromAWellFormedDate) {
    EXPECT_EQ(DateAndTime("2006-10-20 08:57:39"), std::string("\x07\xD6\x0A\x14\x08\x39\x27\0", 8));
    for (const char* bad : {"", "2006-10-20 25:00:00", "2006-13-01", "0000-00-00 00:00:00",
                            "20061020", "2006-10-20 08:57", "2006/10/20", "2006-10-2x"})
        EXPECT_EQ(DateAndTime(bad), std::string(8, '\0')) << bad;
}

TEST(EntityTable, IndexesStayForTheSameEntitiesAndAreNeverGivenAgain) {
    TempDir dir;
    IndexMap indexes;
    const SavedInventory first = Read(dir, kSaved);
    BuildEntityTable(first, indexes);
    ASSERT_TRUE(indexes.Save(dir.File("map")));

    // A restart: the map from the file gives every entity its index again.
    IndexMap restarted;
    std::vector<std::string> problems;
    restarted.Load(dir.File("map"), &problems);
    EXPECT_TRUE(problems.empty());
    const EntityTable again = BuildEntityTable(first, restarted);
    ASSERT_EQ(again.rows.size(), 7u);
    for (std::size_t i = 0; i < again.rows.size(); ++i)
        EXPECT_EQ(again.rows[i].index, static_cast<std::int32_t>(i + 1));

    // The processor is replaced by another one: the new one gets a new index, the rest keep
    // theirs, and the old index is not given again after a restart either.
    SavedInventory changed = first;
    changed.components[1].serial_no = "CX0001";
    const EntityTable swapped = BuildEntityTable(changed, restarted);
    EXPECT_EQ(swapped.rows[3].index, 8);
    EXPECT_EQ(swapped.rows[4].index, 5);
    ASSERT_TRUE(restarted.Save(dir.File("map")));
    IndexMap later;
    later.Load(dir.File("map"), nullptr);
    EXPECT_EQ(BuildEntityTable(first, later).rows[3].index, 9);
}

TEST(EntityTable, DanglingParentsAndLoopsKeepTheTableWellFormed) {
    SavedInventory inventory;
    inventory.containers = {{1, 3, "A"}, {1, 1, "B"}, {1, 2, "C"}, {1, 99, "D"}};
    inventory.components = {{7, 0x0A, "Arvenmark", "Cx64", "", "", "", "", ""},
                            {2, 0x07, "Arvenmark", "Fan", "", "", "", "", ""}};
    IndexMap indexes;
    const EntityTable table = BuildEntityTable(inventory, indexes);
    ASSERT_EQ(table.rows.size(), 6u);
    EXPECT_EQ(table.rows[0].contained_in, 0);  // the loop A -> C -> B -> A is cut at A
    EXPECT_EQ(table.rows[1].contained_in, 1);
    EXPECT_EQ(table.rows[2].contained_in, 2);
    EXPECT_EQ(table.rows[3].contained_in, 0);  // parent 99 does not exist
    EXPECT_EQ(table.rows[4].contained_in, 0);  // container 7 does not exist
    EXPECT_EQ(table.rows[5].contained_in, 2);
    EXPECT_EQ(table.problems.size(), 3u);
}

TEST(EntityTable, ATamperedIndexMapLosesOnlyItsBadLines) {
    TempDir dir;
    std::ofstream(dir.File("map")) << "next 5\n3\tcontainer\t/X\nbad line\n3\tcontainer\t/Y\n"
                                   << "0\tcontainer\t/Z\n12\tcontainer\t/W\\q\n"
                                   << std::string(5000, 'x') << "\nnext 2\n";
    IndexMap indexes;
    std::vector<std::string> problems;
    indexes.Load(dir.File("map"), &problems);
    EXPECT_EQ(problems.size(), 5u);
    EXPECT_EQ(indexes.size(), 1u);
    EXPECT_EQ(indexes.next(), 5);
    EXPECT_EQ(indexes.Assign({"container\t/Y", "container\t/X"}),
              (std::vector<std::int32_t>{5, 3}));
}

TEST(EntityTable, ChangeNotificationsAtMostOncePerInterval) {
    ChangeThrottle throttle(5000);
    EXPECT_TRUE(throttle.Changed(1000));
    EXPECT_FALSE(throttle.Changed(2000));  // waits for the interval
    EXPECT_FALSE(throttle.Changed(5999));
    EXPECT_TRUE(throttle.Due(6000));  // one for both changes
    EXPECT_FALSE(throttle.Due(20000));
    EXPECT_TRUE(throttle.Changed(0xFFFFFF00u));  // across the tick count's wrap
    EXPECT_FALSE(throttle.Changed(100));
    EXPECT_TRUE(throttle.Due(0xFFFFFF00u + 5000));
}

}  // namespace
}  // namespace cx::entity
