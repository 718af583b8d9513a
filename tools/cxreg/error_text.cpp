// Error texts of cxreg.
#include "error_text.h"

#include "platform/winerror.h"

namespace cxreg {

std::string ErrorText(LONG error) {
    const char* text;
    switch (error) {
        case ERROR_FILE_NOT_FOUND: text = "not found"; break;
        case ERROR_ACCESS_DENIED: text = "access denied"; break;
        case ERROR_NOT_ENOUGH_MEMORY: text = "out of memory"; break;
        case ERROR_INVALID_DATA:
            text = "a name holds a line break, which .reg text cannot carry";
            break;
        case ERROR_INVALID_PARAMETER: text = "invalid name or path"; break;
        case ERROR_DISK_FULL: text = "the disk is full"; break;
        case ERROR_BAD_PATHNAME: text = "a key path must not begin with a backslash"; break;
        case ERROR_BUSY: text = "the store stayed locked by another process"; break;
        case ERROR_BADDB: text = "not a registry store"; break;
        case ERROR_CANTOPEN: text = "the registry store cannot be opened"; break;
        case ERROR_REGISTRY_CORRUPT: text = "the registry store is corrupt"; break;
        case ERROR_REGISTRY_IO_FAILED: text = "input/output error on the registry store"; break;
        case ERROR_KEY_DELETED: text = "the key was deleted meanwhile"; break;
        case ERROR_CHILD_MUST_BE_VOLATILE:
            text = "a non-volatile key cannot be created below a volatile key";
            break;
        default: text = "failed"; break;
    }
    return std::string(text) + " (error " + std::to_string(error) + ")";
}

bool IsStoreError(LONG error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_DISK_FULL:
        case ERROR_BUSY:
        case ERROR_BADDB:
        case ERROR_CANTOPEN:
        case ERROR_REGISTRY_CORRUPT:
        case ERROR_REGISTRY_IO_FAILED: return true;
        default: return false;
    }
}

}  // namespace cxreg
