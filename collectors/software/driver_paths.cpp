// Driver names in their Windows and Linux forms, and where to look for their files.
#include <algorithm>

#include "platform/ascii_case.h"
#include "software_steps.h"

namespace cx::software {
namespace {

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

}  // namespace

DriverName SplitDriverName(const std::string& name) {
    DriverName parts;
    if (!name.empty() && name[0] == '/') {
        parts.linux_path = true;
        std::size_t slash = name.rfind('/');
        parts.directory = name.substr(0, slash + 1);
        std::string file = name.substr(slash + 1);
        std::size_t dot = file.find(".ko");
        if (dot == std::string::npos || dot == 0) dot = file.rfind('.');
        if (dot == std::string::npos || dot == 0) dot = file.size();
        parts.file = file.substr(0, dot);
        parts.extension = file.substr(dot);
        return parts;
    }
    std::string rest = name;
    if (rest.size() >= 2 && rest[1] == ':') {
        parts.drive = rest.substr(0, 2);
        rest = rest.substr(2);
    }
    std::size_t slash = rest.find_last_of("\\/");
    if (slash != std::string::npos) {
        parts.directory = rest.substr(0, slash + 1);
        rest = rest.substr(slash + 1);
    }
    std::size_t dot = rest.rfind('.');
    if (dot == std::string::npos) dot = rest.size();
    parts.file = rest.substr(0, dot);
    parts.extension = rest.substr(dot);
    return parts;
}

bool IsDriverExtension(const DriverName& name) {
    if (!name.linux_path) return cx::EqualsIgnoringCase(name.extension, ".sys");
    for (const char* extension : {".ko", ".ko.xz", ".ko.zst", ".ko.gz"}) {
        if (name.extension == extension) return true;
    }
    return false;
}

std::vector<std::string> DriverCandidates(const DriverName& name, const std::string& windows_dir) {
    const std::string file = name.file + name.extension;
    if (name.linux_path) return {name.directory + file};
    std::vector<std::string> candidates;
    if (!name.drive.empty()) {
        candidates.push_back(name.drive + name.directory + file);
    } else if (!name.directory.empty()) {
        std::string upper = Upper(name.directory);
        std::size_t system32 = upper.find("\\SYSTEM32");
        if (system32 != std::string::npos) {
            candidates.push_back(windows_dir + upper.substr(system32) + file);
        }
    } else {
        candidates.push_back(windows_dir + "\\system32\\drivers\\" + file);
    }
    candidates.push_back(windows_dir + "\\system32\\" + file);
    return candidates;
}

}  // namespace cx::software
