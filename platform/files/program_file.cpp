// Programs as Linux marks them: regular files with an execute bit.
#include <sys/stat.h>

#include "platform/files.h"

BOOL CxIsProgramFile(LPCSTR path) {
    struct stat info {};
    if (path == nullptr || stat(path, &info) != 0 || !S_ISREG(info.st_mode)) return FALSE;
    return (info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0 ? TRUE : FALSE;
}
