// Publications: registry writes made at once when the store is free, otherwise queued and made
// in order by a background thread as soon as it is.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/reg_publish.h"
#include "platform/winerror.h"
#include "platform/winreg.h"
#include "registry/guarded.h"
#include "registry/key_path.h"
#include "registry/key_tree.h"
#include "registry/store.h"

namespace cx::platform::registry {
namespace {

// A publication waits this long for the write lock before it is queued: enough for the short
// transactions of other writers, never the hold of a long one.
constexpr int kPromptWaitMs = 100;
// The background writer's wait per attempt, and its pause after an attempt refused outright.
constexpr int kRetryWaitMs = 1000;
constexpr auto kRetryPause = std::chrono::milliseconds(50);
// Values replace their queued predecessors, so the queue holds little more than one entry per
// value; this bounds it all the same.
constexpr std::size_t kMaxQueued = 4096;

struct Publication {
    std::vector<CxRegKeyStep> keys;
    std::string name;  // the value, or the subkey to delete
    bool delete_tree = false;
    DWORD type = REG_NONE;
    std::string data;
    std::uint64_t generation = 0;  // of the store it was meant for

    bool SameTarget(const Publication& other) const {
        if (delete_tree || other.delete_tree || keys.size() != other.keys.size() ||
            FoldName(name) != FoldName(other.name))
            return false;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (FoldName(keys[i].path) != FoldName(other.keys[i].path) ||
                keys[i].options != other.keys[i].options)
                return false;
        }
        return true;
    }
};

struct PublicationQueue {
    std::mutex lock;
    std::condition_variable changed;
    // The front is the one being written; it leaves the queue once that is done.
    std::deque<Publication> pending;
    bool writer_running = false;
};

PublicationQueue& Queue() {
    static PublicationQueue* queue = new PublicationQueue;  // never destroyed: see WriterMain
    return *queue;
}

LONG CreateSteps(Session& session, const std::vector<CxRegKeyStep>& keys, std::int64_t* id) {
    std::int64_t current = kLocalMachineId;
    for (const CxRegKeyStep& step : keys) {
        std::vector<std::string_view> parts;
        LONG status = SplitKeyPath(step.path, &parts);
        KeyInfo key;
        bool created = false;
        if (status == ERROR_SUCCESS)
            status = CreateKeyPath(session, current, parts,
                                   (step.options & REG_OPTION_VOLATILE) != 0, &key, &created);
        if (status != ERROR_SUCCESS) return status;
        current = key.id;
    }
    *id = current;
    return ERROR_SUCCESS;
}

LONG DeleteSubtree(Session& session, const Publication& publication) {
    std::vector<std::string_view> parts;
    std::vector<std::string_view> below;
    LONG status = SplitKeyPath(publication.keys.front().path, &parts);
    if (status == ERROR_SUCCESS) status = SplitKeyPath(publication.name, &below);
    parts.insert(parts.end(), below.begin(), below.end());
    KeyInfo target;
    if (status == ERROR_SUCCESS) status = ResolvePath(session, kLocalMachineId, parts, &target);
    if (status != ERROR_SUCCESS) return status;
    if (target.id <= kLastRootId) return ERROR_ACCESS_DENIED;
    return DeleteTree(session.Db(), target.id);
}

// One transaction; ERROR_BUSY when the write lock could not be had within `wait_ms`.
LONG Write(const Publication& publication, int wait_ms) {
    Session session;
    LONG status = session.Begin(Access::kWrite, wait_ms);
    if (status != ERROR_SUCCESS) return status;
    // A store switched since (tests, tools) is not the one the publication was meant for.
    if (session.Generation() != publication.generation) return ERROR_SUCCESS;
    if (publication.delete_tree) {
        status = DeleteSubtree(session, publication);
    } else {
        std::int64_t key = 0;
        status = CreateSteps(session, publication.keys, &key);
        if (status == ERROR_SUCCESS)
            status = PutValue(session, key, publication.name, publication.type, publication.data);
    }
    return status == ERROR_SUCCESS ? session.Commit() : status;
}

bool IsBusy(LONG status) { return status == ERROR_BUSY; }

// Writes the queue front to back, then ends. The queue is never destroyed, so a writer still
// waiting for the store when the process exits touches nothing that exit takes away.
void WriterMain() {
    PublicationQueue& queue = Queue();
    for (;;) {
        Publication front;
        {
            std::lock_guard hold(queue.lock);
            if (queue.pending.empty()) {
                queue.writer_running = false;
                queue.changed.notify_all();
                return;
            }
            front = queue.pending.front();
        }
        const LONG status = Write(front, kRetryWaitMs);
        if (IsBusy(status)) {
            std::this_thread::sleep_for(kRetryPause);
            continue;
        }
        // Written, or refused for a reason that waiting does not mend: either way done.
        std::lock_guard hold(queue.lock);
        queue.pending.pop_front();
        queue.changed.notify_all();
    }
}

// Called with the queue's lock held.
LONG Enqueue(PublicationQueue& queue, Publication&& publication) {
    // The front is being written; a later one of the same value may replace any other, unless a
    // deletion lies between them.
    for (auto it = queue.pending.rbegin(); it != queue.pending.rend(); ++it) {
        if (it->delete_tree || std::next(it) == queue.pending.rend()) break;
        if (!it->SameTarget(publication)) continue;
        it->type = publication.type;
        it->data = std::move(publication.data);
        return ERROR_SUCCESS;
    }
    if (queue.pending.size() >= kMaxQueued) return ERROR_BUSY;
    queue.pending.push_back(std::move(publication));
    if (!queue.writer_running) {
        std::thread(WriterMain).detach();
        queue.writer_running = true;
    }
    return ERROR_SUCCESS;
}

LONG Publish(Publication&& publication) {
    publication.generation = CurrentGeneration();
    PublicationQueue& queue = Queue();
    {
        // Behind queued publications a new one waits its turn, so that they land in order.
        std::lock_guard hold(queue.lock);
        if (!queue.pending.empty()) return Enqueue(queue, std::move(publication));
    }
    const LONG status = Write(publication, kPromptWaitMs);
    if (!IsBusy(status)) return status;
    std::lock_guard hold(queue.lock);
    return Enqueue(queue, std::move(publication));
}

}  // namespace
}  // namespace cx::platform::registry

namespace reg = cx::platform::registry;

LSTATUS CxRegPublishValue(const std::vector<CxRegKeyStep>& keys, const char* name, DWORD type,
                          const void* data, DWORD size) {
    if (keys.empty() || (data == nullptr && size != 0)) return ERROR_INVALID_PARAMETER;
    const std::string_view value_name = name != nullptr ? name : "";
    if (value_name.size() > reg::kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
    return reg::Guarded([&] {
        reg::Publication publication;
        publication.keys = keys;
        publication.name = value_name;
        publication.type = type;
        if (size != 0) publication.data.assign(static_cast<const char*>(data), size);
        return reg::Publish(std::move(publication));
    });
}

LSTATUS CxRegPublishDeleteTree(const char* key_path, const char* sub_key) {
    if (key_path == nullptr || sub_key == nullptr || sub_key[0] == '\0')
        return ERROR_INVALID_PARAMETER;
    return reg::Guarded([&] {
        reg::Publication publication;
        publication.keys = {{key_path, 0}};
        publication.name = sub_key;
        publication.delete_tree = true;
        return reg::Publish(std::move(publication));
    });
}

BOOL CxRegFlushPublications(DWORD timeout_ms) {
    reg::PublicationQueue& queue = reg::Queue();
    std::unique_lock hold(queue.lock);
    return queue.changed.wait_for(hold, std::chrono::milliseconds(timeout_ms),
                                  [&] { return queue.pending.empty(); })
               ? TRUE
               : FALSE;
}
