// Inputs and expected texts kept as files under tests/data/<folder>/ (with LF line ends there),
// read as they are or with the CR LF that the profile calls and the trace write.
#pragma once

#include <string>

#include "child_process.h"

namespace cx::test {

// `text` with every "\n" written as "\r\n".
inline std::string Crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// The file `name` of the test's data folder (CX_TEST_DATA, which its target defines).
inline std::string TestData(const std::string& name) {
    return ReadFile(std::string(CX_TEST_DATA) + "/" + name);
}

}  // namespace cx::test
