// The agent's MIB lock held for one scope: SNMP requests wait while the MIB changes.
#pragma once

#include "platform/synch.h"

namespace cx::inventory {

class MibLockScope {
  public:
    explicit MibLockScope(LPCRITICAL_SECTION lock) : lock_(lock) { EnterCriticalSection(lock_); }
    ~MibLockScope() { LeaveCriticalSection(lock_); }
    MibLockScope(const MibLockScope&) = delete;
    MibLockScope& operator=(const MibLockScope&) = delete;

  private:
    LPCRITICAL_SECTION lock_;
};

}  // namespace cx::inventory
