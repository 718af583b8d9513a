// Compressed kernel modules: libkmod unpacks them (xz, zstd, gzip, as it was built) and hands
// out their ".modinfo" entries.
#include <libkmod.h>
#include <sys/stat.h>

#include <cstring>
#include <string_view>

#include "core/errno_map.h"
#include "platform/version_resource.h"

bool CxIsCompressedModuleName(const char* path) {
    if (path == nullptr) return false;
    std::string_view name(path);
    for (std::string_view suffix : {".ko.xz", ".ko.zst", ".ko.gz"}) {
        if (name.size() > suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
            return true;
        }
    }
    return false;
}

DWORD CxReadCompressedModuleVersion(const char* path, CxVersionResource* resource) {
    struct stat info {};
    if (stat(path, &info) != 0) return cx::platform::WinErrorFromErrno(errno);
    if (S_ISDIR(info.st_mode)) return ERROR_ACCESS_DENIED;
    if (!S_ISREG(info.st_mode)) return ERROR_BAD_EXE_FORMAT;

    const char* const no_config[] = {nullptr};
    struct kmod_ctx* context = kmod_new(nullptr, no_config);
    if (context == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
    kmod_set_log_priority(context, 0);
    DWORD error = ERROR_BAD_EXE_FORMAT;
    struct kmod_module* module = nullptr;
    if (kmod_module_new_from_path(context, path, &module) == 0 && module != nullptr) {
        struct kmod_list* list = nullptr;
        if (kmod_module_get_info(module, &list) >= 0) {
            std::vector<CxVersionString> entries;
            struct kmod_list* item = nullptr;
            kmod_list_foreach(item, list) {
                const char* key = kmod_module_info_get_key(item);
                const char* value = kmod_module_info_get_value(item);
                if (key != nullptr) entries.push_back({key, value != nullptr ? value : ""});
            }
            kmod_module_info_free_list(list);
            error = CxModinfoVersion(entries, 1, resource) ? ERROR_SUCCESS
                                                           : ERROR_RESOURCE_TYPE_NOT_FOUND;
        }
        kmod_module_unref(module);
    }
    kmod_unref(context);
    return error;
}
