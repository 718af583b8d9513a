// CxOpenStream and CxErrnoText: the C runtime's stream open for code above the platform.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "files/file_access_hook.h"
#include "platform/files.h"

FILE* CxOpenStream(LPCSTR path, LPCSTR mode) {
    // Modes are a handful of letters; anything longer is a mistake, not a mode.
    if (path == nullptr || mode == nullptr || std::strlen(mode) > 8) {
        errno = EINVAL;
        return nullptr;
    }
    bool changes = std::strpbrk(mode, "wa+") != nullptr;
    cx::platform::BeforeFileAccess(
        path, changes ? cx::platform::FileAccess::kChange : cx::platform::FileAccess::kRead);
    std::string flags = std::string(mode) + "e";  // close on exec: children get no copies
    return std::fopen(path, flags.c_str());
}

const char* CxErrnoText(int error_number) {
    thread_local char text[128];
    return strerror_r(error_number, text, sizeof(text));
}
