// The operating system's version and language as the Windows calls report them, and the
// Linux sources behind them: the kernel release, /etc/os-release and the process locale.
#pragma once

#include <cstddef>
#include <string>

#include "platform/windef.h"
#include "platform/winerror.h"

using LANGID = WORD;

#define VER_PLATFORM_WIN32s 0u
#define VER_PLATFORM_WIN32_WINDOWS 1u
#define VER_PLATFORM_WIN32_NT 2u
// Our own platform id: a Linux kernel with a distribution described by os-release.
#define CX_VER_PLATFORM_LINUX 0x4C58u

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
};
using LPOSVERSIONINFOA = OSVERSIONINFOA*;

// Major, minor and build are the first three numbers of the kernel release (uname; "6.1.0-18"
// gives 6, 1, 0); szCSDVersion is the distribution's VERSION (os-release), empty without one;
// the platform id is CX_VER_PLATFORM_LINUX. dwOSVersionInfoSize below
// sizeof(OSVERSIONINFOA): FALSE, ERROR_INSUFFICIENT_BUFFER.
BOOL GetVersionExA(LPOSVERSIONINFOA info);

// The language of the process locale (the first of LC_ALL, LC_MESSAGES and LANG that is set and
// not empty) as a Windows language id: en_US 0x0409, de_DE 0x0407, ...; C, POSIX, no locale and
// a language the table does not know give 0x0409.
LANGID GetSystemDefaultLangID();
// The table lookup behind it: a locale name "ll_CC.codeset@modifier"; a known language with an
// unknown territory takes the language's first territory in the table.
LANGID CxLangIdFromLocale(const char* locale);

// The fields of os-release the agent reports, and what was wrong with the file.
struct CxOsRelease {
    std::string name;         // NAME
    std::string version;      // VERSION
    std::string id;           // ID
    std::string pretty_name;  // PRETTY_NAME
    std::string vendor_name;  // VENDOR_NAME
    std::string version_id;   // VERSION_ID
    unsigned bad_lines = 0;   // lines that are not an assignment, or whose quoting is broken
    bool cut = false;         // the file was longer than the reader takes; the rest is ignored
};

// The longest os-release text read; a longer file is read that far.
inline constexpr std::size_t kCxOsReleaseLimit = 64 * 1024;

// Parses os-release text: KEY=value lines, values plain or in single or double quotes (in
// double quotes a backslash escapes $ " \ and `), comments and blank lines skipped. A line
// whose quotes do not close is counted in bad_lines and ignored. Never fails.
void CxParseOsRelease(const char* text, std::size_t size, CxOsRelease* release);
// Reads $CX_OS_RELEASE when set, else /etc/os-release, else /usr/lib/os-release. FALSE with
// the last error ERROR_FILE_NOT_FOUND (or the file error) when none can be read.
BOOL CxReadOsRelease(CxOsRelease* release);
