// Requests that could not be carried to their source: a SWITCH command that was not delivered,
// a SWITCH server that could not reach its own source, an SNMP agent that stopped answering in
// the middle of a conversation. Unlike a source's own answer ("not available", an empty
// table), such a failure says nothing about the machine: whoever collected with it has not
// seen the machine whole.
//
// A scan counts them on its own thread: while a CTransportFaults lives on a thread, every
// failure reported on that thread is counted by it.
#pragma once

#include "platform/windef.h"

class CTransportFaults {
  public:
    CTransportFaults();
    ~CTransportFaults();
    CTransportFaults(const CTransportFaults&) = delete;
    CTransportFaults& operator=(const CTransportFaults&) = delete;

    DWORD Count() const { return m_dwCount; }

    // Counts one failure for the CTransportFaults of the calling thread, if there is one.
    static void Report();

  private:
    CTransportFaults* m_pOuter;
    DWORD m_dwCount = 0;
};
