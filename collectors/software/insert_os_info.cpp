// InsertOSInfo: the operating system as one component of a new functional container
// "Software"; the drivers follow into it.
#include <cstdio>

#include "base/file_debug.h"
#include "base/reg_key.h"
#include "inventory/inventory_sections.h"
#include "software_steps.h"

namespace cx::software {
namespace {

constexpr const char* kProductOptionsKey = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
constexpr DWORD kProductValueSize = 32;

const char* WindowsPlatformName(DWORD platform_id) {
    switch (platform_id) {
        case VER_PLATFORM_WIN32s: return "Win32s on Windows 3.1";
        case VER_PLATFORM_WIN32_WINDOWS: return "Win32s on Windows 95";
        case VER_PLATFORM_WIN32_NT: return "Windows NT";
        default: return "not detected";
    }
}

// A value of at most 32 bytes; false when absent or longer.
bool ReadProductValue(RegKey& key, const char* name, char (&text)[kProductValueSize + 1]) {
    DWORD size = kProductValueSize;
    text[0] = '\0';
    if (key.QueryRegValue(name, reinterpret_cast<LPBYTE>(text), &size) != ERROR_SUCCESS) {
        return false;
    }
    text[size < kProductValueSize ? size : kProductValueSize] = '\0';
    return true;
}

// "ProductType", a blank and the first string of "ProductSuite", from what exists.
std::string ProductDescription() {
    std::string description;
    RegKey key;
    if (key.Open(kProductOptionsKey) != ERROR_SUCCESS) return description;
    char text[kProductValueSize + 1];
    if (ReadProductValue(key, "ProductType", text)) description = text;
    if (ReadProductValue(key, "ProductSuite", text)) description += std::string(" ") + text;
    key.Close();
    return description;
}

void InsertOs(CCX_Agent& agent) {
    CX_TRACE(3, "\nCX_Mib              : Insert OS Info");
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExA(&version)) {
        CX_TRACE(1, "\nCX_Mib              : ERROR 0x%X! NO OPERATING SYSTEM INFO !!!",
                 GetLastError());
        return;
    }
    CxOsRelease release;
    bool have_release = true;
    if (version.dwPlatformId == CX_VER_PLATFORM_LINUX) {
        have_release = CxReadOsRelease(&release) != FALSE;
        if (!have_release) {
            CX_TRACE(1, "\nCX_Mib              : ERROR 0x%X! NO OS-RELEASE !!!", GetLastError());
        } else if (release.bad_lines != 0 || release.cut) {
            CX_TRACE(2, "\nCX_Mib              : !!! os-release: %u bad lines%s", release.bad_lines,
                     release.cut ? ", read in part (too long)" : "");
        }
    }
    agent.InsertFunctionalContainer("Software", 1, nullptr, -1);

    ComponentEntry component(kCompOperatingSystem);
    OsTexts texts = OsTextsFor(version, have_release ? &release : nullptr);
    CopyEntryText(component.ProdName, texts.prod_name.c_str());
    CopyEntryText(component.Vendor, texts.vendor.c_str());
    char number[32];
    std::snprintf(number, sizeof(number), "%u.%u", version.dwMajorVersion, version.dwMinorVersion);
    CopyEntryText(component.ProdNumber, number);
    CopyEntryText(component.Version, OsVersionText(version).c_str());
    CopyEntryText(component.ProdDescript, ProductDescription().c_str());

    char code[8];
    std::snprintf(code, sizeof(code), "%04X", static_cast<unsigned>(GetSystemDefaultLangID()));
    const char* language =
        agent.m_DefinitionTable.ReadString(cx::inventory::kLanguageCodeSection, code, "");
    CopyEntryText(component.Language, language != nullptr && language[0] != '\0' ? language : code);

    agent.InsertComponent(&component);
    CX_TRACE(3, "\n   Operating System : %s", component.ProdName);
    CX_TRACE(3, "\n   Version          : %s", component.Version);
    FwUpdateObject object(texts.firmware_object.c_str());
    agent.InsertFwUpdateObject(&object);
}

}  // namespace

OsTexts OsTextsFor(const OSVERSIONINFOA& version, const CxOsRelease* release) {
    if (version.dwPlatformId != CX_VER_PLATFORM_LINUX) {
        return {"Microsoft", WindowsPlatformName(version.dwPlatformId), "OperatingSystem:Win"};
    }
    // os-release's own defaults stand for what the file does not say.
    OsTexts texts{"Linux", "Linux", "OperatingSystem:Linux"};
    if (release != nullptr) {
        if (!release->vendor_name.empty()) {
            texts.vendor = release->vendor_name;
        } else if (!release->name.empty()) {
            texts.vendor = release->name;
        }
        if (!release->pretty_name.empty()) {
            texts.prod_name = release->pretty_name;
        } else if (!release->name.empty()) {
            texts.prod_name = release->name;
        }
    }
    return texts;
}

std::string OsVersionText(const OSVERSIONINFOA& version) {
    char csd[sizeof(version.szCSDVersion) + 1] = {};
    std::snprintf(csd, sizeof(csd), "%.*s", static_cast<int>(sizeof(version.szCSDVersion)),
                  version.szCSDVersion);
    char text[kEntryTextSize * 2];
    std::snprintf(text, sizeof(text), "%u.%u Build %u %s", version.dwMajorVersion,
                  version.dwMinorVersion, version.dwBuildNumber, csd);
    return text;
}

}  // namespace cx::software

void CCX_Agent::InsertOSInfo() {
    try {
        cx::software::InsertOs(*this);
    } catch (...) {
        CX_TRACE(1, "\n########################################");
        CX_TRACE(1, "\n FATAL ERROR! Exception in InsertOSInfo");
        CX_TRACE(1, "\n########################################");
    }
}
