// Values of the test's own registry.
#include "registry_values.h"

#include <gtest/gtest.h>

#include "platform/winreg.h"
#include "platform/winsvc.h"

namespace cx::test {
namespace {

void SetValue(const std::string& key_path, const char* name, DWORD type, const void* data,
              DWORD size) {
    HKEY key = nullptr;
    const LONG created = RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, nullptr, 0,
                                         KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (created != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot create " << key_path << " (" << created << ")";
        return;
    }
    const LONG set = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    EXPECT_EQ(set, ERROR_SUCCESS) << key_path << " " << (name != nullptr ? name : "");
}

}  // namespace

void SetRegString(const std::string& key, const char* name, const std::string& text) {
    SetValue(key, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void SetRegDword(const std::string& key, const char* name, DWORD value) {
    SetValue(key, name, REG_DWORD, &value, sizeof(value));
}

void SetRegMultiString(const std::string& key, const char* name, const std::string& strings) {
    const std::string multi = strings + '\0' + '\0';
    SetValue(key, name, REG_MULTI_SZ, multi.data(), static_cast<DWORD>(multi.size()));
}

void DeleteRegValue(const std::string& key, const char* name) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS, &handle) !=
        ERROR_SUCCESS) {
        return;
    }
    RegDeleteValueA(handle, name);
    RegCloseKey(handle);
}

std::string ReadRegString(const std::string& key, const char* name) {
    char text[256] = {};
    DWORD size = sizeof(text) - 1;
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return "";
    }
    const LONG read =
        RegQueryValueExA(handle, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(handle);
    return read == ERROR_SUCCESS ? std::string(text) : std::string();
}

std::string AgentRunState(const char* agent) {
    return ReadRegString("SOFTWARE\\Arvenmark\\#Status", agent);
}

bool SnmpServiceRunning() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceA(manager, "SNMP", SERVICE_QUERY_STATUS);
    SERVICE_STATUS status{};
    const bool running =
        QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_RUNNING;
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return running;
}

void SetRegValue(const std::string& key, const char* name, DWORD type, const std::string& bytes) {
    SetValue(key, name, type, bytes.data(), static_cast<DWORD>(bytes.size()));
}

std::optional<DWORD> ReadRegDword(const std::string& key, const char* name) {
    HKEY handle = nullptr;
    DWORD type = 0, number = 0, size = sizeof(number);
    const bool read =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) == ERROR_SUCCESS &&
        RegQueryValueExA(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof(number);
    if (handle != nullptr) RegCloseKey(handle);
    return read ? std::optional<DWORD>(number) : std::nullopt;
}

DWORD SnmpServiceState() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceA(manager, "SNMP", SERVICE_QUERY_STATUS);
    SERVICE_STATUS status{};
    const BOOL ok = QueryServiceStatus(service, &status);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return ok ? status.dwCurrentState : 0;
}

}  // namespace cx::test
