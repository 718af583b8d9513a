// SMBIOS tables and entry points built in memory, for the tests, the benchmark and the fuzz
// corpus of cx-switchd's firmware table reader.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace cx::test {

// One structure: a formatted area of a given length (header included) and its strings.
class SmbiosStructure {
  public:
    SmbiosStructure(std::uint8_t type, std::size_t length, std::uint16_t handle = 0)
        : formatted_(length, '\0') {
        Set(0, type).Set(1, length).Set(2, handle, 2);
    }
    // With texts at the offsets given, in order.
    SmbiosStructure(std::uint8_t type, std::size_t length,
                    std::initializer_list<std::pair<std::size_t, std::string>> texts)
        : SmbiosStructure(type, length) {
        for (const auto& [offset, text] : texts)
            Text(offset, text);
    }
    // Writes `value` little-endian at `offset`; bytes beyond the formatted area are dropped,
    // so one description serves structures of every length.
    SmbiosStructure& Set(std::size_t offset, std::uint64_t value, std::size_t size = 1) {
        for (std::size_t i = 0; i < size; ++i) {
            if (offset + i < formatted_.size())
                formatted_[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        }
        return *this;
    }
    struct Field {
        std::size_t offset;
        std::uint64_t value;
        std::size_t size = 1;
    };
    SmbiosStructure& Set(std::initializer_list<Field> fields) {
        for (const Field& field : fields)
            Set(field.offset, field.value, field.size);
        return *this;
    }
    // Adds `text` to the strings and stores its index at `offset`.
    SmbiosStructure& Text(std::size_t offset, const std::string& text) {
        strings_.push_back(text);
        return Set(offset, strings_.size());
    }
    std::string Bytes() const {
        std::string bytes = formatted_;
        for (const std::string& text : strings_)
            bytes += text + '\0';
        if (strings_.empty()) bytes += '\0';
        return bytes + '\0';
    }

  private:
    std::string formatted_;
    std::vector<std::string> strings_;
};

inline std::string SmbiosTable(const std::vector<SmbiosStructure>& structures,
                               bool end_marker = true) {
    std::string table;
    for (const SmbiosStructure& s : structures)
        table += s.Bytes();
    if (end_marker) table += SmbiosStructure(127, 4).Bytes();
    return table;
}

namespace smbios_detail {
inline void Put(std::string* bytes, std::size_t offset, std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        (*bytes)[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}
inline void FixChecksum(std::string* bytes, std::size_t from, std::size_t length, std::size_t at) {
    std::uint8_t sum = 0;
    (*bytes)[at] = 0;
    for (std::size_t i = from; i < from + length; ++i)
        sum += static_cast<std::uint8_t>((*bytes)[i]);
    (*bytes)[at] = static_cast<char>(0x100 - sum);
}
}  // namespace smbios_detail

// A 3.x entry point ("_SM3_", 24 bytes) for a table of at most `table_size` bytes.
inline std::string SmbiosEntryPoint3(std::uint32_t table_size, std::uint8_t major = 3,
                                     std::uint8_t minor = 3) {
    std::string bytes(24, '\0');
    bytes.replace(0, 5, "_SM3_");
    using smbios_detail::Put;
    Put(&bytes, 6, 24, 1);
    Put(&bytes, 7, major, 1);
    Put(&bytes, 8, minor, 1);
    Put(&bytes, 0x0A, 1, 1);
    Put(&bytes, 0x0C, table_size, 4);
    smbios_detail::FixChecksum(&bytes, 0, 24, 5);
    return bytes;
}

// A 2.x entry point ("_SM_" with its "_DMI_" part, 31 bytes).
inline std::string SmbiosEntryPoint2(std::uint16_t table_size, std::uint16_t count,
                                     std::uint8_t major = 2, std::uint8_t minor = 8) {
    std::string bytes(31, '\0');
    bytes.replace(0, 4, "_SM_");
    bytes.replace(0x10, 5, "_DMI_");
    using smbios_detail::Put;
    Put(&bytes, 5, 31, 1);
    Put(&bytes, 6, major, 1);
    Put(&bytes, 7, minor, 1);
    Put(&bytes, 0x16, table_size, 2);
    Put(&bytes, 0x1C, count, 2);
    Put(&bytes, 0x1E, (major << 4) | minor, 1);
    smbios_detail::FixChecksum(&bytes, 0x10, 15, 0x15);
    smbios_detail::FixChecksum(&bytes, 0, 31, 4);
    return bytes;
}

}  // namespace cx::test
