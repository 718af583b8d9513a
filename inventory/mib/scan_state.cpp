// SetScanState: the two scan-state objects refreshed around every scan.
#include <ctime>

#include "inventory/cx_agent.h"
#include "mib_content.h"
#include "mib_lock.h"

using namespace cx::inventory;

void CCX_Agent::SetScanState(DWORD state) {
    std::vector<MibCell> cells;
    cells.push_back(
        {&kLastScanObject, 0, static_cast<LONG>(static_cast<DWORD>(std::time(nullptr))), {}});
    cells.push_back({&kScanStateObject, 0, static_cast<LONG>(state), {}});
    MibLockScope lock(&m_MibLock);
    ScanState = state;
    RegisterCells(*this, cells);
}
