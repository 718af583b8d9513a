// The profile cache's hook into the file calls.
#include "files/file_access_hook.h"

#include <atomic>

namespace cx::platform {
namespace {
std::atomic<FileAccessHook> g_hook{nullptr};
}

void SetFileAccessHook(FileAccessHook hook) { g_hook.store(hook); }

void BeforeFileAccess(const char* path, FileAccess access) {
    FileAccessHook hook = g_hook.load();
    if (hook != nullptr) hook(path, access);
}

}  // namespace cx::platform
