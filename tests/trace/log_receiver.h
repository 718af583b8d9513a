// A datagram socket that stands in for the system log, for tests of the debugger output.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace cx::test {

// Binds a socket in its own directory and points OutputDebugStringA at it; points it back
// at the system log when destroyed.
class LogReceiver {
  public:
    LogReceiver();
    ~LogReceiver();
    LogReceiver(const LogReceiver&) = delete;
    LogReceiver& operator=(const LogReceiver&) = delete;

    // The next records, waiting at most `limit` for each.
    std::vector<std::string> Receive(size_t count,
                                     std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Records that are waiting now.
    std::vector<std::string> ReceiveWaiting();
    // The text after the "<15>Mmm dd hh:mm:ss NAME[PID]: " header, checking the header.
    static std::string Message(const std::string& record, const std::string& name);

  private:
    TempDir directory_;
    int fd_ = -1;
};

}  // namespace cx::test
