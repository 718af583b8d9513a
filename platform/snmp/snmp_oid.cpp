// Object identifier utilities.
#include <cstring>
#include <limits>

#include "platform/errors.h"
#include "platform/snmp.h"

SNMPAPI SnmpUtilOidCpy(AsnObjectIdentifier* destination, const AsnObjectIdentifier* source) {
    if (destination == nullptr || source == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return SNMPAPI_ERROR;
    }
    destination->idLength = 0;
    destination->ids = nullptr;
    if (source->idLength == 0 || source->ids == nullptr) return SNMPAPI_NOERROR;
    auto* ids = static_cast<UINT*>(SnmpUtilMemAlloc(source->idLength * sizeof(UINT)));
    if (ids == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return SNMPAPI_ERROR;
    }
    std::memcpy(ids, source->ids, source->idLength * sizeof(UINT));
    destination->ids = ids;
    destination->idLength = source->idLength;
    return SNMPAPI_NOERROR;
}

INT SnmpUtilOidNCmp(const AsnObjectIdentifier* first, const AsnObjectIdentifier* second,
                    UINT count) {
    if (first == nullptr || second == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    UINT first_length = first->ids ? first->idLength : 0;
    UINT second_length = second->ids ? second->idLength : 0;
    UINT common = first_length < second_length ? first_length : second_length;
    if (common > count) common = count;
    for (UINT i = 0; i < common; ++i) {
        if (first->ids[i] != second->ids[i]) return first->ids[i] < second->ids[i] ? -1 : 1;
    }
    // Equal over the common part: the shorter one is less, unless both reach `count`.
    UINT first_limit = first_length < count ? first_length : count;
    UINT second_limit = second_length < count ? second_length : count;
    if (first_limit == second_limit) return 0;
    return first_limit < second_limit ? -1 : 1;
}

INT SnmpUtilOidCmp(const AsnObjectIdentifier* first, const AsnObjectIdentifier* second) {
    return SnmpUtilOidNCmp(first, second, std::numeric_limits<UINT>::max());
}

void SnmpUtilOidFree(AsnObjectIdentifier* oid) {
    if (oid == nullptr) return;
    SnmpUtilMemFree(oid->ids);
    oid->ids = nullptr;
    oid->idLength = 0;
}
