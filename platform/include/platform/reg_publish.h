// Registry values a process publishes about itself (run states, a service's state, readiness)
// for others to read. Their writer never waits for another process's hold on the store: a
// publication is written at once when the store is free within a moment, and otherwise joins a
// queue that a background thread writes, in order, as soon as the store is free again. On
// Windows the same writes go to the registry's memory and never wait for another writer either.
#pragma once

#include <string>
#include <vector>

#include "platform/windef.h"
#include "platform/winreg.h"

// One key on the way to a published value: opened, or created with `options`
// (REG_OPTION_VOLATILE or REG_OPTION_NON_VOLATILE) below the key before it; the first below
// HKEY_LOCAL_MACHINE. A path creates its missing keys with the same options, as
// RegCreateKeyExA does.
struct CxRegKeyStep {
    std::string path;
    DWORD options = 0;
};

// Sets the value `name` in the key the steps lead to, creating what is missing. ERROR_SUCCESS
// when it is written or queued to be; otherwise the error RegCreateKeyExA or RegSetValueExA
// would give. A queued value replaces an earlier queued value of the same key and name.
LSTATUS CxRegPublishValue(const std::vector<CxRegKeyStep>& keys, const char* name, DWORD type,
                          const void* data, DWORD size);
// Deletes `sub_key` of the key at `key_path` (below HKEY_LOCAL_MACHINE) with everything below
// it, after the publications queued before it. ERROR_FILE_NOT_FOUND when done at once and there
// was nothing to delete.
LSTATUS CxRegPublishDeleteTree(const char* key_path, const char* sub_key);
// Waits up to `timeout_ms` until every queued publication is written (or given up on a lasting
// error); TRUE when none is left. A process that ends calls it so that its last states reach
// the store when the store frees up in time.
BOOL CxRegFlushPublications(DWORD timeout_ms);
