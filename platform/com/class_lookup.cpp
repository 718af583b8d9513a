// Where a class's server listens: the registry value "LocalServer" of the class key, in the
// form "unix:/path/of/socket".
#include <cstring>

#include "com/runtime.h"
#include "platform/winreg.h"

namespace cx::com {

HRESULT LookupLocalServer(REFCLSID clsid, std::string* socket_path) {
    char guid_text[39];
    FormatGuid(clsid, guid_text);
    std::string key_path = std::string("SOFTWARE\\Classes\\CLSID\\") + guid_text;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return REGDB_E_CLASSNOTREG;
    }
    char value[512] = {};
    DWORD type = 0;
    DWORD size = sizeof(value) - 1;
    LSTATUS status = RegQueryValueExA(key, "LocalServer", nullptr, &type,
                                      reinterpret_cast<LPBYTE>(value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return REGDB_E_CLASSNOTREG;
    }
    static constexpr char kScheme[] = "unix:";
    if (std::strncmp(value, kScheme, sizeof(kScheme) - 1) != 0 ||
        value[sizeof(kScheme) - 1] != '/') {
        return REGDB_E_CLASSNOTREG;  // registered, but not as a server this runtime can reach
    }
    socket_path->assign(value + sizeof(kScheme) - 1);
    return S_OK;
}

}  // namespace cx::com
