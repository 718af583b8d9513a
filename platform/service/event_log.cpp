// The event log calls: records of a source, handed to the sink the host set (its own log) or
// written to standard error.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "core/handle_table.h"
#include "platform/errors.h"
#include "platform/eventlog.h"
#include "platform/winsvc.h"

namespace {

using cx::platform::InsertHandle;
using cx::platform::KernelObject;
using cx::platform::LookupHandleAs;
using cx::platform::RemoveHandle;

constexpr std::size_t kSourceLimit = 63;
constexpr std::size_t kTextLimit = 1024;

std::atomic<CxEventSink> g_sink{nullptr};

class EventSourceObject : public KernelObject {
  public:
    explicit EventSourceObject(std::string source) : source_(std::move(source)) {}
    const std::string& Source() const { return source_; }

  private:
    std::string source_;
};

bool IsLocalMachine(LPCSTR server) {
    if (server == nullptr || server[0] == '\0') return true;
    char host[256] = {};
    gethostname(host, sizeof(host) - 1);
    return std::strcmp(server, ".") == 0 || std::strcmp(server, "localhost") == 0 ||
           std::strcmp(server, host) == 0;
}

// The record's text: the strings joined by blanks, one line, within the limit.
std::string RecordText(WORD num_strings, LPCSTR* strings) {
    std::string text;
    for (WORD i = 0; i < num_strings && text.size() < kTextLimit; ++i) {
        if (strings[i] == nullptr) continue;
        if (!text.empty()) text += ' ';
        text += strings[i];
    }
    if (text.size() > kTextLimit) text.resize(kTextLimit);
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

void WriteToStandardError(WORD, const char* source, const char* text) {
    std::fprintf(stderr, "%s: %s\n", source, text);
}

}  // namespace

HANDLE RegisterEventSourceA(LPCSTR server, LPCSTR source) {
    if (!IsLocalMachine(server)) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    if (source == nullptr || source[0] == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string name(source, strnlen(source, kSourceLimit));
    SetLastError(ERROR_SUCCESS);
    return InsertHandle(std::make_shared<EventSourceObject>(std::move(name)));
}

BOOL DeregisterEventSource(HANDLE event_log) {
    if (LookupHandleAs<EventSourceObject>(event_log) == nullptr || !RemoveHandle(event_log)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL ReportEventA(HANDLE event_log, WORD type, WORD, DWORD, PSID, WORD num_strings, DWORD,
                  LPCSTR* strings, LPVOID) {
    auto source = LookupHandleAs<EventSourceObject>(event_log);
    if (source == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (type != EVENTLOG_SUCCESS && type != EVENTLOG_ERROR_TYPE && type != EVENTLOG_WARNING_TYPE &&
        type != EVENTLOG_INFORMATION_TYPE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string text = RecordText(strings != nullptr ? num_strings : 0, strings);
    CxEventSink sink = g_sink.load();
    (sink != nullptr ? sink : WriteToStandardError)(type, source->Source().c_str(), text.c_str());
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

void CxSetEventSink(CxEventSink sink) { g_sink = sink; }
