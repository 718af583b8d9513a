// Fixed-size integers out of a file image, in the image's byte order, bounds-checked.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/version_resource.h"

namespace cx::platform::version {

inline bool ReadUnsigned(const CxByteSource& image, std::uint64_t offset, std::size_t size,
                         bool big_endian, std::uint64_t* value) {
    std::uint8_t bytes[8];
    if (size > sizeof(bytes) || !image.Read(offset, bytes, size)) return false;
    std::uint64_t result = 0;
    for (std::size_t i = 0; i < size; ++i) {
        std::size_t index = big_endian ? size - 1 - i : i;
        result |= static_cast<std::uint64_t>(bytes[index]) << (8 * i);
    }
    *value = result;
    return true;
}

inline bool ReadLe16(const CxByteSource& image, std::uint64_t offset, std::uint32_t* value) {
    std::uint64_t wide = 0;
    if (!ReadUnsigned(image, offset, 2, false, &wide)) return false;
    *value = static_cast<std::uint32_t>(wide);
    return true;
}

inline bool ReadLe32(const CxByteSource& image, std::uint64_t offset, std::uint32_t* value) {
    std::uint64_t wide = 0;
    if (!ReadUnsigned(image, offset, 4, false, &wide)) return false;
    *value = static_cast<std::uint32_t>(wide);
    return true;
}

// Little-endian integers inside a buffer already read; the caller checks the bounds.
inline std::uint32_t Le16At(const std::uint8_t* data) {
    return static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8;
}
inline std::uint32_t Le32At(const std::uint8_t* data) {
    return Le16At(data) | Le16At(data + 2) << 16;
}

}  // namespace cx::platform::version
