// System information: the computer's names as Windows reports them.
#pragma once

#include "platform/windef.h"
#include "platform/winerror.h"

// The longest NetBIOS computer name (without the terminating NUL).
#define MAX_COMPUTERNAME_LENGTH 15

// A fixed underlying type, so that any number a caller passes is a value the call can refuse.
typedef enum _COMPUTER_NAME_FORMAT : int {
    ComputerNameNetBIOS,
    ComputerNameDnsHostname,
    ComputerNameDnsDomain,
    ComputerNameDnsFullyQualified,
    ComputerNamePhysicalNetBIOS,
    ComputerNamePhysicalDnsHostname,
    ComputerNamePhysicalDnsDomain,
    ComputerNamePhysicalDnsFullyQualified,
    ComputerNameMax
} COMPUTER_NAME_FORMAT;

// One of the computer's names. *size is the buffer's size in characters on entry; on success
// the name's length without the NUL. When the buffer is too small (or NULL): FALSE,
// ERROR_MORE_DATA and *size = the size needed including the NUL. A format out of range or a
// NULL size: FALSE, ERROR_INVALID_PARAMETER.
//   NetBIOS: the host name's first label in upper case, at most 15 characters;
//   DnsHostname: the first label; DnsDomain: what follows it in the fully qualified name ("" when
//   nothing); DnsFullyQualified: the canonical name of the host name (getaddrinfo), or the host
//   name itself when it cannot be resolved. The Physical forms give the same names.
BOOL GetComputerNameExA(COMPUTER_NAME_FORMAT format, LPSTR buffer, LPDWORD size);
// The NetBIOS name. Too small a buffer: FALSE, ERROR_BUFFER_OVERFLOW and *size = the size
// needed including the NUL.
BOOL GetComputerNameA(LPSTR buffer, LPDWORD size);
