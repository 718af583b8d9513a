// Debugger sink.
#include "debugger_sink.h"

#include <cstring>

#include "platform/debug.h"

namespace cx::trace {
namespace {

constexpr size_t kDebuggerLineLimit = 1122;

}  // namespace

void WriteToDebugger(const char* line) {
    if (*line == '\n') ++line;
    char piece[kDebuggerLineLimit + 2];
    while (*line != '\0') {
        size_t length = std::strcspn(line, "\n");
        size_t kept = length < kDebuggerLineLimit ? length : kDebuggerLineLimit;
        std::memcpy(piece, line, kept);
        piece[kept] = '\n';
        piece[kept + 1] = '\0';
        OutputDebugStringA(piece);
        line += length;
        if (*line == '\n') ++line;
    }
}

}  // namespace cx::trace
