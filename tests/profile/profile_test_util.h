// Helpers for the profile tests: reading through the profile functions into strings, and
// looking at the disk with the standard library, past the cache.
#pragma once

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/profile.h"

namespace cx::test {

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// Writes a file the way another program would: a new file renamed into place.
inline void ReplaceText(const std::string& path, const std::string& text) {
    std::string temporary = path + ".other";
    std::ofstream(temporary, std::ios::binary) << text;
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

// Waits for a condition that another thread or process brings about, with a bound.
inline bool WaitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds bound = std::chrono::seconds(10)) {
    auto end = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace cx::test
