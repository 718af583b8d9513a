// The Linux backend's answers to the framework's and the collectors' requests, from what is
// known about the machine (MachineInfo). Pure: a request in, a reply or "not available" out.
// The requests are rows of one table (MachineItems), which docs/switchd-linux.md lists.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "machine_info.h"
#include "scenario.h"

namespace cx::switchd {

// The number the machine's own cabinet answers to the cabinet request.
constexpr std::uint32_t kMachineCabinet = 1;

// OpCodeExt of a row that answers every extension its OpCode has no row of its own for.
constexpr std::uint32_t kAnyExtension = 0xFFFFFFFFu;

// One request the machine answers.
struct ItemRow {
    std::uint32_t op_code;
    std::uint32_t op_code_ext;  // item code, class or sub-function; 0 where there is none
    const char* name;           // what the answer is, as the doc's table names it
    SourceSet sources;          // where its value may come from
    // The answer for `object`; nullopt when nothing is known of it.
    std::optional<ReplySpec> (*answer)(const MachineInfo& machine, std::uint32_t object);
    bool count = false;        // nothing known answers a count of 0 rather than "not available"
    bool any_cabinet = false;  // asked before the agent knows its cabinet
};

std::span<const ItemRow> MachineItems();

// "SMBIOS, IPMI": the names of a set of sources, in the order of the Source bits.
std::string SourceNames(SourceSet sources);

// The reply to `request` from `machine`; nullopt for requests it has no source for (the
// server then answers "not available"). A request whose value would come from a source that
// stopped answering is answered CMD_STATUS_NOT_DELIVERED: the agent keeps what it had.
std::optional<ReplySpec> AnswerMachineRequest(const MachineInfo& machine,
                                              const RequestKey& request);

}  // namespace cx::switchd
