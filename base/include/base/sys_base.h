// CSysBase: the registry root of the agent family and the agent's directories, read once
// when the object is made.
#pragma once

#include <memory>

#include "platform/windef.h"

// Where the agent family's root is recorded, and the root taken when it is not.
constexpr const char* kFamilyRootKey =
    "SYSTEM\\CurrentControlSet\\Control\\UUID\\E14C8A52-7D30-4B96-A2F1-5C08D3B6794E";
constexpr const char* kFamilyRootValue = "Hostara SNMP Agents";
constexpr const char* kDefaultRegistryRoot = "SOFTWARE\\Arvenmark";

class CSysBase {
  public:
    CSysBase();
    ~CSysBase() = default;
    CSysBase(const CSysBase&) = delete;
    CSysBase& operator=(const CSysBase&) = delete;

    // "<registry root>\<name>", kept in m_szCombinedPath.
    const char* MakeKeyPath(const char* name);

    std::unique_ptr<char[]> m_pOwned;  // released with the object; the readers do not use it
    char m_szRegistryRoot[MAX_PATH] = {};
    char m_szFilesKey[MAX_PATH] = {};
    char m_szParametersKey[MAX_PATH] = {};
    char m_szSetupKey[MAX_PATH] = {};
    char m_szCombinedPath[MAX_PATH] = {};
    char m_szFileRoot[MAX_PATH] = {};
    char m_szDataRoot[MAX_PATH] = {};
};
