// GetPrivateProfileStringA, GetPrivateProfileIntA, WritePrivateProfileStringA: the Windows
// argument and buffer rules on top of the profile cache.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/errors.h"
#include "platform/profile.h"
#include "profile/ini_document.h"
#include "profile/profile_cache.h"

namespace cx::platform {
namespace {

// One pair of matching quotes around a value is not part of it.
std::string_view Unquote(std::string_view text) {
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
        text.back() == text.front()) {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

// The default as Windows uses it: NULL is empty, trailing blanks are cut.
std::string_view Fallback(LPCSTR default_value) {
    std::string_view text = default_value != nullptr ? default_value : "";
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

// Copies a value, cut to size - 1 characters; the result is the number copied.
DWORD CopyValue(std::string_view value, LPSTR buffer, DWORD size, bool* cut) {
    value = Unquote(value);
    size_t length = std::min<size_t>(value.size(), size - 1);
    std::memcpy(buffer, value.data(), length);
    buffer[length] = '\0';
    *cut = length < value.size();
    return static_cast<DWORD>(length);
}

// A list of names, each NUL-terminated, the list ended by one more NUL. A name that does not
// fit is cut so that two NULs end the buffer, and the result becomes size - 2.
class ListWriter {
  public:
    ListWriter(LPSTR buffer, DWORD size) : buffer_(buffer), size_(size) {}

    bool Add(std::string_view name) {
        if (used_ + name.size() + 2 <= size_) {
            std::memcpy(buffer_ + used_, name.data(), name.size());
            used_ += name.size();
            buffer_[used_++] = '\0';
            return true;
        }
        cut_ = true;
        if (used_ + 2 <= size_) {
            size_t room = size_ - used_ - 2;
            std::memcpy(buffer_ + used_, name.data(), room);
            used_ += room;
        } else {
            used_ = size_ - 2;  // the previous name's NUL and the last byte end the list
        }
        return false;
    }

    bool Empty() const { return used_ == 0 && !cut_; }
    bool Cut() const { return cut_; }

    DWORD Finish() {
        buffer_[used_] = '\0';
        if (!cut_) return static_cast<DWORD>(used_);
        buffer_[used_ + 1] = '\0';
        return size_ - 2;
    }

  private:
    LPSTR buffer_;
    size_t size_;
    size_t used_ = 0;
    bool cut_ = false;
};

// Section and key names: blanks around them do not count; what is left must be something a
// file line can carry and give back.
bool ValidSectionName(std::string_view name) {
    return !name.empty() && name.find_first_of("\r\n") == std::string_view::npos;
}

bool ValidKeyName(std::string_view name) {
    return !name.empty() && name.find_first_of("\r\n=") == std::string_view::npos &&
           name.front() != ';' && name.front() != '[';
}

// A value is one line: line breaks in it become blanks instead of starting new lines that
// would be read as keys of their own.
std::string CleanValue(std::string_view value) {
    std::string clean(value);
    std::replace_if(
        clean.begin(), clean.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return std::string(TrimBlanks(clean));
}

// GetPrivateProfileIntA's reading of a number: leading blanks, a sign, an optional 0x, 0o or
// 0b prefix, then digits up to the first character that is not one; 32-bit wrap-around.
UINT ParseNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ')
        ++i;
    bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    unsigned base = 10;
    if (i + 1 < text.size() && text[i] == '0') {
        char prefix = text[i + 1];
        base = prefix == 'x' ? 16 : prefix == 'o' ? 8 : prefix == 'b' ? 2 : 10;
        if (base != 10) i += 2;
    }
    UINT value = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        unsigned digit = c >= '0' && c <= '9'   ? static_cast<unsigned>(c - '0')
                         : c >= 'a' && c <= 'f' ? static_cast<unsigned>(c - 'a' + 10)
                         : c >= 'A' && c <= 'F' ? static_cast<unsigned>(c - 'A' + 10)
                                                : 99;
        if (digit >= base) break;
        value = value * base + digit;
    }
    return negative ? 0u - value : value;
}

BOOL Finish(DWORD error) {
    SetLastError(error);
    return error == ERROR_SUCCESS ? TRUE : FALSE;
}

struct ReadResult {
    DWORD length = 0;
    bool exists = false;
    bool found = false;
    bool cut = false;
};

void ReadInto(const IniDocument& document, LPCSTR section, LPCSTR key, std::string_view fallback,
              LPSTR buffer, DWORD size, ReadResult* result) {
    if (section == nullptr || key == nullptr) {
        ListWriter list(buffer, size);
        auto add = [&](std::string_view name) { return list.Add(name); };
        if (section == nullptr) {
            document.VisitSectionNames(add);
        } else {
            document.VisitKeyNames(TrimBlanks(section), add);
        }
        result->found = !list.Empty();
        result->cut = list.Cut();
        if (result->found || fallback.empty()) {
            result->length = list.Finish();
            return;
        }
        // An empty list gives the default, still ended as a list where it fits.
        result->length = CopyValue(fallback, buffer, size, &result->cut);
        if (result->length + 1 < size) buffer[result->length + 1] = '\0';
        return;
    }
    const std::string* value = document.Find(TrimBlanks(section), TrimBlanks(key));
    result->found = value != nullptr;
    result->length = CopyValue(value != nullptr ? *value : fallback, buffer, size, &result->cut);
}

}  // namespace
}  // namespace cx::platform

using namespace cx::platform;

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR default_value, LPSTR buffer,
                               DWORD size, LPCSTR file) {
    if (buffer == nullptr || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (size == 1 || file == nullptr || *file == '\0') {
        bool cut = false;
        DWORD length = CopyValue(Fallback(default_value), buffer, size, &cut);
        SetLastError(size == 1 ? ERROR_MORE_DATA : ERROR_INVALID_PARAMETER);
        return length;
    }
    ReadResult result;
    DWORD error = ReadProfile(file, [&](const IniDocument& document, bool exists) {
        result.exists = exists;
        ReadInto(document, section, key, Fallback(default_value), buffer, size, &result);
    });
    if (error == ERROR_SUCCESS) {
        error = !result.exists ? ERROR_FILE_NOT_FOUND
                : result.cut   ? ERROR_MORE_DATA
                : result.found ? ERROR_SUCCESS
                               : ERROR_FILE_NOT_FOUND;
    }
    SetLastError(error);
    return result.length;
}

UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT default_value, LPCSTR file) {
    if (section == nullptr || key == nullptr || file == nullptr || *file == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return static_cast<UINT>(default_value);
    }
    std::string text;
    bool found = false;
    DWORD error = ReadProfile(file, [&](const IniDocument& document, bool) {
        const std::string* value = document.Find(TrimBlanks(section), TrimBlanks(key));
        found = value != nullptr;
        if (found) text = Unquote(*value);
    });
    SetLastError(error != ERROR_SUCCESS ? error : found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    if (text.empty()) return static_cast<UINT>(default_value);
    return ParseNumber(text);
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) {
    if (section == nullptr && key == nullptr && value == nullptr) {
        return Finish(FlushProfile(file != nullptr && *file != '\0' ? file : nullptr));
    }
    if (section == nullptr || file == nullptr || *file == '\0') {
        return Finish(ERROR_INVALID_PARAMETER);
    }
    ProfileChange change;
    change.section = TrimBlanks(section);
    if (!ValidSectionName(change.section)) return Finish(ERROR_INVALID_PARAMETER);
    if (key == nullptr) {
        change.kind = ProfileChange::Kind::kDeleteSection;
        return Finish(ChangeProfile(file, std::move(change)));
    }
    change.key = TrimBlanks(key);
    if (!ValidKeyName(change.key)) return Finish(ERROR_INVALID_PARAMETER);
    if (value == nullptr) {
        change.kind = ProfileChange::Kind::kDeleteKey;
    } else {
        change.kind = ProfileChange::Kind::kSet;
        change.value = CleanValue(value);
    }
    return Finish(ChangeProfile(file, std::move(change)));
}
