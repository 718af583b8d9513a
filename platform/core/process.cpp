// Process handles: enough of OpenProcess for asking a process's name and executable.
#include <sys/stat.h>

#include <string>

#include "core/handle_table.h"
#include "core/process_object.h"
#include "platform/errors.h"
#include "platform/threads.h"

HANDLE OpenProcess(DWORD, BOOL, DWORD process_id) {
    std::string directory = "/proc/" + std::to_string(process_id);
    struct stat info {};
    if (process_id == 0 || stat(directory.c_str(), &info) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);  // what Windows says for an unknown process
        return nullptr;
    }
    return cx::platform::InsertHandle(std::make_shared<cx::platform::ProcessObject>(process_id));
}
