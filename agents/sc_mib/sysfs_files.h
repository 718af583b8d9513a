// The small reads below /sys that SC_MIB's readers share. No exceptions: a device that goes away
// while it is read costs what was still to be read of it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace cx::scmib {

// A sysfs attribute's contents (at most one page); nullopt when it cannot be read.
std::optional<std::string> ReadSmallFile(const std::filesystem::path& path);

// The entries of a directory, sorted by name; none when it cannot be read. A directory that
// goes away while it is listed ends the list.
std::vector<std::filesystem::path> Entries(const std::filesystem::path& dir);

}  // namespace cx::scmib
