// .reg text as regedit writes it ("Windows Registry Editor Version 5.00" or "REGEDIT4"):
// the parser and the writer that cxreg, the store's import and export and the fuzz target
// share. Both work on bytes in memory, never on files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/winreg.h"

namespace cx::platform {

struct RegTextValue {
    std::string name;     // "" is the key's default value, written @
    bool remove = false;  // "name"=-
    DWORD type = REG_NONE;
    std::string data;  // as stored; string types in the process's encoding (UTF-8)
};

struct RegTextKey {
    std::string path;          // root and sub-key: HKEY_LOCAL_MACHINE\SOFTWARE\...
    bool remove = false;       // [-path]: the key and everything below it
    bool is_volatile = false;  // written as the comment "; volatile" right above the key
    int line = 0;              // where the key's section starts in the text
    std::vector<RegTextValue> values;
};

struct RegTextParse {
    std::vector<RegTextKey> keys;
    int error_line = 0;  // 0 when the text is well formed
    std::string error;   // what is wrong on that line
};

// Accepts UTF-8 (with or without BOM) and UTF-16LE with BOM, CRLF or LF line ends.
RegTextParse ParseRegText(std::string_view bytes);

// Always the 5.00 dialect, UTF-8, LF line ends; string data that "text" cannot carry
// exactly (missing or embedded NULs, line breaks) goes out as hex(1).
std::string WriteRegText(const std::vector<RegTextKey>& keys);

// Splits "HKEY_LOCAL_MACHINE\SOFTWARE\x" (short forms such as HKLM too, any letter case)
// into the root key and the rest. False for an unknown root.
bool SplitRootPath(std::string_view path, HKEY* root, std::string_view* sub_key);
// The full name of a root key, or nullptr.
const char* RootKeyName(HKEY root);

}  // namespace cx::platform
