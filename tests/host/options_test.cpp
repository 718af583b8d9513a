// The command line of extagentd.
#include "options.h"

#include <gtest/gtest.h>

#include <vector>

namespace cx::host {
namespace {

bool Parse(std::vector<const char*> args, HostOptions* options, std::string* error) {
    args.insert(args.begin(), "extagentd");
    return ParseOptions(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(Options, RefusedCommandLinesSayWhy) {
    struct Case {
        std::vector<const char*> args;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{"--listen", "127.0.0.1"}, "--listen needs ADDR:PORT"},
        {{"--listen", "127.0.0.1:0"}, "--listen needs ADDR:PORT"},
        {{"--listen", "127.0.0.1:70000"}, "--listen needs ADDR:PORT"},
        {{"--listen", ":161"}, "--listen needs ADDR:PORT"},
        {{"--listen"}, "--listen needs ADDR:PORT"},
        {{"--registry"}, "--registry needs a value"},
        {{"--bogus"}, "unknown argument: --bogus"},
        {{"--agentx", "--listen", "127.0.0.1:161"}, "--listen and --agentx exclude each other"},
    };
    for (const Case& c : cases) {
        HostOptions options;
        std::string error;
        EXPECT_FALSE(Parse(c.args, &options, &error)) << c.message;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
    // (Accepted command lines are those the host's integration tests start extagentd with.)
    HostOptions agentx;
    std::string error;
    ASSERT_TRUE(Parse({"--agentx", "--foreground"}, &agentx, &error));  // an option is no socket
    EXPECT_TRUE(agentx.agentx && agentx.foreground && agentx.agentx_socket.empty());
}

}  // namespace
}  // namespace cx::host
