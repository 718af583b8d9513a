// /proc/<pid>/status and /proc/<pid>/stat parsers.
#include "debug/proc_status.h"

#include <charconv>

namespace cx::platform {
namespace {

// The number that starts `text` after blanks; nullopt when there is none or it overflows.
std::optional<std::uint64_t> LeadingNumber(std::string_view text) {
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) return std::nullopt;
    std::uint64_t value = 0;
    auto [end, error] = std::from_chars(text.data() + start, text.data() + text.size(), value);
    if (error != std::errc() || end == text.data() + start) return std::nullopt;
    return value;
}

}  // namespace

ProcMemory ParseProcStatus(std::string_view text) {
    ProcMemory memory;
    struct Field {
        std::string_view key;
        std::uint64_t ProcMemory::*target;
    };
    static constexpr Field kFields[] = {
        {"VmRSS:", &ProcMemory::resident_kb},
        {"VmHWM:", &ProcMemory::peak_resident_kb},
        {"RssAnon:", &ProcMemory::anonymous_kb},
        {"VmSwap:", &ProcMemory::swapped_kb},
    };
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        for (const Field& field : kFields) {
            if (line.substr(0, field.key.size()) != field.key) continue;
            if (auto value = LeadingNumber(line.substr(field.key.size()))) {
                memory.*field.target = *value;
            }
        }
    }
    return memory;
}

std::optional<std::uint64_t> ParseStatPageFaults(std::string_view text) {
    // The command name in parentheses may hold blanks and parentheses itself; the fields
    // after the last ')' are: state ppid pgrp session tty_nr tpgid flags minflt cminflt majflt.
    size_t close = text.rfind(')');
    if (close == std::string_view::npos) return std::nullopt;
    text = text.substr(close + 1);
    std::optional<std::uint64_t> minor;
    for (int field = 0; field < 10; ++field) {
        size_t start = text.find_first_not_of(' ');
        if (start == std::string_view::npos) return std::nullopt;
        text = text.substr(start);
        if (field == 7) minor = LeadingNumber(text);
        if (field == 9) {
            auto major = LeadingNumber(text);
            if (!minor || !major) return std::nullopt;
            return *minor + *major;
        }
        size_t blank = text.find(' ');
        if (blank == std::string_view::npos) return std::nullopt;
        text = text.substr(blank);
    }
    return std::nullopt;
}

}  // namespace cx::platform
