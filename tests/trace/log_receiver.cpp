// LogReceiver.
#include "log_receiver.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <regex>

#include "platform/debug.h"

namespace cx::test {

LogReceiver::LogReceiver() {
    std::string path = directory_.File("log");
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ADD_FAILURE() << "cannot bind " << path;
    }
    CxSetDebugOutputSocket(path.c_str());
}

LogReceiver::~LogReceiver() {
    CxSetDebugOutputSocket(nullptr);
    if (fd_ >= 0) close(fd_);
}

std::vector<std::string> LogReceiver::Receive(size_t count, std::chrono::milliseconds limit) {
    std::vector<std::string> records;
    char buffer[4096];
    while (records.size() < count) {
        pollfd ready{fd_, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(limit.count())) <= 0) break;
        ssize_t got = recv(fd_, buffer, sizeof(buffer), 0);
        if (got < 0) break;
        records.emplace_back(buffer, static_cast<size_t>(got));
    }
    return records;
}

std::vector<std::string> LogReceiver::ReceiveWaiting() {
    return Receive(SIZE_MAX, std::chrono::milliseconds(0));
}

std::string LogReceiver::Message(const std::string& record, const std::string& name) {
    std::regex header("<15>[A-Z][a-z]{2} [ 123][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] " + name +
                      "\\[" + std::to_string(getpid()) + "\\]: ");
    std::smatch match;
    if (!std::regex_search(record, match, header) || match.position(0) != 0) {
        ADD_FAILURE() << "record without the expected header: " << record.substr(0, 80);
        return record;
    }
    return match.suffix();
}

}  // namespace cx::test
