// cx-switch: talks to the SWITCH server through the agent's own client: one request, one event
// for every advised client, or a watch that prints the events received.
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "clients/rcmi_client.h"
#include "clients/rights_flags.h"
#include "frame_print.h"

namespace {

const char kUsage[] =
    "Usage: cx-switch request OPCODE EXT OBJECT CABINET [--data HEX] [--retries N]\n"
    "                         [--increment N] [--timeout N]\n"
    "       cx-switch event OPCODE EXT OBJECT CABINET [--status N] [--data HEX]\n"
    "       cx-switch watch [--count N] [--seconds N]\n"
    "\n"
    "Talks to the SWITCH server registered in the registry (CX_REGISTRY names the store file)\n"
    "through the agent's own client code. Numbers are decimal or 0x hexadecimal; a cabinet of\n"
    "-1 means 0xFFFFFFFF, the server's own cabinet.\n"
    "\n"
    "  request   sends one command frame (status 0x16) and prints the reply's status, data\n"
    "            length and data (hexadecimal and text)\n"
    "    --data HEX       data to send, such as \"00 1F 02\"\n"
    "    --retries N      repeat up to N times while the server answers busy (0x0F)\n"
    "    --increment N    add N to the time-out on every repetition\n"
    "    --timeout N      time-out handed to the server (default 0)\n"
    "  event     asks the server to send an event frame to every advised client\n"
    "    --status N       the event's status byte (default 0)\n"
    "    --data HEX       the event's data\n"
    "  watch     advises for events and prints every one received until SIGINT or SIGTERM\n"
    "    --count N        stop after N events\n"
    "    --seconds N      stop after N seconds\n"
    "\n"
    "Exit status: 0 success, 1 server not reached or request not delivered, 2 usage error,\n"
    "3 the server answered with a status that is not a success.\n";

int UsageError(const char* message, const char* detail = "") {
    std::fprintf(stderr, "cx-switch: %s%s\n\n%s", message, detail, kUsage);
    return 2;
}

bool ParseNumber(const char* text, long long low, long long high, long long* value) {
    errno = 0;
    char* end = nullptr;
    *value = std::strtoll(text, &end, 0);
    return errno == 0 && end != text && *end == '\0' && *value >= low && *value <= high;
}

struct Arguments {
    std::vector<std::string> positional;
    std::string data;
    long long retries = 0, increment = 0, timeout = 0, status = 0, count = 0, seconds = 0;
};

// Options after the command; 0 parsed, otherwise the exit status of a usage error.
int ParseOptions(int argc, char** argv, const std::vector<std::string>& allowed, Arguments* out) {
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0 || arg == "--") {
            out->positional.push_back(arg);
            continue;
        }
        bool known = false;
        for (const std::string& name : allowed)
            known = known || name == arg;
        if (!known) return UsageError("unknown option ", arg.c_str());
        if (i + 1 >= argc) return UsageError("missing value after ", arg.c_str());
        const char* value = argv[++i];
        bool ok = true;
        if (arg == "--data") {
            ok = cx::tools::ParseHex(value, &out->data);
        } else if (arg == "--retries") {
            ok = ParseNumber(value, 0, 0xFFFFFFFF, &out->retries);
        } else if (arg == "--increment") {
            ok = ParseNumber(value, 0, 0xFFFF, &out->increment);
        } else if (arg == "--timeout") {
            ok = ParseNumber(value, 0, 0xFFFF, &out->timeout);
        } else if (arg == "--status") {
            ok = ParseNumber(value, 0, 0xFF, &out->status);
        } else if (arg == "--count") {
            ok = ParseNumber(value, 1, 0x7FFFFFFF, &out->count);
        } else if (arg == "--seconds") {
            ok = ParseNumber(value, 1, 0x7FFFFFFF, &out->seconds);
        }
        if (!ok) return UsageError("bad value for ", arg.c_str());
    }
    return 0;
}

// OPCODE EXT OBJECT CABINET from the positional arguments.
bool ParseFrameFields(const std::vector<std::string>& positional, DWORD (&fields)[4]) {
    if (positional.size() != 4) return false;
    for (int i = 0; i < 4; ++i) {
        long long value;
        if (!ParseNumber(positional[i].c_str(), -1, 0xFFFFFFFFLL, &value)) return false;
        fields[i] = static_cast<DWORD>(value);
    }
    return true;
}

bool AttachOrReport(CSwitchClient& client) {
    if (client.Attach(nullptr)) return true;
    std::fprintf(stderr, "cx-switch: cannot reach the SWITCH server (HRESULT 0x%08X)\n",
                 static_cast<unsigned>(client.GetLastHResult()));
    return false;
}

int Request(int argc, char** argv) {
    Arguments args;
    if (int error =
            ParseOptions(argc, argv, {"--data", "--retries", "--increment", "--timeout"}, &args)) {
        return error;
    }
    DWORD fields[4];
    if (!ParseFrameFields(args.positional, fields)) {
        return UsageError("request needs OPCODE EXT OBJECT CABINET as numbers");
    }
    CSwitchClient client;
    if (!AttachOrReport(client)) return 1;
    CSwitchCommand command;
    command.SetRequest(fields[0], fields[1], fields[2], fields[3], CMD_STATUS_REQUEST);
    if (!args.data.empty()) {
        command.SetData(args.data.data(), static_cast<DWORD>(args.data.size()), CMD_STATUS_REQUEST);
    }
    DWORD status =
        client.SendCommand(&command, static_cast<WORD>(args.timeout),
                           static_cast<DWORD>(args.retries), static_cast<WORD>(args.increment));
    cx::tools::PrintFrame(stdout, command.GetHeader(), command.GetData(0));
    client.Detach();
    if (status == CMD_STATUS_NOT_DELIVERED) {
        std::fprintf(stderr, "cx-switch: request not delivered (HRESULT 0x%08X)\n",
                     static_cast<unsigned>(client.GetLastHResult()));
        return 1;
    }
    return CSwitchCommand::IsSuccessStatus(command.GetHeader()) ? 0 : 3;
}

int Event(int argc, char** argv) {
    Arguments args;
    if (int error = ParseOptions(argc, argv, {"--status", "--data"}, &args)) return error;
    DWORD fields[4];
    if (!ParseFrameFields(args.positional, fields)) {
        return UsageError("event needs OPCODE EXT OBJECT CABINET as numbers");
    }
    CSwitchClient client;
    if (!AttachOrReport(client)) return 1;
    IDispatch* server = nullptr;
    DISPID id = DISPID_UNKNOWN;
    if (client.GetInterfaceFromGit(IID_IDispatch, reinterpret_cast<void**>(&server))) {
        LPOLESTR name = const_cast<LPOLESTR>(u"RaiseEvent");
        server->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, &id);
        server->Release();
    }
    if (id == DISPID_UNKNOWN) {
        std::fprintf(stderr, "cx-switch: the server offers no way to raise events\n");
        client.Detach();
        return 1;
    }
    // Arguments first to last: opcode, extension, object, cabinet, status, data.
    VARIANT values[6];
    const DWORD numbers[5] = {fields[0], fields[1], fields[2], fields[3],
                              static_cast<DWORD>(args.status)};
    for (int i = 0; i < 5; ++i) {
        VariantInit(&values[5 - i]);
        values[5 - i].vt = VT_I4;
        values[5 - i].lVal = static_cast<LONG>(numbers[i]);
    }
    VariantInit(&values[0]);
    values[0].vt = VT_BSTR;
    values[0].bstrVal =
        SysAllocStringByteLen(args.data.data(), static_cast<UINT>(args.data.size()));
    DISPPARAMS params{values, nullptr, 6, 0};
    HRESULT hr = client.InvokeEx(id, DISPATCH_METHOD, &params, nullptr, IID_NULL,
                                 LOCALE_USER_DEFAULT, nullptr, nullptr);
    VariantClear(&values[0]);
    client.Detach();
    if (FAILED(hr)) {
        std::fprintf(stderr, "cx-switch: event not sent (HRESULT 0x%08X)\n",
                     static_cast<unsigned>(hr));
        return 1;
    }
    std::printf("event sent\n");
    return 0;
}

int Watch(int argc, char** argv) {
    Arguments args;
    if (int error = ParseOptions(argc, argv, {"--count", "--seconds"}, &args)) return error;
    if (!args.positional.empty()) return UsageError("watch takes no further arguments");

    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);  // before any runtime thread starts

    long long received = 0;
    pthread_t main_thread = pthread_self();
    CRcmiClient client;
    client.SetReplyHandler([&](CSwitchCommand* command) {
        std::printf("event\n");
        cx::tools::PrintFrame(stdout, command->GetHeader(), command->GetData(0));
        std::printf("flags  set %d shutdown %d account %d\n", SetAllowed.load(),
                    ShutdownIsAllowed.load(), DoAccountCheck.load());
        std::fflush(stdout);
        if (++received == args.count) pthread_kill(main_thread, SIGUSR1);
    });
    if (!AttachOrReport(client)) return 1;
    if (!client.EnableEvents(TRUE) || !client.IsAdvised()) {
        std::fprintf(stderr, "cx-switch: cannot advise for events (HRESULT 0x%08X)\n",
                     static_cast<unsigned>(client.GetLastHResult()));
        client.Detach();
        return 1;
    }
    std::printf("watching\n");
    std::fflush(stdout);
    if (args.seconds > 0) {
        timespec limit{static_cast<time_t>(args.seconds), 0};
        sigtimedwait(&stop, nullptr, &limit);
    } else {
        int signal_number;
        sigwait(&stop, &signal_number);
    }
    client.EnableEvents(FALSE);
    client.Detach();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return UsageError("a command is needed");
    std::string command = argv[1];
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    if (command == "request") return Request(argc, argv);
    if (command == "event") return Event(argc, argv);
    if (command == "watch") return Watch(argc, argv);
    return UsageError("unknown command ", command.c_str());
}
