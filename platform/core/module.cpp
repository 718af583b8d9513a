// Module and process file names: dladdr for shared objects, /proc for processes.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

#include "core/errno_map.h"
#include "core/module_name.h"
#include "core/process_object.h"
#include "platform/errors.h"
#include "platform/module.h"

namespace {

bool ReadLink(const std::string& link, std::string& target) {
    char path[4096];
    ssize_t length = readlink(link.c_str(), path, sizeof(path) - 1);
    if (length <= 0) return false;
    target.assign(path, static_cast<size_t>(length));
    return true;
}

std::string ExecutableOf(DWORD process_id) {
    std::string target;
    ReadLink("/proc/" + std::to_string(process_id) + "/exe", target);
    return target;
}

}  // namespace

HMODULE CxLockLoadedModule(LPCSTR file_name) {
    if (file_name == nullptr || *file_name == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void* handle = dlopen(file_name, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) SetLastError(ERROR_MOD_NOT_FOUND);
    return handle;
}

HMODULE CxModuleFromAddress(const void* address) {
    Dl_info info{};
    if (address == nullptr || dladdr(address, &info) == 0) return nullptr;
    return info.dli_fbase;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR filename, DWORD size) {
    std::string path;
    if (module == nullptr) {
        if (!ReadLink("/proc/self/exe", path)) {
            cx::platform::SetLastErrorFromErrno();
            return 0;
        }
    } else {
        Dl_info info{};
        if (dladdr(module, &info) == 0 || info.dli_fname == nullptr) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        path = info.dli_fname;
        // The main program reports its name as given on the command line; use the real path.
        if (path.empty() || path.find('/') == std::string::npos) {
            if (!ReadLink("/proc/self/exe", path)) path = info.dli_fname;
        }
    }
    return cx::platform::CopyModuleName(path, filename, size);
}

DWORD GetModuleFileNameExA(HANDLE process, HMODULE module, LPSTR filename, DWORD size) {
    auto object = cx::platform::LookupHandleAs<cx::platform::ProcessObject>(process);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (module != nullptr) {
        // Only the calling process's own modules can be looked up by address.
        if (object->Id() != static_cast<DWORD>(getpid())) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        return GetModuleFileNameA(module, filename, size);
    }
    std::string path = ExecutableOf(object->Id());
    if (path.empty()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    return cx::platform::CopyModuleName(path, filename, size);
}

DWORD GetModuleBaseNameA(HANDLE process, HMODULE module, LPSTR base_name, DWORD size) {
    auto object = cx::platform::LookupHandleAs<cx::platform::ProcessObject>(process);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    std::string path;
    if (module != nullptr) {
        char full[4096];
        DWORD length = GetModuleFileNameExA(process, module, full, sizeof(full));
        if (length == 0) return 0;
        path.assign(full, length);
    } else {
        path = ExecutableOf(object->Id());
    }
    std::string name;
    if (!path.empty()) {
        name = path.substr(path.rfind('/') + 1);
    } else {
        // The executable link of another user's process is closed to us; its command name
        // (at most 15 characters) is still readable.
        std::ifstream comm("/proc/" + std::to_string(object->Id()) + "/comm");
        std::getline(comm, name);
    }
    if (name.empty()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    return cx::platform::CopyModuleName(name, base_name, size);
}

namespace cx::platform {

DWORD CopyModuleName(const std::string& text, LPSTR buffer, DWORD size) {
    if (buffer == nullptr || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (text.size() + 1 > size) {
        std::memcpy(buffer, text.data(), size - 1);
        buffer[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(text.size());
}

}  // namespace cx::platform
