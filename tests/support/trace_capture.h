// A component's file trace turned on into a file of the test's own, and counts of what it wrote.
#pragma once

#include <cstddef>
#include <string>

#include "registry_values.h"

namespace cx::test {

// FileDebugLevel and TraceFile under SOFTWARE\Debug\<label> in the test's registry; the
// component reads them when its trace starts.
inline void TraceToFile(const std::string& label, const std::string& path, DWORD level = 5) {
    const std::string key = "SOFTWARE\\Debug\\" + label;
    SetRegDword(key, "FileDebugLevel", level);
    SetRegString(key, "TraceFile", path);
}

// How often `what` occurs in `text` (occurrences do not overlap).
inline std::size_t Occurrences(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + what.size()))
        ++count;
    return count;
}

}  // namespace cx::test
