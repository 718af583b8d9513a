// The per-file cache behind the profile functions. Each file is parsed once and then read and
// changed in memory; changed content is written back whole, replacing the file atomically,
// when it is flushed, before any other platform call of this process touches the file, at
// process exit, and at the latest 100 ms after the first unwritten change (a background
// writer). A change of the file by anyone else (size, modification time or inode differ) is
// noticed by the next call that starts more than 1 ms after the previous look at the disk;
// the file is then read again and this process's unwritten changes are applied on top.
#pragma once

#include <functional>
#include <string>

#include "platform/windef.h"
#include "profile/change_record.h"
#include "profile/ini_document.h"

namespace cx::platform {

// Runs `reader` on the current content of `path` under the cache's lock. `exists` tells
// whether the file (or unwritten content for it) exists. Returns ERROR_SUCCESS, or the reason
// the file cannot be read (its content then reads as empty).
DWORD ReadProfile(const char* path,
                  const std::function<void(const IniDocument& document, bool exists)>& reader);

// Applies a change. ERROR_SUCCESS also when the change changes nothing.
DWORD ChangeProfile(const char* path, ProfileChange change);

// Writes the unwritten content of `path` (every cached file for NULL) and forgets the parsed
// copy. ERROR_FILE_NOT_FOUND when nothing is cached for the path and no such file exists.
DWORD FlushProfile(const char* path);

}  // namespace cx::platform
