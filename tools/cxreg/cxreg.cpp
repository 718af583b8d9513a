// cxreg: the registry store from the command line (import, export, query, set, delete).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "platform/registry_store.h"

namespace {

constexpr const char* kHelp = R"(Usage: cxreg [--registry PATH] COMMAND [ARGUMENTS]

Reads and changes the registry store that every Catalix process shares.

Commands:
  import FILE                  apply a .reg file ("-": standard input); the whole file is
                               checked first and applied in one transaction, so a bad file
                               changes nothing
  export [KEY]                 write the whole store, or KEY and everything below it, to
                               standard output as .reg text
  query KEY [VALUE]            show KEY's values and subkeys, or the data of VALUE alone
                               (REG_DWORD in decimal, strings as text, one line per string
                               of a REG_MULTI_SZ, other types as hex bytes)
  set KEY VALUE TYPE DATA...   set VALUE, creating KEY when it is missing. TYPE is REG_SZ,
                               REG_EXPAND_SZ, REG_MULTI_SZ (one DATA per string), REG_DWORD
                               (decimal or 0x hexadecimal) or REG_BINARY (hex bytes, e.g. 01,ff)
  delete KEY [VALUE]           delete KEY with everything below it, or only VALUE

KEY is a root followed by a path: HKEY_LOCAL_MACHINE\SOFTWARE\Arvenmark (short roots HKLM,
HKCU, HKCR and HKU are understood). VALUE @ names the key's default value.

Options:
  --registry PATH   use the store at PATH instead of $CX_REGISTRY
                    (default /var/lib/catalix/registry.db)
  -h, --help        show this text

Exit status: 0 done, 1 failed (the message says why), 2 wrong usage.
)";

int Usage(const char* message) {
    std::fprintf(stderr, "cxreg: %s (see cxreg --help)\n", message);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (arg == "--registry") {
            if (i + 1 >= argc) return Usage("--registry needs a PATH");
            CxRegistrySetPath(argv[++i]);
            continue;
        }
        if (arg.rfind("--registry=", 0) == 0) {
            CxRegistrySetPath(arg.c_str() + std::strlen("--registry="));
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-' && args.empty()) {
            return Usage(("unknown option '" + arg + "'").c_str());
        }
        args.push_back(arg);
    }
    if (args.empty()) return Usage("no command given");
    const std::string& command = args[0];
    size_t count = args.size() - 1;
    const std::string* optional_value = count == 2 ? &args[2] : nullptr;
    if (command == "import") {
        if (count != 1) return Usage("import takes one FILE");
        return cxreg::Import(args[1]);
    }
    if (command == "export") {
        if (count > 1) return Usage("export takes at most one KEY");
        return cxreg::Export(count == 1 ? args[1] : std::string());
    }
    if (command == "query") {
        if (count < 1 || count > 2) return Usage("query takes KEY and an optional VALUE");
        return cxreg::Query(args[1], optional_value);
    }
    if (command == "set") {
        if (count < 3) return Usage("set takes KEY VALUE TYPE DATA");
        return cxreg::Set(args[1], args[2], args[3],
                          std::vector<std::string>(args.begin() + 4, args.end()));
    }
    if (command == "delete") {
        if (count < 1 || count > 2) return Usage("delete takes KEY and an optional VALUE");
        return cxreg::Delete(args[1], optional_value);
    }
    return Usage(("unknown command '" + command + "'").c_str());
}
