// What the scan benchmarks share: counting a trace's or journal's lines, and keeping the servers
// of one argument while Google Benchmark calls the function for it again and again.
#pragma once

#include <fstream>
#include <memory>
#include <string>

namespace cx::test {

// How many lines of the file at `path` hold `marker`.
inline std::size_t Lines(const std::string& path, const char* marker) {
    std::ifstream in(path);
    std::size_t count = 0;
    for (std::string line; std::getline(in, line);)
        count += line.find(marker) != std::string::npos;
    return count;
}

// The servers for `size`, made on its first call; those of the size before are stopped first.
template <class Servers>
Servers& ServersFor(int size) {
    static std::unique_ptr<Servers> servers;
    static int made_for = -1;
    if (made_for != size) {
        servers.reset();
        servers = std::make_unique<Servers>(size);
        made_for = size;
    }
    return *servers;
}

}  // namespace cx::test
