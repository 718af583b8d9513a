// What the host publishes about itself for the agents: the SNMP service's state and the values
// Windows keeps up to date for every program (the active computer name).
#pragma once

#include <cstdint>

namespace cx::host {

// SERVICE_* states of the service "SNMP"; a failure is logged, the host goes on.
void PublishServiceState(std::uint32_t state);
void PublishComputerName();
// Waits a bounded time for the publications of this process (the host's and its agents') that
// still wait for the registry; logs it when some could not be written.
void FlushPublications();

inline constexpr std::uint32_t kServiceStopped = 1;
inline constexpr std::uint32_t kServiceStartPending = 2;
inline constexpr std::uint32_t kServiceStopPending = 3;
inline constexpr std::uint32_t kServiceRunning = 4;

}  // namespace cx::host
