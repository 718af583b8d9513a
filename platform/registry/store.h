// The registry store of this process: where it lives, the boot it belongs to, a pool of
// connections, and Session, one call's transaction on it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/windef.h"
#include "registry/sqlite_db.h"

namespace cx::platform::registry {

// Fixed ids of the root keys; each predefined HKEY names one of them.
constexpr std::int64_t kClassesRootId = 1;
constexpr std::int64_t kCurrentUserId = 2;
constexpr std::int64_t kLocalMachineId = 3;
constexpr std::int64_t kUsersId = 4;
constexpr std::int64_t kLastRootId = kUsersId;

enum class Access { kRead, kWrite };

class Session {
  public:
    Session() = default;
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Takes a connection and begins a transaction. kWrite creates the store (and its
    // directory) when it does not exist yet and takes the write lock at once, so that a
    // writer waits for others instead of failing half-way: up to `busy_wait_ms`, then
    // ERROR_BUSY.
    LONG Begin(Access access, int busy_wait_ms = kDefaultBusyWaitMs);
    LONG Commit();

    // The store does not exist yet (or is an empty file): nothing is in it but the roots.
    // Only a read session can be absent.
    bool Absent() const { return db_ == nullptr; }
    Database& Db() { return *db_; }
    const std::string& BootId() const { return boot_id_; }
    std::uint64_t Generation() const { return generation_; }

  private:
    std::unique_ptr<Database> db_;
    std::string boot_id_;
    std::uint64_t generation_ = 0;
    bool in_transaction_ = false;
};

// The store path and boot id a session would use now, and the generation they belong to.
std::string CurrentStorePath();
std::uint64_t CurrentGeneration();

// The path used when none was set: CX_REGISTRY, else the installed location.
std::string DefaultStorePath();

}  // namespace cx::platform::registry
