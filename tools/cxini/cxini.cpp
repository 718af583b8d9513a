// cxini: reads and changes INI files (the inventory files, the table file) through the same
// profile calls the agent uses, for administrators and for tests.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/profile.h"

namespace {

constexpr const char* kUsage =
    "Usage: cxini COMMAND FILE [ARGUMENTS]\n"
    "Reads and changes an INI file with the profile calls the CX_MIB agent uses.\n"
    "\n"
    "Commands:\n"
    "  get FILE SECTION KEY [DEFAULT]   print the value of KEY; when it is missing print\n"
    "                                   DEFAULT (if given) and exit with 1\n"
    "  set FILE SECTION KEY VALUE       set KEY to VALUE; the file, the section (at the end\n"
    "                                   of the file) and the key (at the end of its section)\n"
    "                                   are created as needed\n"
    "  delete FILE SECTION [KEY]        delete KEY, or the whole SECTION without KEY\n"
    "  sections FILE                    print the section names, one per line\n"
    "  keys FILE SECTION                print the key names of SECTION, one per line\n"
    "  --help                           print this text\n"
    "\n"
    "Section and key names compare without regard to case; blanks around names and values\n"
    "and one pair of quotes around a value are not part of them. Files are written with CRLF\n"
    "line ends and replaced whole, so a reader never sees half a change.\n"
    "\n"
    "Exit status: 0 done; 1 the file, section or key does not exist; 2 wrong usage or the\n"
    "file cannot be read or written.\n"
    "\n"
    "Example:\n"
    "  cxini set /var/lib/catalix/Catalix.sav \"Last Date\" ScanState DONE\n"
    "  cxini get /var/lib/catalix/Catalix.sav \"Last Date\" ScanState\n";

constexpr int kDone = 0;
constexpr int kMissing = 1;
constexpr int kFailed = 2;

const char* ErrorText(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND: return "no such file";
        case ERROR_PATH_NOT_FOUND: return "no such directory";
        case ERROR_ACCESS_DENIED: return "access denied";
        case ERROR_INVALID_PARAMETER: return "a section or key name that an INI file cannot hold";
        case ERROR_NOT_ENOUGH_MEMORY: return "file too large";
        case ERROR_NOT_SUPPORTED: return "not an INI file in single-byte text (UTF-16?)";
        case ERROR_DISK_FULL: return "disk full";
        default: return "cannot be written";
    }
}

int Fail(const char* file, DWORD error) {
    std::fprintf(stderr, "cxini: %s: %s (error %u)\n", file, ErrorText(error), error);
    return kFailed;
}

int NoFile(const char* file) {
    std::fprintf(stderr, "cxini: %s: no such file\n", file);
    return kMissing;
}

int Usage() {
    std::fputs(kUsage, stderr);
    return kFailed;
}

// Reads with a buffer that grows until the result is whole (values: size - 1 means cut,
// lists: size - 2).
std::string Read(const char* section, const char* key, const char* fallback, const char* file,
                 DWORD* error) {
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        auto size = static_cast<DWORD>(buffer.size());
        DWORD length = GetPrivateProfileStringA(section, key, fallback, buffer.data(), size, file);
        *error = GetLastError();
        bool cut = key != nullptr && section != nullptr ? length == size - 1 : length == size - 2;
        if (!cut || size >= (1u << 30)) return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

bool FileExists(const char* file) { return GetFileAttributesA(file) != INVALID_FILE_ATTRIBUTES; }

void PrintList(const std::string& list) {
    for (size_t start = 0; start < list.size();) {
        size_t end = list.find('\0', start);
        if (end == std::string::npos) end = list.size();
        std::printf("%.*s\n", static_cast<int>(end - start), list.data() + start);
        start = end + 1;
    }
}

// Whether `name` is among the NUL-separated names, compared as the profile calls compare.
bool Listed(const std::string& list, std::string_view name) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    while (!name.empty() && name.front() == ' ')
        name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ')
        name.remove_suffix(1);
    for (size_t start = 0; start < list.size();) {
        size_t end = list.find('\0', start);
        if (end == std::string::npos) end = list.size();
        std::string_view item(list.data() + start, end - start);
        if (item.size() == name.size() &&
            std::equal(item.begin(), item.end(), name.begin(),
                       [&](char a, char b) { return lower(a) == lower(b); })) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

int Get(const char* file, const char* section, const char* key, const char* fallback) {
    if (!FileExists(file)) {
        if (fallback != nullptr) std::printf("%s\n", fallback);
        return NoFile(file);
    }
    DWORD error = 0;
    std::string value = Read(section, key, "", file, &error);
    if (error == ERROR_SUCCESS || error == ERROR_MORE_DATA) {
        std::printf("%s\n", value.c_str());
        return kDone;
    }
    if (error != ERROR_FILE_NOT_FOUND) return Fail(file, error);
    if (fallback != nullptr) std::printf("%s\n", fallback);
    return kMissing;
}

int Write(const char* file, const char* section, const char* key, const char* value) {
    if (!WritePrivateProfileStringA(section, key, value, file)) return Fail(file, GetLastError());
    // Written through at once: the command's change is on disk when it ends.
    if (!WritePrivateProfileStringA(nullptr, nullptr, nullptr, file) &&
        GetLastError() != ERROR_FILE_NOT_FOUND) {
        return Fail(file, GetLastError());
    }
    return kDone;
}

int Delete(const char* file, const char* section, const char* key) {
    DWORD error = 0;
    bool present = false;
    if (key != nullptr) {
        Read(section, key, "", file, &error);
        present = error == ERROR_SUCCESS;
    } else {
        present = Listed(Read(nullptr, nullptr, "", file, &error), section);
    }
    if (!present) return kMissing;
    return Write(file, section, key, nullptr);
}

int List(const char* file, const char* section) {
    if (!FileExists(file)) return NoFile(file);
    DWORD error = 0;
    std::string sections = Read(nullptr, nullptr, "", file, &error);
    if (section != nullptr && !Listed(sections, section)) return kMissing;
    PrintList(section != nullptr ? Read(section, nullptr, "", file, &error) : sections);
    return kDone;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return kDone;
    }
    if (argc < 3) return Usage();
    std::string_view command = argv[1];
    const char* file = argv[2];
    int extra = argc - 3;
    if (command == "get" && (extra == 2 || extra == 3)) {
        return Get(file, argv[3], argv[4], extra == 3 ? argv[5] : nullptr);
    }
    if (command == "set" && extra == 3) return Write(file, argv[3], argv[4], argv[5]);
    if (command == "delete" && (extra == 1 || extra == 2)) {
        return Delete(file, argv[3], extra == 2 ? argv[4] : nullptr);
    }
    if (command == "sections" && extra == 0) return List(file, nullptr);
    if (command == "keys" && extra == 1) return List(file, argv[3]);
    return Usage();
}
