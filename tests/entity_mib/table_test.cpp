// The entity table of saved inventories: containment, classes, revisions and dates, what is
// left out, stable indexes, and hostile files (dangling parents, loops, a tampered index map).
#include <gtest/gtest.h>

#include <fstream>
#include <tuple>

#include "change_throttle.h"
#include "entity_table.h"
#include "index_map.h"
#include "inventory/profile_file.h"
#include "saved_inventory.h"
#include "temp_dir.h"
#include "test_data.h"

namespace cx::entity {
namespace {

using test::TempDir;

// A saved file as the inventory writes it: two cabinets in a computer, a few components.
const std::string kSaved = test::TestData("two_cabinets.sav");

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
        const EntityRow& r = table.rows[i];
        const Expected& e = expected[i];
        EXPECT_EQ(std::tie(r.index, r.contained_in, r.parent_rel_pos, r.physical_class, r.name,
                           r.hardware_rev, r.firmware_rev, r.model_name, r.is_fru),
                  std::tie(e.index, e.contained_in, e.rel_pos, e.physical_class, e.name,
                           e.hardware_rev, e.firmware_rev, e.model, e.fru));
    }
    EXPECT_EQ(table.rows[3].serial_num, "");  // "N/A" is the inventory's "unknown"
    EXPECT_EQ(table.rows[3].descr, "CPU 1");
    EXPECT_EQ(table.rows[4].mfg_date, std::string("\x07\xE8\x03\x0F\0\0\0\0", 8));
    EXPECT_EQ(table.rows[5].mfg_date, std::string(8, '\0'));
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
    std::vector<std::int32_t> contained;
    for (const EntityRow& row : table.rows)
        contained.push_back(row.contained_in);
    // The loop A -> C -> B -> A is cut at A; parent 99 and container 7 do not exist.
    EXPECT_EQ(contained, (std::vector<std::int32_t>{0, 1, 2, 0, 0, 2}));
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
