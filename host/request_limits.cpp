// What the host does with a request before any agent sees it: PDUs the message's version does
// not have, requests with too many bindings, GETBULKs whose answer would pass the bounds.
#include "request_limits.h"

#include <algorithm>

#include "platform/snmp_status.h"

namespace cx::host {

bool PduExistsInVersion1(int pdu_tag) {
    return pdu_tag == SNMP_PDU_GET || pdu_tag == SNMP_PDU_GETNEXT || pdu_tag == SNMP_PDU_RESPONSE ||
           pdu_tag == SNMP_PDU_SET || pdu_tag == SNMP_PDU_V1TRAP;
}

bool OverBindingLimit(int pdu_tag, std::size_t bindings, const RequestLimits& limits) {
    return (pdu_tag == SNMP_PDU_GET || pdu_tag == SNMP_PDU_GETNEXT || pdu_tag == SNMP_PDU_SET) &&
           bindings > limits.max_bindings;
}

BulkShape BoundBulk(long non_repeaters, long max_repetitions, std::size_t bindings,
                    const RequestLimits& limits) {
    // Out-of-range fields count as their nearest bound (RFC 3416 section 4.2.3).
    const long count = static_cast<long>(bindings);
    const long total = static_cast<long>(limits.bulk_bindings);
    BulkShape shape;
    shape.non_repeaters = std::clamp(non_repeaters, 0L, count);
    shape.max_repetitions =
        std::clamp(max_repetitions, 0L, static_cast<long>(limits.bulk_repetitions));
    shape.keep = bindings;
    const long repeaters = count - shape.non_repeaters;
    if (shape.non_repeaters >= total) {
        // The non-repeaters alone fill the answer.
        shape.non_repeaters = total;
        shape.max_repetitions = 0;
        shape.keep = static_cast<std::size_t>(total);
    } else if (repeaters > 0 && shape.max_repetitions > 0) {
        const long rows = (total - shape.non_repeaters) / repeaters;
        if (rows == 0) {
            // Not even one row of every repeater fits: one row of the first ones.
            shape.max_repetitions = 1;
            shape.keep = static_cast<std::size_t>(total);
        } else {
            shape.max_repetitions = std::min(shape.max_repetitions, rows);
        }
    }
    return shape;
}

}  // namespace cx::host
