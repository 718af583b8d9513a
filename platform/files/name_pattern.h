// Windows file-name wildcards: `*` any run of characters, `?` exactly one, letters compared
// without regard to case (ASCII), "*.*" every name.
#pragma once

#include <string_view>

namespace cx::platform {

bool HasWildcards(std::string_view pattern);
bool MatchesNamePattern(std::string_view name, std::string_view pattern);

}  // namespace cx::platform
