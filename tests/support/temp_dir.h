// A private temporary directory for one test, removed with everything in it afterwards.
#pragma once

#include <string>

namespace cx::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Path() + "/" + name.
    std::string File(const std::string& name) const;

  private:
    std::string path_;
};

}  // namespace cx::test
