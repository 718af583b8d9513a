// The names in a directory, for tests that check that nothing was left behind.
#pragma once

#include <dirent.h>

#include <set>
#include <string>

namespace cx::test {

// Every entry of `directory` but "." and ".."; empty when it cannot be read.
inline std::set<std::string> DirectoryNames(const std::string& directory) {
    std::set<std::string> names;
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) return names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.insert(name);
    }
    closedir(dir);
    return names;
}

}  // namespace cx::test
