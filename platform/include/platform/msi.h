// The installer's product information (msi.dll) over the Debian package database.
//
// A product code is mapped to a package by the registry: HKEY_LOCAL_MACHINE
// "SOFTWARE\Classes\Installer\Products\{code}", value "Package" (REG_SZ). The package's version
// comes from dpkg-query ($CX_DPKG_QUERY names another program) with a bounded wait, or, when
// that cannot run, from the status file of the dpkg database ($CX_DPKG_ADMINDIR, default
// /var/lib/dpkg, which is also handed to dpkg-query).
#pragma once

#include <cstddef>
#include <string>

#include "platform/windef.h"
#include "platform/winerror.h"

// Only the property "VersionString" is known (ERROR_UNKNOWN_PROPERTY for others). A code
// without a mapping, or whose package is not installed: ERROR_UNKNOWN_PRODUCT; a mapping that is
// no package name: ERROR_BAD_CONFIGURATION. *length is the buffer's size in characters on entry
// and the value's length on return; a buffer too small gets ERROR_MORE_DATA and the length
// needed (without the NUL), the value cut to the buffer.
UINT MsiGetProductInfoA(LPCSTR product, LPCSTR property, LPSTR value, LPDWORD length);

// The answer of a status file for one package.
struct CxDpkgLookup {
    bool installed = false;       // a stanza of the package whose status says installed
    std::string version;          // its Version
    unsigned broken_stanzas = 0;  // stanzas skipped: lines that are no field, no Package
};

// Longest status file read; a longer one is read that far.
inline constexpr std::size_t kCxDpkgStatusLimit = 64u * 1024 * 1024;

// Looks `package` up in the text of a dpkg status file: stanzas separated by blank lines, fields
// "Name: value" with continuation lines starting with a blank. The first stanza of the package
// whose Status ends in "installed" and that has a Version wins; a stanza with a line that is no
// field and no continuation is broken and skipped as a whole.
void CxFindDpkgVersion(const char* text, std::size_t size, const char* package,
                       CxDpkgLookup* lookup);
// Whether `name` is a Debian package name (lower-case letters, digits, + - . ; starting with a
// letter or digit; at least two characters), optionally followed by ":architecture".
bool CxIsDpkgPackageName(const char* name);
