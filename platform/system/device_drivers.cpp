// EnumDeviceDrivers and the driver name calls over the kernel's module list: the names from
// /proc/modules, the files through libkmod (or the text modules.dep where the binary indexes
// are missing).
#include <libkmod.h>
#include <sys/utsname.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "core/errno_map.h"
#include "core/module_name.h"
#include "platform/errors.h"
#include "platform/psapi.h"

namespace {

// Tokens look like kernel addresses, page-aligned, and are never 0.
constexpr std::uintptr_t kTokenBase = static_cast<std::uintptr_t>(0xFFFFFFFFC0000000ULL);
constexpr std::uintptr_t kTokenStep = 0x1000;
// More modules than any kernel loads; a longer list is cut here.
constexpr std::size_t kMaxModules = 65536;
constexpr std::size_t kMaxNameLength = 64;

std::mutex token_lock;
std::map<std::string, std::uintptr_t> token_of_name;
std::vector<std::string> name_of_token;  // index: token number - 1

std::uintptr_t TokenOf(const std::string& name) {
    std::lock_guard<std::mutex> hold(token_lock);
    auto found = token_of_name.find(name);
    if (found != token_of_name.end()) return found->second;
    name_of_token.push_back(name);
    std::uintptr_t token = kTokenBase + name_of_token.size() * kTokenStep;
    token_of_name.emplace(name, token);
    return token;
}

bool NameOf(LPVOID image_base, std::string* name) {
    auto token = reinterpret_cast<std::uintptr_t>(image_base);
    if (token <= kTokenBase || (token - kTokenBase) % kTokenStep != 0) return false;
    std::size_t number = (token - kTokenBase) / kTokenStep;
    std::lock_guard<std::mutex> hold(token_lock);
    if (number == 0 || number > name_of_token.size()) return false;
    *name = name_of_token[number - 1];
    return true;
}

// A module name as the kernel writes it: letters, digits, '_' and '-'.
bool IsModuleName(const std::string& name) {
    if (name.empty() || name.size() > kMaxNameLength) return false;
    for (char c : name) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!plain && c != '_' && c != '-') return false;
    }
    return true;
}

std::string ModulesDirectory() {
    const char* configured = std::getenv("CX_MODULES_DIR");
    if (configured != nullptr && configured[0] != '\0') return configured;
    struct utsname names {};
    if (uname(&names) != 0) return {};
    return std::string("/lib/modules/") + names.release;
}

// Module names compare with '-' and '_' alike, as the kernel treats them.
std::string Normalized(std::string name) {
    for (char& c : name) {
        if (c == '-') c = '_';
    }
    return name;
}

// The file of `name` from the text modules.dep ("kernel/x/name.ko.xz: deps..."); paths in it
// are relative to the modules directory unless absolute.
std::string PathFromModulesDep(const std::string& directory, const std::string& name) {
    std::ifstream dep(directory + "/modules.dep");
    std::string line;
    const std::string wanted = Normalized(name);
    while (std::getline(dep, line)) {
        std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string path = line.substr(0, colon);
        std::size_t slash = path.rfind('/');
        std::string file = path.substr(slash == std::string::npos ? 0 : slash + 1);
        std::size_t dot = file.find(".ko");
        if (dot == std::string::npos || Normalized(file.substr(0, dot)) != wanted) continue;
        return path[0] == '/' ? path : directory + "/" + path;
    }
    return {};
}

std::string PathFromKmod(const std::string& directory, const std::string& name) {
    std::string path;
    const char* const no_config[] = {nullptr};
    struct kmod_ctx* context = kmod_new(directory.c_str(), no_config);
    if (context == nullptr) return path;
    kmod_set_log_priority(context, 0);
    struct kmod_module* module = nullptr;
    if (kmod_module_new_from_name(context, name.c_str(), &module) == 0 && module != nullptr) {
        const char* found = kmod_module_get_path(module);
        if (found != nullptr) path = found;
        kmod_module_unref(module);
    }
    kmod_unref(context);
    return path;
}

}  // namespace

BOOL EnumDeviceDrivers(LPVOID* image_base, DWORD cb, LPDWORD needed) {
    if (needed == nullptr || (image_base == nullptr && cb != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const char* configured = std::getenv("CX_PROC_MODULES");
    const char* list_path =
        configured != nullptr && configured[0] != '\0' ? configured : "/proc/modules";
    std::ifstream list(list_path);
    if (!list) {
        cx::platform::SetLastErrorFromErrno();
        if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::vector<std::uintptr_t> tokens;
    std::string line;
    while (tokens.size() < kMaxModules && std::getline(list, line)) {
        std::string name = line.substr(0, line.find_first_of(" \t"));
        if (IsModuleName(name)) tokens.push_back(TokenOf(name));
    }
    *needed = static_cast<DWORD>(tokens.size() * sizeof(LPVOID));
    std::size_t room = cb / sizeof(LPVOID);
    for (std::size_t i = 0; i < tokens.size() && i < room; ++i) {
        image_base[i] = reinterpret_cast<LPVOID>(tokens[i]);
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

DWORD GetDeviceDriverBaseNameA(LPVOID image_base, LPSTR base_name, DWORD size) {
    std::string name;
    if (!NameOf(image_base, &name)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return cx::platform::CopyModuleName(name, base_name, size);
}

DWORD GetDeviceDriverFileNameA(LPVOID image_base, LPSTR filename, DWORD size) {
    std::string name;
    if (!NameOf(image_base, &name)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string directory = ModulesDirectory();
    std::string path;
    if (!directory.empty()) {
        path = PathFromKmod(directory, name);
        if (path.empty()) path = PathFromModulesDep(directory, name);
    }
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    return cx::platform::CopyModuleName(path, filename, size);
}
