// Fuzzes what cx-switchd does with a message from a client: decode it and let the server object
// answer it, after an object has been created so that every member is reachable.
#include <cstddef>
#include <cstdint>

#include "platform/com_transport.h"
#include "platform/objbase.h"
#include "request_handler.h"

namespace {

cx::switchd::ScenarioStore* Store() {
    static cx::switchd::ScenarioStore* store = [] {
        auto* created = new cx::switchd::ScenarioStore();
        cx::switchd::Scenario scenario;
        std::string error;
        cx::switchd::ParseScenario(
            "reply 0xE204 0 0 * : word 1\nreply * * * * data 00 : status 0x0F\n"
            "reply * * * * : text \"x\"\n",
            &scenario, &error);
        created->Replace(std::move(scenario));
        return created;
    }();
    return store;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    cx::com::Message message;
    if (!cx::com::DecodeMessage(data, size, &message)) return 0;
    cx::switchd::RequestHandler handler(Store(), cx::switchd::MethodSet{}, nullptr);
    cx::switchd::ClientState client;
    client.created = true;
    cx::switchd::Effects effects;
    std::optional<cx::com::Message> answer = handler.Handle(message, &client, &effects);
    if (answer) cx::com::EncodeMessage(*answer);
    if (effects.raise) {
        cx::com::EncodeMessage(cx::switchd::EventMessage(*effects.raise, 1, 3));
        cx::com::EncodeMessage(cx::switchd::EventMessage(*effects.raise, 1, 4));
    }
    return 0;
}
