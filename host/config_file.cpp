// The administrator's --config file: whether the host may read it as it is.
#include "config_file.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace cx::host {
namespace {

// A line's directive, without the "[type]" net-snmp allows before it.
std::string Directive(const std::string& line) {
    std::istringstream words(line);
    std::string word;
    words >> word;
    if (!word.empty() && word.front() == '[') words >> word;
    return word;
}

bool HoldsCreateUser(const std::string& path) {
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
        if (strcasecmp(Directive(line).c_str(), "createUser") == 0) return true;
    }
    return false;
}

}  // namespace

std::string ConfigFileProblem(const std::string& path) {
    struct stat status {};
    if (access(path.c_str(), R_OK) != 0 || stat(path.c_str(), &status) != 0)
        return "cannot read the configuration file " + path;
    if ((status.st_mode & S_IROTH) != 0 && HoldsCreateUser(path)) {
        return "the configuration file " + path +
               " holds createUser pass phrases and every user may read it: chmod o-rwx " + path;
    }
    return {};
}

}  // namespace cx::host
