// UTF-8 bytes <-> UTF-16LE, with undecodable bytes carried as lone low surrogates.
#include "registry/utf16.h"

#include <cstdint>

namespace cx::platform::registry {
namespace {

void PutUnit(std::string* out, std::uint32_t unit) {
    out->push_back(static_cast<char>(unit & 0xff));
    out->push_back(static_cast<char>((unit >> 8) & 0xff));
}

void PutUtf8(std::string* out, std::uint32_t code_point) {
    if (code_point < 0x80) {
        out->push_back(static_cast<char>(code_point));
    } else if (code_point < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (code_point >> 6)));
        out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    } else if (code_point < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (code_point >> 12)));
        out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (code_point >> 18)));
        out->push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    }
}

// Decodes one strict UTF-8 sequence at `bytes[i]`; its length, or 0 when it is not one.
size_t DecodeUtf8(std::string_view bytes, size_t i, std::uint32_t* code_point) {
    auto byte = [&](size_t k) { return static_cast<std::uint8_t>(bytes[k]); };
    std::uint8_t lead = byte(i);
    if (lead < 0x80) {
        *code_point = lead;
        return 1;
    }
    size_t length;
    std::uint8_t low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;  // no encoded surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > bytes.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    std::uint32_t value = lead & (0xFF >> (length + 1));
    for (size_t k = 1; k < length; ++k) {
        if (k > 1 && (byte(i + k) & 0xC0) != 0x80) return 0;
        value = (value << 6) | (byte(i + k) & 0x3F);
    }
    *code_point = value;
    return length;
}

}  // namespace

std::string BytesToUtf16le(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    size_t i = 0;
    while (i < bytes.size()) {
        std::uint32_t code_point = 0;
        size_t length = DecodeUtf8(bytes, i, &code_point);
        if (length == 0) {
            PutUnit(&out, 0xDC00 | static_cast<std::uint8_t>(bytes[i]));
            ++i;
            continue;
        }
        if (code_point >= 0x10000) {
            code_point -= 0x10000;
            PutUnit(&out, 0xD800 | (code_point >> 10));
            PutUnit(&out, 0xDC00 | (code_point & 0x3FF));
        } else {
            PutUnit(&out, code_point);
        }
        i += length;
    }
    return out;
}

bool Utf16leToBytes(std::string_view utf16, std::string* bytes) {
    bytes->clear();
    if (utf16.size() % 2 != 0) return false;
    auto unit = [&](size_t k) {
        return static_cast<std::uint32_t>(static_cast<std::uint8_t>(utf16[2 * k])) |
               static_cast<std::uint32_t>(static_cast<std::uint8_t>(utf16[2 * k + 1])) << 8;
    };
    size_t count = utf16.size() / 2;
    for (size_t k = 0; k < count; ++k) {
        std::uint32_t first = unit(k);
        if (first >= 0xD800 && first <= 0xDBFF && k + 1 < count && unit(k + 1) >= 0xDC00 &&
            unit(k + 1) <= 0xDFFF) {
            PutUtf8(bytes, 0x10000 + ((first - 0xD800) << 10) + (unit(k + 1) - 0xDC00));
            ++k;
        } else if (first >= 0xDC80 && first <= 0xDCFF) {
            bytes->push_back(static_cast<char>(first & 0xFF));
        } else if (first >= 0xD800 && first <= 0xDFFF) {
            return false;
        } else {
            PutUtf8(bytes, first);
        }
    }
    return true;
}

}  // namespace cx::platform::registry
