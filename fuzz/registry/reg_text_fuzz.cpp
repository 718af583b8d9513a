// The .reg parser on arbitrary bytes; whatever it accepts must write out and read back the same.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/reg_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace cx::platform;
    RegTextParse parsed = ParseRegText(std::string_view(reinterpret_cast<const char*>(data), size));
    if (parsed.error_line != 0) {
        if (!parsed.keys.empty() || parsed.error.empty()) __builtin_trap();
        return 0;
    }
    RegTextParse again = ParseRegText(WriteRegText(parsed.keys));
    if (again.error_line != 0 || again.keys.size() != parsed.keys.size()) __builtin_trap();
    for (size_t k = 0; k < parsed.keys.size(); ++k) {
        const RegTextKey& first = parsed.keys[k];
        const RegTextKey& second = again.keys[k];
        if (first.path != second.path || first.remove != second.remove ||
            first.is_volatile != second.is_volatile || first.values.size() != second.values.size())
            __builtin_trap();
        for (size_t v = 0; v < first.values.size(); ++v) {
            const RegTextValue& a = first.values[v];
            const RegTextValue& b = second.values[v];
            if (a.name != b.name || a.remove != b.remove || a.type != b.type || a.data != b.data)
                __builtin_trap();
        }
    }
    return 0;
}
