// GetFileVersionInfoSizeA, GetFileVersionInfoA and the redirection switches: a file's version
// data read through the format readers and handed out as the opaque block.
#include "platform/errors.h"
#include "platform/version.h"
#include "platform/version_resource.h"
#include "version/byte_source.h"

namespace {

// Reads `filename` into `resource`; ERROR_SUCCESS or the Windows error, which is also set as
// the thread's last error.
DWORD ReadVersionOf(LPCSTR filename, CxVersionResource* resource) {
    DWORD error = ERROR_INVALID_PARAMETER;
    if (filename != nullptr && *filename != '\0' && CxIsCompressedModuleName(filename)) {
        *resource = CxVersionResource{};
        error = CxReadCompressedModuleVersion(filename, resource);
    } else if (filename != nullptr && *filename != '\0') {
        cx::platform::version::FileByteSource file;
        error = file.Open(filename);
        if (error == ERROR_SUCCESS) error = CxReadVersionResource(file, resource);
    }
    SetLastError(error);
    return error;
}

}  // namespace

DWORD CxReadVersionResource(const CxByteSource& image, CxVersionResource* resource) {
    *resource = CxVersionResource{};
    DWORD error = CxReadPeVersion(image, resource);
    if (error != ERROR_BAD_EXE_FORMAT) return error;
    return CxReadElfVersion(image, resource);
}

DWORD GetFileVersionInfoSizeA(LPCSTR filename, LPDWORD handle) {
    if (handle != nullptr) *handle = 0;
    CxVersionResource resource;
    if (ReadVersionOf(filename, &resource) != ERROR_SUCCESS) return 0;
    return static_cast<DWORD>(CxVersionBlockSize(resource));
}

BOOL GetFileVersionInfoA(LPCSTR filename, DWORD /*handle*/, DWORD length, LPVOID data) {
    if (data == nullptr || length == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    CxVersionResource resource;
    if (ReadVersionOf(filename, &resource) != ERROR_SUCCESS) return FALSE;
    if (CxWriteVersionBlock(resource, data, length) == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    return TRUE;
}

BOOL Wow64DisableWow64FsRedirection(PVOID* old_value) {
    if (old_value != nullptr) *old_value = nullptr;
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
}

BOOL Wow64RevertWow64FsRedirection(PVOID /*old_value*/) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
}
