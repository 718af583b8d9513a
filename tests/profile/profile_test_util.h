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

// Changes in the tests' notation, separated by ";": "S/k=v" sets k in [S], "S/k" deletes the
// key, "S/" the section.
struct Change {
    std::string section, key, value;
    bool set, whole_section;
};

inline std::vector<Change> ParseChanges(const std::string& text) {
    std::vector<Change> changes;
    const std::string all = text + ";";
    for (size_t start = 0, end; (end = all.find(';', start)) != std::string::npos;
         start = end + 1) {
        const std::string change = all.substr(start, end - start);
        const size_t slash = change.find('/'), equals = change.find('=', slash);
        const bool set = equals != std::string::npos;
        changes.push_back({change.substr(0, slash),
                           change.substr(slash + 1, (set ? equals : change.size()) - slash - 1),
                           set ? change.substr(equals + 1) : "", set, slash + 1 == change.size()});
    }
    return changes;
}

// Applies one change through the profile functions.
inline bool Apply(const std::string& file, const Change& change) {
    return WritePrivateProfileStringA(change.section.c_str(),
                                      change.whole_section ? nullptr : change.key.c_str(),
                                      change.set ? change.value.c_str() : nullptr, file.c_str());
}

inline bool Flush(const std::string& file) {
    return WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str()) != FALSE;
}

}  // namespace cx::test
