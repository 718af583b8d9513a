// The Windows profile (INI file) functions. Names of sections and keys compare without regard
// to case; lines are written with CRLF; files are cached per path and written back whole and
// atomically (docs/platform/files.md gives every rule).
#pragma once

#include "platform/windef.h"

// Copies the value of `key` in `section`, or `default_value` when there is none, into
// `buffer`. NULL `section` lists the section names and NULL `key` the section's keys, each
// NUL-terminated, the list ended by one more NUL. Returns the number of characters copied
// without the final NUL; when the buffer is too small the text is cut and the result is
// size - 1 (size - 2 for lists).
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR default_value, LPSTR buffer,
                               DWORD size, LPCSTR file);
// The value as a number (decimal, or with 0x, 0o, 0b prefixes), `default_value` when the key
// is missing or empty; text that does not begin with a number gives 0.
UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT default_value, LPCSTR file);
// Sets `key` in `section` to `value`, creating the file, the section (at the end of the file)
// or the key (at the end of its section) as needed. NULL `value` deletes the key, NULL `key`
// the section; all three NULL write the file's cached content to disk.
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file);
