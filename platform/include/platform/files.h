// Files and directories with the Windows contracts (dispositions, sharing flags accepted,
// failIfExists, wildcards, error codes through GetLastError). Paths use '/' on Linux.
// docs/platform/files.md records how each call is carried out.
#pragma once

#include <cstdio>

#include "platform/windef.h"

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_ALL 0x10000000u
#define FILE_APPEND_DATA 0x00000004u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u

#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

#define FILE_FLAG_WRITE_THROUGH 0x80000000u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define FILE_FLAG_RANDOM_ACCESS 0x10000000u
// Ours, for the files the system writes beside data that others may write to (the trace): a
// symbolic link as the last path component is refused with ERROR_CANT_RESOLVE_FILENAME, never
// followed, and a file the call creates gets mode 0640 whatever the umask. The bit is Windows'
// FILE_FLAG_OPEN_NO_RECALL, which has no meaning here.
#define CX_FILE_FLAG_PRIVATE 0x00100000u

#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu

#define MOVEFILE_REPLACE_EXISTING 0x00000001u
#define MOVEFILE_COPY_ALLOWED 0x00000002u
#define MOVEFILE_WRITE_THROUGH 0x00000008u

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
};
using LPWIN32_FIND_DATAA = WIN32_FIND_DATAA*;

// Sharing flags are accepted and not enforced (Linux has no mandatory sharing). A directory
// cannot be opened (ERROR_ACCESS_DENIED). CREATE_ALWAYS and OPEN_ALWAYS report
// ERROR_ALREADY_EXISTS when the file was there; CREATE_NEW fails with ERROR_FILE_EXISTS.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES attributes,
                   DWORD disposition, DWORD flags, HANDLE template_file);
// Synchronous only: `overlapped` must be NULL. ReadFile at the end of the file succeeds with
// 0 bytes read.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD to_read, LPDWORD read, LPVOID overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD to_write, LPDWORD written, LPVOID overlapped);
// On success the last error is NO_ERROR, so that a position whose low part is 0xFFFFFFFF can
// be told from a failure.
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distance_high, DWORD method);
DWORD GetFileSize(HANDLE file, LPDWORD size_high);
BOOL FlushFileBuffers(HANDLE file);
BOOL SetEndOfFile(HANDLE file);
// Creation time is the file system's birth time where it records one, else the last-write
// time.
BOOL GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME last_access, LPFILETIME last_write);

// A file whose attributes say read-only (no write permission bit at all) is refused with
// ERROR_ACCESS_DENIED, as on Windows; so is a directory.
BOOL DeleteFileA(LPCSTR name);
// The new file appears whole or not at all (written beside the target, then renamed); it
// keeps the source's permissions and last-write time. A source that is a symbolic link is
// refused (ERROR_CANT_RESOLVE_FILENAME); a link at the target is replaced, never written
// through (with fail_if_exists it is an existing file: ERROR_FILE_EXISTS).
BOOL CopyFileA(LPCSTR existing, LPCSTR new_name, BOOL fail_if_exists);
// MoveFileA is MoveFileExA with MOVEFILE_COPY_ALLOWED, as on Windows.
BOOL MoveFileA(LPCSTR existing, LPCSTR new_name);
BOOL MoveFileExA(LPCSTR existing, LPCSTR new_name, DWORD flags);
DWORD GetFileAttributesA(LPCSTR name);
BOOL CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES attributes);

// Ours: `path` replaced whole by `size` bytes, as CopyFileA replaces a target: written beside
// it, synced, renamed over it (a symbolic link there is replaced, not followed) and the
// directory synced, so that a crash leaves the old content or the new. The file gets mode 0640
// whatever the umask. FALSE with the Windows error code through GetLastError.
BOOL CxWriteWholeFile(LPCSTR path, LPCVOID data, DWORD size);

// `*` and `?` in the last path component, matched without regard to case; "*.*" matches
// every name. A name without wildcards also finds a file whose name differs only in case.
HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data);
BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data);
BOOL FindClose(HANDLE find);

BOOL FileTimeToSystemTime(const FILETIME* file_time, LPSYSTEMTIME system_time);
BOOL SystemTimeToFileTime(const SYSTEMTIME* system_time, LPFILETIME file_time);
// Uses the current offset from UTC for every time, as Windows does.
BOOL FileTimeToLocalFileTime(const FILETIME* file_time, LPFILETIME local_file_time);
LONG CompareFileTime(const FILETIME* first, const FILETIME* second);

// The C runtime's buffered-stream open, for code above the platform that reads and writes
// files as streams: cached profile content of the file reaches the disk first. NULL on
// failure with errno set; CxErrnoText gives its text.
FILE* CxOpenStream(LPCSTR path, LPCSTR mode);
// The text of an errno value ("No such file or directory"), valid until the calling thread
// asks again.
const char* CxErrnoText(int error_number);

// The files the Windows patterns "*.dll" and "*.exe" stand for: shared objects ("*.so") and
// programs, which have no extension of their own on Linux (every name, then CxIsProgramFile).
inline constexpr const char* kCxLibraryPattern = "*.so";
inline constexpr const char* kCxProgramPattern = "*";
// A regular file with an execute bit (a program); FALSE for directories and everything else.
BOOL CxIsProgramFile(LPCSTR path);
