// The sockets a process holds, as the kernel lists them under /proc: what a daemon listens on
// and where its sockets are bound.
#include "process_sockets.h"

#include <arpa/inet.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace cx::test {
namespace {

std::set<std::string> SocketInodes(pid_t pid) {
    std::set<std::string> inodes;
    std::error_code error;
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    for (const auto& entry : std::filesystem::directory_iterator(fds, error)) {
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (target.rfind("socket:[", 0) == 0) inodes.insert(target.substr(8, target.size() - 9));
    }
    return inodes;
}

// "0100007F" (IPv4) or four such words (IPv6): the address's words in the kernel's memory order.
std::string AddressText(const std::string& hex) {
    char text[INET6_ADDRSTRLEN] = {};
    std::uint32_t words[4] = {};
    for (std::size_t i = 0; i < hex.size() / 8 && i < 4; ++i)
        words[i] = static_cast<std::uint32_t>(std::stoul(hex.substr(i * 8, 8), nullptr, 16));
    inet_ntop(hex.size() == 8 ? AF_INET : AF_INET6, words, text, sizeof(text));
    return text;
}

}  // namespace

std::vector<ProcessSocket> ProcessSockets(pid_t pid) {
    const std::set<std::string> inodes = SocketInodes(pid);
    std::vector<ProcessSocket> sockets;
    for (const char* protocol : {"tcp", "tcp6", "udp", "udp6"}) {
        std::ifstream table("/proc/" + std::to_string(pid) + "/net/" + protocol);
        std::string line;
        std::getline(table, line);  // the heading
        while (std::getline(table, line)) {
            std::istringstream fields(line);
            std::string skip, local, inode;
            fields >> skip >> local;
            for (int field = 3; field <= 10; ++field)
                fields >> inode;  // the tenth field
            const auto colon = local.find(':');
            if (colon == std::string::npos || inodes.count(inode) == 0) continue;
            sockets.push_back(ProcessSocket{protocol, AddressText(local.substr(0, colon)),
                                            std::stoi(local.substr(colon + 1), nullptr, 16)});
        }
    }
    return sockets;
}

}  // namespace cx::test
