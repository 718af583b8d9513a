// An environment variable set for one test (a zone, a time scale, a path to expand) and put
// back as it was afterwards.
#pragma once

#include <optional>
#include <string>

namespace cx::test {

// Sets `name` for the life of this object; the C library's zone and the agent's time scale are
// reread on every change, so that TZ and CX_TIME_SCALE take effect at once.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    void Set(const std::string& value) const;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace cx::test
