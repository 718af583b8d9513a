// OID text conversions and status names.
#include "base/oid_text.h"

#include <cstdio>
#include <cstring>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Components the text stands for: one per dot-separated part, plus one per quoted character.
size_t CountComponents(const char* text) {
    if (*text == '.') ++text;
    size_t count = 1;
    bool quoted = false;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '"') {
            quoted = !quoted;
        } else if (quoted) {
            ++count;
        } else if (*p == '.') {
            ++count;
        }
    }
    return count;
}

// Reads a digit run as a signed 32-bit number; larger values clamp to 2147483647.
UINT ReadNumber(const char*& p) {
    long long value = 0;
    while (IsDigit(*p)) {
        if (value <= 2147483647LL) value = value * 10 + (*p - '0');
        ++p;
    }
    return static_cast<UINT>(value > 2147483647LL ? 2147483647LL : value);
}

bool Parse(const char* p, UINT* ids, size_t count) {
    size_t stored = 0;
    while (stored < count) {
        char c = *p;
        if (IsDigit(c)) {
            ids[stored++] = ReadNumber(p);
        } else if (c == '.') {
            ++p;
        } else if (c == '"') {
            ++p;
            size_t length_index = stored;
            ids[stored++] = 0;
            while (*p != '\0' && *p != '"' && stored < count) {
                ids[stored++] = static_cast<UINT>(static_cast<int>(static_cast<signed char>(*p)));
                ++ids[length_index];
                ++p;
            }
            if (*p == '"') ++p;
        } else {
            return false;  // any other character, or the end before all components
        }
    }
    return true;
}

}  // namespace

BOOL StringToOid(const char* text, AsnObjectIdentifier* oid) {
    if (oid == nullptr) return FALSE;
    if (text == nullptr || *text == '\0') return FALSE;
    while (IsBlank(*text))
        ++text;
    size_t count = CountComponents(text);
    if (count < 2) return FALSE;
    SnmpUtilOidFree(oid);
    auto* ids = static_cast<UINT*>(SnmpUtilMemAlloc(static_cast<UINT>(count * sizeof(UINT))));
    if (ids == nullptr) return FALSE;
    if (!Parse(text, ids, count)) {
        SnmpUtilMemFree(ids);
        return FALSE;
    }
    oid->ids = ids;
    oid->idLength = static_cast<UINT>(count);
    return TRUE;
}

const char* OidToString(const AsnObjectIdentifier* oid, UINT count) {
    // 128 sub-identifiers (the SNMP limit) of up to 11 characters and a dot each fit; a longer
    // OID is cut at the last whole sub-identifier.
    thread_local char text[128 * 12 + 1];
    text[0] = '\0';
    if (oid == nullptr || oid->ids == nullptr || oid->idLength == 0) return text;
    if (count == 0 || count > oid->idLength) count = oid->idLength;
    size_t used = 0;
    for (UINT i = 0; i < count; ++i) {
        char part[16];
        int length = std::snprintf(part, sizeof(part), "%s%d", i == 0 ? "" : ".",
                                   static_cast<int>(oid->ids[i]));
        if (length < 0 || used + static_cast<size_t>(length) >= sizeof(text)) break;
        std::memcpy(text + used, part, static_cast<size_t>(length) + 1);
        used += static_cast<size_t>(length);
    }
    return text;
}

const char* ErrorStatusText(LONG status) {
    static const char* const kNames[] = {
        "no error",
        "too big",
        "no such name",
        "bad value",
        "value is read-only",
        "generic error",
        "no access",
        "wrong type",
        "wrong length",
        "wrong encoding",
        "wrong value",
        "no creation",
        "inconsistent value",
        "resource unavailable",
        "commit failed",
        "undo failed",
        "authorization error",
        "not writeable",
        "inconsistent name",
    };
    if (status < 0 || static_cast<size_t>(status) >= sizeof(kNames) / sizeof(kNames[0])) {
        return "unknown";
    }
    return kNames[status];
}

const char* RequestTypeText(UINT type) {
    switch (type) {
        case SNMP_PDU_GET: return "GET";
        case SNMP_PDU_GETNEXT: return "GETNEXT";
        case SNMP_PDU_RESPONSE: return "GETRESPONSE";
        case SNMP_PDU_SET: return "SET";
        default: return "<<Unknown>>";
    }
}
