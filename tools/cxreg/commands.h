// The cxreg commands. Each returns the process exit status: 0 done, 1 failed, 2 wrong usage.
#pragma once

#include <string>
#include <vector>

namespace cxreg {

int Import(const std::string& file);
int Export(const std::string& key);
int Query(const std::string& key, const std::string* value);
int Set(const std::string& key, const std::string& value, const std::string& type,
        const std::vector<std::string>& data);
int Delete(const std::string& key, const std::string* value);

}  // namespace cxreg
