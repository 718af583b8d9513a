// Walk files to records: one snmpwalk object or snmprec line at a time, strings and hex
// strings that run over several lines included.
#include "walk_file.h"

#include <optional>

#include "walk_values.h"

namespace cx::replay {
namespace {

// No SNMP message carries more than this; a string that grows past it lost its closing quote.
constexpr std::size_t kMaxValueBytes = 65535;

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

bool MarksNoObject(std::string_view value) {
    return value.starts_with("No more variables left in this MIB View") ||
           value.starts_with("No Such Object available") ||
           value.starts_with("No Such Instance currently exists");
}

// Reads records from the lines; `next` is the index of the line after the record's last.
class Reader {
  public:
    Reader(const std::vector<std::string_view>& lines, WalkContents* contents)
        : lines_(lines), contents_(contents) {}

    void Run() {
        for (std::size_t at = 0; at < lines_.size();) {
            std::size_t next = at + 1;
            ReadRecordAt(at, &next);
            at = next;
        }
    }

  private:
    void Problem(std::size_t index, std::string what) {
        contents_->problems.push_back(WalkProblem{index + 1, std::move(what)});
    }

    void ReadRecordAt(std::size_t index, std::size_t* next) {
        const std::string_view line = lines_[index];
        const std::string_view trimmed = Trim(line);
        if (trimmed.empty() || trimmed == "End of MIB") return;
        const std::size_t equals = line.find(" = ");
        if (equals != std::string_view::npos) {
            ReadWalkLine(index, line.substr(0, equals), line.substr(equals + 3), next);
        } else if (line.find('|') != std::string_view::npos) {
            ReadSnmprecLine(index, line);
        } else {
            Problem(index, "not an \"OID = TYPE: VALUE\" or \"OID|TAG|VALUE\" line");
        }
    }

    void ReadWalkLine(std::size_t index, std::string_view name, std::string_view value,
                      std::size_t* next) {
        if (MarksNoObject(value)) return;
        WalkRecord record;
        record.line = index + 1;
        const auto oid = ParseOid(Trim(name), 2);
        if (!oid) return Problem(index, "bad OID \"" + std::string(Trim(name)) + "\"");
        record.name = *oid;
        std::string why;
        if (!ReadWalkValue(index, value, &record, next, &why)) {
            *next = index + 1;  // whatever the value swallowed is read again on its own
            return Problem(index, why);
        }
        contents_->records.push_back(std::move(record));
    }

    bool ReadWalkValue(std::size_t index, std::string_view value, WalkRecord* record,
                       std::size_t* next, std::string* why) {
        if (value.starts_with('"')) return ReadQuoted(index, value, record, next, why);
        if (Trim(value) == "NULL") {
            record->type = kTagNull;
            return true;
        }
        const std::size_t colon = value.find(": ");
        const std::string_view type = value.substr(0, colon);
        const std::string_view rest =
            colon == std::string_view::npos ? std::string_view() : value.substr(colon + 2);
        if (colon == std::string_view::npos) {
            *why = "no type in \"" + std::string(value) + "\"";
            return false;
        }
        if (type == "STRING") {
            if (rest.starts_with('"')) return ReadQuoted(index, rest, record, next, why);
            record->type = kTagOctetString;  // text shaped by a display hint, as printed
            record->octets = std::string(rest);
            return true;
        }
        if (type == "Hex-STRING" || type == "BITS") {
            record->type = kTagOctetString;
            // BITS print the bytes and then the names of the bits that are set.
            const std::string_view bytes =
                type == "BITS" ? rest.substr(0, LeadingHexLength(rest)) : rest;
            return ReadHex(index, bytes, record, next, why);
        }
        if (type == "OPAQUE" || type == "Opaque") {
            record->type = kTagOpaque;
            if (const auto number = ParseOpaqueNumber(rest)) {
                record->octets = *number;
                return true;
            }
            return ReadHex(index, rest, record, next, why);
        }
        if (ReadSimpleValue(type, Trim(rest), record)) return true;
        *why = "bad " + std::string(type) + " value \"" + std::string(Trim(rest)) + "\"";
        return false;
    }

    // A quoted string: backslash escapes the next character; a newline inside the quotes is
    // part of the value and continues on the next line.
    bool ReadQuoted(std::size_t index, std::string_view first, WalkRecord* record,
                    std::size_t* next, std::string* why) {
        record->type = kTagOctetString;
        std::string& text = record->octets;
        std::string_view current = first.substr(1);
        std::size_t line = index;
        while (true) {
            for (std::size_t at = 0; at < current.size(); ++at) {
                const char c = current[at];
                if (c == '\\' && at + 1 < current.size()) {
                    text.push_back(current[++at]);
                } else if (c == '"') {
                    if (!Trim(current.substr(at + 1)).empty()) {
                        *why = "text after the closing quote";
                        return false;
                    }
                    *next = line + 1;
                    return true;
                } else {
                    text.push_back(c);
                }
            }
            if (line + 1 >= lines_.size() || text.size() > kMaxValueBytes) {
                *why = "string without its closing quote";
                return false;
            }
            text.push_back('\n');
            current = lines_[++line];
        }
    }

    // Hex bytes, continued on the lines after that hold nothing else (snmpwalk breaks a long
    // Hex-STRING every 16 bytes).
    bool ReadHex(std::size_t index, std::string_view first, WalkRecord* record, std::size_t* next,
                 std::string* why) {
        const auto bytes = ParseHexBytes(first, ' ');
        if (!bytes) {
            *why = "bad hex bytes \"" + std::string(Trim(first)) + "\"";
            return false;
        }
        record->octets = *bytes;
        std::size_t line = index + 1;
        for (; line < lines_.size() && IsHexContinuation(lines_[line]); ++line) {
            record->octets += *ParseHexBytes(lines_[line], ' ');
            if (record->octets.size() > kMaxValueBytes) {
                *why = "hex string longer than an SNMP message";
                return false;
            }
        }
        *next = line;
        return true;
    }

    static std::size_t LeadingHexLength(std::string_view text) {
        std::size_t end = 0;
        for (std::size_t at = 0; at + 1 < text.size(); at += 3) {
            if (!ParseHexBytes(text.substr(at, 2), '\0')) break;
            end = at + 2;
            if (at + 2 < text.size() && text[at + 2] != ' ') break;
        }
        return end;
    }

    static bool ReadSimpleValue(std::string_view type, std::string_view rest, WalkRecord* record) {
        if (type == "INTEGER") {
            // An enumeration prints its label and the number in parentheses: "up(1)".
            if (rest.ends_with(')') && rest.find('(') != std::string_view::npos) {
                const std::size_t open = rest.rfind('(');
                rest = rest.substr(open + 1, rest.size() - open - 2);
            } else {
                rest = rest.substr(0, rest.find(' '));
            }
            const auto number = ParseSigned32(rest);
            if (!number) return false;
            record->type = kTagInteger;
            record->number = *number;
            return true;
        }
        if (type == "Timeticks") {
            if (rest.starts_with('(')) rest = rest.substr(1, rest.find(')') - 1);
            return Unsigned32(kTagTimeTicks, rest, record);
        }
        if (type == "Counter32") return Unsigned32(kTagCounter32, FirstWord(rest), record);
        if (type == "Gauge32") return Unsigned32(kTagGauge32, FirstWord(rest), record);
        if (type == "UInteger32" || type == "Unsigned32")
            return Unsigned32(kTagUnsigned32, FirstWord(rest), record);
        if (type == "Counter64") {
            const auto number = ParseUnsigned(FirstWord(rest), 0xFFFFFFFFFFFFFFFFULL);
            if (!number) return false;
            record->type = kTagCounter64;
            record->number = static_cast<std::int64_t>(*number);
            return true;
        }
        if (type == "OID") {
            const auto oid = ParseOid(rest, 1);
            if (!oid) return false;
            record->type = kTagObjectId;
            record->object = *oid;
            return true;
        }
        if (type == "IpAddress") return Address(ParseIpv4(rest), record);
        if (type == "Network Address") return Address(ParseHexBytes(rest, ':'), record);
        return false;
    }

    static std::string_view FirstWord(std::string_view text) {
        return text.substr(0, text.find(' '));
    }

    static bool Unsigned32(std::uint8_t tag, std::string_view text, WalkRecord* record) {
        const auto number = ParseUnsigned(text, 0xFFFFFFFFULL);
        if (!number) return false;
        record->type = tag;
        record->number = static_cast<std::int64_t>(*number);
        return true;
    }

    static bool Address(const std::optional<std::string>& bytes, WalkRecord* record) {
        if (!bytes || bytes->size() != 4) return false;
        record->type = kTagIpAddress;
        record->octets = *bytes;
        return true;
    }

    // snmprec: "OID|TAG|VALUE", the tag a BER type number, with "x" when the value is hex.
    void ReadSnmprecLine(std::size_t index, std::string_view line) {
        const std::size_t first = line.find('|');
        const std::size_t second = line.find('|', first + 1);
        if (second == std::string_view::npos)
            return Problem(index, "snmprec line without OID|TAG|VALUE");
        WalkRecord record;
        record.line = index + 1;
        const auto oid = ParseOid(Trim(line.substr(0, first)), 2);
        if (!oid) return Problem(index, "bad OID \"" + std::string(line.substr(0, first)) + "\"");
        record.name = *oid;
        std::string_view tag = line.substr(first + 1, second - first - 1);
        const bool hex = tag.ends_with('x');
        if (hex) tag.remove_suffix(1);
        const auto number = ParseUnsigned(tag, 255);
        const std::string_view value = line.substr(second + 1);
        if (!number || !ReadSnmprecValue(static_cast<std::uint8_t>(*number), hex, value, &record))
            return Problem(
                index, "bad snmprec value \"" + std::string(tag) + "|" + std::string(value) + "\"");
        contents_->records.push_back(std::move(record));
    }

    static bool ReadSnmprecValue(std::uint8_t tag, bool hex, std::string_view value,
                                 WalkRecord* record) {
        if (hex) {
            if (tag != kTagOctetString && tag != kTagOpaque && tag != kTagIpAddress) return false;
            const auto bytes = ParseHexBytes(value, '\0');
            if (!bytes) return false;
            if (tag == kTagIpAddress) return Address(bytes, record);
            record->type = tag;
            record->octets = *bytes;
            return true;
        }
        switch (tag) {
            case kTagOctetString:
            case kTagOpaque:
                record->type = tag;
                record->octets = std::string(value);
                return true;
            case kTagNull: record->type = kTagNull; return true;
            case kTagInteger: return ReadSimpleValue("INTEGER", value, record);
            case kTagObjectId: return ReadSimpleValue("OID", value, record);
            case kTagIpAddress: return Address(ParseIpv4(value), record);
            case kTagCounter32:
            case kTagGauge32:
            case kTagTimeTicks:
            case kTagUnsigned32: return Unsigned32(tag, value, record);
            case kTagCounter64: return ReadSimpleValue("Counter64", value, record);
            default: return false;
        }
    }

    const std::vector<std::string_view>& lines_;
    WalkContents* contents_;
};

}  // namespace

WalkContents ParseWalkFile(std::string_view text) {
    WalkContents contents;
    const std::vector<std::string_view> lines = SplitLines(text);
    Reader(lines, &contents).Run();
    return contents;
}

}  // namespace cx::replay
