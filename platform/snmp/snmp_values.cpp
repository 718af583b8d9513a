// Octet strings, values, variable bindings and binding lists: deep copies and frees.
#include <cstring>

#include "platform/errors.h"
#include "platform/snmp.h"

namespace {

bool HoldsOctets(BYTE type) {
    switch (type) {
        case ASN_OCTETSTRING:
        case ASN_BITS:
        case ASN_SEQUENCE:
        case ASN_IPADDRESS:
        case ASN_OPAQUE: return true;
        default: return false;
    }
}

}  // namespace

SNMPAPI SnmpUtilOctetsCpy(AsnOctetString* destination, const AsnOctetString* source) {
    if (destination == nullptr || source == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return SNMPAPI_ERROR;
    }
    destination->stream = nullptr;
    destination->length = 0;
    destination->dynamic = FALSE;
    if (source->length == 0 || source->stream == nullptr) return SNMPAPI_NOERROR;
    auto* stream = static_cast<BYTE*>(SnmpUtilMemAlloc(source->length));
    if (stream == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return SNMPAPI_ERROR;
    }
    std::memcpy(stream, source->stream, source->length);
    destination->stream = stream;
    destination->length = source->length;
    destination->dynamic = TRUE;
    return SNMPAPI_NOERROR;
}

void SnmpUtilOctetsFree(AsnOctetString* octets) {
    if (octets == nullptr) return;
    if (octets->dynamic) SnmpUtilMemFree(octets->stream);
    octets->stream = nullptr;
    octets->length = 0;
    octets->dynamic = FALSE;
}

SNMPAPI SnmpUtilAsnAnyCpy(AsnAny* destination, const AsnAny* source) {
    if (destination == nullptr || source == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return SNMPAPI_ERROR;
    }
    if (source->asnType == ASN_OBJECTIDENTIFIER) {
        destination->asnType = source->asnType;
        return SnmpUtilOidCpy(&destination->asnValue.object, &source->asnValue.object);
    }
    if (HoldsOctets(source->asnType)) {
        destination->asnType = source->asnType;
        return SnmpUtilOctetsCpy(&destination->asnValue.string, &source->asnValue.string);
    }
    *destination = *source;
    return SNMPAPI_NOERROR;
}

void SnmpUtilAsnAnyFree(AsnAny* any) {
    if (any == nullptr) return;
    if (any->asnType == ASN_OBJECTIDENTIFIER) {
        SnmpUtilOidFree(&any->asnValue.object);
    } else if (HoldsOctets(any->asnType)) {
        SnmpUtilOctetsFree(&any->asnValue.string);
    }
    any->asnType = ASN_NULL;
}

SNMPAPI SnmpUtilVarBindCpy(SnmpVarBind* destination, const SnmpVarBind* source) {
    if (destination == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return SNMPAPI_ERROR;
    }
    destination->name = {};
    destination->value = {};
    destination->value.asnType = ASN_NULL;
    if (source == nullptr) return SNMPAPI_NOERROR;
    if (!SnmpUtilOidCpy(&destination->name, &source->name)) return SNMPAPI_ERROR;
    if (!SnmpUtilAsnAnyCpy(&destination->value, &source->value)) {
        SnmpUtilOidFree(&destination->name);
        return SNMPAPI_ERROR;
    }
    return SNMPAPI_NOERROR;
}

void SnmpUtilVarBindFree(SnmpVarBind* varbind) {
    if (varbind == nullptr) return;
    SnmpUtilOidFree(&varbind->name);
    SnmpUtilAsnAnyFree(&varbind->value);
}

SNMPAPI SnmpUtilVarBindListCpy(SnmpVarBindList* destination, const SnmpVarBindList* source) {
    if (destination == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return SNMPAPI_ERROR;
    }
    destination->list = nullptr;
    destination->len = 0;
    if (source == nullptr || source->len == 0 || source->list == nullptr) return SNMPAPI_NOERROR;
    if (source->len > 0xFFFFFFFFu / sizeof(SnmpVarBind)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return SNMPAPI_ERROR;
    }
    auto* list = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(source->len * sizeof(SnmpVarBind)));
    if (list == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return SNMPAPI_ERROR;
    }
    for (UINT i = 0; i < source->len; ++i) {
        if (!SnmpUtilVarBindCpy(&list[i], &source->list[i])) {
            for (UINT j = 0; j < i; ++j)
                SnmpUtilVarBindFree(&list[j]);
            SnmpUtilMemFree(list);
            return SNMPAPI_ERROR;
        }
    }
    destination->list = list;
    destination->len = source->len;
    return SNMPAPI_NOERROR;
}

void SnmpUtilVarBindListFree(SnmpVarBindList* list) {
    if (list == nullptr) return;
    for (UINT i = 0; list->list != nullptr && i < list->len; ++i) {
        SnmpUtilVarBindFree(&list->list[i]);
    }
    SnmpUtilMemFree(list->list);
    list->list = nullptr;
    list->len = 0;
}
