// The agent package's version from the installer database, by the package's product codes.
#include "inventory/cx_agent.h"
#include "platform/libloaderapi.h"

namespace {

// The package's product codes, the current one first.
constexpr const char* kAgentProductCodes[] = {
    "{4E2A9B17-6C3D-4F81-A5E0-2D7C91B3F468}",
    "{9B61D0C4-2F7E-4A39-8C15-E04A6D72B9F1}",
    "{1D8C5F3A-B64E-4C92-9A07-73E1F2C8D5B0}",
};

using MsiGetProductInfoFn = UINT (*)(LPCSTR, LPCSTR, LPSTR, LPDWORD);

}  // namespace

BOOL CCX_Agent::GetMsiProductVersion(char* buffer, DWORD size) {
    if (buffer == nullptr || size == 0) return FALSE;
    HMODULE library = LoadLibraryA("msi");
    if (library == nullptr) return FALSE;
    auto get_product_info =
        reinterpret_cast<MsiGetProductInfoFn>(GetProcAddress(library, "MsiGetProductInfoA"));
    BOOL found = FALSE;
    if (get_product_info != nullptr) {
        for (const char* code : kAgentProductCodes) {
            DWORD length = size;
            if (get_product_info(code, "VersionString", buffer, &length) == ERROR_SUCCESS) {
                found = TRUE;
                break;
            }
        }
    }
    FreeLibrary(library);
    return found;
}
