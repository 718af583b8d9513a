// Key path splitting and name folding.
#include "registry/key_path.h"

#include "platform/winerror.h"

namespace cx::platform::registry {

LONG SplitKeyPath(std::string_view path, std::vector<std::string_view>* parts) {
    parts->clear();
    if (!path.empty() && path.front() == '\\') return ERROR_BAD_PATHNAME;
    size_t position = 0;
    while (position < path.size()) {
        size_t end = path.find('\\', position);
        if (end == std::string_view::npos) end = path.size();
        if (end > position) {
            std::string_view name = path.substr(position, end - position);
            if (name.size() > kMaxKeyNameLength || parts->size() >= kMaxKeyDepth)
                return ERROR_INVALID_PARAMETER;
            parts->push_back(name);
        }
        position = end + 1;
    }
    return ERROR_SUCCESS;
}

std::string FoldName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return folded;
}

}  // namespace cx::platform::registry
