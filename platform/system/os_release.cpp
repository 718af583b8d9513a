// os-release: the distribution's names, read with a size limit and parsed without trusting
// the text (quotes may not close, lines may be anything).
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "core/errno_map.h"
#include "platform/eintr.h"
#include "platform/errors.h"
#include "platform/os_info.h"

namespace {

// The value of one assignment with its quoting removed; false when a quote does not close or
// text follows a closing quote.
bool Unquote(std::string_view raw, std::string* value) {
    value->clear();
    std::size_t at = 0;
    while (at < raw.size()) {
        char c = raw[at];
        if (c == '"') {
            ++at;
            bool closed = false;
            while (at < raw.size()) {
                char q = raw[at++];
                if (q == '"') {
                    closed = true;
                    break;
                }
                if (q == '\\' && at < raw.size() &&
                    (raw[at] == '$' || raw[at] == '"' || raw[at] == '\\' || raw[at] == '`')) {
                    q = raw[at++];
                }
                value->push_back(q);
            }
            if (!closed) return false;
        } else if (c == '\'') {
            std::size_t end = raw.find('\'', at + 1);
            if (end == std::string_view::npos) return false;
            value->append(raw.substr(at + 1, end - at - 1));
            at = end + 1;
        } else if (c == ' ' || c == '\t') {
            // Blanks after the value end it; anything but a comment after them is an error.
            std::size_t rest = raw.find_first_not_of(" \t", at);
            return rest == std::string_view::npos || raw[rest] == '#';
        } else {
            if (c == '\\' && at + 1 < raw.size()) ++at;
            value->push_back(raw[at++]);
        }
    }
    return true;
}

std::string* FieldOf(std::string_view key, CxOsRelease* release) {
    if (key == "NAME") return &release->name;
    if (key == "VERSION") return &release->version;
    if (key == "ID") return &release->id;
    if (key == "PRETTY_NAME") return &release->pretty_name;
    if (key == "VENDOR_NAME") return &release->vendor_name;
    if (key == "VERSION_ID") return &release->version_id;
    return nullptr;
}

bool IsKey(std::string_view key) {
    if (key.empty()) return false;
    for (char c : key) {
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
    }
    return true;
}

// Reads at most kCxOsReleaseLimit bytes of `path`; errno-based error or ERROR_SUCCESS.
DWORD ReadLimited(const char* path, std::string* text, bool* cut) {
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return cx::platform::WinErrorFromErrno(errno);
    text->assign(kCxOsReleaseLimit + 1, '\0');
    std::size_t filled = 0;
    while (filled < text->size()) {
        ssize_t got = cx::RetryOnEintr(
            [&] { return read(fd, text->data() + filled, text->size() - filled); });
        if (got < 0) {
            DWORD error = cx::platform::WinErrorFromErrno(errno);
            close(fd);
            return error;
        }
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
    }
    close(fd);
    *cut = filled > kCxOsReleaseLimit;
    text->resize(*cut ? kCxOsReleaseLimit : filled);
    return ERROR_SUCCESS;
}

}  // namespace

void CxParseOsRelease(const char* text, std::size_t size, CxOsRelease* release) {
    std::string_view all(text, text == nullptr ? 0 : size);
    std::string value;
    while (!all.empty()) {
        std::size_t end = all.find('\n');
        std::string_view line = all.substr(0, end);
        all = end == std::string_view::npos ? std::string_view() : all.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#') continue;
        line.remove_prefix(first);
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || !IsKey(line.substr(0, equals)) ||
            !Unquote(line.substr(equals + 1), &value)) {
            ++release->bad_lines;
            continue;
        }
        if (std::string* field = FieldOf(line.substr(0, equals), release)) *field = value;
    }
}

BOOL CxReadOsRelease(CxOsRelease* release) {
    if (release == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *release = CxOsRelease{};
    const char* configured = std::getenv("CX_OS_RELEASE");
    DWORD error = ERROR_FILE_NOT_FOUND;
    std::string text;
    bool cut = false;
    if (configured != nullptr && configured[0] != '\0') {
        error = ReadLimited(configured, &text, &cut);
    } else {
        for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
            error = ReadLimited(path, &text, &cut);
            if (error == ERROR_SUCCESS) break;
        }
    }
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    CxParseOsRelease(text.data(), text.size(), release);
    release->cut = cut;
    return TRUE;
}
