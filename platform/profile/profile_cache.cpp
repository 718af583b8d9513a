// The profile cache's requests and its synchronisation with the disk: one parsed document per
// file, found by any path that names it, read again when someone else changed the file, and
// written back whole. See profile_cache.h for the rules it keeps.
#include "profile/profile_cache.h"

#include <fcntl.h>

#include "platform/errors.h"
#include "profile/profile_cache_state.h"

namespace cx::platform {
namespace {

constexpr auto kRecheckInterval = std::chrono::milliseconds(1);
constexpr size_t kMostCachedFiles = 16;
constexpr size_t kMostAliases = 256;

}  // namespace

DWORD ProfileCache::Read(const char* path,
                         const std::function<void(const IniDocument&, bool)>& reader) {
    std::unique_lock lock(lock_);
    FilePtr file = Resolve(path, true);
    Validate(*file);
    file->last_use = ProfileClock::now();
    reader(*file->document, file->on_disk.exists || file->Dirty());
    return file->read_error;
}

DWORD ProfileCache::Change(const char* path, ProfileChange change) {
    std::unique_lock lock(lock_);
    FilePtr file = Resolve(path, true);
    Validate(*file);
    file->last_use = ProfileClock::now();
    if (file->read_error != ERROR_SUCCESS) return file->read_error;
    // The first change after a write checks that the file can be written at all.
    bool was_dirty = file->Dirty();
    if (!was_dirty) {
        if (!WouldChange(*file->document, change)) return ERROR_SUCCESS;
        DWORD error = CheckReplaceable(file->path);
        if (error != ERROR_SUCCESS) return error;
    }
    if (!ApplyChange(*file->document, change)) return ERROR_SUCCESS;
    auto now = ProfileClock::now();
    if (!was_dirty) file->dirty_since = now;
    file->record.Add(std::move(change), now);
    if (exited_ || !StartWriter()) return WriteOut(file, lock, false);
    if (!was_dirty) writer_wake_.notify_one();
    return ERROR_SUCCESS;
}

DWORD ProfileCache::Flush(const char* path) {
    std::unique_lock lock(lock_);
    if (path == nullptr) return FlushEverything(lock);
    FilePtr file = Resolve(path, false);
    if (!file) return CurrentIdentity(path).exists ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    DWORD error = WriteOut(file, lock, true);
    if (error != ERROR_SUCCESS) {
        // As on Windows, where a write that could not be made changed nothing: what cannot
        // reach the disk is given up, the file reads as it is there, and no later write brings
        // back content its writer was told had failed.
        write_done_.wait(lock, [&] { return !file->writing; });
        file->record.Discard();
        Forget(file, lock);
        return error;
    }
    bool exists = file->on_disk.exists || file->Dirty();
    Forget(file, lock);
    return exists ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

void ProfileCache::BeforeAccess(const char* path, FileAccess access) {
    std::unique_lock lock(lock_);
    if (files_.empty()) return;
    if (path == nullptr) {
        for (const FilePtr& file : Snapshot()) {
            WriteOut(file, lock, true);
        }
        return;
    }
    if (!MayBeCached(path)) return;
    FilePtr file = Resolve(path, false);
    if (!file) return;
    WriteOut(file, lock, true);
    if (access == FileAccess::kChange) Forget(file, lock);
}

// The cached file for `path`; with `create` a new entry when there is none. Every spelling of
// a path that was used is remembered, so that the next call with it skips the path resolution.
FilePtr ProfileCache::Resolve(const char* path, bool create) {
    if (path[0] == '/') {
        auto alias = aliases_.find(std::string_view(path));
        if (alias != aliases_.end()) return alias->second;
    }
    std::string absolute = AbsolutePath(path);
    if (path[0] != '/') {
        auto alias = aliases_.find(std::string_view(absolute));
        if (alias != aliases_.end()) return alias->second;
    }
    std::string canonical = CanonicalPath(absolute);
    auto found = files_.find(canonical);
    FilePtr file;
    if (found != files_.end()) {
        file = found->second;
    } else {
        if (!create) return nullptr;
        EvictIfFull();
        file = std::make_shared<CachedFile>();
        file->path = canonical;
        files_.emplace(canonical, file);
    }
    if (aliases_.size() >= kMostAliases) aliases_.clear();
    aliases_.emplace(absolute, file);
    return file;
}

// A quick answer for the file calls, which run far more often than the cache has files.
bool ProfileCache::MayBeCached(const char* path) const {
    std::string_view name = LastComponent(path);
    for (const auto& [cached, file] : files_) {
        if (LastComponent(cached) == name) return true;
    }
    for (const auto& [alias, file] : aliases_) {
        if (LastComponent(alias) == name) return true;
    }
    return false;
}

// Drops the parsed copy, so that the next call reads the file again.
void ProfileCache::Forget(const FilePtr& file, std::unique_lock<std::mutex>& lock) {
    write_done_.wait(lock, [&] { return !file->writing; });
    if (file->Dirty()) return;  // changed meanwhile: those changes must not be lost
    auto found = files_.find(file->path);
    if (found != files_.end() && found->second == file) files_.erase(found);
    for (auto it = aliases_.begin(); it != aliases_.end();) {
        it = it->second == file ? aliases_.erase(it) : std::next(it);
    }
}

std::vector<FilePtr> ProfileCache::Snapshot() const {
    std::vector<FilePtr> files;
    for (const auto& [path, file] : files_) {
        files.push_back(file);
    }
    return files;
}

void ProfileCache::EvictIfFull() {
    if (files_.size() < kMostCachedFiles) return;
    auto oldest = files_.end();
    for (auto it = files_.begin(); it != files_.end(); ++it) {
        const CachedFile& file = *it->second;
        if (file.Dirty() || file.writing) continue;
        if (oldest == files_.end() || file.last_use < oldest->second->last_use) oldest = it;
    }
    if (oldest == files_.end()) return;
    files_.erase(oldest);
    aliases_.clear();  // they are rebuilt on demand
}

// Reads the file again when it changed on disk since we last looked; `force` looks even when
// the last look was very recent.
void ProfileCache::Validate(CachedFile& file, bool force) {
    if (file.writing) return;  // our own write is under way: the cache is the truth
    auto now = ProfileClock::now();
    if (file.loaded && !force && now - file.last_check < kRecheckInterval) return;
    file.last_check = now;
    FileIdentity current = CurrentIdentity(file.path);
    if (file.loaded && current == file.on_disk) return;
    Load(file);
}

void ProfileCache::Load(CachedFile& file) {
    std::string bytes;
    FileIdentity identity;
    DWORD error = ReadProfileText(file.path, &bytes, &identity);
    file.loaded = true;
    file.on_disk = identity;
    file.read_error = error;
    if (error != ERROR_SUCCESS) {
        // Unreadable: it reads as empty and is never written, so nothing in it is lost.
        file.document = std::make_unique<IniDocument>();
        file.record.Discard();
        return;
    }
    auto document = std::make_unique<IniDocument>(bytes);
    if (file.record.MergeInto(*document)) file.document = std::move(document);
}

// Writes the file's unwritten content. The lock is held on entry and on return; with
// `unlock_during_io` other callers may go on while the bytes go to disk.
DWORD ProfileCache::WriteOut(const FilePtr& file, std::unique_lock<std::mutex>& lock,
                             bool unlock_during_io) {
    write_done_.wait(lock, [&] { return !file->writing; });
    if (!file->Dirty()) return ERROR_SUCCESS;
    // Whatever someone else wrote meanwhile is merged in, not written over: other processes
    // check and replace their files in this directory one at a time with us.
    file->writing = true;
    if (unlock_during_io) lock.unlock();
    DirectoryWriteLock directory(file->path);
    if (unlock_during_io) lock.lock();
    file->writing = false;
    write_done_.notify_all();
    if (directory.Busy()) {
        file->dirty_since = ProfileClock::now();  // the background writer tries again later
        return ERROR_SHARING_VIOLATION;
    }
    Validate(*file, true);
    if (!file->Dirty()) return ERROR_SUCCESS;
    std::string text = file->document->Serialize();
    ChangeRecord::Sequence snapshot = file->record.Last();
    file->writing = true;
    if (unlock_during_io) lock.unlock();
    FileFacts facts;
    DWORD error = WriteReplacement(file->path, text, &facts);
    if (unlock_during_io) lock.lock();
    file->writing = false;
    write_done_.notify_all();
    auto now = ProfileClock::now();
    if (error != ERROR_SUCCESS) {
        file->dirty_since = now;  // the background writer tries again later
        return error;
    }
    file->record.Written(snapshot);
    if (file->Dirty()) file->dirty_since = file->record.OldestKept().value_or(now);
    file->on_disk = IdentityOf(facts);
    file->last_check = now;
    return ERROR_SUCCESS;
}

DWORD ProfileCache::FlushEverything(std::unique_lock<std::mutex>& lock) {
    DWORD result = ERROR_SUCCESS;
    for (const FilePtr& file : Snapshot()) {
        DWORD error = WriteOut(file, lock, true);
        if (error == ERROR_SUCCESS) Forget(file, lock);
        if (result == ERROR_SUCCESS) result = error;
    }
    return result;
}

DWORD ReadProfile(const char* path,
                  const std::function<void(const IniDocument& document, bool exists)>& reader) {
    return ProfileCache::Instance().Read(path, reader);
}

DWORD ChangeProfile(const char* path, ProfileChange change) {
    return ProfileCache::Instance().Change(path, std::move(change));
}

DWORD FlushProfile(const char* path) { return ProfileCache::Instance().Flush(path); }

}  // namespace cx::platform
