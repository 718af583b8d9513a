// The profile cache's background writer and its life with the process: started on the first
// change, stopped at exit after writing everything, and made safe across fork.
#include <signal.h>
#include <stdlib.h>

#include <new>

#include "profile/profile_cache_state.h"

namespace cx::platform {
namespace {

constexpr auto kWriteDelay = std::chrono::milliseconds(100);

}  // namespace

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

// The background writer runs with every signal blocked, so that signals meant for the host's
// own threads never land here. False when no thread can be started.
bool ProfileCache::StartWriter() {
    if (writer_running_) return true;
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    writer_running_ = pthread_create(&writer_, nullptr, WriterMain, this) == 0;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return writer_running_;
}

void* ProfileCache::WriterMain(void* cache) {
    static_cast<ProfileCache*>(cache)->RunWriter();
    return nullptr;
}

// Writes each file kWriteDelay after its first unwritten change, the earliest due first.
void ProfileCache::RunWriter() {
    std::unique_lock lock(lock_);
    while (!stopping_) {
        FilePtr due;
        ProfileClock::time_point deadline = ProfileClock::time_point::max();
        for (const auto& [path, file] : files_) {
            if (!file->Dirty() || file->writing) continue;
            if (file->dirty_since + kWriteDelay < deadline) {
                deadline = file->dirty_since + kWriteDelay;
                due = file;
            }
        }
        if (!due) {
            writer_wake_.wait(lock);
        } else if (ProfileClock::now() < deadline) {
            writer_wake_.wait_until(lock, deadline);
        } else {
            WriteOut(due, lock, true);
        }
    }
}

// At process exit (or when the library that holds the cache is unloaded): stop the writer,
// write everything, and write through from then on.
void ProfileCache::ShutDown() {
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

// fork: the child must find the files on disk as the parent left them and must never write the
// parent's changes itself, so everything is written before the fork and the child starts with
// an empty cache.
void ProfileCache::PrepareFork() {
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

void ProfileCache::ParentAfterFork() { lock_.unlock(); }

void ProfileCache::ChildAfterFork() {
    lock_.unlock();
    // The writer thread does not exist in the child; its waits are reset with it.
    new (&writer_wake_) std::condition_variable;
    new (&write_done_) std::condition_variable;
    writer_running_ = false;
    files_.clear();
    aliases_.clear();
}

}  // namespace cx::platform
