// Printing of command frames for cx-switch: status, length, data in hexadecimal and as text.
#pragma once

#include <cstdio>
#include <string>

#include "clients/switch_command.h"

namespace cx::tools {

// "0A 0B ..." for the bytes.
std::string HexOf(const BYTE* data, DWORD length);
// The bytes as a quoted C-style text, non-printable ones escaped.
std::string TextOf(const BYTE* data, DWORD length);
// Parses "0A0B", "0a 0b" or "0A:0B"; false for anything else.
bool ParseHex(const std::string& text, std::string* bytes);
void PrintFrame(std::FILE* out, const CmdHeader* header, const BYTE* data);

}  // namespace cx::tools
