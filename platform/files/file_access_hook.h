// The hook through which the file calls let the profile cache write out a file's cached
// content before they touch that file, so that this process never sees an older state on disk.
#pragma once

namespace cx::platform {

enum class FileAccess {
    kRead,    // the call reads or looks at the file: cached content must be on disk first
    kChange,  // the call may replace or change it: cached content is written, then forgotten
};

using FileAccessHook = void (*)(const char* path, FileAccess access);

// Installed by the profile cache when it is first used; before that no file has cached
// content, so the file calls have nothing to wait for.
void SetFileAccessHook(FileAccessHook hook);

// Called by every file call before it touches `path`; NULL stands for every file (a directory
// search).
void BeforeFileAccess(const char* path, FileAccess access);

}  // namespace cx::platform
