// Random OIDs and values for the framework's fuzz targets: OIDs of any length (none, and past
// the SNMP limit of 128), every ASN type, values whose streams are missing.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <string>

#include "framework/mib_tree.h"

namespace {

const BYTE kTypes[] = {ASN_INTEGER,          ASN_BITS,      ASN_OCTETSTRING, ASN_NULL,
                       ASN_OBJECTIDENTIFIER, ASN_SEQUENCE,  ASN_IPADDRESS,   ASN_COUNTER32,
                       ASN_GAUGE32,          ASN_TIMETICKS, ASN_OPAQUE,      ASN_COUNTER64,
                       ASN_UNSIGNED32};
const BYTE kStaticBytes[] = {'s', 't', 'a', 't', 'i', 'c', 0, 0xFF};

// An OID near the tree's (a registered prefix with changes) or anywhere, of any length; with
// length 0 sometimes a length without an array, as a careless peer might hand it over.
void MakeOid(FuzzedDataProvider& input, AsnObjectIdentifier* oid) {
    static const UINT kPrefix[] = {1, 3, 6, 1, 4, 1, 7391, 2, 10, 2, 10, 5, 1, 1, 6, 3};
    const int kind = input.ConsumeIntegralInRange(0, 3);
    const UINT length = kind == 0   ? 0
                        : kind == 1 ? input.ConsumeIntegralInRange<UINT>(128, 400)
                                    : input.ConsumeIntegralInRange<UINT>(1, 20);
    oid->idLength = length == 0 && !input.ConsumeBool() ? input.ConsumeIntegral<UINT>() : length;
    oid->ids = length == 0 ? nullptr : static_cast<UINT*>(SnmpUtilMemAlloc(length * sizeof(UINT)));
    const bool near = input.ConsumeBool();
    for (UINT i = 0; i < length; ++i)
        oid->ids[i] = near && i < 16 && input.ConsumeProbability<float>() < 0.9f ? kPrefix[i]
                      : input.ConsumeProbability<float>() < 0.02f
                          ? input.ConsumeIntegral<UINT>()
                          : input.ConsumeIntegralInRange<UINT>(0, 12);
}

void MakeValue(FuzzedDataProvider& input, AsnAny* value) {
    value->asnType =
        input.ConsumeBool() ? input.PickValueInArray(kTypes) : input.ConsumeIntegral<BYTE>();
    const bool octet_type = value->asnType == ASN_OCTETSTRING || value->asnType == ASN_BITS ||
                            value->asnType == ASN_SEQUENCE || value->asnType == ASN_IPADDRESS ||
                            value->asnType == ASN_OPAQUE;
    if (value->asnType == ASN_OBJECTIDENTIFIER) {
        MakeOid(input, &value->asnValue.object);
    } else if (!octet_type) {  // other types read the union as numbers
        value->asnValue.counter64.QuadPart = input.ConsumeIntegral<std::uint64_t>();
    } else if (input.ConsumeBool()) {  // octets owned by the binding
        const std::string bytes = input.ConsumeRandomLengthString(600);
        auto* stream = static_cast<BYTE*>(SnmpUtilMemAlloc(static_cast<UINT>(bytes.size())));
        std::memcpy(stream, bytes.data(), bytes.size());
        value->asnValue.string = {stream, static_cast<UINT>(bytes.size()), TRUE};
    } else if (input.ConsumeBool()) {  // a missing stream with any length
        value->asnValue.string = {nullptr, input.ConsumeIntegral<UINT>(), input.ConsumeBool()};
    } else {  // octets the binding does not own
        value->asnValue.string = {const_cast<BYTE*>(kStaticBytes),
                                  input.ConsumeIntegralInRange<UINT>(0, sizeof(kStaticBytes)),
                                  FALSE};
    }
}

}  // namespace
