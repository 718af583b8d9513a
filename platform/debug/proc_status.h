// Parsers for the kernel's /proc/<pid>/status and /proc/<pid>/stat texts. They take the text,
// not the file, so that tests can feed them recorded and damaged inputs.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace cx::platform {

// Figures in KiB; a line that is missing or unreadable leaves 0.
struct ProcMemory {
    std::uint64_t resident_kb = 0;       // VmRSS
    std::uint64_t peak_resident_kb = 0;  // VmHWM
    std::uint64_t anonymous_kb = 0;      // RssAnon
    std::uint64_t swapped_kb = 0;        // VmSwap
};

ProcMemory ParseProcStatus(std::string_view text);

// Minor plus major page faults from a stat line; nullopt when the line has no such fields.
std::optional<std::uint64_t> ParseStatPageFaults(std::string_view text);

}  // namespace cx::platform
