// Handle table and CloseHandle.
#include "core/handle_table.h"

#include <mutex>
#include <unordered_map>

#include "platform/errors.h"
#include "platform/handles.h"

namespace cx::platform {
namespace {

struct Table {
    std::mutex lock;
    std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
    // Multiples of 4 like Windows handles; starting high keeps them apart from small integers
    // that a caller might pass by mistake.
    std::uintptr_t next = 0x1000;
};

Table& TheTable() {
    static Table* table = new Table;  // never destroyed: threads may close handles at exit
    return *table;
}

}  // namespace

std::optional<Clock::time_point> DeadlineAfter(DWORD real_ms) {
    if (real_ms == INFINITE) return std::nullopt;
    return Clock::now() + std::chrono::milliseconds(real_ms);
}

DWORD KernelObject::Wait(std::optional<Clock::time_point>) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
    if (!object) return nullptr;
    Table& table = TheTable();
    std::lock_guard guard(table.lock);
    std::uintptr_t value = table.next;
    table.next += 4;
    table.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
    Table& table = TheTable();
    std::lock_guard guard(table.lock);
    auto found = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == table.objects.end()) return nullptr;
    return found->second;
}

bool RemoveHandle(HANDLE handle) {
    std::shared_ptr<KernelObject> object;  // released outside the lock
    Table& table = TheTable();
    std::lock_guard guard(table.lock);
    auto found = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == table.objects.end()) return false;
    object = std::move(found->second);
    table.objects.erase(found);
    return true;
}

}  // namespace cx::platform

BOOL CloseHandle(HANDLE handle) {
    if (!cx::platform::RemoveHandle(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
