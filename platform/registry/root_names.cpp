// Names of the root keys in .reg text and on the cxreg command line.
#include <string_view>

#include "platform/ascii_case.h"
#include "platform/reg_text.h"

namespace cx::platform {
namespace {

struct RootName {
    const char* name;
    const char* short_name;
    std::uintptr_t key;
};

constexpr RootName kRoots[] = {
    {"HKEY_CLASSES_ROOT", "HKCR", 0x80000000u},
    {"HKEY_CURRENT_USER", "HKCU", 0x80000001u},
    {"HKEY_LOCAL_MACHINE", "HKLM", 0x80000002u},
    {"HKEY_USERS", "HKU", 0x80000003u},
};

}  // namespace

bool SplitRootPath(std::string_view path, HKEY* root, std::string_view* sub_key) {
    size_t separator = path.find('\\');
    std::string_view first = path.substr(0, separator);
    for (const RootName& candidate : kRoots) {
        if (EqualsIgnoringCase(first, candidate.name) ||
            EqualsIgnoringCase(first, candidate.short_name)) {
            *root = reinterpret_cast<HKEY>(candidate.key);
            *sub_key = separator == std::string_view::npos ? std::string_view()
                                                           : path.substr(separator + 1);
            return true;
        }
    }
    return false;
}

const char* RootKeyName(HKEY root) {
    for (const RootName& candidate : kRoots) {
        if (reinterpret_cast<std::uintptr_t>(root) == candidate.key) return candidate.name;
    }
    return nullptr;
}

}  // namespace cx::platform
