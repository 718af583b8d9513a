// The computer's names: gethostname for the host label and the NetBIOS name, the resolver's
// canonical name for the fully qualified one.
#include <netdb.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <string>

#include "platform/errors.h"
#include "platform/sysinfo.h"
#include "platform/winerror.h"

namespace {

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof(name) - 1) != 0) return {};
    return name;
}

std::string FirstLabel(const std::string& name) { return name.substr(0, name.find('.')); }

// The canonical name the resolver gives the host name, as Windows builds the fully qualified
// name from the host and its primary domain. Without an answer the host name stands alone.
// The resolver's own time-outs bound the wait; /etc/hosts answers at once.
std::string FullyQualifiedName() {
    const std::string host = HostName();
    if (host.empty()) return host;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* result = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0) return host;
    std::string canonical =
        result != nullptr && result->ai_canonname != nullptr ? result->ai_canonname : "";
    freeaddrinfo(result);
    return canonical.empty() ? host : canonical;
}

std::string NetbiosName() {
    std::string name = FirstLabel(HostName());
    if (name.size() > MAX_COMPUTERNAME_LENGTH) name.resize(MAX_COMPUTERNAME_LENGTH);
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

bool NameOf(COMPUTER_NAME_FORMAT format, std::string* name) {
    switch (format) {
        case ComputerNameNetBIOS:
        case ComputerNamePhysicalNetBIOS: *name = NetbiosName(); return true;
        case ComputerNameDnsHostname:
        case ComputerNamePhysicalDnsHostname: *name = FirstLabel(HostName()); return true;
        case ComputerNameDnsDomain:
        case ComputerNamePhysicalDnsDomain: {
            const std::string full = FullyQualifiedName();
            const std::size_t dot = full.find('.');
            *name = dot == std::string::npos ? "" : full.substr(dot + 1);
            return true;
        }
        case ComputerNameDnsFullyQualified:
        case ComputerNamePhysicalDnsFullyQualified: *name = FullyQualifiedName(); return true;
        default: return false;
    }
}

// The Windows buffer contract of both calls; `too_small` is the error each reports.
BOOL CopyOut(const std::string& name, LPSTR buffer, LPDWORD size, DWORD too_small) {
    const DWORD needed = static_cast<DWORD>(name.size() + 1);
    if (buffer == nullptr || *size < needed) {
        *size = needed;
        SetLastError(too_small);
        return FALSE;
    }
    std::memcpy(buffer, name.c_str(), needed);
    *size = needed - 1;
    return TRUE;
}

}  // namespace

BOOL GetComputerNameExA(COMPUTER_NAME_FORMAT format, LPSTR buffer, LPDWORD size) {
    std::string name;
    if (size == nullptr || !NameOf(format, &name)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return CopyOut(name, buffer, size, ERROR_MORE_DATA);
}

BOOL GetComputerNameA(LPSTR buffer, LPDWORD size) {
    if (size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return CopyOut(NetbiosName(), buffer, size, ERROR_BUFFER_OVERFLOW);
}
