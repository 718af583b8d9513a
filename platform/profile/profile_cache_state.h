// The profile cache's state and its parts: the requests and the disk synchronisation
// (profile_cache.cpp), and the background writer with the process exit and fork handling
// (profile_cache_writer.cpp). Inside the platform's profile area only.
#pragma once

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "files/file_access_hook.h"
#include "platform/errors.h"
#include "profile/change_record.h"
#include "profile/ini_document.h"
#include "profile/profile_disk.h"

namespace cx::platform {

using ProfileClock = std::chrono::steady_clock;

struct CachedFile {
    std::string path;  // canonical
    std::unique_ptr<IniDocument> document = std::make_unique<IniDocument>();
    bool loaded = false;
    FileIdentity on_disk;
    DWORD read_error = ERROR_SUCCESS;
    ChangeRecord record;  // the changes not yet on disk
    ProfileClock::time_point dirty_since;
    bool writing = false;  // a write is in progress outside the lock
    ProfileClock::time_point last_check;
    ProfileClock::time_point last_use;

    bool Dirty() const { return record.Dirty(); }
};

using FilePtr = std::shared_ptr<CachedFile>;

class ProfileCache {
  public:
    static ProfileCache& Instance();

    DWORD Read(const char* path, const std::function<void(const IniDocument&, bool)>& reader);
    DWORD Change(const char* path, ProfileChange change);
    DWORD Flush(const char* path);
    void BeforeAccess(const char* path, FileAccess access);

  private:
    struct ViewHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>()(text);
        }
    };

    ProfileCache() = default;

    // Paths and entries (profile_cache.cpp).
    FilePtr Resolve(const char* path, bool create);
    bool MayBeCached(const char* path) const;
    void Forget(const FilePtr& file, std::unique_lock<std::mutex>& lock);
    std::vector<FilePtr> Snapshot() const;
    void EvictIfFull();

    // The disk (profile_cache.cpp).
    void Validate(CachedFile& file, bool force = false);
    void Load(CachedFile& file);
    DWORD WriteOut(const FilePtr& file, std::unique_lock<std::mutex>& lock, bool unlock_during_io);
    DWORD FlushEverything(std::unique_lock<std::mutex>& lock);

    // The background writer, exit and fork (profile_cache_writer.cpp).
    bool StartWriter();
    static void* WriterMain(void* cache);
    void RunWriter();
    void ShutDown();
    void PrepareFork();
    void ParentAfterFork();
    void ChildAfterFork();

    std::mutex lock_;
    std::condition_variable write_done_;   // a write outside the lock ended
    std::condition_variable writer_wake_;  // work for the background writer
    std::unordered_map<std::string, FilePtr> files_;
    std::unordered_map<std::string, FilePtr, ViewHash, std::equal_to<>> aliases_;
    pthread_t writer_{};
    bool writer_running_ = false;
    bool stopping_ = false;
    bool exited_ = false;
};

}  // namespace cx::platform
