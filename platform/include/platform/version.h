// File version resources (version.dll) and the 32-bit file-system redirection switches.
//
// On Linux the version data of a file comes from what the file carries: a PE file's
// VS_VERSIONINFO resource, an ELF file's ".note.package" note (JSON) or a kernel module's
// ".modinfo" strings. The block GetFileVersionInfoA fills is opaque: read it with
// VerQueryValueA only.
#pragma once

#include "platform/windef.h"
#include "platform/winerror.h"

#define VS_FFI_SIGNATURE 0xFEEF04BDu
#define VS_FFI_STRUCVERSION 0x00010000u
#define VFT_UNKNOWN 0x00000000u
#define VFT_APP 0x00000001u
#define VFT_DLL 0x00000002u
#define VFT_DRV 0x00000003u

struct VS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};

// Size of the block that GetFileVersionInfoA fills for `filename`; 0 with the last error set
// when the file cannot be read (ERROR_FILE_NOT_FOUND, ...), is no executable format
// (ERROR_BAD_EXE_FORMAT) or carries no version data (ERROR_RESOURCE_DATA_NOT_FOUND,
// ERROR_RESOURCE_TYPE_NOT_FOUND). `handle`, when given, is set to 0.
DWORD GetFileVersionInfoSizeA(LPCSTR filename, LPDWORD handle);
// Fills `data` with the version block; a buffer smaller than the size above receives a cut
// block that VerQueryValueA reads safely as far as it goes. `handle` is ignored.
BOOL GetFileVersionInfoA(LPCSTR filename, DWORD handle, DWORD length, LPVOID data);
// "\" gives the VS_FIXEDFILEINFO (length in bytes), "\VarFileInfo\Translation" the array of
// (language, code page) word pairs (length in bytes), "\StringFileInfo\<lang><cp>\<name>"
// a string (length in characters including the NUL). Names compare without regard to case.
// The result points into `block`. FALSE with ERROR_RESOURCE_TYPE_NOT_FOUND when absent.
BOOL VerQueryValueA(LPCVOID block, LPCSTR sub_block, LPVOID* buffer, PUINT length);

// There is no 32-bit file-system redirection on Linux: both calls fail with
// ERROR_INVALID_FUNCTION, as they do for a process that is not under 32-bit emulation.
BOOL Wow64DisableWow64FsRedirection(PVOID* old_value);
BOOL Wow64RevertWow64FsRedirection(PVOID old_value);
