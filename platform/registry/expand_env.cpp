// ExpandEnvironmentStringsA: %NAME% references replaced from the environment.
#include <cstring>
#include <string>
#include <string_view>

#include "platform/ascii_case.h"
#include "platform/errors.h"
#include "platform/winreg.h"

extern char** environ;

namespace {

// Windows compares variable names without case; an exact match wins over one that differs
// only in case, since Linux may hold both.
const char* FindVariable(std::string_view name) {
    const char* folded_match = nullptr;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        if (equals == nullptr) continue;
        std::string_view entry_name(*entry, static_cast<size_t>(equals - *entry));
        if (entry_name == name) return equals + 1;
        if (folded_match == nullptr && cx::EqualsIgnoringCase(entry_name, name))
            folded_match = equals + 1;
    }
    return folded_match;
}

DWORD Expand(LPCSTR source, LPSTR destination, DWORD size) {
    std::string expanded;
    std::string_view rest(source);
    while (!rest.empty()) {
        size_t open = rest.find('%');
        if (open != 0) {
            expanded.append(rest.substr(0, open));
            rest.remove_prefix(open == std::string_view::npos ? rest.size() : open);
            continue;
        }
        size_t close = rest.find('%', 1);
        if (close == std::string_view::npos) {  // an unfinished name stays as written
            expanded.append(rest);
            break;
        }
        const char* value = close > 1 ? FindVariable(rest.substr(1, close - 1)) : nullptr;
        if (value != nullptr) {
            expanded.append(value);
        } else {  // an unknown name stays as written, both percent signs included
            expanded.append(rest.substr(0, close + 1));
        }
        rest.remove_prefix(close + 1);
    }
    DWORD needed = static_cast<DWORD>(expanded.size() + 1);
    if (destination != nullptr && needed <= size)
        std::memcpy(destination, expanded.c_str(), needed);
    return needed;
}

}  // namespace

DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size) {
    if (source == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        return Expand(source, destination, size);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}
