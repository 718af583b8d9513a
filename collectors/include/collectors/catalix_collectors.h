// The Catalix agent's collectors as the steps of its scan, in the order the scan driver walks
// them (collectors/catalix_collectors.cpp).
#pragma once

#include "inventory/collector_step.h"

CollectorSteps CatalixCollectors();
