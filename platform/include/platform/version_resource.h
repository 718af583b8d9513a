// The version data of a file as the platform reads it, before it becomes the opaque block of
// GetFileVersionInfoA. The readers take bytes (a CxByteSource), never a path, so that tests
// and fuzzers feed them images from memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/version.h"

struct CxVersionString {
    std::string name;
    std::string value;  // UTF-8
};

struct CxStringTable {
    std::string key;  // "040904B0": language and code page in hexadecimal
    std::vector<CxVersionString> strings;
};

struct CxVersionResource {
    bool has_fixed_info = false;
    VS_FIXEDFILEINFO fixed_info{};
    std::vector<CxStringTable> string_tables;
    std::vector<DWORD> translations;  // low word language, high word code page
};

// Random access to the bytes of a file image.
class CxByteSource {
  public:
    virtual ~CxByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // FALSE when [offset, offset + size) is not wholly inside the image or cannot be read.
    virtual bool Read(std::uint64_t offset, void* out, std::size_t size) const = 0;
};

class CxMemoryByteSource : public CxByteSource {
  public:
    CxMemoryByteSource(const void* data, std::size_t size)
        : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    bool Read(std::uint64_t offset, void* out, std::size_t size) const override;

  private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// Reads the version data of a PE, ELF or kernel-module image into `resource`. Returns
// ERROR_SUCCESS, ERROR_BAD_EXE_FORMAT (not one of those formats),
// ERROR_RESOURCE_DATA_NOT_FOUND (a PE without resources) or ERROR_RESOURCE_TYPE_NOT_FOUND
// (no version data, or version data that cannot be read).
DWORD CxReadVersionResource(const CxByteSource& image, CxVersionResource* resource);

// The pieces, for the formats' own tests.
DWORD CxReadPeVersion(const CxByteSource& image, CxVersionResource* resource);
DWORD CxReadElfVersion(const CxByteSource& image, CxVersionResource* resource);
// A VS_VERSIONINFO block (UTF-16, as a PE resource holds it).
bool CxParseVsVersionInfo(const std::uint8_t* data, std::size_t size, CxVersionResource* resource);
// The top-level string members of a JSON object, in order; FALSE when the text is not one
// JSON object.
bool CxParseJsonStringMembers(const char* text, std::size_t size,
                              std::vector<CxVersionString>* members);

// The opaque block: its size, and writing it (at most `capacity` bytes; a cut block stays
// readable). Returns the bytes written.
std::size_t CxVersionBlockSize(const CxVersionResource& resource);
std::size_t CxWriteVersionBlock(const CxVersionResource& resource, void* block,
                                std::size_t capacity);

// A kernel module's version data from its ".modinfo" entries (key, value): description,
// the first author, version and name. FALSE when none of them is there. `elf_type` is the
// module's ELF file type (1, relocatable, for every module).
bool CxModinfoVersion(const std::vector<CxVersionString>& entries, std::uint32_t elf_type,
                      CxVersionResource* resource);
// A compressed kernel module (".ko.xz", ".ko.zst", ".ko.gz"), unpacked by libkmod. Returns
// ERROR_SUCCESS, the file error, ERROR_BAD_EXE_FORMAT (not a module libkmod can unpack) or
// ERROR_RESOURCE_TYPE_NOT_FOUND (no version strings).
DWORD CxReadCompressedModuleVersion(const char* path, CxVersionResource* resource);
// Whether `path` names a compressed kernel module by its extension.
bool CxIsCompressedModuleName(const char* path);
