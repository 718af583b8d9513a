// CPsApi: the process-status library, looked up at run time as the driver collector needs it.
#include <cstring>
#include <string>

#include "platform/libloaderapi.h"
#include "platform/winreg.h"
#include "software_steps.h"

namespace cx::software {
namespace {

constexpr const char* kPsApiFile = "PsApi.dll";
constexpr DWORD kExpandSize = 260;

template <typename Function>
void Look(HMODULE module, const char* name, Function* function) {
    *function = reinterpret_cast<Function>(GetProcAddress(module, name));
}

}  // namespace

void CPsApi::Init() {
    FreePsApi();
    m_dwLastError = 0;
    m_OsVersion = OSVERSIONINFOA{};
    m_OsVersion.dwOSVersionInfoSize = sizeof(m_OsVersion);
    if (!GetVersionExA(&m_OsVersion)) m_dwLastError = GetLastError();
}

BOOL CPsApi::LoadPsApi(const char* directory) {
    FreePsApi();
    if (directory != nullptr && directory[0] != '\0') {
        std::string path = directory;
        if (path.back() != '\\' && path.back() != '/') path += '/';
        path += kPsApiFile;
        m_hModule = LoadLibraryA(path.c_str());
    }
    if (m_hModule == nullptr) m_hModule = LoadLibraryA(kPsApiFile);
    if (m_hModule == nullptr) {
        m_dwLastError = GetLastError();
        return FALSE;
    }
    Look(m_hModule, "GetModuleFileNameExA", &m_GetModuleFileNameExA);
    Look(m_hModule, "GetModuleBaseNameA", &m_GetModuleBaseNameA);
    Look(m_hModule, "GetModuleInformation", &m_GetModuleInformation);
    Look(m_hModule, "EnumProcessModules", &m_EnumProcessModules);
    Look(m_hModule, "EnumProcesses", &m_EnumProcesses);
    Look(m_hModule, "GetDeviceDriverBaseNameA", &m_GetDeviceDriverBaseNameA);
    Look(m_hModule, "GetDeviceDriverFileNameA", &m_GetDeviceDriverFileNameA);
    Look(m_hModule, "EnumDeviceDrivers", &m_EnumDeviceDrivers);
    Look(m_hModule, "GetProcessMemoryInfo", &m_GetProcessMemoryInfo);
    return TRUE;
}

void CPsApi::FreePsApi() {
    if (m_hModule != nullptr) FreeLibrary(m_hModule);
    m_hModule = nullptr;
    m_GetModuleFileNameExA = nullptr;
    m_GetModuleBaseNameA = nullptr;
    m_GetModuleInformation = nullptr;
    m_EnumProcessModules = nullptr;
    m_EnumProcesses = nullptr;
    m_GetDeviceDriverBaseNameA = nullptr;
    m_GetDeviceDriverFileNameA = nullptr;
    m_EnumDeviceDrivers = nullptr;
    m_GetProcessMemoryInfo = nullptr;
}

DWORD CPsApi::EnumDeviceDrivers(LPVOID* array, DWORD bytes) {
    if (m_EnumDeviceDrivers == nullptr) {
        m_dwLastError = ERROR_PROC_NOT_FOUND;
        return 0;
    }
    DWORD needed = 0;
    if (!m_EnumDeviceDrivers(array, array == nullptr ? 0 : bytes, &needed)) {
        m_dwLastError = GetLastError();
        return 0;
    }
    DWORD count = needed / sizeof(LPVOID);
    if (array != nullptr && count > bytes / sizeof(LPVOID)) count = bytes / sizeof(LPVOID);
    return count;
}

DWORD CPsApi::GetDeviceDriverFileName(LPVOID image_base, char* buffer, DWORD size) {
    if (m_GetDeviceDriverFileNameA == nullptr || buffer == nullptr || size == 0) return 0;
    DWORD length = m_GetDeviceDriverFileNameA(image_base, buffer, size);
    // A name cut by the buffer would name another file.
    if (length == 0 || (length >= size - 1 && GetLastError() == ERROR_INSUFFICIENT_BUFFER)) {
        m_dwLastError = GetLastError();
        buffer[0] = '\0';
        return 0;
    }
    return NormalizeDriverPath(buffer, size);
}

DWORD CPsApi::NormalizeDriverPath(char* path, DWORD size) {
    if (path == nullptr) return 0;
    static constexpr char kDosDevices[] = "\\??\\";
    static constexpr char kSystemRoot[] = "\\SystemRoot";
    if (std::strncmp(path, kDosDevices, 4) == 0) {
        std::memmove(path, path + 4, std::strlen(path + 4) + 1);
    }
    if (std::strncmp(path, kSystemRoot, sizeof(kSystemRoot) - 1) == 0) {
        char expanded[kExpandSize] = {};
        DWORD length = ExpandEnvironmentStringsA("%SystemRoot%", expanded, sizeof(expanded));
        // A name the environment does not know stays as written: nothing to put in.
        if (length != 0 && length <= sizeof(expanded) && std::strchr(expanded, '%') == nullptr) {
            std::string result = expanded;
            result += path + sizeof(kSystemRoot) - 1;
            if (result.size() < size) std::memcpy(path, result.c_str(), result.size() + 1);
        }
    }
    return static_cast<DWORD>(std::strlen(path));
}

}  // namespace cx::software
