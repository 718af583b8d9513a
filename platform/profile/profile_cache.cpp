// The profile cache: one parsed document per file, a record of the changes not yet on disk,
// and a background writer. See profile_cache.h for the rules it keeps.
#include "profile/profile_cache.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/errno_map.h"
#include "files/file_access_hook.h"
#include "files/file_facts.h"
#include "files/replacement_file.h"
#include "platform/errors.h"

namespace cx::platform {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kWriteDelay = std::chrono::milliseconds(100);
constexpr auto kRecheckInterval = std::chrono::milliseconds(1);
constexpr size_t kLargestFile = 64u << 20;
constexpr size_t kMostRecordedChanges = 1u << 20;
constexpr size_t kMostCachedFiles = 16;
constexpr size_t kMostAliases = 256;

// What tells one state of a file on disk from another.
struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    ULONGLONG size = 0;
    ULONGLONG modified = 0;  // FILETIME ticks
    bool operator==(const FileIdentity&) const = default;
};

ULONGLONG Ticks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FileIdentity IdentityOf(const FileFacts& facts) {
    return FileIdentity{true, facts.device, facts.inode, facts.size, Ticks(facts.last_write)};
}

FileIdentity CurrentIdentity(const std::string& path) {
    FileFacts facts;
    if (!QueryFacts(AT_FDCWD, path.c_str(), 0, &facts)) return {};
    return IdentityOf(facts);
}

struct PendingChange {
    ProfileChange change;
    unsigned long long sequence;
    Clock::time_point made;
};

struct CachedFile {
    std::string path;  // canonical
    std::unique_ptr<IniDocument> document = std::make_unique<IniDocument>();
    bool loaded = false;
    FileIdentity on_disk;
    DWORD read_error = ERROR_SUCCESS;
    // Changes not yet on disk, to be applied again when someone else changes the file.
    std::deque<PendingChange> pending;
    bool pending_lost = false;       // too many to keep: this process's version then wins
    unsigned long long changes = 0;  // sequence number of the last change
    unsigned long long written = 0;  // the last change the file on disk holds
    Clock::time_point dirty_since;
    bool writing = false;  // a write is in progress outside the lock
    Clock::time_point last_check;
    Clock::time_point last_use;

    bool Dirty() const { return changes != written; }
};

using FilePtr = std::shared_ptr<CachedFile>;

struct ViewHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
};

// Whether applying `change` would change the document (so that changes that change nothing
// never need a writable file).
bool WouldChange(const IniDocument& document, const ProfileChange& change) {
    switch (change.kind) {
        case ProfileChange::Kind::kSet: {
            const std::string* value = document.Find(change.section, change.key);
            return value == nullptr || *value != change.value;
        }
        case ProfileChange::Kind::kDeleteKey:
            return document.Find(change.section, change.key) != nullptr;
        case ProfileChange::Kind::kDeleteSection: return document.HasSection(change.section);
    }
    return false;
}

bool ApplyChange(IniDocument& document, const ProfileChange& change) {
    switch (change.kind) {
        case ProfileChange::Kind::kSet:
            return document.Set(change.section, change.key, change.value);
        case ProfileChange::Kind::kDeleteKey: return document.DeleteKey(change.section, change.key);
        case ProfileChange::Kind::kDeleteSection: return document.DeleteSection(change.section);
    }
    return false;
}

// The whole file, within the size the cache accepts. A file that vanished reads as absent.
DWORD ReadWholeFile(const std::string& path, std::string* bytes, FileIdentity* identity) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *identity = {};
        return errno == ENOENT ? ERROR_SUCCESS : WinErrorFromErrno(errno);
    }
    FileFacts facts;
    DWORD error = ERROR_SUCCESS;
    if (!QueryFacts(fd, &facts)) {
        error = WinErrorFromErrno(errno);
    } else if (S_ISDIR(facts.mode)) {
        error = ERROR_ACCESS_DENIED;
    } else if (facts.size > kLargestFile) {
        error = ERROR_NOT_ENOUGH_MEMORY;
    }
    *identity = IdentityOf(facts);
    if (error == ERROR_SUCCESS) {
        bytes->resize(static_cast<size_t>(facts.size));
        size_t done = 0;
        while (done < bytes->size()) {
            ssize_t count = read(fd, bytes->data() + done, bytes->size() - done);
            if (count < 0 && errno == EINTR) continue;
            if (count < 0) error = WinErrorFromErrno(errno);
            if (count <= 0) break;
            done += static_cast<size_t>(count);
        }
        bytes->resize(done);
    }
    close(fd);
    return error;
}

bool IsUtf16(std::string_view bytes) {
    return bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF";
}

// The new content of `path`, replacing the file whole; it keeps the old file's permissions
// and, where we may set it, its owner.
DWORD WriteReplacement(const std::string& path, const std::string& text, FileFacts* written) {
    struct stat old {};
    bool existed = stat(path.c_str(), &old) == 0;
    ReplacementFile file;
    DWORD error = file.Create(path, existed ? old.st_mode & 07777 : 0666);
    if (error == ERROR_SUCCESS) error = file.Write(text);
    if (error != ERROR_SUCCESS) return error;
    if (existed) {
        fchmod(file.Descriptor(), old.st_mode & 07777);
        if ((old.st_uid != geteuid() || old.st_gid != getegid()) &&
            fchown(file.Descriptor(), old.st_uid, old.st_gid) != 0) {
            // Not ours to give away: the file then belongs to this process's user.
        }
    }
    return file.Commit(true, true, written);
}

std::string CanonicalPath(const std::string& absolute) {
    char resolved[PATH_MAX];
    if (realpath(absolute.c_str(), resolved) != nullptr) return resolved;
    std::string directory = ParentDirectory(absolute);
    if (realpath(directory.c_str(), resolved) != nullptr) {
        std::string path = resolved;
        if (path != "/") path += '/';
        return path.append(LastComponent(absolute));
    }
    return std::filesystem::path(absolute).lexically_normal().string();
}

class ProfileCache {
  public:
    static ProfileCache& Instance();

    DWORD Read(const char* path, const std::function<void(const IniDocument&, bool)>& reader) {
        std::unique_lock lock(lock_);
        FilePtr file = Resolve(path, true);
        Validate(*file);
        file->last_use = Clock::now();
        reader(*file->document, file->on_disk.exists || file->Dirty());
        return file->read_error;
    }

    DWORD Change(const char* path, ProfileChange change) {
        std::unique_lock lock(lock_);
        FilePtr file = Resolve(path, true);
        Validate(*file);
        file->last_use = Clock::now();
        if (file->read_error != ERROR_SUCCESS) return file->read_error;
        // The first change after a write checks that the file can be written at all.
        bool was_dirty = file->Dirty();
        if (!was_dirty) {
            if (!WouldChange(*file->document, change)) return ERROR_SUCCESS;
            DWORD error = CheckWritable(*file);
            if (error != ERROR_SUCCESS) return error;
        }
        if (!ApplyChange(*file->document, change)) return ERROR_SUCCESS;
        ++file->changes;
        auto now = Clock::now();
        if (!was_dirty) file->dirty_since = now;
        if (file->pending.size() >= kMostRecordedChanges) {
            file->pending.clear();
            file->pending_lost = true;
        }
        if (!file->pending_lost) {
            file->pending.push_back(PendingChange{std::move(change), file->changes, now});
        }
        if (exited_ || !StartWriter()) return WriteOut(file, lock, false);
        if (!was_dirty) writer_wake_.notify_one();
        return ERROR_SUCCESS;
    }

    DWORD Flush(const char* path) {
        std::unique_lock lock(lock_);
        if (path == nullptr) return FlushEverything(lock);
        FilePtr file = Resolve(path, false);
        if (!file) return CurrentIdentity(path).exists ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
        DWORD error = WriteOut(file, lock, true);
        if (error != ERROR_SUCCESS) return error;
        bool exists = file->on_disk.exists || file->Dirty();
        Forget(file, lock);
        return exists ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    }

    void BeforeAccess(const char* path, FileAccess access) {
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

  private:
    ProfileCache() = default;

    // The cached file for `path`; with `create` a new entry when there is none.
    FilePtr Resolve(const char* path, bool create) {
        if (path[0] == '/') {
            auto alias = aliases_.find(std::string_view(path));
            if (alias != aliases_.end()) return alias->second;
        }
        std::string absolute = path;
        if (path[0] != '/') {
            char directory[PATH_MAX];
            if (getcwd(directory, sizeof(directory)) != nullptr) {
                absolute = std::string(directory) + "/" + path;
            }
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
    bool MayBeCached(const char* path) const {
        std::string_view name = LastComponent(path);
        for (const auto& [cached, file] : files_) {
            if (LastComponent(cached) == name) return true;
        }
        for (const auto& [alias, file] : aliases_) {
            if (LastComponent(alias) == name) return true;
        }
        return false;
    }

    // Reads the file again when it changed on disk since we last looked; `force`
    // looks even when the last look was very recent.
    void Validate(CachedFile& file, bool force = false) {
        if (file.writing) return;  // our own write is under way: the cache is the truth
        auto now = Clock::now();
        if (file.loaded && !force && now - file.last_check < kRecheckInterval) return;
        file.last_check = now;
        FileIdentity current = CurrentIdentity(file.path);
        if (file.loaded && current == file.on_disk) return;
        Load(file);
    }

    void Load(CachedFile& file) {
        std::string bytes;
        FileIdentity identity;
        DWORD error = ReadWholeFile(file.path, &bytes, &identity);
        if (error == ERROR_SUCCESS && IsUtf16(bytes)) error = ERROR_NOT_SUPPORTED;
        file.loaded = true;
        file.on_disk = identity;
        file.read_error = error;
        if (error != ERROR_SUCCESS) {
            // Unreadable: it reads as empty and is never written, so nothing in it is lost.
            file.document = std::make_unique<IniDocument>();
            file.pending.clear();
            file.written = file.changes;
            return;
        }
        auto document = std::make_unique<IniDocument>(bytes);
        if (file.Dirty() && file.pending_lost) return;  // no record to merge: ours wins
        for (const PendingChange& pending : file.pending) {
            ApplyChange(*document, pending.change);
        }
        file.document = std::move(document);
    }

    DWORD CheckWritable(const CachedFile& file) {
        FileFacts facts;
        if (QueryFacts(AT_FDCWD, file.path.c_str(), 0, &facts) && IsReadOnly(facts.mode)) {
            return ERROR_ACCESS_DENIED;
        }
        // The new content is written beside the file and renamed over it.
        std::string directory = ParentDirectory(file.path);
        struct stat info {};
        if (stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            return ERROR_PATH_NOT_FOUND;
        }
        return access(directory.c_str(), W_OK) == 0 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    }

    // Writes the file's unwritten content. The lock is held on entry and on return; with
    // `unlock_during_io` other callers may go on while the bytes go to disk.
    DWORD WriteOut(const FilePtr& file, std::unique_lock<std::mutex>& lock, bool unlock_during_io) {
        write_done_.wait(lock, [&] { return !file->writing; });
        if (!file->Dirty()) return ERROR_SUCCESS;
        // Whatever someone else wrote meanwhile is merged in, not written over.
        Validate(*file, true);
        if (!file->Dirty()) return ERROR_SUCCESS;
        std::string text = file->document->Serialize();
        unsigned long long snapshot = file->changes;
        file->writing = true;
        if (unlock_during_io) lock.unlock();
        FileFacts facts;
        DWORD error = WriteReplacement(file->path, text, &facts);
        if (unlock_during_io) lock.lock();
        file->writing = false;
        write_done_.notify_all();
        auto now = Clock::now();
        if (error != ERROR_SUCCESS) {
            file->dirty_since = now;  // the background writer tries again later
            return error;
        }
        file->written = snapshot;
        while (!file->pending.empty() && file->pending.front().sequence <= snapshot) {
            file->pending.pop_front();
        }
        if (file->changes == snapshot) file->pending_lost = false;
        if (file->Dirty()) {
            file->dirty_since = file->pending.empty() ? now : file->pending.front().made;
        }
        file->on_disk = IdentityOf(facts);
        file->last_check = now;
        return ERROR_SUCCESS;
    }

    // Drops the parsed copy, so that the next call reads the file again.
    void Forget(const FilePtr& file, std::unique_lock<std::mutex>& lock) {
        write_done_.wait(lock, [&] { return !file->writing; });
        if (file->Dirty()) return;  // changed meanwhile: those changes must not be lost
        auto found = files_.find(file->path);
        if (found != files_.end() && found->second == file) files_.erase(found);
        for (auto it = aliases_.begin(); it != aliases_.end();) {
            it = it->second == file ? aliases_.erase(it) : std::next(it);
        }
    }

    DWORD FlushEverything(std::unique_lock<std::mutex>& lock) {
        DWORD result = ERROR_SUCCESS;
        for (const FilePtr& file : Snapshot()) {
            DWORD error = WriteOut(file, lock, true);
            if (error == ERROR_SUCCESS) Forget(file, lock);
            if (result == ERROR_SUCCESS) result = error;
        }
        return result;
    }

    std::vector<FilePtr> Snapshot() const {
        std::vector<FilePtr> files;
        for (const auto& [path, file] : files_) {
            files.push_back(file);
        }
        return files;
    }

    void EvictIfFull() {
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

    // The background writer runs with every signal blocked, so that signals meant for the
    // host's own threads never land here. False when no thread can be started.
    bool StartWriter() {
        if (writer_running_) return true;
        sigset_t all, previous;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &previous);
        writer_running_ = pthread_create(&writer_, nullptr, WriterMain, this) == 0;
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        return writer_running_;
    }

    static void* WriterMain(void* cache) {
        static_cast<ProfileCache*>(cache)->RunWriter();
        return nullptr;
    }

    void RunWriter() {
        std::unique_lock lock(lock_);
        while (!stopping_) {
            FilePtr due;
            Clock::time_point deadline = Clock::time_point::max();
            for (const auto& [path, file] : files_) {
                if (!file->Dirty() || file->writing) continue;
                if (file->dirty_since + kWriteDelay < deadline) {
                    deadline = file->dirty_since + kWriteDelay;
                    due = file;
                }
            }
            if (!due) {
                writer_wake_.wait(lock);
            } else if (Clock::now() < deadline) {
                writer_wake_.wait_until(lock, deadline);
            } else {
                WriteOut(due, lock, true);
            }
        }
    }

    // At process exit (or when the library that holds the cache is unloaded): stop the
    // writer, write everything, and write through from then on.
    void ShutDown() {
        std::unique_lock lock(lock_);
        stopping_ = true;
        exited_ = true;
        writer_wake_.notify_all();
        bool join = writer_running_;
        writer_running_ = false;
        lock.unlock();
        if (join) pthread_join(writer_, nullptr);
        lock.lock();
        for (const FilePtr& file : Snapshot()) {
            WriteOut(file, lock, false);
        }
    }

    // fork: the child must find the files on disk as the parent left them and must never write
    // the parent's changes itself, so everything is written before the fork and the child starts
    // with an empty cache.
    void PrepareFork() {
        std::unique_lock lock(lock_);
        write_done_.wait(lock, [&] {
            for (const auto& [path, file] : files_) {
                if (file->writing) return false;
            }
            return true;
        });
        for (const FilePtr& file : Snapshot()) {
            WriteOut(file, lock, false);
        }
        lock.release();  // held across the fork, released in both processes
    }

    void ParentAfterFork() { lock_.unlock(); }

    void ChildAfterFork() {
        lock_.unlock();
        // The writer thread does not exist in the child; its waits are reset with it.
        new (&writer_wake_) std::condition_variable;
        new (&write_done_) std::condition_variable;
        writer_running_ = false;
        files_.clear();
        aliases_.clear();
    }

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

ProfileCache& ProfileCache::Instance() {
    // Never destroyed: threads may still use profiles while the process ends.
    static ProfileCache* cache = [] {
        auto* created = new ProfileCache;
        std::atexit([] { Instance().ShutDown(); });
        pthread_atfork([] { Instance().PrepareFork(); }, [] { Instance().ParentAfterFork(); },
                       [] { Instance().ChildAfterFork(); });
        SetFileAccessHook(
            [](const char* path, FileAccess access) { Instance().BeforeAccess(path, access); });
        return created;
    }();
    return *cache;
}

}  // namespace

DWORD ReadProfile(const char* path,
                  const std::function<void(const IniDocument& document, bool exists)>& reader) {
    return ProfileCache::Instance().Read(path, reader);
}

DWORD ChangeProfile(const char* path, ProfileChange change) {
    return ProfileCache::Instance().Change(path, std::move(change));
}

DWORD FlushProfile(const char* path) { return ProfileCache::Instance().Flush(path); }

}  // namespace cx::platform
