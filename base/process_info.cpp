// Process functions.
#include "base/process_info.h"

BOOL IsWow64() { return FALSE; }

BOOL GetProcessName(DWORD process_id, char* name, DWORD name_size, char* path, DWORD path_size) {
    bool want_name = name != nullptr && name_size > 0;
    bool want_path = path != nullptr && path_size > 0;
    if (want_name) name[0] = '\0';
    if (want_path) path[0] = '\0';
    bool got_name = false;
    bool got_path = false;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_id);
    if (process != nullptr) {
        if (want_name) got_name = GetModuleBaseNameA(process, nullptr, name, name_size) > 0;
        if (want_path) got_path = GetModuleFileNameExA(process, nullptr, path, path_size) > 0;
        CloseHandle(process);
    }
    // Success when something asked for was obtained (or nothing was asked): a lookup that got
    // nothing at all is a failure, whichever buffer was asked for.
    if (!want_name && !want_path) return TRUE;
    return (got_name || got_path) ? TRUE : FALSE;
}

DWORD GetModulePath(char* buffer, DWORD size, HMODULE module) {
    if (buffer == nullptr || size == 0) return 0;
    return GetModuleFileNameA(module, buffer, size);
}
