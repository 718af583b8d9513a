// String data between the store's byte form (UTF-8, the Linux "ANSI" code page) and the
// UTF-16LE form that .reg files carry for string types in hex(1), hex(2) and hex(7).
#pragma once

#include <string>
#include <string_view>

namespace cx::platform::registry {

// Bytes that are not UTF-8 become the lone surrogates U+DC80..U+DCFF, one per byte, so that
// Utf16leToBytes gives back exactly the bytes that went in.
std::string BytesToUtf16le(std::string_view bytes);

// False for an odd length or an unpaired surrogate other than U+DC80..U+DCFF.
bool Utf16leToBytes(std::string_view utf16, std::string* bytes);

}  // namespace cx::platform::registry
