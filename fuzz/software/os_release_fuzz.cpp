// The os-release parser on arbitrary text: values never outgrow the text they come from.
#include <cstddef>
#include <cstdint>

#include "platform/os_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CxOsRelease release;
    CxParseOsRelease(reinterpret_cast<const char*>(data), size, &release);
    for (const std::string* value :
         {&release.name, &release.version, &release.id, &release.pretty_name, &release.vendor_name,
          &release.version_id}) {
        if (value->size() > size) __builtin_trap();
    }
    return 0;
}
