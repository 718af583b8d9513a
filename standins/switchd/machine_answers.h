// The Linux backend's answers to the framework's and the collectors' requests, from what is
// known about the machine (MachineInfo). Pure: a request in, a reply or "not available" out.
// docs/switchd-linux.md lists which item comes from where.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "machine_info.h"
#include "scenario.h"

namespace cx::switchd {

// The number the machine's own cabinet answers to the cabinet request.
constexpr std::uint32_t kMachineCabinet = 1;

// The reply to `request` from `machine`; nullopt for requests it has no source for (the
// server then answers "not available").
std::optional<ReplySpec> AnswerMachineRequest(const MachineInfo& machine,
                                              const RequestKey& request);

// Where the machine's description came from, for the log.
struct MachineSource {
    MachineInfo info;
    std::string description;  // "SMBIOS 3.3 table (42 structures)", "/sys/class/dmi/id and /proc"
    std::string no_table;     // why the SMBIOS table was not used; empty when it was
};

// Reads the machine below `sys_root` ("" for /): the SMBIOS table when it can be read, else
// /sys/class/dmi/id, and /proc/cpuinfo and /proc/meminfo for what the table does not give.
MachineSource ReadMachine(const std::string& sys_root);

// The description in force, replaced as a whole when the machine is read again.
class MachineStore {
  public:
    void Replace(MachineInfo info) {
        auto shared = std::make_shared<const MachineInfo>(std::move(info));
        std::lock_guard guard(lock_);
        info_ = std::move(shared);
    }
    std::shared_ptr<const MachineInfo> Get() const {
        std::lock_guard guard(lock_);
        return info_;
    }

  private:
    mutable std::mutex lock_;
    std::shared_ptr<const MachineInfo> info_ = std::make_shared<const MachineInfo>();
};

}  // namespace cx::switchd
