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

std::vector<Binding> NullBindings(const std::vector<Oid>& names,
                                  const std::vector<std::size_t>& pending) {
    std::vector<Binding> bindings(pending.size());
    for (std::size_t i = 0; i < pending.size(); ++i)
        bindings[i].name = names[pending[i]];
    return bindings;
}

// Runs the query for the pending positions until each has its answer. `accept` files one
// answered binding; the position the agent blamed with "no such name" gets `unknown`.
template <class Accept>
void QueryUntilAnswered(QueryTarget& target, int request_type, const std::vector<Oid>& names,
                        AnswerKind unknown, std::vector<Answer>& answers, Accept accept) {
    std::vector<std::size_t> pending(names.size());
    for (std::size_t i = 0; i < pending.size(); ++i)
        pending[i] = i;
    while (!pending.empty()) {
        std::vector<Binding> bindings = NullBindings(names, pending);
        const QueryOutcome outcome = target.Query(request_type, bindings);
        if (outcome.result && outcome.error_status == SNMP_ERRORSTATUS_NOERROR) {
            for (std::size_t i = 0; i < pending.size(); ++i)
                accept(pending[i], std::move(bindings[i]));
            return;
        }
        const std::size_t blamed = BlamedPosition(outcome, pending.size());
        if (!IsNoSuchName(outcome)) {
            answers[pending[blamed]].kind = AnswerKind::kError;
            answers[pending[blamed]].error_status = FailureStatus(outcome);
            return;
        }
        for (std::size_t i = 0; i < blamed; ++i)
            accept(pending[i], std::move(bindings[i]));
        answers[pending[blamed]].kind = unknown;
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(blamed) + 1);
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
    QueryUntilAnswered(target, SNMP_PDU_GET, names, AnswerKind::kNoSuchInstance, answers,
                       [&](std::size_t position, Binding binding) {
                           // The manager asked for this name; the agent only supplies the value.
                           binding.name = names[position];
                           answers[position].kind = AnswerKind::kValue;
                           answers[position].binding = std::move(binding);
                       });
    return answers;
}

std::vector<Answer> DispatchGetNext(QueryTarget& target, const Oid& view,
                                    const std::vector<Oid>& names) {
    std::vector<Answer> answers(names.size());
    QueryUntilAnswered(target, SNMP_PDU_GETNEXT, names, AnswerKind::kNextView, answers,
                       [&](std::size_t position, Binding binding) {
                           Answer& answer = answers[position];
                           // An exception is no object: from GETNEXT it can only mean "nothing more
                           // here".
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
                       });
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
