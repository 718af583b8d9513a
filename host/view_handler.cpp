// Registers the views of an extension agent with net-snmp and answers their requests.
#include "view_handler.h"

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/agent/net-snmp-agent-includes.h>
// clang-format on

#include <map>
#include <memory>
#include <vector>

#include "dispatch.h"
#include "log.h"
#include "netsnmp_binding.h"

namespace cx::host {
namespace {

struct View {
    ExtensionAgent* agent;
    Oid root;
    std::vector<oid> registered_root;
};

// The views registered per agent, so that they can be removed at shutdown.
std::map<ExtensionAgent*, std::vector<std::unique_ptr<View>>>& Registrations() {
    static std::map<ExtensionAgent*, std::vector<std::unique_ptr<View>>> registrations;
    return registrations;
}

std::vector<netsnmp_request_info*> Requests(netsnmp_request_info* first) {
    std::vector<netsnmp_request_info*> requests;
    for (auto* request = first; request != nullptr; request = request->next) {
        if (!request->processed) requests.push_back(request);
    }
    return requests;
}

void Fail(netsnmp_agent_request_info* info, netsnmp_request_info* request, long status) {
    netsnmp_set_request_error(info, request, static_cast<int>(status));
}

void ApplyAnswer(const Answer& answer, bool set_name, netsnmp_agent_request_info* info,
                 netsnmp_request_info* request) {
    switch (answer.kind) {
        case AnswerKind::kValue:
            if (!StoreBinding(answer.binding, set_name, request->requestvb))
                Fail(info, request, SNMP_ERRORSTATUS_GENERR);
            return;
        // Exceptions of a v2c or v3 answer; net-snmp turns them into noSuchName for SNMPv1.
        case AnswerKind::kNoSuchObject: Fail(info, request, SNMP_NOSUCHOBJECT); return;
        case AnswerKind::kNoSuchInstance: Fail(info, request, SNMP_NOSUCHINSTANCE); return;
        case AnswerKind::kError: Fail(info, request, answer.error_status); return;
        case AnswerKind::kNextView:    // left untouched: net-snmp asks the next registration
        case AnswerKind::kUnanswered:  // the error set on another binding answers the request
            return;
    }
}

void HandleGet(View& view, netsnmp_agent_request_info* info,
               const std::vector<netsnmp_request_info*>& requests) {
    std::vector<Oid> names;
    names.reserve(requests.size());
    for (auto* request : requests)
        names.push_back(OidFromNetsnmp(request->requestvb->name, request->requestvb->name_length));
    const std::vector<Answer> answers = DispatchGet(*view.agent, names);
    for (std::size_t i = 0; i < requests.size(); ++i)
        ApplyAnswer(answers[i], false, info, requests[i]);
}

void HandleGetNext(View& view, netsnmp_agent_request_info* info,
                   const std::vector<netsnmp_request_info*>& requests) {
    // A request that begins before this view arrives with the view's root as its name: the agent
    // is asked for what follows the root (a view is a subtree; its root is not an object).
    std::vector<Oid> names;
    names.reserve(requests.size());
    for (auto* request : requests)
        names.push_back(OidFromNetsnmp(request->requestvb->name, request->requestvb->name_length));
    const std::vector<Answer> answers = DispatchGetNext(*view.agent, view.root, names);
    for (std::size_t i = 0; i < requests.size(); ++i)
        ApplyAnswer(answers[i], true, info, requests[i]);
}

void HandleSetAction(View& view, netsnmp_agent_request_info* info,
                     const std::vector<netsnmp_request_info*>& requests) {
    std::vector<Binding> bindings;
    bindings.reserve(requests.size());
    for (auto* request : requests)
        bindings.push_back(BindingFromVariable(*request->requestvb));
    const bool v2_manager = info->asp != nullptr && info->asp->pdu != nullptr &&
                            info->asp->pdu->version != SNMP_VERSION_1;
    std::size_t failed = 0;
    const long status = DispatchSet(*view.agent, bindings, v2_manager, &failed);
    if (status != SNMP_ERRORSTATUS_NOERROR) Fail(info, requests[failed], status);
}

int HandleView(netsnmp_mib_handler* handler, netsnmp_handler_registration*,
               netsnmp_agent_request_info* info, netsnmp_request_info* first) {
    auto* view = static_cast<View*>(handler->myvoid);
    const std::vector<netsnmp_request_info*> requests = Requests(first);
    if (requests.empty()) return SNMP_ERR_NOERROR;
    switch (info->mode) {
        case MODE_GET: HandleGet(*view, info, requests); break;
        case MODE_GETNEXT: HandleGetNext(*view, info, requests); break;
        // The agent checks and applies a SET in one call; net-snmp's other phases have nothing
        // to do for it.
        case MODE_SET_ACTION: HandleSetAction(*view, info, requests); break;
        default: break;
    }
    return SNMP_ERR_NOERROR;
}

bool RegisterView(View& view) {
    const std::string name = view.agent->Name() + ":" + OidText(view.root);
    netsnmp_handler_registration* registration =
        netsnmp_create_handler_registration(name.c_str(), HandleView, view.registered_root.data(),
                                            view.registered_root.size(), HANDLER_CAN_RWRITE);
    if (registration == nullptr) return false;
    registration->handler->myvoid = &view;
    const int result = netsnmp_register_handler(registration);
    if (result != MIB_REGISTERED_OK) {
        Log(LogLevel::kWarning, "%s: view %s not registered (%s)",
            view.agent->LibraryPath().c_str(), OidText(view.root).c_str(),
            result == MIB_DUPLICATE_REGISTRATION ? "another agent serves it" : "refused");
        return false;
    }
    return true;
}

}  // namespace

int RegisterViews(ExtensionAgent& agent) {
    auto& views = Registrations()[&agent];
    int registered = 0;
    for (const Oid& root : agent.Views()) {
        if (root.size() > MAX_OID_LEN) continue;
        auto view = std::make_unique<View>(View{&agent, root, {root.begin(), root.end()}});
        if (!RegisterView(*view)) continue;
        views.push_back(std::move(view));
        ++registered;
    }
    return registered;
}

void UnregisterViews(ExtensionAgent& agent) {
    auto found = Registrations().find(&agent);
    if (found == Registrations().end()) return;
    for (const auto& view : found->second)
        unregister_mib(view->registered_root.data(), view->registered_root.size());
    Registrations().erase(found);
}

}  // namespace cx::host
