// The PE and ELF version readers on arbitrary file images, then queries on the block built
// from whatever they found.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/version.h"
#include "platform/version_resource.h"

namespace {

void QueryAll(const CxVersionResource& resource) {
    std::vector<std::uint8_t> block(CxVersionBlockSize(resource));
    if (CxWriteVersionBlock(resource, block.data(), block.size()) != block.size()) {
        __builtin_trap();
    }
    LPVOID value = nullptr;
    UINT length = 0;
    auto inside = [&] {
        const auto* first = static_cast<const std::uint8_t*>(value);
        if (first < block.data() || first + length > block.data() + block.size()) __builtin_trap();
    };
    for (const char* path : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo"}) {
        if (VerQueryValueA(block.data(), path, &value, &length)) inside();
    }
    for (const auto& table : resource.string_tables) {
        for (const auto& item : table.strings) {
            std::string path = "\\StringFileInfo\\" + table.key + "\\" + item.name;
            // Names may repeat or hold backslashes: the answer may be another node, but it
            // lies inside the block.
            if (VerQueryValueA(block.data(), path.c_str(), &value, &length)) inside();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CxMemoryByteSource image(data, size);
    CxVersionResource resource;
    if (CxReadVersionResource(image, &resource) == ERROR_SUCCESS) QueryAll(resource);
    return 0;
}
