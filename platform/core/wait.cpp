// WaitForSingleObject: the scaled wait on any waitable kernel object.
#include "core/handle_table.h"
#include "platform/errors.h"
#include "platform/synch.h"
#include "platform/timing.h"

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    auto object = cx::platform::LookupHandle(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return object->Wait(cx::platform::DeadlineAfter(CxScaleWait(milliseconds)));
}
