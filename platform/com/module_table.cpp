// LoadLibraryA / GetProcAddress / FreeLibrary. The system libraries that the agent looks up at
// run time and that the platform provides itself resolve to a small table of our functions;
// every other name is a real shared object.
#include <dlfcn.h>

#include <strings.h>
#include <cstring>

#include "platform/errors.h"
#include "platform/libloaderapi.h"
#include "platform/module.h"
#include "platform/msi.h"
#include "platform/objbase.h"
#include "platform/psapi.h"

namespace {

struct Entry {
    const char* name;
    FARPROC function;
};

struct BuiltinModule {
    const char* file_name;
    const Entry* entries;
    std::size_t entry_count;
};

const Entry kOle32Entries[] = {
    {"CoEnableCallCancellation", reinterpret_cast<FARPROC>(&CoEnableCallCancellation)},
    {"CoDisableCallCancellation", reinterpret_cast<FARPROC>(&CoDisableCallCancellation)},
    {"CoCancelCall", reinterpret_cast<FARPROC>(&CoCancelCall)},
    {"CoGetCancelObject", reinterpret_cast<FARPROC>(&CoGetCancelObject)},
};

// The process-status calls the platform has; the others of the library are not there.
const Entry kPsApiEntries[] = {
    {"GetModuleFileNameExA", reinterpret_cast<FARPROC>(&GetModuleFileNameExA)},
    {"GetModuleBaseNameA", reinterpret_cast<FARPROC>(&GetModuleBaseNameA)},
    {"GetDeviceDriverBaseNameA", reinterpret_cast<FARPROC>(&GetDeviceDriverBaseNameA)},
    {"GetDeviceDriverFileNameA", reinterpret_cast<FARPROC>(&GetDeviceDriverFileNameA)},
    {"EnumDeviceDrivers", reinterpret_cast<FARPROC>(&EnumDeviceDrivers)},
    {"GetProcessMemoryInfo", reinterpret_cast<FARPROC>(&GetProcessMemoryInfo)},
};

const Entry kMsiEntries[] = {
    {"MsiGetProductInfoA", reinterpret_cast<FARPROC>(&MsiGetProductInfoA)},
};

const BuiltinModule kBuiltins[] = {
    {"OLE32.dll", kOle32Entries, sizeof(kOle32Entries) / sizeof(kOle32Entries[0])},
    {"PsApi.dll", kPsApiEntries, sizeof(kPsApiEntries) / sizeof(kPsApiEntries[0])},
    {"msi.dll", kMsiEntries, sizeof(kMsiEntries) / sizeof(kMsiEntries[0])},
};

// The module handle of a built-in library is the address of its table entry, which no shared
// object can have.
const BuiltinModule* BuiltinOf(HMODULE module) {
    for (const BuiltinModule& builtin : kBuiltins) {
        if (module == static_cast<const void*>(&builtin)) return &builtin;
    }
    return nullptr;
}

// Windows adds ".dll" to a name without extension and compares without regard to case.
bool NamesBuiltin(const char* requested, const char* file_name) {
    if (strcasecmp(requested, file_name) == 0) return true;
    const char* dot = std::strrchr(file_name, '.');
    std::size_t stem = static_cast<std::size_t>(dot - file_name);
    return std::strchr(requested, '.') == nullptr && std::strlen(requested) == stem &&
           strncasecmp(requested, file_name, stem) == 0;
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR file_name) {
    if (file_name == nullptr || file_name[0] == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    for (const BuiltinModule& builtin : kBuiltins) {
        if (NamesBuiltin(file_name, builtin.file_name)) {
            return const_cast<BuiltinModule*>(&builtin);
        }
    }
    void* handle = dlopen(file_name, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return handle;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR proc_name) {
    if (module == nullptr || proc_name == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (const BuiltinModule* builtin = BuiltinOf(module)) {
        for (std::size_t i = 0; i < builtin->entry_count; ++i) {
            if (std::strcmp(builtin->entries[i].name, proc_name) == 0) {
                return builtin->entries[i].function;
            }
        }
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* symbol = dlsym(module, proc_name);
    if (symbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module) {
    if (module == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (BuiltinOf(module) != nullptr) return TRUE;
    if (dlclose(module) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
