// CTransportFaults: the failures of the calling thread's requests, counted by the innermost
// CTransportFaults that lives on the thread.
#include "clients/transport_faults.h"

namespace {

thread_local CTransportFaults* t_current = nullptr;

}  // namespace

CTransportFaults::CTransportFaults() : m_pOuter(t_current) { t_current = this; }

CTransportFaults::~CTransportFaults() { t_current = m_pOuter; }

void CTransportFaults::Report() {
    if (t_current != nullptr) ++t_current->m_dwCount;
}
