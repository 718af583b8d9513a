// The VS_VERSIONINFO reader and the package-note JSON reader on arbitrary bytes, and
// VerQueryValueA on arbitrary blocks that carry the block header.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/version.h"
#include "platform/version_resource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CxVersionResource resource;
    CxParseVsVersionInfo(data, size, &resource);
    std::vector<CxVersionString> members;
    CxParseJsonStringMembers(reinterpret_cast<const char*>(data), size, &members);

    // A block as a caller might damage it: the header's size says at most what is there.
    std::vector<std::uint8_t> block(8 + size);
    const std::uint32_t header[2] = {0x42565843, static_cast<std::uint32_t>(block.size())};
    std::memcpy(block.data(), header, sizeof(header));
    if (size != 0) std::memcpy(block.data() + 8, data, size);
    LPVOID value = nullptr;
    UINT length = 0;
    for (const char* path :
         {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904B0\\A", "a\\b\\c\\d"}) {
        if (VerQueryValueA(block.data(), path, &value, &length)) {
            const auto* first = static_cast<const std::uint8_t*>(value);
            if (first + length > block.data() + block.size()) __builtin_trap();
        }
    }
    return 0;
}
