// What the trace tests share: a registry and directory of the test's own for CFileDebug, a
// datagram socket standing in for the system log, and standard error pointed elsewhere.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "child_process.h"
#include "platform/debug.h"
#include "platform/registry_store.h"
#include "platform/winreg.h"
#include "temp_dir.h"

namespace cx::test {

inline constexpr char kApplication[] = "CX_MIB";

class TraceFixture : public ::testing::Test {
  protected:
    TraceFixture() { CxRegistrySetPath(directory_.File("registry.db").c_str()); }
    ~TraceFixture() override { CxRegistrySetPath(nullptr); }

    // A value of "SOFTWARE\Debug" (empty `subkey`) or of "SOFTWARE\Debug\<subkey>".
    void SetValue(const std::string& subkey, const char* name, DWORD type, const void* data,
                  DWORD size) {
        std::string path = "SOFTWARE\\Debug" + (subkey.empty() ? "" : "\\" + subkey);
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void SetDword(const std::string& subkey, const char* name, DWORD value) {
        SetValue(subkey, name, REG_DWORD, &value, sizeof(value));
    }
    void SetText(const std::string& subkey, const char* name, const std::string& text,
                 DWORD type = REG_SZ) {
        SetValue(subkey, name, type, text.c_str(), static_cast<DWORD>(text.size() + 1));
    }
    // The application's file sink at `level`, writing to TracePath().
    void UseTraceFile(DWORD level) {
        SetDword(kApplication, "FileDebugLevel", level);
        SetText(kApplication, "TraceFile", TracePath());
    }
    std::string TracePath() const { return directory_.File("trace.log"); }
    // The trace file as written, "\r\n" and all; empty when there is none.
    std::string TraceText() const { return ReadFile(TracePath()); }

    TempDir directory_;
};

// Binds a socket in its own directory and points OutputDebugStringA at it; points it back
// at the system log when destroyed.
class LogReceiver {
  public:
    LogReceiver() {
        std::string path = directory_.File("log");
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
            ADD_FAILURE() << "cannot bind " << path;
        CxSetDebugOutputSocket(path.c_str());
    }
    ~LogReceiver() {
        CxSetDebugOutputSocket(nullptr);
        if (fd_ >= 0) close(fd_);
    }
    LogReceiver(const LogReceiver&) = delete;
    LogReceiver& operator=(const LogReceiver&) = delete;

    // The next records, waiting at most `limit` for each.
    std::vector<std::string> Receive(size_t count,
                                     std::chrono::milliseconds limit = std::chrono::seconds(5)) {
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
    // Records that are waiting now.
    std::vector<std::string> ReceiveWaiting() { return Receive(SIZE_MAX, {}); }
    // The text after the "<15>Mmm dd hh:mm:ss NAME[PID]: " header, checking the header.
    static std::string Message(const std::string& record, const std::string& name) {
        std::regex header("<15>[A-Z][a-z]{2} [ 123][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] " + name +
                          "\\[" + std::to_string(getpid()) + "\\]: ");
        std::smatch match;
        if (!std::regex_search(record, match, header) || match.position(0) != 0) {
            ADD_FAILURE() << "record without the expected header: " << record.substr(0, 80);
            return record;
        }
        return match.suffix();
    }

  private:
    TempDir directory_;
    int fd_ = -1;
};

// Points standard error at a file, or at a full pipe that nobody reads, until destroyed.
class StderrCapture {
  public:
    explicit StderrCapture(const std::string& path) : saved_(dup(STDERR_FILENO)) {
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || dup2(fd, STDERR_FILENO) < 0) ADD_FAILURE() << "cannot redirect to " << path;
        if (fd >= 0) close(fd);
    }
    StderrCapture() : saved_(dup(STDERR_FILENO)) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "cannot make a pipe";
            return;
        }
        pipe_read_ = ends[0];
        // Fill it without blocking, then leave the writing end blocking as standard error is.
        fcntl(ends[1], F_SETFL, O_NONBLOCK);
        char block[4096] = {};
        while (write(ends[1], block, sizeof(block)) > 0) {
        }
        while (write(ends[1], block, 1) > 0) {
        }
        fcntl(ends[1], F_SETFL, 0);
        dup2(ends[1], STDERR_FILENO);
        close(ends[1]);
    }
    ~StderrCapture() {
        dup2(saved_, STDERR_FILENO);
        close(saved_);
        if (pipe_read_ >= 0) close(pipe_read_);
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

  private:
    int saved_ = -1;
    int pipe_read_ = -1;
};

}  // namespace cx::test
