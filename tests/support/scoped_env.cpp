// An environment variable for one test.
#include "scoped_env.h"

#include <cstdlib>
#include <ctime>

#include "platform/timing.h"

namespace cx::test {
namespace {

void Reread() {
    tzset();
    CxResetTimeScale();
}

}  // namespace

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Set(value);
}

ScopedEnv::~ScopedEnv() {
    if (old_) {
        setenv(name_.c_str(), old_->c_str(), 1);
    } else {
        unsetenv(name_.c_str());
    }
    Reread();
}

void ScopedEnv::Set(const std::string& value) const {
    setenv(name_.c_str(), value.c_str(), 1);
    Reread();
}

}  // namespace cx::test
