// The computer itself: the root container of both trees and its two names as components.
#include <cstring>

#include "base/file_debug.h"
#include "cabinet_steps.h"
#include "platform/sysinfo.h"
#include "platform/winreg.h"

namespace cx::cabinet {
namespace {

constexpr const char* kActiveComputerNameKey =
    "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputername";
constexpr DWORD kComputerTextSize = 260;

// The active computer name; the value is outside input, so the text is ended whatever it holds.
bool ReadActiveComputerName(char (&name)[kComputerTextSize + 1]) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kActiveComputerNameKey, 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    DWORD size = kComputerTextSize;
    const LONG result = RegQueryValueExA(key, "ComputerName", nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(name), &size);
    RegCloseKey(key);
    name[size < kComputerTextSize ? size : kComputerTextSize] = '\0';
    return result == ERROR_SUCCESS;
}

void InsertFullDnsName(CCX_Agent& agent, ComponentEntry& entry) {
    char full[kComputerTextSize] = {};
    DWORD size = kComputerTextSize;
    if (!GetComputerNameExA(ComputerNameDnsFullyQualified, full, &size)) return;
    CX_TRACE(2, "\n   Full-DNS-Name    : \"%s\"", full);
    if (std::strlen(full) > kEntryTextSize) {
        CX_TRACE(3, "\nCX_Mib init Cabinets: Name will be truncated to %d characters",
                 kEntryTextSize - 1);
    }
    entry.CompType = kCompComputerName;
    CopyEntryText(entry.Vendor, "TVC");
    CopyEntryText(entry.ProdName, full);
    CopyEntryText(entry.ProdDescript, "Full qualified DNS Name");
    CopyEntryText(entry.Version, "DNS");
    agent.InsertComponent(&entry);
}

}  // namespace

DWORD InsertComputer(CCX_Agent& agent) {
    char name[kComputerTextSize + 1] = {};
    // Without the name there is no container 1 in either tree; the cabinets and chassis then
    // become roots instead of naming themselves, or one another, as their parent.
    if (!ReadActiveComputerName(name)) return 0;
    CX_TRACE(3, "\nCX_MIB              : ComputerName : \"%s\"", name);
    agent.InsertPhysicalContainer(name, 0, "PhysKorvan", -1);
    agent.InsertFunctionalContainer(name, 0, "FuncKorvan", -1);
    ComponentEntry entry(kCompComputerName);
    CopyEntryText(entry.Vendor, "TVC");
    CopyEntryText(entry.ProdName, name);
    CopyEntryText(entry.ProdDescript, "Computer Name");
    agent.InsertComponent(&entry);
    InsertFullDnsName(agent, entry);
    // Cabinets and chassis hang below the computer's containers, the first of each tree.
    return 1;
}

}  // namespace cx::cabinet
