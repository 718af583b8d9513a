// A separate process that writes profiles, for the tests that must see what happens at its
// end:
//   profile_writer endless FILE COMPONENTS
//     writes a large inventory without end, for the crash test: generation 1 is written and
//     flushed whole, then every later generation rewrites each component's keys and pushes
//     the file to disk after every component, so that a kill finds it in mid-write;
//   profile_writer once FILE SECTION KEY VALUE
//     writes one value and ends at once, long before the background writer would run.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/files.h"
#include "platform/profile.h"

namespace {

const char* const kKeys[] = {"PhysCont", "FuncCont",   "CompType",     "Vendor",
                             "ProdName", "ProdNumber", "ProdDescript", "ManuDate",
                             "Version",  "SerialNo",   "Language",     "CompId"};

// The value the crash test expects: generation, component and key, padded to a fixed width
// so that a cut line cannot pass for a whole one.
std::string Value(long generation, int component, const char* key) {
    char text[128];
    std::snprintf(text, sizeof(text), "g%ld-c%d-%s-%s", generation, component, key,
                  "padding-padding-padding");
    return text;
}

void WriteGeneration(const char* file, long generation, int components, bool push_each) {
    for (int n = 1; n <= components; ++n) {
        std::string number = std::to_string(n);
        if (generation == 1) {
            WritePrivateProfileStringA("Component Table", "NrComponents", number.c_str(), file);
        }
        for (const char* key : kKeys) {
            std::string name = std::string(key) + "." + number;
            WritePrivateProfileStringA("Component Table", name.c_str(),
                                       Value(generation, n, key).c_str(), file);
        }
        // Any file call on the file makes the cache write it out first.
        if (push_each) GetFileAttributesA(file);
    }
    WritePrivateProfileStringA("Done", "Generation", std::to_string(generation).c_str(), file);
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "once" && argc == 6) {
        return WritePrivateProfileStringA(argv[3], argv[4], argv[5], argv[2]) ? 0 : 1;
    }
    if (mode != "endless" || argc != 4) return 2;
    const char* file = argv[2];
    int components = std::atoi(argv[3]);
    WritePrivateProfileStringA("Header", "Writer", "crash test", file);
    WriteGeneration(file, 1, components, false);
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, file);
    for (long generation = 2;; ++generation) {
        WriteGeneration(file, generation, components, true);
    }
}
