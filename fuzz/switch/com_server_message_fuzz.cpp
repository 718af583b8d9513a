// Fuzzes what cx-switchd does with a message from a client: decode it and let the server object
// answer it, after an object has been created so that every member is reachable.
#include <cstddef>
#include <cstdint>

#include "platform/com_transport.h"
#include "request_handler.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static cx::switchd::ScenarioStore* store = [] {
        cx::switchd::Scenario scenario;
        std::string error;
        cx::switchd::ParseScenario(
            "reply 0xE204 0 0 * : word 1\nreply * * * * data 00 : status 0x0F\n"
            "reply * * * * : text \"x\"\n",
            &scenario, &error);
        auto* created = new cx::switchd::ScenarioStore();
        created->Replace(std::move(scenario));
        return created;
    }();
    cx::com::Message message;
    if (!cx::com::DecodeMessage(data, size, &message)) return 0;
    cx::switchd::RequestHandler handler(store, cx::switchd::MethodSet{}, nullptr);
    cx::switchd::ClientState client;
    client.created = true;
    cx::switchd::Effects effects;
    std::optional<cx::com::Message> answer = handler.Handle(message, &client, &effects);
    if (answer) cx::com::EncodeMessage(*answer);
    for (int form : {3, 4})
        if (effects.raise)
            cx::com::EncodeMessage(cx::switchd::EventMessage(*effects.raise, 1, form));
    return 0;
}
