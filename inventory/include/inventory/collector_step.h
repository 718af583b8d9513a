// One step of the inventory scan that the collectors' layer hands to the agent: the scan driver
// walks these steps in order after writing the inventory's common part and its definitions,
// and knows no collector by name.
#pragma once

#include <span>

class CCX_Agent;

struct CollectorStep {
    // Writes what the collector finds through the agent's inventory writers. nullptr keeps the
    // place of a collector that has not been written yet: the step runs nothing.
    void (*Run)(CCX_Agent& agent);
    // Runs while the SNMP service watch is up: a service that begins to stop asks the step to
    // give up (m_bAbortRequest). The watch starts before the first such step and stops after
    // the last one of a run of them, whether or not the steps run.
    bool UnderServiceWatch;
    // Not started once the watch has asked the scan to give up.
    bool SkippedOnAbort;
    // The step's name in the scan's time profile (CScanProfile).
    const char* Name;
};

using CollectorSteps = std::span<const CollectorStep>;
