// Points standard error at a file or a pipe for the length of a test, and back afterwards.
#pragma once

#include <string>

namespace cx::test {

class StderrCapture {
  public:
    // Standard error goes to `path` (created or truncated).
    explicit StderrCapture(const std::string& path);
    // Standard error goes to a pipe that nobody reads; it is filled up front.
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

  private:
    int saved_ = -1;
    int pipe_read_ = -1;
};

}  // namespace cx::test
