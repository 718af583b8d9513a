// OID text conversions and comparison: the MIB tree compares OIDs on every request.
#include <benchmark/benchmark.h>

#include "base/oid_text.h"

namespace {

void BM_StringToOid(benchmark::State& state) {
    AsnObjectIdentifier oid{};
    for (auto _ : state) {
        StringToOid(".1.3.6.1.4.1.7391.2.10.2.10.5.1.3.1234", &oid);
        benchmark::DoNotOptimize(oid.ids);
    }
    SnmpUtilOidFree(&oid);
}
BENCHMARK(BM_StringToOid);

void BM_OidCmp(benchmark::State& state) {
    AsnObjectIdentifier first{}, second{};
    StringToOid("1.3.6.1.4.1.7391.2.10.2.10.5.1.3.1234", &first);
    StringToOid("1.3.6.1.4.1.7391.2.10.2.10.5.1.3.1235", &second);
    for (auto _ : state)
        benchmark::DoNotOptimize(SnmpUtilOidCmp(&first, &second));
    SnmpUtilOidFree(&first);
    SnmpUtilOidFree(&second);
}
BENCHMARK(BM_OidCmp);

}  // namespace
