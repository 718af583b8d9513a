// What the host does with a request before any agent sees it: PDUs the message's version does
// not have, requests with too many bindings, GETBULKs whose answer would pass the bounds.
#pragma once

#include <cstddef>

#include "host_config.h"

namespace cx::host {

// SNMPv1 has GET, GETNEXT, SET, the response and the v1 trap only; a v1 message with another
// PDU is malformed (RFC 3584 section 4.1) and is dropped as a parse error.
bool PduExistsInVersion1(int pdu_tag);

// A GET, GETNEXT or SET with more bindings than the limit is answered tooBig without being
// worked on (a GETBULK is cut instead, below).
bool OverBindingLimit(int pdu_tag, std::size_t bindings, const RequestLimits& limits);

// The GETBULK the host works on: the first `keep` bindings of the request, `non_repeaters` of
// them non-repeaters, asked `max_repetitions` times. Its answer holds at most
// limits.bulk_bindings bindings: RFC 3416 section 4.2.3 lets an answer that exceeds a local
// constraint lose bindings at its end.
struct BulkShape {
    long non_repeaters = 0;
    long max_repetitions = 0;
    std::size_t keep = 0;
};
BulkShape BoundBulk(long non_repeaters, long max_repetitions, std::size_t bindings,
                    const RequestLimits& limits);

}  // namespace cx::host
