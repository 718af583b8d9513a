// StringToOid on arbitrary text, then OidToString on whatever it produced.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/oid_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);  // stops at an embedded NUL
    AsnObjectIdentifier oid{};
    if (StringToOid(text.c_str(), &oid)) {
        if (oid.idLength < 2 || oid.ids == nullptr) __builtin_trap();
        OidToString(&oid, 0);
    } else if (oid.idLength != 0 || oid.ids != nullptr) {
        __builtin_trap();
    }
    SnmpUtilOidFree(&oid);
    return 0;
}
