// The string members at the top level of one JSON object; other values are checked and
// skipped. Nesting is bounded so that hostile text cannot exhaust the stack.
#include <string>
#include <string_view>
#include <vector>

#include "platform/version_resource.h"
#include "version/utf8.h"

namespace {

using cx::platform::version::AppendUtf8;

constexpr int kMaxDepth = 32;

class JsonReader {
  public:
    JsonReader(const char* text, std::size_t size) : at_(text), end_(text + size) {}

    bool ReadObject(std::vector<CxVersionString>* members) {
        SkipBlanks();
        if (!Take('{')) return false;
        SkipBlanks();
        if (Take('}')) return AtEnd();
        do {
            CxVersionString member;
            SkipBlanks();
            if (!ReadString(&member.name)) return false;
            SkipBlanks();
            if (!Take(':')) return false;
            SkipBlanks();
            if (Peek() == '"') {
                if (!ReadString(&member.value)) return false;
                members->push_back(std::move(member));
            } else if (!SkipValue(1)) {
                return false;
            }
            SkipBlanks();
        } while (Take(','));
        return Take('}') && AtEnd();
    }

  private:
    char Peek() const { return at_ < end_ ? *at_ : '\0'; }
    bool Take(char expected) {
        if (Peek() != expected || at_ == end_) return false;
        ++at_;
        return true;
    }
    void SkipBlanks() {
        while (at_ < end_ && (*at_ == ' ' || *at_ == '\t' || *at_ == '\n' || *at_ == '\r'))
            ++at_;
    }
    // Trailing blanks and NULs (a note's padding) are allowed after the object.
    bool AtEnd() {
        while (at_ < end_ &&
               (*at_ == '\0' || *at_ == ' ' || *at_ == '\n' || *at_ == '\r' || *at_ == '\t')) {
            ++at_;
        }
        return at_ == end_;
    }

    static int HexValue(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    bool ReadHex4(std::uint32_t* unit) {
        if (end_ - at_ < 4) return false;
        *unit = 0;
        for (int i = 0; i < 4; ++i) {
            int digit = HexValue(*at_++);
            if (digit < 0) return false;
            *unit = *unit << 4 | static_cast<std::uint32_t>(digit);
        }
        return true;
    }

    bool ReadEscape(std::string* text) {
        if (at_ == end_) return false;
        char c = *at_++;
        switch (c) {
            case '"':
            case '\\':
            case '/': *text += c; return true;
            case 'b': *text += '\b'; return true;
            case 'f': *text += '\f'; return true;
            case 'n': *text += '\n'; return true;
            case 'r': *text += '\r'; return true;
            case 't': *text += '\t'; return true;
            case 'u': break;
            default: return false;
        }
        std::uint32_t unit = 0;
        if (!ReadHex4(&unit)) return false;
        if (unit >= 0xD800 && unit < 0xDC00 && end_ - at_ >= 6 && at_[0] == '\\' && at_[1] == 'u') {
            const char* mark = at_;
            at_ += 2;
            std::uint32_t low = 0;
            if (ReadHex4(&low) && low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(*text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                return true;
            }
            at_ = mark;
        }
        AppendUtf8(*text, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
        return true;
    }

    bool ReadString(std::string* text) {
        text->clear();
        if (!Take('"')) return false;
        while (at_ < end_) {
            char c = *at_++;
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                *text += c;
            } else if (!ReadEscape(text)) {
                return false;
            }
        }
        return false;
    }

    bool SkipLiteral(const char* word) {
        for (; *word != '\0'; ++word) {
            if (!Take(*word)) return false;
        }
        return true;
    }

    bool SkipNumber() {
        const char* start = at_;
        while (at_ < end_ && (std::string_view("+-.eE0123456789").find(*at_) != std::string::npos))
            ++at_;
        return at_ != start;
    }

    bool SkipValue(int depth) {
        if (depth > kMaxDepth) return false;
        std::string ignored;
        switch (Peek()) {
            case '"': return ReadString(&ignored);
            case 't': return SkipLiteral("true");
            case 'f': return SkipLiteral("false");
            case 'n': return SkipLiteral("null");
            case '[': return SkipList(']', depth, false);
            case '{': return SkipList('}', depth, true);
            default: return SkipNumber();
        }
    }

    // An array, or an object (with keys), after its opening bracket.
    bool SkipList(char close, int depth, bool with_keys) {
        ++at_;
        SkipBlanks();
        if (Take(close)) return true;
        do {
            SkipBlanks();
            if (with_keys) {
                std::string key;
                if (!ReadString(&key)) return false;
                SkipBlanks();
                if (!Take(':')) return false;
                SkipBlanks();
            }
            if (!SkipValue(depth + 1)) return false;
            SkipBlanks();
        } while (Take(','));
        return Take(close);
    }

    const char* at_;
    const char* end_;
};

}  // namespace

bool CxParseJsonStringMembers(const char* text, std::size_t size,
                              std::vector<CxVersionString>* members) {
    members->clear();
    if (text == nullptr) return false;
    JsonReader reader(text, size);
    if (reader.ReadObject(members)) return true;
    members->clear();
    return false;
}
