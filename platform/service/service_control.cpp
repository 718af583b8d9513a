// The service control manager's status calls over the state a service host publishes in the
// registry.
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "core/handle_table.h"
#include "platform/errors.h"
#include "platform/reg_publish.h"
#include "platform/winsvc.h"

namespace {

using cx::platform::InsertHandle;
using cx::platform::KernelObject;
using cx::platform::LookupHandleAs;

constexpr const char* kServicesKey = "SYSTEM\\CurrentControlSet\\Services\\";

class ServiceManagerObject : public KernelObject {};

class ServiceObject : public KernelObject {
  public:
    ServiceObject(std::string name, DWORD access) : name_(std::move(name)), access_(access) {}
    const std::string& Name() const { return name_; }
    DWORD Access() const { return access_; }

  private:
    std::string name_;
    DWORD access_;
};

SC_HANDLE ToServiceHandle(HANDLE handle) { return reinterpret_cast<SC_HANDLE>(handle); }
HANDLE ToHandle(SC_HANDLE handle) { return reinterpret_cast<HANDLE>(handle); }

// A service name is one key name: not empty, no backslash, within a key name's length.
bool IsServiceName(LPCSTR name) {
    if (name == nullptr) return false;
    const std::size_t length = std::strlen(name);
    return length > 0 && length <= 256 && std::strchr(name, '\\') == nullptr;
}

bool IsServiceState(DWORD state) { return state >= SERVICE_STOPPED && state <= SERVICE_PAUSED; }

// The states this process hosts, by service name in upper case: a service control manager knows
// them the moment they change. They answer while publications wait for the registry; once none
// waits, the registry holds the last of them.
struct HostedStates {
    std::mutex lock;
    std::map<std::string, DWORD> states;
};

HostedStates& Hosted() {
    static HostedStates* hosted = new HostedStates;  // never destroyed: threads may ask at exit
    return *hosted;
}

std::string Folded(std::string name) {
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

bool HostedState(const std::string& service_name, DWORD* state) {
    if (CxRegFlushPublications(0)) return false;  // nothing waits: the registry is current
    HostedStates& hosted = Hosted();
    std::lock_guard hold(hosted.lock);
    const auto found = hosted.states.find(Folded(service_name));
    if (found == hosted.states.end()) return false;
    *state = found->second;
    return true;
}

DWORD ReadCurrentState(const std::string& service_name) {
    DWORD hosted = 0;
    if (HostedState(service_name, &hosted)) return hosted;
    const std::string status_key = kServicesKey + service_name + "\\Status";
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, status_key.c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return SERVICE_STOPPED;
    DWORD type = REG_NONE;
    DWORD state = 0;
    DWORD size = sizeof(state);
    const LSTATUS result = RegQueryValueExA(key, "CurrentState", nullptr, &type,
                                            reinterpret_cast<BYTE*>(&state), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(state))
        return SERVICE_STOPPED;
    return IsServiceState(state) ? state : SERVICE_STOPPED;
}

}  // namespace

SC_HANDLE OpenSCManagerA(LPCSTR machine_name, LPCSTR database_name, DWORD) {
    if (machine_name != nullptr && machine_name[0] != '\0') {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    if (database_name != nullptr && std::strcmp(database_name, SERVICES_ACTIVE_DATABASEA) != 0) {
        SetLastError(ERROR_DATABASE_DOES_NOT_EXIST);
        return nullptr;
    }
    return ToServiceHandle(InsertHandle(std::make_shared<ServiceManagerObject>()));
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR service_name, DWORD desired_access) {
    if (LookupHandleAs<ServiceManagerObject>(ToHandle(manager)) == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!IsServiceName(service_name)) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    HKEY key = nullptr;
    const std::string service_key = kServicesKey + std::string(service_name);
    DWORD hosted = 0;
    if (!HostedState(service_name, &hosted) &&
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, service_key.c_str(), 0, KEY_QUERY_VALUE, &key) !=
            ERROR_SUCCESS) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    if (key != nullptr) RegCloseKey(key);
    return ToServiceHandle(
        InsertHandle(std::make_shared<ServiceObject>(service_name, desired_access)));
}

BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
    const auto object = LookupHandleAs<ServiceObject>(ToHandle(service));
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if ((object->Access() & SERVICE_QUERY_STATUS) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (status == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *status = SERVICE_STATUS{};
    status->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status->dwCurrentState = ReadCurrentState(object->Name());
    status->dwControlsAccepted =
        status->dwCurrentState == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
    const HANDLE raw = ToHandle(handle);
    if (LookupHandleAs<ServiceManagerObject>(raw) == nullptr &&
        LookupHandleAs<ServiceObject>(raw) == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    cx::platform::RemoveHandle(raw);
    return TRUE;
}

LSTATUS CxSetServiceCurrentState(LPCSTR service_name, DWORD state) {
    if (!IsServiceName(service_name) || !IsServiceState(state)) return ERROR_INVALID_PARAMETER;
    {
        HostedStates& hosted = Hosted();
        std::lock_guard hold(hosted.lock);
        hosted.states[Folded(service_name)] = state;
    }
    const std::string status_key = kServicesKey + std::string(service_name) + "\\Status";
    return CxRegPublishValue({{status_key, REG_OPTION_VOLATILE}}, "CurrentState", REG_DWORD, &state,
                             sizeof(state));
}
