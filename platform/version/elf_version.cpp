// Version data of ELF images: the ".note.package" note (an "FDO" note whose text is a JSON
// object, as distributions stamp their binaries and our build stamps ours), or, for kernel
// modules, the "key=value" strings of ".modinfo".
#include <cstring>
#include <string>
#include <vector>

#include "platform/version_resource.h"
#include "version/byte_reader.h"

namespace {

using cx::platform::version::ReadUnsigned;

constexpr std::uint32_t kPackageNoteType = 0xCAFE1A7E;
constexpr std::uint32_t kNoteSegmentType = 4;  // PT_NOTE
constexpr std::uint32_t kRelocatable = 1, kExecutable = 2, kShared = 3;
constexpr std::size_t kMaxNoteBytes = 64 * 1024;
constexpr std::size_t kMaxModinfoBytes = 1024 * 1024;
constexpr std::size_t kMaxNameTableBytes = 1024 * 1024;
constexpr std::uint32_t kMaxSegments = 256;
// Our strings live in one table, US English in Unicode, as resource compilers write it.
constexpr DWORD kTranslation = 0x04B00409;
constexpr const char* kStringTableKey = "040904B0";

struct SectionHeader {
    std::uint64_t name;
    std::uint64_t type;
    std::uint64_t offset;
    std::uint64_t size;
    std::uint64_t alignment;
};

class ElfImage {
  public:
    explicit ElfImage(const CxByteSource& image) : image_(image) {}

    bool Open() {
        std::uint8_t ident[16];
        if (!image_.Read(0, ident, sizeof(ident)) || std::memcmp(ident,
                                                                 "\x7F"
                                                                 "ELF",
                                                                 4) != 0) {
            return false;
        }
        if (ident[4] != 1 && ident[4] != 2) return false;
        if (ident[5] != 1 && ident[5] != 2) return false;
        wide_ = ident[4] == 2;
        big_endian_ = ident[5] == 2;
        std::uint64_t type = 0;
        if (!Field(16, 2, &type)) return false;
        file_type_ = static_cast<std::uint32_t>(type);
        return Field(wide_ ? 0x20 : 0x1C, wide_ ? 8 : 4, &program_offset_) &&
               Field(wide_ ? 0x28 : 0x20, wide_ ? 8 : 4, &section_offset_) &&
               Field(wide_ ? 0x36 : 0x2A, 2, &program_entry_size_) &&
               Field(wide_ ? 0x38 : 0x2C, 2, &program_count_) &&
               Field(wide_ ? 0x3A : 0x2E, 2, &section_entry_size_) &&
               Field(wide_ ? 0x3C : 0x30, 2, &section_count_) &&
               Field(wide_ ? 0x3E : 0x32, 2, &name_section_);
    }

    std::uint32_t FileType() const { return file_type_; }
    bool BigEndian() const { return big_endian_; }

    // The contents of the section called `name`, at most `limit` bytes.
    bool SectionByName(const char* name, std::size_t limit, std::vector<std::uint8_t>* data,
                       std::uint64_t* alignment) {
        if (!LoadNames()) return false;
        for (std::uint64_t i = 0; i < section_count_; ++i) {
            SectionHeader header;
            if (!Section(i, &header) || header.name >= names_.size()) continue;
            const char* section_name = reinterpret_cast<const char*>(names_.data()) + header.name;
            std::size_t room = names_.size() - header.name;
            if (strnlen(section_name, room) == room || std::strcmp(section_name, name) != 0) {
                continue;
            }
            *alignment = header.alignment;
            return Contents(header.offset, header.size, limit, data);
        }
        return false;
    }

    // Calls `visit(data, alignment)` for each note segment; for images without sections.
    template <class Visit>
    void ForEachNoteSegment(Visit visit) {
        std::uint64_t count = program_count_ < kMaxSegments ? program_count_ : kMaxSegments;
        for (std::uint64_t i = 0; i < count; ++i) {
            std::uint64_t header = program_offset_ + i * program_entry_size_;
            std::uint64_t type = 0, offset = 0, size = 0, alignment = 0;
            bool read = wide_
                            ? Field(header, 4, &type) && Field(header + 8, 8, &offset) &&
                                  Field(header + 32, 8, &size) && Field(header + 48, 8, &alignment)
                            : Field(header, 4, &type) && Field(header + 4, 4, &offset) &&
                                  Field(header + 16, 4, &size) && Field(header + 28, 4, &alignment);
            std::vector<std::uint8_t> data;
            if (read && type == kNoteSegmentType && Contents(offset, size, kMaxNoteBytes, &data)) {
                visit(data, alignment);
            }
        }
    }

  private:
    bool Field(std::uint64_t offset, std::size_t size, std::uint64_t* value) const {
        return ReadUnsigned(image_, offset, size, big_endian_, value);
    }

    bool Section(std::uint64_t index, SectionHeader* header) const {
        if (section_entry_size_ < (wide_ ? 64u : 40u)) return false;
        std::uint64_t at = section_offset_ + index * section_entry_size_;
        if (wide_) {
            return Field(at, 4, &header->name) && Field(at + 4, 4, &header->type) &&
                   Field(at + 24, 8, &header->offset) && Field(at + 32, 8, &header->size) &&
                   Field(at + 48, 8, &header->alignment);
        }
        return Field(at, 4, &header->name) && Field(at + 4, 4, &header->type) &&
               Field(at + 16, 4, &header->offset) && Field(at + 20, 4, &header->size) &&
               Field(at + 32, 4, &header->alignment);
    }

    bool Contents(std::uint64_t offset, std::uint64_t size, std::size_t limit,
                  std::vector<std::uint8_t>* data) const {
        if (size > limit) size = limit;
        data->resize(static_cast<std::size_t>(size));
        return image_.Read(offset, data->data(), data->size());
    }

    bool LoadNames() {
        if (names_loaded_) return !names_.empty();
        names_loaded_ = true;
        SectionHeader header;
        if (section_offset_ == 0 || name_section_ >= section_count_ ||
            !Section(name_section_, &header)) {
            return false;
        }
        return Contents(header.offset, header.size, kMaxNameTableBytes, &names_);
    }

    const CxByteSource& image_;
    bool wide_ = false;
    bool big_endian_ = false;
    std::uint32_t file_type_ = 0;
    std::uint64_t program_offset_ = 0, program_entry_size_ = 0, program_count_ = 0;
    std::uint64_t section_offset_ = 0, section_entry_size_ = 0, section_count_ = 0;
    std::uint64_t name_section_ = 0;
    bool names_loaded_ = false;
    std::vector<std::uint8_t> names_;
};

std::uint32_t Word(const std::uint8_t* data, bool big_endian) {
    CxMemoryByteSource source(data, 4);
    std::uint64_t value = 0;
    ReadUnsigned(source, 0, 4, big_endian, &value);
    return static_cast<std::uint32_t>(value);
}

// The JSON text of the package note among the notes in `data`.
bool FindPackageNote(const std::vector<std::uint8_t>& data, std::uint64_t alignment,
                     bool big_endian, std::string* json) {
    std::size_t align = alignment == 8 ? 8 : 4;
    auto padded = [align](std::size_t size) { return (size + align - 1) / align * align; };
    std::size_t at = 0;
    while (data.size() >= 12 && at <= data.size() - 12) {
        std::uint32_t name_size = Word(&data[at], big_endian);
        std::uint32_t text_size = Word(&data[at + 4], big_endian);
        std::uint32_t type = Word(&data[at + 8], big_endian);
        std::size_t name_at = at + 12;
        if (name_size > data.size() - name_at) return false;
        std::size_t text_at = name_at + padded(name_size);
        if (text_at > data.size() || text_size > data.size() - text_at) return false;
        if (type == kPackageNoteType && name_size == 4 &&
            std::memcmp(&data[name_at], "FDO", 4) == 0) {
            const char* text = reinterpret_cast<const char*>(&data[text_at]);
            json->assign(text, strnlen(text, text_size));
            return true;
        }
        at = text_at + padded(text_size);
    }
    return false;
}

// "4.2.10.1" as the two version words of VS_FIXEDFILEINFO; missing parts count as 0.
bool ParseVersionWords(const std::string& text, DWORD* high, DWORD* low) {
    DWORD parts[4] = {};
    std::size_t part = 0;
    const char* at = text.c_str();
    if (*at < '0' || *at > '9') return false;
    while (part < 4 && *at >= '0' && *at <= '9') {
        DWORD value = 0;
        for (; *at >= '0' && *at <= '9'; ++at) {
            if (value <= 0xFFFF) value = value * 10 + static_cast<DWORD>(*at - '0');
        }
        parts[part++] = value > 0xFFFF ? 0xFFFF : value;
        if (*at != '.') break;
        ++at;
    }
    *high = parts[0] << 16 | parts[1];
    *low = parts[2] << 16 | parts[3];
    return true;
}

const std::string* Lookup(const std::vector<CxVersionString>& strings, const char* name) {
    for (const auto& item : strings) {
        if (item.name == name) return &item.value;
    }
    return nullptr;
}

void AddDefault(std::vector<CxVersionString>* strings, const char* name, const char* from) {
    const std::string* value = Lookup(*strings, from);
    if (value != nullptr && Lookup(*strings, name) == nullptr) strings->push_back({name, *value});
}

DWORD FileTypeOf(std::uint32_t elf_type) {
    switch (elf_type) {
        case kExecutable: return VFT_APP;
        case kShared: return VFT_DLL;
        case kRelocatable: return VFT_DRV;
        default: return VFT_UNKNOWN;
    }
}

void Finish(std::vector<CxVersionString> strings, std::uint32_t elf_type,
            CxVersionResource* resource) {
    *resource = CxVersionResource{};
    VS_FIXEDFILEINFO& fixed = resource->fixed_info;
    fixed.dwSignature = VS_FFI_SIGNATURE;
    fixed.dwStrucVersion = VS_FFI_STRUCVERSION;
    fixed.dwFileType = FileTypeOf(elf_type);
    const std::string* file_version = Lookup(strings, "FileVersion");
    const std::string* product_version = Lookup(strings, "ProductVersion");
    if (file_version != nullptr) {
        ParseVersionWords(*file_version, &fixed.dwFileVersionMS, &fixed.dwFileVersionLS);
    }
    if (product_version != nullptr) {
        ParseVersionWords(*product_version, &fixed.dwProductVersionMS, &fixed.dwProductVersionLS);
    }
    resource->has_fixed_info = true;
    resource->translations.push_back(kTranslation);
    resource->string_tables.push_back({kStringTableKey, std::move(strings)});
}

// Package note members keep their names; the note's generic "name" and "version" stand in
// for the version strings a note of another packager does not carry.
bool ReadPackageNote(const std::string& json, std::uint32_t elf_type, CxVersionResource* resource) {
    std::vector<CxVersionString> strings;
    if (!CxParseJsonStringMembers(json.data(), json.size(), &strings)) return false;
    AddDefault(&strings, "FileVersion", "version");
    AddDefault(&strings, "ProductVersion", "version");
    AddDefault(&strings, "InternalName", "name");
    AddDefault(&strings, "ProductName", "name");
    Finish(std::move(strings), elf_type, resource);
    return true;
}

// The ".modinfo" strings as key and value pairs, in order.
std::vector<CxVersionString> ModinfoEntries(const std::vector<std::uint8_t>& data) {
    std::vector<CxVersionString> entries;
    const char* text = reinterpret_cast<const char*>(data.data());
    std::size_t at = 0;
    while (at < data.size()) {
        std::size_t length = strnlen(text + at, data.size() - at);
        std::string entry(text + at, length);
        at += length + 1;
        std::size_t equals = entry.find('=');
        if (equals == std::string::npos) continue;
        entries.push_back({entry.substr(0, equals), entry.substr(equals + 1)});
    }
    return entries;
}

}  // namespace

DWORD CxReadElfVersion(const CxByteSource& image, CxVersionResource* resource) {
    ElfImage elf(image);
    if (!elf.Open()) return ERROR_BAD_EXE_FORMAT;
    std::vector<std::uint8_t> data;
    std::uint64_t alignment = 4;
    std::string json;
    if (elf.SectionByName(".note.package", kMaxNoteBytes, &data, &alignment)) {
        if (FindPackageNote(data, alignment, elf.BigEndian(), &json) &&
            ReadPackageNote(json, elf.FileType(), resource)) {
            return ERROR_SUCCESS;
        }
    } else {
        bool found = false;
        elf.ForEachNoteSegment([&](const std::vector<std::uint8_t>& notes, std::uint64_t align) {
            if (!found && FindPackageNote(notes, align, elf.BigEndian(), &json)) found = true;
        });
        if (found && ReadPackageNote(json, elf.FileType(), resource)) return ERROR_SUCCESS;
    }
    if (elf.SectionByName(".modinfo", kMaxModinfoBytes, &data, &alignment) &&
        CxModinfoVersion(ModinfoEntries(data), elf.FileType(), resource)) {
        return ERROR_SUCCESS;
    }
    return ERROR_RESOURCE_TYPE_NOT_FOUND;
}

// Kernel module strings: description, author (the first one), version and name.
bool CxModinfoVersion(const std::vector<CxVersionString>& entries, std::uint32_t elf_type,
                      CxVersionResource* resource) {
    struct Mapping {
        const char* key;
        const char* names[2];
    } const mappings[] = {
        {"description", {"FileDescription", nullptr}},
        {"author", {"CompanyName", nullptr}},
        {"version", {"FileVersion", "ProductVersion"}},
        {"name", {"InternalName", nullptr}},
    };
    std::vector<CxVersionString> strings;
    for (const CxVersionString& entry : entries) {
        for (const Mapping& mapping : mappings) {
            if (entry.name != mapping.key) continue;
            for (const char* name : mapping.names) {
                if (name != nullptr && Lookup(strings, name) == nullptr) {
                    strings.push_back({name, entry.value});
                }
            }
        }
    }
    if (strings.empty()) return false;
    Finish(std::move(strings), elf_type, resource);
    return true;
}
