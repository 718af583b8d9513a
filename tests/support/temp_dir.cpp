// TempDir.
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

namespace cx::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "cx-test-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    if (made == nullptr) ADD_FAILURE() << "cannot create a temporary directory";
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::File(const std::string& name) const { return path_ + "/" + name; }

}  // namespace cx::test
