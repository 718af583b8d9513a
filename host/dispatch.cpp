// How a batch of SNMP requests for one view becomes SnmpExtensionQuery calls, and how the
// agent's answers map back onto the individual requests (independent of net-snmp).
#include "dispatch.h"

#include <algorithm>

namespace cx::host {
namespace {

// The 0-based position the agent blamed, or 0 when its index is out of range.
std::size_t BlamedPosition(const QueryOutcome& outcome, std::size_t count) {
    if (outcome.error_index < 1 || static_cast<std::size_t>(outcome.error_index) > count) return 0;
    return static_cast<std::size_t>(outcome.error_index) - 1;
}

bool IsNoSuchName(const QueryOutcome& outcome) {
    // The framework answers an unknown first name with FALSE and "no such name": that is the
    // agent's answer, not its failure.
    return outcome.error_status == SNMP_ERRORSTATUS_NOSUCHNAME;
}

long FailureStatus(const QueryOutcome& outcome) {
    return outcome.error_status == SNMP_ERRORSTATUS_NOERROR ? SNMP_ERRORSTATUS_GENERR
                                                            : outcome.error_status;
}

// Bindings with NULL values for `count` names from `first` on.
std::vector<Binding> NullBindings(const std::vector<Oid>& names, std::size_t first,
                                  std::size_t count) {
    std::vector<Binding> bindings(count);
    for (std::size_t i = 0; i < count; ++i)
        bindings[i].name = names[first + i];
    return bindings;
}

// The exception of a GET for a name the agent does not hold, or kValue when it does.
AnswerKind Missing(Holding holding) {
    switch (holding) {
        case Holding::kNoObjectType: return AnswerKind::kNoSuchObject;
        case Holding::kNoInstance: return AnswerKind::kNoSuchInstance;
        default: return AnswerKind::kValue;
    }
}

// Runs the query until each name has its answer. `accept` files one answered binding and
// `unknown` the position the agent blamed with "no such name".
//
// The agent answers a list only up to its first unknown name, so each unknown name costs a call
// of its own, and asking each time for all the names after it would hand the agent n*n/2
// bindings for n unknown names. The first call carries every name; after that a call carries at
// most twice as many names as the one before it answered. Each binding handed over is then paid
// for by an answer: n names cost at most 3n bindings in all, and a request the agent answers
// whole costs one call.
template <class Accept, class Unknown>
void QueryUntilAnswered(QueryTarget& target, int request_type, const std::vector<Oid>& names,
                        std::vector<Answer>& answers, Accept accept, Unknown unknown) {
    std::size_t next = 0;
    std::size_t batch = names.size();
    while (next < names.size()) {
        const std::size_t count = std::min(batch, names.size() - next);
        std::vector<Binding> bindings = NullBindings(names, next, count);
        const QueryOutcome outcome = target.Query(request_type, bindings);
        if (outcome.result && outcome.error_status == SNMP_ERRORSTATUS_NOERROR) {
            for (std::size_t i = 0; i < count; ++i)
                accept(next + i, std::move(bindings[i]));
            next += count;
            batch = 2 * count;
            continue;
        }
        const std::size_t blamed = BlamedPosition(outcome, count);
        if (!IsNoSuchName(outcome)) {
            answers[next + blamed].kind = AnswerKind::kError;
            answers[next + blamed].error_status = FailureStatus(outcome);
            return;
        }
        for (std::size_t i = 0; i < blamed; ++i)
            accept(next + i, std::move(bindings[i]));
        unknown(next + blamed);
        next += blamed + 1;
        batch = 2 * (blamed + 1);
    }
}

}  // namespace

bool FollowsInView(const Oid& requested, const Oid& next, const Oid& view) {
    return OidStartsWith(next, view) &&
           std::lexicographical_compare(requested.begin(), requested.end(), next.begin(),
                                        next.end());
}

std::vector<Answer> DispatchGet(QueryTarget& target, const std::vector<Oid>& names) {
    std::vector<Answer> answers(names.size());
    // Names the agent lacks never reach it: a request of many unknown names costs a lookup
    // each, not a call (and the lines of the agent's trace that come with one) each.
    std::vector<std::size_t> asked;
    std::vector<Oid> asked_names;
    for (std::size_t i = 0; i < names.size(); ++i) {
        answers[i].kind = Missing(target.Lookup(names[i]));
        if (answers[i].kind != AnswerKind::kValue) continue;
        asked.push_back(i);
        asked_names.push_back(names[i]);
    }
    std::vector<Answer> asked_answers(asked.size());
    QueryUntilAnswered(
        target, SNMP_PDU_GET, asked_names, asked_answers,
        [&](std::size_t position, Binding binding) {
            // The manager asked for this name; the agent only supplies the value.
            binding.name = asked_names[position];
            asked_answers[position].kind = AnswerKind::kValue;
            asked_answers[position].binding = std::move(binding);
        },
        [&](std::size_t position) {
            // Gone since the lookup (the MIB was rebuilt), or an agent that cannot tell.
            const AnswerKind kind = Missing(target.Lookup(asked_names[position]));
            asked_answers[position].kind =
                kind == AnswerKind::kValue ? AnswerKind::kNoSuchInstance : kind;
        });
    for (std::size_t i = 0; i < asked.size(); ++i)
        answers[asked[i]] = std::move(asked_answers[i]);
    return answers;
}

std::vector<Answer> DispatchGetNext(QueryTarget& target, const Oid& view,
                                    const std::vector<Oid>& names) {
    std::vector<Answer> answers(names.size());
    QueryUntilAnswered(
        target, SNMP_PDU_GETNEXT, names, answers,
        [&](std::size_t position, Binding binding) {
            Answer& answer = answers[position];
            // An exception is no object: from GETNEXT it can only mean "nothing more here".
            const bool exception = binding.type >= cx::snmp::kTagNoSuchObject;
            if (exception || !OidStartsWith(binding.name, view)) {
                answer.kind = AnswerKind::kNextView;
            } else if (!FollowsInView(names[position], binding.name, view)) {
                answer.kind = AnswerKind::kError;
                answer.error_status = SNMP_ERRORSTATUS_GENERR;
            } else {
                answer.kind = AnswerKind::kValue;
                answer.binding = std::move(binding);
            }
        },
        [&](std::size_t position) { answers[position].kind = AnswerKind::kNextView; });
    return answers;
}

long DispatchSet(QueryTarget& target, std::vector<Binding>& bindings, bool v2_manager,
                 std::size_t* failed_binding) {
    *failed_binding = 0;
    const QueryOutcome outcome = target.Query(SNMP_PDU_SET, bindings);
    if (outcome.result && outcome.error_status == SNMP_ERRORSTATUS_NOERROR)
        return SNMP_ERRORSTATUS_NOERROR;
    *failed_binding = BlamedPosition(outcome, bindings.size());
    const long status = FailureStatus(outcome);
    if (!v2_manager) return status;
    switch (status) {
        case SNMP_ERRORSTATUS_NOSUCHNAME:
        case SNMP_ERRORSTATUS_READONLY: return SNMP_ERRORSTATUS_NOTWRITABLE;
        case SNMP_ERRORSTATUS_BADVALUE: return SNMP_ERRORSTATUS_WRONGVALUE;
        default: return status;
    }
}

bool OidStartsWith(const Oid& oid, const Oid& prefix) {
    return oid.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), oid.begin());
}

std::string OidText(const Oid& oid) {
    std::string text;
    for (std::uint32_t id : oid) {
        if (!text.empty()) text += '.';
        text += std::to_string(id);
    }
    return text;
}

}  // namespace cx::host
