// cx-switchd: stands in for the SWITCH command server. Answers command frames from a scenario
// file and sends events to the clients that advised.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "clients/switch_protocol.h"
#include "journal.h"
#include "machine_answers.h"
#include "machine_reader.h"
#include "pci_config.h"
#include "platform/guid.h"
#include "platform/timing.h"
#include "registration.h"
#include "request_handler.h"
#include "rescan_throttle.h"
#include "scenario.h"
#include "server.h"
#include "udev_monitor.h"

namespace {

using cx::switchd::MethodSet;

constexpr char kDefaultSocket[] = "/run/catalix/switch.sock";
constexpr std::size_t kMaxScenarioBytes = 16u << 20;
// A scan's requests wait this long for the machine to be read: longer than a whole read of the
// management controller may take, shorter than the agent waits for an answer.
constexpr std::chrono::seconds kScanReadWait(45);
// How often the controller's event log and the UPS server are looked at (CX_TIME_SCALE
// shortens it for tests).
constexpr DWORD kWatchPeriodMs = 15000;

constexpr std::uint64_t kDefaultJournalLimitKib = 8192;
// The first registry write may take this long before the server serves without it.
constexpr std::chrono::seconds kRegistrationWait(1);

const char kUsage[] =
    "Usage: cx-switchd [--scenario FILE] [--linux] [--sysroot DIR] [--socket PATH]\n"
    "                  [--group NAME] [--max-clients N] [--journal FILE] [--journal-limit KIB]\n"
    "                  [--register] [--methods LIST] [--event-form 3|4]\n"
    "                  [--ipmi-lan HOST[:PORT] --ipmi-user NAME --ipmi-password-file FILE]\n"
    "                  [--nut HOST[:PORT]]\n"
    "\n"
    "Stands in for the SWITCH command server: serves the class\n"
    "{5F0B7C21-93D4-4E6A-B812-6C04A9E37D15} on a Unix socket and answers command frames.\n"
    "\n"
    "  --scenario FILE   answer requests from FILE (read at start and on SIGHUP); without it\n"
    "                    every request is answered with status 0x01 and no data\n"
    "  --linux           answer from the machine what the scenario does not: rights,\n"
    "                    cabinet, BIOS, boards, processors, memory, power supplies, fans,\n"
    "                    management controller, SDR repository and UPS units (SMBIOS,\n"
    "                    /sys/class/dmi/id, the device tree, /proc, the management\n"
    "                    controller through /dev/ipmi0, the UPS server), PCI configuration\n"
    "                    headers from sysfs; device changes (udev, the controller's event\n"
    "                    log, the UPS server) send the rescan event, at most once per 5 s\n"
    "  --sysroot DIR     read the machine's files below DIR (with --linux)\n"
    "  --ipmi-lan HOST[:PORT]  ask the management controller at HOST over the network\n"
    "                    (RMCP+, IPMI 2.0) instead of through /dev/ipmi0\n"
    "  --ipmi-user NAME  the controller's user for --ipmi-lan\n"
    "  --ipmi-password-file FILE  its password: the first line of FILE\n"
    "  --nut HOST[:PORT] ask the UPS server (NUT upsd) at HOST (default port 3493); without\n"
    "                    it the one at localhost:3493 is asked when it answers (not with\n"
    "                    --sysroot)\n"
    "  --socket PATH     listen on PATH (default /run/catalix/switch.sock), mode 0660\n"
    "  --group NAME      the socket's group: its members, root and the server's own user\n"
    "                    may connect (default catalix where it exists, else the server's\n"
    "                    group); only root and the server's user may send events\n"
    "  --max-clients N   clients at once (default 64); when full, the client idle longest\n"
    "                    that does not wait for events is closed to make room\n"
    "  --journal FILE    append one line per call received (a new file is made 0640)\n"
    "  --journal-limit KIB\n"
    "                    at this size FILE becomes FILE.old and a new one begins\n"
    "                    (default 8192)\n"
    "  --register        write the class's LocalServer value (unix:PATH) into the registry;\n"
    "                    while another writer holds the registry, the server serves and\n"
    "                    keeps trying in the background\n"
    "  --methods LIST    request methods offered, comma-separated from CmdRequest,\n"
    "                    VCRequestEx, VCRequest (default: all three)\n"
    "  --event-form N    send events as dispatch ID 3 (six arguments, default) or 4 (header\n"
    "                    and data strings)\n"
    "  --help            show this text\n"
    "\n"
    "Scenario lines: reply OPCODE EXT OBJECT CABINET [data HH ...] : ITEM...\n"
    "  items: status N, byte N, word N, dword N, text \"...\", hex HH ..., delay MS\n"
    "SIGHUP reloads the scenario (with --linux also sends the rescan event); every scan reads\n"
    "the machine again. SIGTERM or SIGINT ends the server.\n";

struct Options {
    std::string scenario;
    std::string socket_path = kDefaultSocket;
    std::string group;
    std::size_t max_clients = cx::switchd::ServerOptions{}.max_clients;
    std::string journal;
    std::uint64_t journal_limit_kib = kDefaultJournalLimitKib;
    bool linux_backend = false;
    std::string sys_root;
    std::string ipmi_lan;
    std::string ipmi_user;
    std::string ipmi_password_file;
    std::string nut;
    bool register_class = false;
    MethodSet methods;
    int event_form = 3;
};

bool ParseMethods(const std::string& list, MethodSet* methods) {
    *methods = MethodSet{false, false, false};
    std::stringstream in(list);
    std::string name;
    bool any = false;
    while (std::getline(in, name, ',')) {
        if (name == switch_method::kCmdRequest) {
            methods->cmd_request = true;
        } else if (name == switch_method::kVCRequestEx) {
            methods->vc_request_ex = true;
        } else if (name == switch_method::kVCRequest) {
            methods->vc_request = true;
        } else {
            return false;
        }
        any = true;
    }
    return any;
}

// A whole decimal number from `low` to `high`.
bool ParseNumber(const std::string& text, std::uint64_t low, std::uint64_t high,
                 std::uint64_t* number) {
    if (text.empty() || text.size() > 12 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    *number = std::stoull(text);
    return *number >= low && *number <= high;
}

// 0 parsed, 1 help shown, 2 error.
int ParseArguments(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        std::string text;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 1;
        } else if (arg == "--register") {
            options->register_class = true;
        } else if (arg == "--linux") {
            options->linux_backend = true;
        } else if (arg == "--sysroot" && value(&options->sys_root)) {
        } else if (arg == "--ipmi-lan" && value(&options->ipmi_lan)) {
        } else if (arg == "--ipmi-user" && value(&options->ipmi_user)) {
        } else if (arg == "--ipmi-password-file" && value(&options->ipmi_password_file)) {
        } else if (arg == "--nut" && value(&options->nut)) {
        } else if (arg == "--scenario" && value(&options->scenario)) {
        } else if (arg == "--socket" && value(&options->socket_path)) {
        } else if (arg == "--group" && value(&options->group)) {
        } else if (arg == "--journal" && value(&options->journal)) {
        } else if ((arg == "--max-clients" || arg == "--journal-limit") && value(&text)) {
            std::uint64_t number = 0;
            if (!ParseNumber(text, 1, 1u << 30, &number)) {
                std::fprintf(stderr, "cx-switchd: %s needs a number from 1 to %u\n", arg.c_str(),
                             1u << 30);
                return 2;
            }
            if (arg == "--max-clients") options->max_clients = number;
            if (arg == "--journal-limit") options->journal_limit_kib = number;
        } else if (arg == "--methods" && value(&text)) {
            if (!ParseMethods(text, &options->methods)) {
                std::fprintf(stderr, "cx-switchd: --methods: unknown method list \"%s\"\n",
                             text.c_str());
                return 2;
            }
        } else if (arg == "--event-form" && value(&text)) {
            if (text != "3" && text != "4") {
                std::fprintf(stderr, "cx-switchd: --event-form must be 3 or 4\n");
                return 2;
            }
            options->event_form = text == "3" ? 3 : 4;
        } else {
            std::fprintf(stderr, "cx-switchd: unknown or incomplete option \"%s\"\n%s", arg.c_str(),
                         kUsage);
            return 2;
        }
    }
    return 0;
}

bool LoadScenario(const std::string& path, cx::switchd::ScenarioStore* store) {
    cx::switchd::Scenario scenario;
    if (!path.empty()) {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "cx-switchd: cannot read scenario %s\n", path.c_str());
            return false;
        }
        std::string text;
        text.resize(kMaxScenarioBytes + 1);
        file.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(file.gcount()));
        if (text.size() > kMaxScenarioBytes) {
            std::fprintf(stderr, "cx-switchd: scenario %s is larger than %zu bytes\n", path.c_str(),
                         kMaxScenarioBytes);
            return false;
        }
        std::string error;
        if (!cx::switchd::ParseScenario(text, &scenario, &error)) {
            std::fprintf(stderr, "cx-switchd: %s: %s\n", path.c_str(), error.c_str());
            return false;
        }
    }
    store->Replace(std::move(scenario));
    return true;
}

// An IPMI 2.0 password has at most 20 bytes; a longer first line is refused by the session.
constexpr std::size_t kMaxPasswordFileBytes = 4096;

bool ReadPassword(const std::string& path, std::string* password) {
    std::ifstream file(path, std::ios::binary);
    std::string text(kMaxPasswordFileBytes, '\0');
    if (file.is_open()) file.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (!file.is_open() || file.bad()) {
        std::fprintf(stderr, "cx-switchd: cannot read the password file %s\n", path.c_str());
        return false;
    }
    text.resize(static_cast<std::size_t>(file.gcount()));
    *password = text.substr(0, text.find_first_of("\r\n"));
    struct stat status {};
    if (stat(path.c_str(), &status) == 0 && (status.st_mode & S_IROTH) != 0)
        std::fprintf(stderr, "cx-switchd: warning: everyone can read %s\n", path.c_str());
    return true;
}

// Where --linux finds the machine; false with a message for options that do not fit.
bool MachineSourceOptions(const Options& options, cx::switchd::SourceOptions* sources) {
    const bool lan_options = !options.ipmi_user.empty() || !options.ipmi_password_file.empty();
    if (!options.linux_backend &&
        (!options.ipmi_lan.empty() || lan_options || !options.nut.empty())) {
        std::fprintf(stderr,
                     "cx-switchd: --ipmi-lan, --ipmi-user, --ipmi-password-file and "
                     "--nut go with --linux\n");
        return false;
    }
    if (options.ipmi_lan.empty() && lan_options) {
        std::fprintf(stderr,
                     "cx-switchd: --ipmi-user and --ipmi-password-file go with "
                     "--ipmi-lan\n");
        return false;
    }
    sources->sys_root = options.sys_root;
    cx::switchd::IpmiOptions ipmi;
    ipmi.lan_host = options.ipmi_lan;
    ipmi.user = options.ipmi_user;
    if (!options.ipmi_password_file.empty() &&
        !ReadPassword(options.ipmi_password_file, &ipmi.password))
        return false;
    sources->ipmi = ipmi;
    if (!options.nut.empty()) {
        cx::switchd::NutTarget target;
        target.required = true;
        if (!cx::switchd::ParseNutTarget(options.nut, &target)) {
            std::fprintf(stderr, "cx-switchd: --nut: \"%s\" is not HOST[:PORT]\n",
                         options.nut.c_str());
            return false;
        }
        sources->nut = target;
    } else if (options.sys_root.empty()) {
        // A recorded tree below --sysroot is not this machine: its UPS server is not here.
        sources->nut = cx::switchd::NutTarget{};
    }
    return true;
}

// The event that asks the agent for a scan (data byte 1).
cx::switchd::EventFrame RescanEvent() {
    cx::switchd::EventFrame event;
    event.op_code = switch_op::kScanEvent;
    event.cabinet_id = cx::switchd::kMachineCabinet;
    event.data = std::string(1, '\x01');
    return event;
}

// The default socket lives in a directory that may not exist yet.
void MakeParentDirectory(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return;
    mkdir(path.substr(0, slash).c_str(), 0755);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    int parsed = ParseArguments(argc, argv, &options);
    if (parsed != 0) return parsed == 1 ? 0 : 2;
    cx::switchd::SourceOptions sources;
    if (!MachineSourceOptions(options, &sources)) return 2;

    // Signals are taken through a descriptor by the main loop only; no thread is interrupted.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    int signal_fd = signalfd(-1, &signals, SFD_CLOEXEC);
    if (signal_fd < 0) {
        std::perror("cx-switchd: signalfd");
        return 1;
    }

    cx::switchd::ScenarioStore scenario;
    if (!LoadScenario(options.scenario, &scenario)) return 1;

    std::optional<gid_t> group = cx::switchd::SocketGroup(options.group);
    if (!group) {
        std::fprintf(stderr, "cx-switchd: --group: no group \"%s\"\n", options.group.c_str());
        return 2;
    }
    cx::switchd::Journal journal;
    cx::switchd::RequestHandler::JournalWriter write_journal;
    if (!options.journal.empty()) {
        std::string error;
        if (!journal.Open(options.journal, options.journal_limit_kib * 1024, &error)) {
            std::fprintf(stderr, "cx-switchd: cannot open journal %s: %s\n",
                         options.journal.c_str(), error.c_str());
            return 1;
        }
        write_journal = [&journal](const std::string& line) { journal.Write(line); };
    }
    cx::switchd::RequestHandler::Backend backend;
    std::unique_ptr<cx::switchd::MachineReader> reader;
    if (options.linux_backend) {
        auto watch = std::make_shared<cx::switchd::SourceWatch>(sources);
        reader = std::make_unique<cx::switchd::MachineReader>(
            [sources] { return cx::switchd::ReadMachine(sources); },
            [watch] { return watch->Changed(); });
        reader->RequestRead();
        backend = [read = cx::switchd::SysfsPciConfigReader(options.sys_root),
                   machine = reader.get()](const cx::switchd::RequestKey& request) {
            if (auto reply = cx::switchd::AnswerPciConfig(request, read)) return reply;
            // A scan begins with the cabinet request: it gets the machine as it is now.
            return cx::switchd::AnswerMachineRequest(request.op_code == switch_op::kServerCabinet
                                                         ? *machine->ReadNow(kScanReadWait)
                                                         : *machine->Current(kScanReadWait),
                                                     request);
        };
    }
    cx::switchd::RequestHandler handler(&scenario, options.methods, write_journal,
                                        std::move(backend));

    if (options.socket_path == kDefaultSocket) MakeParentDirectory(options.socket_path);
    cx::switchd::ServerOptions server_options;
    server_options.socket_path = options.socket_path;
    server_options.event_form = options.event_form;
    server_options.group = *group;
    server_options.max_clients = options.max_clients;
    cx::switchd::Server server(server_options, &handler);
    std::string error;
    if (!server.Listen(&error)) {
        std::fprintf(stderr, "cx-switchd: %s\n", error.c_str());
        return 1;
    }
    cx::switchd::Registration registration(options.socket_path);
    if (options.register_class) registration.Start(kRegistrationWait);

    cx::switchd::UdevMonitor udev;
    cx::switchd::RescanThrottle throttle;
    if (options.linux_backend) {
        if (udev.Open(&error)) {
            std::fprintf(stderr, "cx-switchd: watching pci, block, cpu and memory devices\n");
        } else {
            std::fprintf(stderr, "cx-switchd: no device events (%s)\n", error.c_str());
        }
    }
    // Under systemd (Type=notify) the agents' host starts only now: the socket accepts and the
    // class is registered, so the agents' first attach finds the server. Without a service
    // manager this does nothing.
    sd_notify(0, "READY=1");

    auto send_rescan = [&] { server.Broadcast(RescanEvent()); };
    using Clock = cx::switchd::RescanThrottle::Clock;
    // Only sources that can tell of changes are looked at.
    std::string no_controller;
    const bool watching = options.linux_backend &&
                          (sources.nut || cx::switchd::ControllerToAsk(sources, &no_controller));
    const auto watch_period = std::chrono::milliseconds(CxScaleWait(kWatchPeriodMs));
    Clock::time_point next_watch = Clock::now() + watch_period;

    for (;;) {
        pollfd fds[4] = {{server.listen_fd(), POLLIN, 0},
                         {signal_fd, POLLIN, 0},
                         {reader != nullptr ? reader->fd() : -1, POLLIN, 0},
                         {udev.fd(), POLLIN, 0}};
        Clock::time_point wake = Clock::now() + std::chrono::seconds(1);
        if (auto deadline = throttle.Deadline()) wake = std::min(wake, *deadline);
        if (watching) wake = std::min(wake, next_watch);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(wake - Clock::now());
        const int timeout_ms = static_cast<int>(std::clamp<long long>(left.count() + 1, 0, 1000));
        int ready = poll(fds, udev.fd() >= 0 ? 4 : 3, timeout_ms);
        server.Reap();
        const Clock::time_point now = Clock::now();
        if (throttle.Due(now)) send_rescan();
        if (watching && now >= next_watch) {
            reader->RequestWatch();
            next_watch = now + watch_period;
        }
        if (ready <= 0) continue;
        if ((fds[2].revents & POLLIN) != 0) {
            cx::switchd::MachineReader::Finished finished = reader->TakeFinished();
            for (const std::string& line : finished.log)
                std::fprintf(stderr, "cx-switchd: %s\n", line.c_str());
            if (finished.changed && throttle.Change(now)) send_rescan();
        }
        if ((fds[3].revents & POLLIN) != 0 && udev.Drain() > 0 && throttle.Change(now))
            send_rescan();
        if ((fds[1].revents & POLLIN) != 0) {
            signalfd_siginfo info;
            if (read(signal_fd, &info, sizeof(info)) != sizeof(info)) continue;
            if (info.ssi_signo == SIGHUP) {
                // A file with mistakes leaves the scenario in force unchanged.
                if (LoadScenario(options.scenario, &scenario)) {
                    std::fprintf(stderr, "cx-switchd: scenario reloaded\n");
                }
                if (options.linux_backend) {
                    send_rescan();
                    throttle.Sent(now);
                }
                continue;
            }
            break;
        }
        if ((fds[0].revents & POLLIN) != 0) server.AcceptOne();
    }
    sd_notify(0, "STOPPING=1");
    server.Stop();
    close(signal_fd);
    return 0;
}
