// FindFirstFileA / FindNextFileA / FindClose: the matches of a directory search, taken when
// the search starts and handed out one by one.
#include <dirent.h>
#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/errno_map.h"
#include "core/handle_table.h"
#include "files/file_access_hook.h"
#include "files/file_facts.h"
#include "files/name_pattern.h"
#include "platform/ascii_case.h"
#include "platform/errors.h"
#include "platform/files.h"

namespace cx::platform {
namespace {

struct Match {
    std::string name;
    FileFacts facts;
};

class FindObject : public KernelObject {
  public:
    explicit FindObject(std::vector<Match> matches) : matches_(std::move(matches)) {}

    // The next match, or false when all were handed out.
    bool Next(Match* match) {
        std::lock_guard guard(lock_);
        if (next_ >= matches_.size()) return false;
        *match = matches_[next_++];
        return true;
    }

  private:
    std::mutex lock_;
    std::vector<Match> matches_;
    size_t next_ = 0;
};

class Directory {
  public:
    explicit Directory(const std::string& path) : dir_(opendir(path.c_str())) {}
    ~Directory() {
        if (dir_ != nullptr) closedir(dir_);
    }
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;
    DIR* get() const { return dir_; }

  private:
    DIR* dir_;
};

bool LessIgnoringCase(const Match& a, const Match& b) {
    return cx::LessIgnoringCase(a.name, b.name);
}

// Facts of a directory entry; a link that leads nowhere is reported as the link itself.
bool EntryFacts(DIR* dir, const char* name, FileFacts* facts) {
    return QueryFacts(dirfd(dir), name, 0, facts) ||
           QueryFacts(dirfd(dir), name, AT_SYMLINK_NOFOLLOW, facts);
}

DWORD Search(const std::string& directory, std::string_view pattern, std::vector<Match>* found) {
    bool exact = !HasWildcards(pattern);
    Match direct{std::string(pattern), {}};
    if (exact && QueryFacts(AT_FDCWD, (directory + "/" + direct.name).c_str(), 0, &direct.facts)) {
        found->push_back(std::move(direct));  // the name in its own case: no need to search
        return ERROR_SUCCESS;
    }
    Directory dir(directory);
    if (dir.get() == nullptr) {
        return errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                   : WinErrorFromErrno(errno);
    }
    while (dirent* entry = readdir(dir.get())) {
        std::string_view name = entry->d_name;
        if (!MatchesNamePattern(name, pattern)) continue;
        Match match{std::string(name), {}};
        if (!EntryFacts(dir.get(), entry->d_name, &match.facts)) continue;  // gone meanwhile
        found->push_back(std::move(match));
    }
    if (found->empty()) return ERROR_FILE_NOT_FOUND;
    std::sort(found->begin(), found->end(), LessIgnoringCase);
    if (exact) found->resize(1);  // of several names differing in case, the first
    return ERROR_SUCCESS;
}

void Fill(const Match& match, LPWIN32_FIND_DATAA data) {
    std::memset(data, 0, sizeof(*data));
    data->dwFileAttributes = AttributesOf(match.facts, match.name);
    data->ftCreationTime = match.facts.creation;
    data->ftLastAccessTime = match.facts.last_access;
    data->ftLastWriteTime = match.facts.last_write;
    data->nFileSizeHigh = static_cast<DWORD>(match.facts.size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(match.facts.size);
    size_t length = std::min(match.name.size(), sizeof(data->cFileName) - 1);
    std::memcpy(data->cFileName, match.name.data(), length);
}

}  // namespace
}  // namespace cx::platform

using namespace cx::platform;

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    if (pattern == nullptr || data == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string_view name_pattern = LastComponent(pattern);
    if (name_pattern.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    BeforeFileAccess(nullptr, FileAccess::kRead);
    std::vector<Match> matches;
    DWORD error = Search(ParentDirectory(pattern), name_pattern, &matches);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    auto search = std::make_shared<FindObject>(std::move(matches));
    Match first;
    search->Next(&first);
    Fill(first, data);
    SetLastError(ERROR_SUCCESS);
    return InsertHandle(std::move(search));
}

BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) {
    auto search = LookupHandleAs<FindObject>(find);
    if (!search || data == nullptr) {
        SetLastError(search ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Match match;
    if (!search->Next(&match)) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    Fill(match, data);
    return TRUE;
}

BOOL FindClose(HANDLE find) {
    if (!LookupHandleAs<FindObject>(find) || !RemoveHandle(find)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
