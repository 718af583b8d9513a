// How a batch of SNMP requests for one view becomes SnmpExtensionQuery calls, and how the
// agent's answers map back onto the individual requests (independent of net-snmp).
#pragma once

#include <vector>

#include "binding.h"

namespace cx::host {

// What an agent's MIB holds at a name, as the agent's CxExtensionLookup tells it.
enum class Holding {
    kUnknown,       // the agent cannot say
    kNoObjectType,  // no object type of its MIB is a prefix of the name
    kNoInstance,    // an object type is, but no object has the name
    kInstance,
};

// What the host calls: an ExtensionAgent in the process, a fake in tests.
class QueryTarget {
  public:
    virtual ~QueryTarget() = default;
    virtual QueryOutcome Query(int request_type, std::vector<Binding>& bindings) = 0;
    virtual Holding Lookup(const Oid&) { return Holding::kUnknown; }
};

enum class AnswerKind {
    kValue,           // `binding` holds the answer (name and value)
    kNoSuchObject,    // GET: no object type of the agent's MIB is a prefix of the name
    kNoSuchInstance,  // GET: the object type exists (or the agent cannot tell), the instance not
    kNextView,        // GETNEXT: nothing more in this view; the next registration answers
    kError,           // the request fails with `error_status` at this binding
    kUnanswered,      // another binding's error ended the request first
};

struct Answer {
    AnswerKind kind = AnswerKind::kUnanswered;
    Binding binding;
    long error_status = SNMP_ERRORSTATUS_NOERROR;
};

// GET of `names`. Names the agent says it lacks are answered without asking it; of the others
// the agent answers up to its first unknown name, and the names after that are asked again so
// that each gets its own answer. A missing name is noSuchObject or noSuchInstance as the agent's
// lookup tells, noSuchInstance where it cannot.
std::vector<Answer> DispatchGet(QueryTarget& target, const std::vector<Oid>& names);

// GETNEXT of `names` inside `view`. An answer outside the view (the agent's "end of my MIB"
// reply), an exception value or "no such name" means the next registration answers.
// An answer that does not follow the requested name is the agent's fault: genErr.
std::vector<Answer> DispatchGetNext(QueryTarget& target, const Oid& view,
                                    const std::vector<Oid>& names);

// SET of `bindings` in one call. Returns the error status (0: done) and, through
// `failed_binding`, the 0-based binding it belongs to. SNMPv2 managers get the v2 statuses for
// the v1 ones an agent reports.
long DispatchSet(QueryTarget& target, std::vector<Binding>& bindings, bool v2_manager,
                 std::size_t* failed_binding);

// Whether `next` is a proper GETNEXT answer to `requested` inside `view`.
bool FollowsInView(const Oid& requested, const Oid& next, const Oid& view);

}  // namespace cx::host
