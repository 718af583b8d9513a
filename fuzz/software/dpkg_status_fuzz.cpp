// The dpkg status reader on arbitrary text, for a package name taken from the input's start.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/msi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    std::size_t name_length = 0;
    while (name_length < size && name_length < 32 && text[name_length] != '\n')
        ++name_length;
    std::string package(text, name_length);
    for (const char* name : {package.c_str(), "catalix"}) {
        CxDpkgLookup lookup;
        CxFindDpkgVersion(text, size, name, &lookup);
        if (lookup.installed && (lookup.version.empty() || lookup.version.size() > 255)) {
            __builtin_trap();
        }
        CxIsDpkgPackageName(name);
    }
    return 0;
}
