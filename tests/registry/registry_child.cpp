// A second process for the registry tests: writes values one transaction at a time, or probes
// a store that it may read but not write.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/registry_store.h"
#include "platform/winreg.h"

namespace {

// write STORE KEY PREFIX COUNT: sets PREFIX0..PREFIX<COUNT-1>, printing each index once it
// is committed.
int Write(const char* key_path, const std::string& prefix, int count) {
    for (int i = 0; i < count; ++i) {
        HKEY key = nullptr;
        LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, nullptr, 0, KEY_SET_VALUE,
                                      nullptr, &key, nullptr);
        DWORD value = static_cast<DWORD>(i);
        if (status == ERROR_SUCCESS)
            status = RegSetValueExA(key, (prefix + std::to_string(i)).c_str(), 0, REG_DWORD,
                                    reinterpret_cast<const BYTE*>(&value), sizeof(value));
        RegCloseKey(key);
        if (status != ERROR_SUCCESS) {
            std::fprintf(stderr, "write %d failed: %d\n", i, static_cast<int>(status));
            return 1;
        }
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
    return 0;
}

// probe STORE: every call on HKLM\SOFTWARE\Probe (value "v", subkey "Leaf"), one result each.
int Probe() {
    auto show = [](const char* name, LONG status) {
        std::printf("%s=%d ", name, static_cast<int>(status));
    };
    HKEY key = nullptr, created = nullptr;
    show("open", RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Probe", 0, KEY_ALL_ACCESS, &key));
    DWORD value = 0, size = sizeof(value);
    show("query",
         RegQueryValueExA(key, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size));
    std::printf("value=%u ", static_cast<unsigned>(value));
    show("set", RegSetValueExA(key, "w", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                               sizeof(value)));
    show("create",
         RegCreateKeyExA(key, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr));
    show("deletevalue", RegDeleteValueA(key, "v"));
    show("deletekey", RegDeleteKeyA(key, "Leaf"));
    show("deletetree", RegDeleteTreeA(key, nullptr));
    int line = 0;
    show("import",
         cx::platform::ImportRegText(
             cx::platform::ParseRegText("REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n").keys,
             &line));
    std::printf("\n");
    RegCloseKey(key);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 2 ? argv[1] : "";
    if (argc > 2) CxRegistrySetPath(argv[2]);
    if (mode == "write" && argc == 6) return Write(argv[3], argv[4], std::atoi(argv[5]));
    if (mode == "probe" && argc == 3) return Probe();
    std::fprintf(stderr, "usage: registry_child write STORE KEY PREFIX COUNT | probe STORE\n");
    return 2;
}
