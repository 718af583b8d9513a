// Running helper programs from tests: cxini and the crash writer.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace cx::test {

struct ProcessResult {
    int exit_code = -1;  // -1 when the program did not end normally
    std::string output;  // what it wrote to its standard output
};

// Runs the program to its end. `spawn` starts it with posix_spawn, which runs no fork
// handlers; otherwise with fork and exec.
ProcessResult RunProcess(const std::vector<std::string>& argv, bool spawn = false);

// Starts the program with fork and exec and returns its process id.
pid_t StartProcess(const std::vector<std::string>& argv);

}  // namespace cx::test
