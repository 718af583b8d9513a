// Helpers for the profile tests: reading through the profile functions into strings, and
// replacing a file on disk past the cache.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "child_process.h"
#include "platform/profile.h"

namespace cx::test {

// Writes a file the way another program would: a new file renamed into place.
inline void ReplaceText(const std::string& path, const std::string& text) {
    std::string temporary = path + ".other";
    WriteFile(temporary, text);
    std::rename(temporary.c_str(), path.c_str());
}

inline std::string Get(const std::string& file, const char* section, const char* key,
                       const char* fallback = "") {
    std::vector<char> buffer(4 << 20);
    DWORD length = GetPrivateProfileStringA(section, key, fallback, buffer.data(),
                                            static_cast<DWORD>(buffer.size()), file.c_str());
    return std::string(buffer.data(), length);
}

// A list result (names separated by '|', for readable expectations).
inline std::string GetList(const std::string& file, const char* section) {
    std::string list = Get(file, section, nullptr);
    for (char& c : list) {
        if (c == '\0') c = '|';
    }
    return list;
}

inline bool Set(const std::string& file, const char* section, const char* key, const char* value) {
    return WritePrivateProfileStringA(section, key, value, file.c_str()) != FALSE;
}

inline bool Flush(const std::string& file) {
    return WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str()) != FALSE;
}

}  // namespace cx::test
