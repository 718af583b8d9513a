// cxinv: shows a saved inventory file as the physical and the functional tree, as JSON, or the
// difference of two of them, for administrators and for programs.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "inventory_text.h"
#include "saved_inventory.h"

namespace {

constexpr const char* kUsage =
    "Usage: cxinv [--json] [FILE]\n"
    "       cxinv --diff FILE_A FILE_B\n"
    "Shows a saved inventory file of the CX_MIB agent, read as the agent reads it for its MIB.\n"
    "\n"
    "  FILE          the inventory file (default Catalix.sav in the working directory; the\n"
    "                agent keeps it in its data root, /var/lib/catalix when installed)\n"
    "  (no option)   the scan header, then the physical and the functional tree: each\n"
    "                container as [number] name (type), its components below it as\n"
    "                #number type: vendor product (product number, version, serial, CompId)\n"
    "  --json        one JSON object: [Last Date] and [Agent Info] as objects, every table\n"
    "                as an array with one object per container, component or firmware update\n"
    "                object, keyed by the file's own names (PhysCont, FuncCont, CompType,\n"
    "                Vendor, ProdName, ...) and \"No\", the row number\n"
    "  --diff A B    the components removed from A (-), added in B (+) and changed (~, with\n"
    "                the old and the new value of each field). A component is the same one in\n"
    "                both files when its type, its containers' names in both trees and its\n"
    "                CompId (ProdName where it has none) are the same\n"
    "  --help        print this text\n"
    "\n"
    "Exit status: 0 shown (--diff: no difference); 1 --diff: the files differ; 2 wrong usage,\n"
    "or a file that cannot be read as an inventory; 3 shown, but the file is inconsistent\n"
    "(a count that does not match its rows, a reference to a missing container or\n"
    "component); each inconsistency is reported on standard error.\n"
    "\n"
    "Examples:\n"
    "  cxinv /var/lib/catalix/Catalix.sav\n"
    "  cxinv --json /var/lib/catalix/Catalix.sav\n"
    "  cxinv --diff Catalix.sav.old /var/lib/catalix/Catalix.sav\n";

constexpr int kShown = 0;
constexpr int kDiffer = 1;
constexpr int kFailed = 2;
constexpr int kInconsistent = 3;

int Usage(const char* why) {
    std::fprintf(stderr, "cxinv: %s\n%s", why, kUsage);
    return kFailed;
}

// false after reporting why the file cannot be shown; reports its inconsistencies.
bool Load(const std::string& path, cx::cxinv::SavedInventory* inventory) {
    std::string error;
    if (!cx::cxinv::LoadSavedInventory(path, inventory, &error)) {
        std::fprintf(stderr, "cxinv: %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    for (const std::string& problem : inventory->problems)
        std::fprintf(stderr, "cxinv: %s: %s\n", path.c_str(), problem.c_str());
    return true;
}

int Show(const std::string& path, bool json) {
    cx::cxinv::SavedInventory inventory;
    if (!Load(path, &inventory)) return kFailed;
    std::string text = json ? cx::cxinv::JsonText(inventory) : cx::cxinv::TreeText(inventory);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return inventory.problems.empty() ? kShown : kInconsistent;
}

int Diff(const std::string& before_path, const std::string& after_path) {
    cx::cxinv::SavedInventory before, after;
    if (!Load(before_path, &before) || !Load(after_path, &after)) return kFailed;
    std::string text = cx::cxinv::DiffText(before, after);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return text.empty() ? kShown : kDiffer;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> arguments(argv + 1, argv + argc);
    bool json = false;
    bool diff = false;
    std::vector<std::string> files;
    for (std::string_view argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            std::fputs(kUsage, stdout);
            return kShown;
        }
        if (argument == "--json") {
            json = true;
        } else if (argument == "--diff") {
            diff = true;
        } else if (argument.size() > 1 && argument.front() == '-') {
            return Usage(("unknown option '" + std::string(argument) + "'").c_str());
        } else {
            files.emplace_back(argument);
        }
    }
    if (diff && json) return Usage("--diff and --json do not go together");
    if (diff) return files.size() == 2 ? Diff(files[0], files[1]) : Usage("--diff takes two files");
    if (files.size() > 1) return Usage("one file at a time");
    return Show(files.empty() ? std::string("Catalix.sav") : files.front(), json);
}
