// The sources of the machine's description, one row each in order of precedence (as pciutils
// probes its access methods in order): each row's reader returns its part of the description,
// or why it has none; the parts are laid over each other, a value of an earlier row winning.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ipmi_session.h"
#include "machine_info.h"
#include "nut_ups.h"

namespace cx::switchd {

struct SourceOptions {
    std::string sys_root;  // "" for /
    // The management controller: over the LAN when a host is given, else in-band where the
    // kernel's device exists. nullopt: not asked.
    std::optional<IpmiOptions> ipmi;
    std::optional<NutTarget> nut;  // nullopt: no UPS server is asked
};

// A whole read of the management controller may take this long; one that takes longer counts
// as a controller that stopped answering.
constexpr int kBmcReadBudgetMs = 30000;

// The session options for the controller: the LAN host as given, else the kernel's device
// below the system root; nullopt with the reason in *why when there is none to ask.
std::optional<IpmiOptions> ControllerToAsk(const SourceOptions& options, std::string* why);

struct SourceResult {
    enum class State { kAbsent, kRead, kFailed } state = State::kAbsent;
    MachineInfo part;
    std::string note;  // what was found, or why nothing was
};

struct SourceRow {
    const char* name;
    Source source;
    SourceResult (*read)(const SourceOptions& options);
};

std::span<const SourceRow> MachineSources();

struct MachineReading {
    MachineInfo info;
    std::vector<std::string> log;  // one line per source: "IPMI: ..."
};

// Reads every source, in the table's order.
MachineReading ReadMachine(const SourceOptions& options);

// Lays `part` (of a later source) under `into`: texts, devices and lists that `into` lacks are
// taken from it. Lists are taken whole (the first source that lists processors describes them
// all); the base boards are filled one by one, since the controller's FRU knows the first.
void MergeMachine(const MachineInfo& part, MachineInfo* into);

// "machine: 2 processor socket(s), ..." for the log.
std::string Summary(const MachineInfo& info);

}  // namespace cx::switchd
