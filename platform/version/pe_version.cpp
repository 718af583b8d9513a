// The version resource of a PE image: resource directory type 16 (RT_VERSION), its first name
// and first language, then the VS_VERSIONINFO block it points to.
#include <vector>

#include "platform/version_resource.h"
#include "version/byte_reader.h"

namespace {

using cx::platform::version::ReadLe16;
using cx::platform::version::ReadLe32;

constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::uint32_t kPe32Magic = 0x10B;
constexpr std::uint32_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kResourceDirectory = 2;
constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::uint32_t kSectionHeaderSize = 40;
// VS_VERSIONINFO counts its length in 16 bits.
constexpr std::uint32_t kMaxVersionBlock = 0x10000;

struct Section {
    std::uint32_t virtual_address;
    std::uint32_t virtual_size;
    std::uint32_t raw_size;
    std::uint32_t raw_offset;
};

class PeImage {
  public:
    explicit PeImage(const CxByteSource& image) : image_(image) {}

    DWORD Open() {
        std::uint32_t mz = 0, pe_offset = 0, signature = 0;
        if (!ReadLe16(image_, 0, &mz) || mz != 0x5A4D) return ERROR_BAD_EXE_FORMAT;
        if (!ReadLe32(image_, 0x3C, &pe_offset)) return ERROR_BAD_EXE_FORMAT;
        if (!ReadLe32(image_, pe_offset, &signature) || signature != kPeSignature) {
            return ERROR_BAD_EXE_FORMAT;
        }
        std::uint64_t file_header = std::uint64_t{pe_offset} + 4;
        std::uint32_t section_count = 0, optional_size = 0, magic = 0;
        if (!ReadLe16(image_, file_header + 2, &section_count) ||
            !ReadLe16(image_, file_header + 16, &optional_size)) {
            return ERROR_BAD_EXE_FORMAT;
        }
        std::uint64_t optional = file_header + 20;
        if (!ReadLe16(image_, optional, &magic)) return ERROR_BAD_EXE_FORMAT;
        std::uint64_t directory_count_at = 0;
        if (magic == kPe32Magic) {
            directory_count_at = optional + 92;
        } else if (magic == kPe32PlusMagic) {
            directory_count_at = optional + 108;
        } else {
            return ERROR_BAD_EXE_FORMAT;
        }
        std::uint32_t directory_count = 0;
        std::uint64_t directory = directory_count_at + 4 + 8 * kResourceDirectory;
        if (!ReadLe32(image_, directory_count_at, &directory_count) ||
            directory_count <= kResourceDirectory || directory + 8 > optional + optional_size ||
            !ReadLe32(image_, directory, &resource_rva_)) {
            return ERROR_RESOURCE_DATA_NOT_FOUND;
        }
        if (resource_rva_ == 0) return ERROR_RESOURCE_DATA_NOT_FOUND;
        return ReadSections(optional + optional_size, section_count);
    }

    // The VS_VERSIONINFO bytes of the first name and language of type RT_VERSION.
    DWORD ReadVersionBlock(std::vector<std::uint8_t>* block) const {
        std::uint32_t names = 0, languages = 0, data_entry = 0;
        if (!FindEntry(0, true, kRtVersion, &names) || !(names & kHighBit) ||
            !FindEntry(names & ~kHighBit, false, 0, &languages) || !(languages & kHighBit) ||
            !FindEntry(languages & ~kHighBit, false, 0, &data_entry) || (data_entry & kHighBit)) {
            return ERROR_RESOURCE_TYPE_NOT_FOUND;
        }
        std::uint64_t entry = 0;
        std::uint32_t data_rva = 0, data_size = 0;
        if (!ResourceOffset(data_entry, 16, &entry) || !ReadLe32(image_, entry, &data_rva) ||
            !ReadLe32(image_, entry + 4, &data_size)) {
            return ERROR_RESOURCE_TYPE_NOT_FOUND;
        }
        if (data_size > kMaxVersionBlock) data_size = kMaxVersionBlock;
        std::uint64_t data = 0;
        if (data_size == 0 || !RvaToOffset(data_rva, data_size, &data)) {
            return ERROR_RESOURCE_TYPE_NOT_FOUND;
        }
        block->resize(data_size);
        if (!image_.Read(data, block->data(), data_size)) return ERROR_RESOURCE_TYPE_NOT_FOUND;
        return ERROR_SUCCESS;
    }

  private:
    DWORD ReadSections(std::uint64_t table, std::uint32_t count) {
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint64_t header = table + std::uint64_t{i} * kSectionHeaderSize;
            Section section{};
            if (!ReadLe32(image_, header + 8, &section.virtual_size) ||
                !ReadLe32(image_, header + 12, &section.virtual_address) ||
                !ReadLe32(image_, header + 16, &section.raw_size) ||
                !ReadLe32(image_, header + 20, &section.raw_offset)) {
                return ERROR_BAD_EXE_FORMAT;
            }
            sections_.push_back(section);
        }
        return ERROR_SUCCESS;
    }

    // The file offset of [rva, rva + size), which must lie in one section's raw data.
    bool RvaToOffset(std::uint32_t rva, std::uint32_t size, std::uint64_t* offset) const {
        for (const Section& section : sections_) {
            std::uint64_t start = section.virtual_address;
            if (rva < start || std::uint64_t{rva} + size > start + section.raw_size) continue;
            *offset = std::uint64_t{section.raw_offset} + (rva - start);
            return true;
        }
        return false;
    }

    bool ResourceOffset(std::uint32_t relative, std::uint32_t size, std::uint64_t* offset) const {
        std::uint64_t rva = std::uint64_t{resource_rva_} + relative;
        if (rva > 0xFFFFFFFFu) return false;
        return RvaToOffset(static_cast<std::uint32_t>(rva), size, offset);
    }

    // In the directory at `relative` (from the resource root): the entry with the numeric
    // identifier `id`, or the first entry when `by_id` is false. Gives its OffsetToData.
    bool FindEntry(std::uint32_t relative, bool by_id, std::uint32_t id,
                   std::uint32_t* target) const {
        std::uint64_t directory = 0;
        std::uint32_t named = 0, numbered = 0;
        if (!ResourceOffset(relative, 16, &directory) ||
            !ReadLe16(image_, directory + 12, &named) ||
            !ReadLe16(image_, directory + 14, &numbered)) {
            return false;
        }
        std::uint32_t count = named + numbered;
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint64_t entry = directory + 16 + std::uint64_t{i} * 8;
            std::uint32_t name = 0;
            if (!ReadLe32(image_, entry, &name) || !ReadLe32(image_, entry + 4, target)) {
                return false;
            }
            if (!by_id || name == id) return true;
        }
        return false;
    }

    const CxByteSource& image_;
    std::uint32_t resource_rva_ = 0;
    std::vector<Section> sections_;
};

}  // namespace

DWORD CxReadPeVersion(const CxByteSource& image, CxVersionResource* resource) {
    PeImage pe(image);
    DWORD error = pe.Open();
    if (error != ERROR_SUCCESS) return error;
    std::vector<std::uint8_t> block;
    error = pe.ReadVersionBlock(&block);
    if (error != ERROR_SUCCESS) return error;
    if (!CxParseVsVersionInfo(block.data(), block.size(), resource)) {
        return ERROR_RESOURCE_TYPE_NOT_FOUND;
    }
    return ERROR_SUCCESS;
}
