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

TEST(Options, AcceptedCommandLines) {
    HostOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"--registry", "/tmp/r.db", "--listen", "127.0.0.1:1161", "--foreground",
                       "--config", "/etc/x.conf", "--state-dir", "/tmp/s"},
                      &options, &error))
        << error;
    EXPECT_EQ(options.registry, "/tmp/r.db");
    EXPECT_EQ(options.listen_address, "127.0.0.1");
    EXPECT_EQ(options.listen_port, 1161u);
    EXPECT_TRUE(options.foreground);
    EXPECT_EQ(options.config_file, "/etc/x.conf");
    EXPECT_EQ(options.state_dir, "/tmp/s");
    EXPECT_FALSE(options.agentx);

    HostOptions agentx;
    ASSERT_TRUE(Parse({"--agentx", "--foreground"}, &agentx, &error));
    EXPECT_TRUE(agentx.agentx);
    EXPECT_EQ(agentx.agentx_socket, "");
    HostOptions socket;
    ASSERT_TRUE(Parse({"--agentx", "/run/agentx"}, &socket, &error));
    EXPECT_EQ(socket.agentx_socket, "/run/agentx");
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
}

}  // namespace
}  // namespace cx::host
