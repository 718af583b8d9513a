// The cxreg commands, on the Reg* calls and the store's .reg import and export.
#include "commands.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "error_text.h"
#include "platform/reg_text.h"
#include "platform/registry_store.h"
#include "platform/winreg.h"

namespace cxreg {
namespace {

// A .reg file larger than this is not one an installation writes.
constexpr std::streamsize kMaxFileSize = 64 << 20;

int Fail(const std::string& subject, LONG error) {
    std::string where = IsStoreError(error) ? CxRegistryPath() : subject;
    std::fprintf(stderr, "cxreg: %s: %s\n", where.c_str(), ErrorText(error).c_str());
    return 1;
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "cxreg: %s (see cxreg --help)\n", message.c_str());
    return 2;
}

bool SplitKey(const std::string& key, HKEY* root, std::string* sub_key) {
    std::string_view rest;
    if (!cx::platform::SplitRootPath(key, root, &rest)) return false;
    sub_key->assign(rest);
    return true;
}

int UnknownRoot(const std::string& key) {
    return Usage("'" + key +
                 "': a key begins with HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, "
                 "HKEY_CLASSES_ROOT or HKEY_USERS (or HKLM, HKCU, HKCR, HKU)");
}

const char* ValueNameArg(const std::string& value) { return value == "@" ? "" : value.c_str(); }

bool ReadInput(const std::string& file, std::string* text, std::string* error) {
    std::ifstream stream;
    std::istream* input = &std::cin;
    if (file != "-") {
        stream.open(file, std::ios::binary);
        if (!stream) {
            *error = "cannot open the file";
            return false;
        }
        input = &stream;
    }
    char chunk[65536];
    while (*input) {
        input->read(chunk, sizeof(chunk));
        text->append(chunk, static_cast<size_t>(input->gcount()));
        if (text->size() > static_cast<size_t>(kMaxFileSize)) {
            *error = "the file is larger than 64 MiB";
            return false;
        }
    }
    if (input->bad()) {
        *error = "cannot read the file";
        return false;
    }
    return true;
}

// The values of an open key, in their order.
LONG ReadValues(HKEY key, std::vector<cx::platform::RegTextValue>* values) {
    std::vector<char> name(16384);
    std::vector<BYTE> data(1024);
    for (DWORD index = 0;; ++index) {
        DWORD name_size = static_cast<DWORD>(name.size());
        DWORD data_size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        LONG status = RegEnumValueA(key, index, name.data(), &name_size, nullptr, &type,
                                    data.data(), &data_size);
        if (status == ERROR_MORE_DATA && data_size > data.size()) {
            data.resize(data_size);
            --index;
            continue;
        }
        if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
        if (status != ERROR_SUCCESS) return status;
        values->push_back(cx::platform::RegTextValue{
            std::string(name.data(), name_size), false, type,
            std::string(reinterpret_cast<const char*>(data.data()), data_size)});
    }
}

LONG ReadSubkeys(HKEY key, std::vector<std::string>* names) {
    char name[256];
    for (DWORD index = 0;; ++index) {
        DWORD size = sizeof(name);
        LONG status = RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
        if (status != ERROR_SUCCESS) return status;
        names->emplace_back(name, size);
    }
}

void PrintData(DWORD type, const std::string& data) {
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ: std::printf("%s\n", data.c_str()); return;
        case REG_MULTI_SZ:
            for (size_t start = 0; start < data.size() && data[start] != '\0';) {
                std::string item = data.c_str() + start;
                std::printf("%s\n", item.c_str());
                start += item.size() + 1;
            }
            return;
        case REG_DWORD:
            if (data.size() == 4) {
                unsigned number = 0;
                for (int i = 3; i >= 0; --i)
                    number =
                        (number << 8) | static_cast<unsigned char>(data[static_cast<size_t>(i)]);
                std::printf("%u\n", number);
                return;
            }
            break;
        default: break;
    }
    for (size_t i = 0; i < data.size(); ++i)
        std::printf(i + 1 < data.size() ? "%02x," : "%02x", static_cast<unsigned char>(data[i]));
    std::printf("\n");
}

bool ParseDword(const std::string& text, std::string* data) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long number = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || number > 0xFFFFFFFFull) return false;
    for (int shift = 0; shift < 32; shift += 8)
        data->push_back(static_cast<char>((number >> shift) & 0xff));
    return true;
}

bool ParseBinary(const std::string& text, std::string* data) {
    std::string digits;
    for (char c : text) {
        if (c == ',' || c == ' ' || c == ':') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        digits.push_back(c);
    }
    if (digits.size() % 2 != 0) return false;
    for (size_t i = 0; i < digits.size(); i += 2)
        data->push_back(static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return true;
}

// The bytes `set` stores for TYPE and DATA, or a usage complaint.
bool EncodeData(const std::string& type_name, const std::vector<std::string>& args, DWORD* type,
                std::string* data, std::string* complaint) {
    auto single = [&]() -> const std::string* {
        if (args.size() == 1) return &args[0];
        *complaint = type_name + " takes exactly one DATA";
        return nullptr;
    };
    if (type_name == "REG_SZ" || type_name == "REG_EXPAND_SZ") {
        const std::string* text = single();
        if (text == nullptr) return false;
        *type = type_name == "REG_SZ" ? REG_SZ : REG_EXPAND_SZ;
        *data = *text + '\0';
        return true;
    }
    if (type_name == "REG_MULTI_SZ") {
        *type = REG_MULTI_SZ;
        for (const std::string& item : args) {
            if (item.empty()) {
                *complaint = "REG_MULTI_SZ cannot hold an empty string";
                return false;
            }
            *data += item + '\0';
        }
        *data += '\0';
        return true;
    }
    if (type_name == "REG_DWORD") {
        const std::string* text = single();
        if (text == nullptr) return false;
        *type = REG_DWORD;
        if (ParseDword(*text, data)) return true;
        *complaint = "'" + *text + "' is not a number from 0 to 4294967295 (decimal or 0x hex)";
        return false;
    }
    if (type_name == "REG_BINARY") {
        const std::string* text = single();
        if (text == nullptr) return false;
        *type = REG_BINARY;
        if (ParseBinary(*text, data)) return true;
        *complaint = "'" + *text + "' is not hexadecimal bytes such as 01,ff,20";
        return false;
    }
    *complaint = "unknown type '" + type_name +
                 "' (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD or REG_BINARY)";
    return false;
}

}  // namespace

int Import(const std::string& file) {
    std::string text, error;
    if (!ReadInput(file, &text, &error)) {
        std::fprintf(stderr, "cxreg: %s: %s\n", file.c_str(), error.c_str());
        return 1;
    }
    cx::platform::RegTextParse parsed = cx::platform::ParseRegText(text);
    if (parsed.error_line != 0) {
        std::fprintf(stderr, "%s:%d: %s\n", file.c_str(), parsed.error_line, parsed.error.c_str());
        return 1;
    }
    int line = 0;
    LONG status = cx::platform::ImportRegText(parsed.keys, &line);
    if (status == ERROR_SUCCESS) return 0;
    if (line == 0 || IsStoreError(status)) return Fail(file, status);
    std::fprintf(stderr, "%s:%d: %s; nothing was imported\n", file.c_str(), line,
                 ErrorText(status).c_str());
    return 1;
}

int Export(const std::string& key) {
    if (!key.empty()) {
        HKEY root = nullptr;
        std::string sub_key;
        if (!SplitKey(key, &root, &sub_key)) return UnknownRoot(key);
    }
    std::vector<cx::platform::RegTextKey> keys;
    LONG status = cx::platform::ExportRegText(key, &keys);
    if (status != ERROR_SUCCESS) return Fail(key, status);
    std::string text = cx::platform::WriteRegText(keys);
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
}

int Query(const std::string& key, const std::string* value) {
    HKEY root = nullptr;
    std::string sub_key;
    if (!SplitKey(key, &root, &sub_key)) return UnknownRoot(key);
    HKEY open = nullptr;
    LONG status = RegOpenKeyExA(root, sub_key.c_str(), 0, KEY_READ, &open);
    if (status != ERROR_SUCCESS) return Fail(key, status);
    std::string subject = value == nullptr ? key : key + " " + *value;
    if (value != nullptr) {
        DWORD type = 0, size = 0;
        status = RegQueryValueExA(open, ValueNameArg(*value), nullptr, &type, nullptr, &size);
        std::string data(size, '\0');
        if (status == ERROR_SUCCESS)
            status = RegQueryValueExA(open, ValueNameArg(*value), nullptr, &type,
                                      reinterpret_cast<BYTE*>(data.data()), &size);
        RegCloseKey(open);
        if (status != ERROR_SUCCESS) return Fail(subject, status);
        data.resize(size);
        PrintData(type, data);
        return 0;
    }
    cx::platform::RegTextKey listing;
    listing.path = key;
    std::vector<std::string> subkeys;
    status = ReadValues(open, &listing.values);
    if (status == ERROR_SUCCESS) status = ReadSubkeys(open, &subkeys);
    RegCloseKey(open);
    if (status != ERROR_SUCCESS) return Fail(subject, status);
    std::string text = cx::platform::WriteRegText({listing});
    text.erase(0, text.find('['));  // the header and the blank line after it
    std::printf("%s", text.c_str());
    if (!subkeys.empty()) std::printf("\n");
    for (const std::string& name : subkeys)
        std::printf("[%s\\%s]\n", key.c_str(), name.c_str());
    return 0;
}

int Set(const std::string& key, const std::string& value, const std::string& type_name,
        const std::vector<std::string>& args) {
    HKEY root = nullptr;
    std::string sub_key;
    if (!SplitKey(key, &root, &sub_key)) return UnknownRoot(key);
    DWORD type = 0;
    std::string data, complaint;
    if (!EncodeData(type_name, args, &type, &data, &complaint)) return Usage(complaint);
    HKEY open = nullptr;
    LONG status = RegCreateKeyExA(root, sub_key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE, nullptr, &open, nullptr);
    if (status != ERROR_SUCCESS) return Fail(key, status);
    status =
        RegSetValueExA(open, ValueNameArg(value), 0, type,
                       reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
    RegCloseKey(open);
    return status == ERROR_SUCCESS ? 0 : Fail(key + " " + value, status);
}

int Delete(const std::string& key, const std::string* value) {
    HKEY root = nullptr;
    std::string sub_key;
    if (!SplitKey(key, &root, &sub_key)) return UnknownRoot(key);
    if (value == nullptr) {
        if (sub_key.find_first_not_of('\\') == std::string::npos)
            return Usage("a root key cannot be deleted");
        LONG status = RegDeleteTreeA(root, sub_key.c_str());
        return status == ERROR_SUCCESS ? 0 : Fail(key, status);
    }
    HKEY open = nullptr;
    LONG status = RegOpenKeyExA(root, sub_key.c_str(), 0, KEY_SET_VALUE, &open);
    if (status != ERROR_SUCCESS) return Fail(key, status);
    status = RegDeleteValueA(open, ValueNameArg(*value));
    RegCloseKey(open);
    return status == ERROR_SUCCESS ? 0 : Fail(key + " " + *value, status);
}

}  // namespace cxreg
