// SnmpUtilMemAlloc family: zero-filled blocks that remember their size, so that a grown block
// is zero-filled too, as on Windows.
#include <cstdlib>
#include <cstring>

#include "platform/snmp.h"

namespace {

struct alignas(16) BlockHeader {
    std::size_t size;
};

BlockHeader* HeaderOf(LPVOID memory) { return static_cast<BlockHeader*>(memory) - 1; }

}  // namespace

LPVOID SnmpUtilMemAlloc(UINT bytes) {
    auto* header = static_cast<BlockHeader*>(std::calloc(1, sizeof(BlockHeader) + bytes));
    if (header == nullptr) return nullptr;
    header->size = bytes;
    return header + 1;
}

LPVOID SnmpUtilMemReAlloc(LPVOID memory, UINT bytes) {
    if (memory == nullptr) return SnmpUtilMemAlloc(bytes);
    BlockHeader* old_header = HeaderOf(memory);
    std::size_t old_size = old_header->size;
    auto* header = static_cast<BlockHeader*>(std::realloc(old_header, sizeof(BlockHeader) + bytes));
    if (header == nullptr) return nullptr;
    if (bytes > old_size) {
        std::memset(reinterpret_cast<BYTE*>(header + 1) + old_size, 0, bytes - old_size);
    }
    header->size = bytes;
    return header + 1;
}

void SnmpUtilMemFree(LPVOID memory) {
    if (memory != nullptr) std::free(HeaderOf(memory));
}
