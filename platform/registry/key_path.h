// Key paths and names as Windows reads them: backslash-separated, compared without case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/windef.h"

namespace cx::platform::registry {

constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
constexpr size_t kMaxKeyDepth = 512;

// Splits a path below an open key. A leading backslash is refused (ERROR_BAD_PATHNAME);
// runs of backslashes count as one and trailing ones are ignored; a name longer than 255
// characters or a path deeper than 512 keys is ERROR_INVALID_PARAMETER.
LONG SplitKeyPath(std::string_view path, std::vector<std::string_view>* parts);

// The form names are compared and ordered in: ASCII letters upper-cased.
std::string FoldName(std::string_view name);

}  // namespace cx::platform::registry
