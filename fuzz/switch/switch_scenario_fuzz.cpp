// Fuzzes the scenario parser and the matching of requests against what it parsed.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    cx::switchd::Scenario scenario;
    std::string error;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!cx::switchd::ParseScenario(text, &scenario, &error)) return 0;
    cx::switchd::ScenarioStore store;
    store.Replace(std::move(scenario));
    for (std::uint32_t op : {0u, 1u, 0xE204u, 0xFFFFFFFFu}) {
        store.Answer(cx::switchd::RequestKey{op, 0, 0, 0xFFFFFFFF, std::string(1, '\0'), false});
        store.Answer(cx::switchd::RequestKey{op, 5, 1, 0xFFFF, {}, true});
    }
    return 0;
}
