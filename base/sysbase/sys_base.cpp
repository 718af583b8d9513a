// CSysBase: the agent family's registry root and directories.
#include "base/sys_base.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/reg_key.h"

namespace {

// Reads a string into a MAX_PATH field. A value that fills the field without a NUL is too
// long to be a path and counts as unread, so that the field is always a terminated string.
bool ReadPathValue(RegKey& key, const char* name, char* field) {
    char value[MAX_PATH] = {};
    DWORD size = sizeof(value);
    if (key.QueryRegValue(name, reinterpret_cast<LPBYTE>(value), &size) != ERROR_SUCCESS)
        return false;
    if (strnlen(value, sizeof(value)) == sizeof(value)) return false;
    std::memcpy(field, value, sizeof(value));
    return true;
}

// A trailing separator goes, but only the last character: "C:\" becomes "C:". On Linux a
// "/" ends a directory too, except the root directory itself.
void DropTrailingSeparator(char* path) {
    size_t length = std::strlen(path);
    if (length == 0) return;
    if (path[length - 1] == '\\' || (path[length - 1] == '/' && length > 1))
        path[length - 1] = '\0';
}

// "<first>\<second>" in a MAX_PATH field, cut to fit.
void JoinKeyPath(char* field, const char* first, const char* second) {
    std::string path = std::string(first) + "\\" + second;
    size_t length = std::min(path.size(), size_t{MAX_PATH - 1});
    std::memcpy(field, path.data(), length);
    field[length] = '\0';
}

}  // namespace

CSysBase::CSysBase() {
    char root[MAX_PATH] = {};
    if (ReadRegString(kFamilyRootKey, kFamilyRootValue, root, sizeof(root)) &&
        strnlen(root, sizeof(root)) < sizeof(root) && root[0] != '\0') {
        std::memcpy(m_szRegistryRoot, root, sizeof(root));
    } else {
        std::memcpy(m_szRegistryRoot, kDefaultRegistryRoot, std::strlen(kDefaultRegistryRoot) + 1);
    }
    JoinKeyPath(m_szFilesKey, m_szRegistryRoot, "#Files");
    JoinKeyPath(m_szParametersKey, m_szRegistryRoot, "#Parameters");
    JoinKeyPath(m_szSetupKey, m_szRegistryRoot, "#Setup");

    RegKey setup;
    if (setup.Open(m_szSetupKey, HKEY_LOCAL_MACHINE, kRegKeyRead64) == ERROR_SUCCESS) {
        if (!ReadPathValue(setup, "FileRoot", m_szFileRoot))
            ReadPathValue(setup, "AgentRoot", m_szFileRoot);
        ReadPathValue(setup, "DataRoot", m_szDataRoot);
    }
    DropTrailingSeparator(m_szFileRoot);
    DropTrailingSeparator(m_szDataRoot);
}

const char* CSysBase::MakeKeyPath(const char* name) {
    JoinKeyPath(m_szCombinedPath, m_szRegistryRoot, name != nullptr ? name : "");
    return m_szCombinedPath;
}
