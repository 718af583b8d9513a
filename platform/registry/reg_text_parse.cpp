// Parser of .reg text: the whole text is read and checked before anything uses it.
#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/ascii_case.h"
#include "platform/reg_text.h"
#include "registry/key_path.h"
#include "registry/utf16.h"

namespace cx::platform {
namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kVolatileMark = "; volatile";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// 1 to 8 hexadecimal digits.
bool ParseHexNumber(std::string_view digits, std::uint32_t* value) {
    if (digits.empty() || digits.size() > 8) return false;
    *value = 0;
    for (char c : digits) {
        int digit = HexDigit(c);
        if (digit < 0) return false;
        *value = (*value << 4) | static_cast<std::uint32_t>(digit);
    }
    return true;
}

class Parser {
  public:
    RegTextParse Run(std::string_view bytes);

  private:
    bool Fail(int line, std::string what) {
        result_.error_line = line;
        result_.error = std::move(what);
        return false;
    }
    bool Decode(std::string_view bytes);
    bool NextLine(std::string* line, int* number);
    bool ParseKeyLine(std::string_view line, int number);
    bool ParseValueLine(std::string_view line, int number);
    bool ParseData(std::string_view data, int number, RegTextValue* value);
    bool ParseQuoted(std::string_view line, size_t* position, int number, std::string* text);
    bool ParseHexList(std::string_view list, int number, std::string* bytes);

    std::string text_;
    std::vector<std::string_view> lines_;
    size_t next_ = 0;
    bool unicode_ = true;
    bool pending_volatile_ = false;
    RegTextParse result_;
};

bool Parser::Decode(std::string_view bytes) {
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        if (!registry::Utf16leToBytes(bytes.substr(2), &text_))
            return Fail(1, "the text is not valid UTF-16LE");
    } else if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
        return Fail(1, "UTF-16 big-endian text is not supported; use UTF-8 or UTF-16LE");
    } else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        text_.assign(bytes.substr(3));
    } else {
        text_.assign(bytes);
    }
    size_t nul = text_.find('\0');
    if (nul != std::string::npos) {
        int line = 1 + static_cast<int>(std::count(text_.begin(), text_.begin() + nul, '\n'));
        return Fail(line, "NUL character in the text");
    }
    std::string_view rest(text_);
    while (true) {
        size_t end = rest.find('\n');
        lines_.push_back(rest.substr(0, end));
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return true;
}

// The next logical line: value lines ending in a backslash go on in the next line.
bool Parser::NextLine(std::string* line, int* number) {
    if (next_ >= lines_.size()) return false;
    *number = static_cast<int>(next_) + 1;
    std::string_view first = TrimLeft(TrimRight(lines_[next_++]));
    line->assign(first);
    if (first.empty() || first.front() == '[' || first.front() == ';') return true;
    while (!line->empty() && line->back() == '\\' && next_ < lines_.size()) {
        line->pop_back();
        line->append(TrimLeft(TrimRight(lines_[next_++])));
    }
    return true;
}

RegTextParse Parser::Run(std::string_view bytes) {
    if (!Decode(bytes)) return std::move(result_);
    std::string_view header = TrimRight(lines_[0]);
    if (header == kHeader5) {
        unicode_ = true;
    } else if (header == kHeader4) {
        unicode_ = false;
    } else {
        Fail(1, "the first line must be \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"");
        return std::move(result_);
    }
    next_ = 1;
    std::string line;
    int number = 0;
    while (NextLine(&line, &number)) {
        bool ok = true;
        if (line.empty()) {
            pending_volatile_ = false;
        } else if (line.front() == ';') {
            pending_volatile_ = line == kVolatileMark;
        } else if (line.front() == '[') {
            ok = ParseKeyLine(line, number);
            pending_volatile_ = false;
        } else if (line.front() == '"' || line.front() == '@') {
            ok = ParseValueLine(line, number);
            pending_volatile_ = false;
        } else {
            ok = Fail(number, "expected [KEY], \"name\"=data, @=data or a ; comment");
        }
        if (!ok) {
            result_.keys.clear();
            return std::move(result_);
        }
    }
    return std::move(result_);
}

bool Parser::ParseKeyLine(std::string_view line, int number) {
    size_t close = line.rfind(']');
    if (close == std::string_view::npos) return Fail(number, "missing ] at the end of the key");
    if (!TrimLeft(line.substr(close + 1)).empty())
        return Fail(number, "text after the ] of the key");
    std::string_view path = line.substr(1, close - 1);
    RegTextKey key;
    key.line = number;
    if (!path.empty() && path.front() == '-') {
        key.remove = true;
        path.remove_prefix(1);
    }
    HKEY root = nullptr;
    std::string_view sub_key;
    if (!SplitRootPath(path, &root, &sub_key))
        return Fail(number, "unknown root key \"" + std::string(path.substr(0, path.find('\\'))) +
                                "\" (HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT "
                                "or HKEY_USERS)");
    std::vector<std::string_view> parts;
    LONG status = registry::SplitKeyPath(sub_key, &parts);
    if (status == ERROR_BAD_PATHNAME) return Fail(number, "empty key name after the root key");
    if (status != ERROR_SUCCESS)
        return Fail(number, "key name longer than 255 characters or path deeper than 512 keys");
    if (key.remove && parts.empty()) return Fail(number, "a root key cannot be deleted");
    key.path.assign(path);
    key.is_volatile = !key.remove && pending_volatile_;
    result_.keys.push_back(std::move(key));
    return true;
}

bool Parser::ParseValueLine(std::string_view line, int number) {
    if (result_.keys.empty()) return Fail(number, "value before the first [KEY]");
    if (result_.keys.back().remove) return Fail(number, "value under a key being deleted");
    RegTextValue value;
    size_t position = 0;
    if (line.front() == '@') {
        position = 1;
    } else if (!ParseQuoted(line, &position, number, &value.name)) {
        return false;
    }
    if (value.name.size() > registry::kMaxValueNameLength)
        return Fail(number, "value name longer than 16383 characters");
    std::string_view rest = TrimLeft(line.substr(position));
    if (rest.empty() || rest.front() != '=') return Fail(number, "expected = after the value name");
    if (!ParseData(TrimLeft(rest.substr(1)), number, &value)) return false;
    result_.keys.back().values.push_back(std::move(value));
    return true;
}

bool Parser::ParseData(std::string_view data, int number, RegTextValue* value) {
    if (data == "-") {
        value->remove = true;
        return true;
    }
    if (!data.empty() && data.front() == '"') {
        size_t position = 0;
        std::string text;
        if (!ParseQuoted(data, &position, number, &text)) return false;
        if (!TrimLeft(data.substr(position)).empty())
            return Fail(number, "text after the closing quote");
        value->type = REG_SZ;
        value->data = text + '\0';
        return true;
    }
    if (StartsWithIgnoringCase(data, "dword:")) {
        std::uint32_t number_value = 0;
        if (!ParseHexNumber(data.substr(6), &number_value))
            return Fail(number, "dword: needs 1 to 8 hexadecimal digits");
        value->type = REG_DWORD;
        for (int shift = 0; shift < 32; shift += 8)
            value->data.push_back(static_cast<char>((number_value >> shift) & 0xff));
        return true;
    }
    if (StartsWithIgnoringCase(data, "hex:")) {
        value->type = REG_BINARY;
        return ParseHexList(data.substr(4), number, &value->data);
    }
    if (StartsWithIgnoringCase(data, "hex(")) {
        size_t close = data.find(')');
        std::uint32_t type = 0;
        if (close == std::string_view::npos || !ParseHexNumber(data.substr(4, close - 4), &type))
            return Fail(number, "hex(N): needs a type of 1 to 8 hexadecimal digits");
        if (close + 1 >= data.size() || data[close + 1] != ':')
            return Fail(number, "expected : after hex(N)");
        value->type = type;
        std::string bytes;
        if (!ParseHexList(data.substr(close + 2), number, &bytes)) return false;
        // The 5.00 dialect carries string types as UTF-16LE; REGEDIT4 as they are stored.
        bool is_string = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
        if (unicode_ && is_string) {
            if (!registry::Utf16leToBytes(bytes, &value->data))
                return Fail(number, "string data in hex(" + std::string(data.substr(4, close - 4)) +
                                        ") is not UTF-16LE");
        } else {
            value->data = std::move(bytes);
        }
        return true;
    }
    return Fail(number, "unknown data: expected \"text\", dword:, hex:, hex(N): or -");
}

bool Parser::ParseQuoted(std::string_view line, size_t* position, int number, std::string* text) {
    size_t i = *position + 1;  // past the opening quote
    while (i < line.size()) {
        char c = line[i++];
        if (c == '"') {
            *position = i;
            return true;
        }
        if (c == '\\') {
            if (i >= line.size()) break;
            char escaped = line[i++];
            if (escaped != '\\' && escaped != '"')
                return Fail(number, std::string("unknown escape \\") + escaped +
                                        " (only \\\\ and \\\" are allowed)");
            c = escaped;
        }
        text->push_back(c);
    }
    return Fail(number, "missing closing quote");
}

bool Parser::ParseHexList(std::string_view list, int number, std::string* bytes) {
    list = TrimRight(list);
    while (!list.empty()) {
        size_t comma = list.find(',');
        std::string_view token = TrimRight(TrimLeft(list.substr(0, comma)));
        std::uint32_t byte = 0;
        if (token.size() > 2 || !ParseHexNumber(token, &byte))
            return Fail(number, "bad byte \"" + std::string(token) + "\" in hex data");
        bytes->push_back(static_cast<char>(byte));
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
        list = TrimLeft(list);  // a comma may end the list
    }
    return true;
}

}  // namespace

RegTextParse ParseRegText(std::string_view bytes) { return Parser().Run(bytes); }

}  // namespace cx::platform
