// The software collectors' pieces: the operating system's texts, the process-status library
// and the driver files' candidate paths. Driver names come in two forms: Windows kernel paths
// ("\SystemRoot\...", "\??\C:\...", bare names) and Linux module files ("/lib/modules/...").
#pragma once

#include <string>
#include <vector>

#include "inventory/cx_agent.h"
#include "platform/os_info.h"

namespace cx::software {

// The texts of the operating-system component that depend on the platform.
struct OsTexts {
    std::string vendor;
    std::string prod_name;
    std::string firmware_object;
};

// Windows platform ids: "Microsoft", the platform name and "OperatingSystem:Win". Linux: the
// distribution's vendor (VENDOR_NAME, else NAME), its PRETTY_NAME and "OperatingSystem:Linux";
// `release` NULL stands for an os-release that could not be read.
OsTexts OsTextsFor(const OSVERSIONINFOA& version, const CxOsRelease* release);
// "%d.%d Build %d %s": major, minor, build and the service-pack (distribution version) text.
std::string OsVersionText(const OSVERSIONINFOA& version);

// The process-status library, loaded at run time.
class CPsApi {
  public:
    using EnumDeviceDriversFn = BOOL (*)(LPVOID*, DWORD, LPDWORD);
    using GetDeviceDriverNameFn = DWORD (*)(LPVOID, LPSTR, DWORD);
    using GetModuleNameExFn = DWORD (*)(HANDLE, HMODULE, LPSTR, DWORD);
    using FarFn = void (*)();

    CPsApi() { Init(); }
    ~CPsApi() { FreePsApi(); }
    CPsApi(const CPsApi&) = delete;
    CPsApi& operator=(const CPsApi&) = delete;

    void Init();
    // Loads "PsApi.dll" from `directory` (NULL or "": the system search order only) and looks up
    // the entry points.
    BOOL LoadPsApi(const char* directory);
    void FreePsApi();
    // The number of image bases written, or (array NULL) the number the system reports.
    DWORD EnumDeviceDrivers(LPVOID* array, DWORD bytes);
    // The driver's normalised file name; 0 on failure, and a name cut by the buffer is a failure.
    DWORD GetDeviceDriverFileName(LPVOID image_base, char* buffer, DWORD size);
    // Removes a leading "\??\" and expands a leading "\SystemRoot"; the resulting length.
    static DWORD NormalizeDriverPath(char* path, DWORD size);

    HMODULE m_hModule = nullptr;
    DWORD m_dwLastError = 0;
    OSVERSIONINFOA m_OsVersion{};
    GetModuleNameExFn m_GetModuleFileNameExA = nullptr;
    GetModuleNameExFn m_GetModuleBaseNameA = nullptr;
    FarFn m_GetModuleInformation = nullptr;
    FarFn m_EnumProcessModules = nullptr;
    FarFn m_EnumProcesses = nullptr;
    GetDeviceDriverNameFn m_GetDeviceDriverBaseNameA = nullptr;
    GetDeviceDriverNameFn m_GetDeviceDriverFileNameA = nullptr;
    EnumDeviceDriversFn m_EnumDeviceDrivers = nullptr;
    FarFn m_GetProcessMemoryInfo = nullptr;
};

// A driver name split into its parts; Windows names at '\' and ':', Linux names at '/'. The
// extension of a Linux module starts at its ".ko".
struct DriverName {
    std::string drive;
    std::string directory;
    std::string file;
    std::string extension;
    bool linux_path = false;
};
DriverName SplitDriverName(const std::string& name);
// ".sys" (any case) for Windows names; ".ko", ".ko.xz", ".ko.zst", ".ko.gz" for Linux modules.
bool IsDriverExtension(const DriverName& name);
// The paths to read the driver's file from, in order (see InsertDriver).
std::vector<std::string> DriverCandidates(const DriverName& name, const std::string& windows_dir);

}  // namespace cx::software
