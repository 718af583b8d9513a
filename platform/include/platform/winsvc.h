// The service control manager, as far as the agent asks it: whether a service is running or
// about to stop. On Linux a service host publishes its state in the registry (DWORD
// "CurrentState" of the volatile key SYSTEM\CurrentControlSet\Services\<name>\Status) and these
// calls read it.
#pragma once

#include "platform/windef.h"
#include "platform/winreg.h"

struct SC_HANDLE__;
using SC_HANDLE = SC_HANDLE__*;

#define SC_MANAGER_CONNECT 0x0001u
#define SC_MANAGER_ENUMERATE_SERVICE 0x0004u
#define SC_MANAGER_ALL_ACCESS 0xF003Fu
#define SERVICES_ACTIVE_DATABASEA "ServicesActive"

#define SERVICE_QUERY_CONFIG 0x0001u
#define SERVICE_QUERY_STATUS 0x0004u
#define SERVICE_ALL_ACCESS 0xF01FFu

#define SERVICE_WIN32_OWN_PROCESS 0x00000010u

#define SERVICE_STOPPED 0x00000001u
#define SERVICE_START_PENDING 0x00000002u
#define SERVICE_STOP_PENDING 0x00000003u
#define SERVICE_RUNNING 0x00000004u
#define SERVICE_CONTINUE_PENDING 0x00000005u
#define SERVICE_PAUSE_PENDING 0x00000006u
#define SERVICE_PAUSED 0x00000007u

#define SERVICE_ACCEPT_STOP 0x00000001u

#define ERROR_SERVICE_DOES_NOT_EXIST 1060L
#define ERROR_DATABASE_DOES_NOT_EXIST 1065L
#define RPC_S_SERVER_UNAVAILABLE 1722L

struct SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
};
using LPSERVICE_STATUS = SERVICE_STATUS*;

// Only the local machine's active database exists: another machine gives
// RPC_S_SERVER_UNAVAILABLE, another database ERROR_DATABASE_DOES_NOT_EXIST.
SC_HANDLE OpenSCManagerA(LPCSTR machine_name, LPCSTR database_name, DWORD desired_access);
// A service exists when its key SYSTEM\CurrentControlSet\Services\<name> does; otherwise
// ERROR_SERVICE_DOES_NOT_EXIST.
SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR service_name, DWORD desired_access);
// A service whose host never published a state, or published one that is not a service state,
// reads as stopped.
BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status);
BOOL CloseServiceHandle(SC_HANDLE handle);

// For a service host: publishes the service's current state (SERVICE_STOPPED ...
// SERVICE_PAUSED) where QueryServiceStatus reads it, as a registry publication
// (platform/reg_publish.h); the calls above in the host's own process know it at once. Returns a
// Windows error code.
LSTATUS CxSetServiceCurrentState(LPCSTR service_name, DWORD state);
