// The small reads below /sys that SC_MIB's readers share.
#include "sysfs_files.h"

#include <algorithm>
#include <fstream>

namespace cx::scmib {

namespace fs = std::filesystem;

namespace {
constexpr std::size_t kMaxFileBytes = 4096;  // a sysfs attribute holds at most one page
}  // namespace

std::optional<std::string> ReadSmallFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string text(kMaxFileBytes, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (file.bad()) return std::nullopt;
    text.resize(static_cast<std::size_t>(file.gcount()));
    return text;
}

std::vector<fs::path> Entries(const fs::path& dir) {
    std::vector<fs::path> entries;
    std::error_code error;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error))
        entries.push_back(it->path());
    std::sort(entries.begin(), entries.end());
    return entries;
}

}  // namespace cx::scmib
