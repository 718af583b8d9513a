// Writer of .reg text in the 5.00 dialect, laid out as regedit lays it out.
#include <cstdio>
#include <string>

#include "platform/reg_text.h"
#include "registry/utf16.h"

namespace cx::platform {
namespace {

// regedit breaks hex data before a line would pass this width.
constexpr size_t kLineWidth = 80;

std::string Quote(std::string_view text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') quoted.push_back('\\');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    return quoted;
}

// REG_SZ data that "text" gives back exactly: one terminating NUL, no other, no line break.
bool FitsQuotedText(std::string_view data) {
    if (data.empty() || data.back() != '\0') return false;
    data.remove_suffix(1);
    return data.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos;
}

void AppendHex(std::string* out, size_t line_start, const char* prefix, std::string_view bytes) {
    out->append(prefix);
    size_t column = out->size() - line_start;
    for (size_t i = 0; i < bytes.size(); ++i) {
        char token[4];
        bool last = i + 1 == bytes.size();
        std::snprintf(token, sizeof(token), last ? "%02x" : "%02x,",
                      static_cast<unsigned>(static_cast<unsigned char>(bytes[i])));
        size_t width = last ? 2 : 3;
        if (column + width + 1 > kLineWidth) {  // room for the continuation backslash
            out->append("\\\n  ");
            column = 2;
        }
        out->append(token);
        column += width;
    }
}

void AppendValue(std::string* out, const RegTextValue& value) {
    size_t line_start = out->size();
    out->append(value.name.empty() ? "@" : Quote(value.name));
    out->push_back('=');
    if (value.remove) {
        out->push_back('-');
    } else if (value.type == REG_SZ && FitsQuotedText(value.data)) {
        out->append(Quote(std::string_view(value.data).substr(0, value.data.size() - 1)));
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
        unsigned number = 0;
        for (int i = 3; i >= 0; --i)
            number = (number << 8) | static_cast<unsigned char>(value.data[static_cast<size_t>(i)]);
        char text[16];
        std::snprintf(text, sizeof(text), "dword:%08x", number);
        out->append(text);
    } else if (value.type == REG_BINARY) {
        AppendHex(out, line_start, "hex:", value.data);
    } else {
        char prefix[16];
        std::snprintf(prefix, sizeof(prefix), "hex(%x):", static_cast<unsigned>(value.type));
        bool is_string =
            value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
        AppendHex(out, line_start, prefix,
                  is_string ? registry::BytesToUtf16le(value.data) : value.data);
    }
    out->push_back('\n');
}

}  // namespace

std::string WriteRegText(const std::vector<RegTextKey>& keys) {
    std::string out = "Windows Registry Editor Version 5.00\n";
    for (const RegTextKey& key : keys) {
        out.push_back('\n');
        if (key.is_volatile && !key.remove) out.append("; volatile\n");
        out.append(key.remove ? "[-" : "[");
        out.append(key.path);
        out.append("]\n");
        for (const RegTextValue& value : key.values)
            AppendValue(&out, value);
    }
    return out;
}

}  // namespace cx::platform
