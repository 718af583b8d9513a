// The SWITCH server object of cx-switchd: names, request methods, client name, connection
// point and the event request, answering decoded transport messages. No sockets here, so the
// fuzz target can drive it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "platform/com_transport.h"
#include "scenario.h"

namespace cx::switchd {

// Dispatch IDs of the server's members.
enum ServerDispId : DISPID {
    kIdSyncRequest = 1,
    kIdDefaultTimeout = 2,
    kIdVCRequest = 3,
    kIdServerCabinetNumber = 4,
    kIdServerControlVersion = 5,
    kIdVCRequestEx = 6,
    kIdClientName = 7,
    kIdCmdRequest = 8,
    kIdRaiseEvent = 100,
};

// Which request methods the server offers (--methods).
struct MethodSet {
    bool cmd_request = true;
    bool vc_request_ex = true;
    bool vc_request = true;
};

// One event for every advised client, as cx-switch event asks for it.
struct EventFrame {
    std::uint32_t op_code = 0;
    std::uint32_t op_code_ext = 0;
    std::uint32_t object_id = 0;
    std::uint32_t cabinet_id = 0;
    std::uint32_t status = 0;
    std::string data;
};

// What one connection has done so far.
struct ClientState {
    bool created = false;
    std::string client_name;
    std::set<std::uint32_t> cookies;
};

// What the connection must do besides sending the answer.
struct Effects {
    std::uint32_t delay_ms = 0;
    std::optional<EventFrame> raise;
    std::optional<std::uint32_t> advised;
    std::optional<std::uint32_t> unadvised;
};

class RequestHandler {
  public:
    using JournalWriter = std::function<void(const std::string& line)>;
    // Answers what the scenario does not: the reply, or nullopt when it has none either.
    using Backend = std::function<std::optional<ReplySpec>(const RequestKey& request)>;

    RequestHandler(ScenarioStore* scenario, MethodSet methods, JournalWriter journal,
                   Backend backend = {});

    // The answer to `request`, or nullopt for messages that get none (Cancel, EventResult).
    std::optional<com::Message> Handle(const com::Message& request, ClientState* client,
                                       Effects* effects);

  private:
    com::Message Invoke(const com::Message& request, ClientState* client, Effects* effects);
    com::Message RequestMethod(DISPID id, const com::Message& request, Effects* effects);
    com::Message RaiseEvent(const com::Message& request, Effects* effects);
    DISPID IdOfName(const std::u16string& name) const;
    // FALSE for a request method the server was started without.
    bool Offers(DISPID id) const;
    ReplySpec Reply(const RequestKey& key);

    ScenarioStore* scenario_;
    MethodSet methods_;
    JournalWriter journal_;
    Backend backend_;
    std::atomic<std::uint32_t> next_cookie_{1};
};

// The message that carries `event` to the client advised under `cookie`, as dispatch ID 3 (six
// arguments) or 4 (header and data strings).
com::Message EventMessage(const EventFrame& event, std::uint32_t cookie, int form);

}  // namespace cx::switchd
