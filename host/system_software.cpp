// This machine's hardware and software names for sysDescr: uname and os-release.
#include <sys/utsname.h>

#include "platform/os_info.h"
#include "system_group.h"

namespace cx::host {

SystemSoftware ReadSystemSoftware() {
    SystemSoftware software;
    utsname names{};
    if (uname(&names) == 0) {
        software.machine = names.machine;
        software.kernel_release = names.release;
        software.kernel_version = names.version;
    }
    CxOsRelease release;
    if (CxReadOsRelease(&release)) software.os_name = release.pretty_name;
    return software;
}

}  // namespace cx::host
