// Printing of command frames for cx-switch.
#include "frame_print.h"

#include <cctype>

namespace cx::tools {

std::string HexOf(const BYTE* data, DWORD length) {
    std::string text;
    char byte[4];
    for (DWORD i = 0; i < length; ++i) {
        std::snprintf(byte, sizeof(byte), i == 0 ? "%02X" : " %02X", data[i]);
        text += byte;
    }
    return text;
}

std::string TextOf(const BYTE* data, DWORD length) {
    std::string text = "\"";
    char escaped[8];
    for (DWORD i = 0; i < length; ++i) {
        BYTE c = data[i];
        if (c == '"' || c == '\\') {
            text += '\\';
            text += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            text += static_cast<char>(c);
        } else {
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", c);
            text += escaped;
        }
    }
    return text + "\"";
}

bool ParseHex(const std::string& text, std::string* bytes) {
    bytes->clear();
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == ':' || c == ',') {
            if (high >= 0) return false;
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        int digit = std::isdigit(static_cast<unsigned char>(c))
                        ? c - '0'
                        : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
        if (high < 0) {
            high = digit;
        } else {
            bytes->push_back(static_cast<char>(high * 16 + digit));
            high = -1;
        }
    }
    return high < 0;
}

void PrintFrame(std::FILE* out, const CmdHeader* header, const BYTE* data) {
    DWORD length = data != nullptr ? header->DataLength : 0;
    std::fprintf(out, "OC 0x%04X-0x%04X OID 0x%04X CABID %d\n", header->OpCode, header->OpCodeExt,
                 header->ObjectId, static_cast<int>(header->CabinetId));
    std::fprintf(out, "status 0x%02X\n", header->Status);
    std::fprintf(out, "length %u\n", length);
    std::fprintf(out, "hex    %s\n", HexOf(data, length).c_str());
    std::fprintf(out, "text   %s\n", TextOf(data, length).c_str());
}

}  // namespace cx::tools
