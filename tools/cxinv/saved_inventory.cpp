// Loading a saved inventory: the checks that the file is one, then the inventory's reader.
#include "saved_inventory.h"

#include <algorithm>

#include "inventory/inventory_sections.h"
#include "inventory/profile_file.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/profile.h"

namespace cx::cxinv {

namespace {

using namespace cx::inventory;

const char* FileError(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return "no such file";
        case ERROR_ACCESS_DENIED: return "cannot be read (access denied)";
        case ERROR_NOT_ENOUGH_MEMORY: return "cannot be read (too large)";
        case ERROR_NOT_SUPPORTED: return "not an inventory file: not single-byte text (UTF-16?)";
        default: return "cannot be read";
    }
}

// The section names of the file; false with `error` set when it cannot be read as INI text.
bool ReadSections(const std::string& path, std::string* sections, std::string* error) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        *error = FileError(GetLastError());
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        *error = "is a directory";
        return false;
    }
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        auto size = static_cast<DWORD>(buffer.size());
        DWORD length =
            GetPrivateProfileStringA(nullptr, nullptr, "", buffer.data(), size, path.c_str());
        DWORD status = GetLastError();
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA &&
            status != ERROR_FILE_NOT_FOUND) {
            *error = FileError(status);
            return false;
        }
        if (length != size - 2 || size >= (1u << 26)) {
            sections->assign(buffer.data(), length);
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool HasSection(const std::string& sections, std::string_view name) {
    for (std::size_t start = 0; start < sections.size();) {
        std::size_t end = sections.find('\0', start);
        if (end == std::string::npos) end = sections.size();
        std::string_view item(sections.data() + start, end - start);
        if (item.size() == name.size() &&
            std::equal(item.begin(), item.end(), name.begin(),
                       [](char a, char b) { return (a | 0x20) == (b | 0x20); })) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

}  // namespace

bool LoadSavedInventory(const std::string& path, SavedInventory* inventory, std::string* error) {
    *inventory = SavedInventory{};
    std::string sections;
    if (!ReadSections(path, &sections, error)) return false;
    if (!HasSection(sections, kLastDateSection)) {
        *error = "not an inventory file: no [Last Date] section";
        return false;
    }
    ProfileFile saved;
    saved.SetPath(path.c_str());
    if (!saved.Open(TRUE)) {
        *error = FileError(GetLastError());
        return false;
    }
    *inventory = inventory::ReadSavedInventory(saved);
    inventory->path = path;
    return true;
}

}  // namespace cx::cxinv
