// cx-switchd --register: the class's LocalServer value (unix:PATH) written into the registry,
// where the agents look for the server. Another writer may hold the registry store for a long
// time; the server does not wait for it but serves and keeps trying in the background.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

namespace cx::switchd {

class Registration {
  public:
    // The value for a server on `socket_path` (made absolute).
    explicit Registration(const std::string& socket_path);
    // Ends the retries (a write under way is finished first).
    ~Registration() = default;
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

    // Starts writing; waits at most `bound` for the first attempt, so that in the common case
    // whoever finds the socket also finds the value. Tries again after a failure with waits
    // that double up to kMaxRetryWait, logging the first failure and the success.
    void Start(std::chrono::milliseconds bound);

    static constexpr std::chrono::seconds kMaxRetryWait{60};

  private:
    void Run(std::stop_token stop);

    std::string value_;
    std::mutex lock_;
    std::condition_variable_any changed_;
    bool first_done_ = false;
    std::jthread thread_;
};

}  // namespace cx::switchd
