// What the entity table needs of a saved inventory file: the physical containers with the
// names of their types, and the components with the fields the table shows.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/windef.h"

class ProfileFile;

namespace cx::entity {

struct SavedContainer {
    DWORD type = 0;
    DWORD parent = 0;  // number of the parent container, 0 for a root
    std::string name;
};

struct SavedComponent {
    DWORD phys_cont = 0;
    DWORD comp_type = 0;
    std::string vendor, prod_name, prod_number, prod_descript, manu_date, version, serial_no;
};

struct SavedInventory {
    std::vector<SavedContainer> containers;  // container n at [n - 1]
    std::map<DWORD, std::string> container_type_names;
    std::vector<SavedComponent> components;
};

// Rows are read in number order up to the file's count, and stop at the first row whose type
// key is missing; a file claiming more than these many rows is read up to the limit.
inline constexpr DWORD kMaxContainers = 4096;
inline constexpr DWORD kMaxComponents = 65536;

SavedInventory ReadSavedInventory(ProfileFile& saved);

}  // namespace cx::entity
