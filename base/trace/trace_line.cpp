// Trace line formatting: leading newlines, stamps in their fixed order, the prefix limit and
// the message limit.
#include "trace_line.h"

#include <cstdio>
#include <cstring>

namespace cx::trace {
namespace {

// At most this many leading newlines are taken from the format; any further ones stay in the
// message. More than kPrefixLimit of them replace the prefix anyway.
constexpr size_t kLeadingNewlineLimit = kLineCapacity - 1;
// Room for every stamp at its widest (numbers of ten digits, a 31-character name).
constexpr size_t kStampsCapacity = 160;

// Appends with snprintf rules; `used` never passes `capacity` - 1.
void Append(char* buffer, size_t capacity, size_t& used, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

void Append(char* buffer, size_t capacity, size_t& used, const char* format, ...) {
    if (used + 1 >= capacity) return;
    va_list args;
    va_start(args, format);
    int written = std::vsnprintf(buffer + used, capacity - used, format, args);
    va_end(args);
    if (written < 0) return;
    used += static_cast<size_t>(written);
    if (used > capacity - 1) used = capacity - 1;
}

// "%-13s  " with the character right after the name replaced by ':'.
void AppendApplicationName(char* buffer, size_t capacity, size_t& used, const char* name) {
    size_t start = used;
    Append(buffer, capacity, used, "%-13s  ", name);
    size_t colon = start + std::strlen(name);
    if (colon < used) buffer[colon] = ':';
}

size_t FormatStamps(char* buffer, size_t capacity, const StampValues& stamps) {
    size_t used = 0;
    buffer[0] = '\0';
    const SYSTEMTIME& t = stamps.local_time;
    if (stamps.date) Append(buffer, capacity, used, "[%02d-%02d-%02d] ", t.wYear, t.wMonth, t.wDay);
    if (stamps.time) {
        Append(buffer, capacity, used, "[%02d:%02d:%02d.%03d] ", t.wHour, t.wMinute, t.wSecond,
               t.wMilliseconds);
    }
    if (stamps.thread) {
        Append(buffer, capacity, used, "(%05d) ", static_cast<int>(stamps.thread_id));
    }
    if (stamps.processor) {
        Append(buffer, capacity, used, "#%02d ", static_cast<int>(stamps.processor_number));
    }
    if (stamps.memory) {
        Append(buffer, capacity, used, "{PB %05dkB, MU %05dkB} ",
               static_cast<int>(stamps.private_kb), static_cast<int>(stamps.resident_kb));
    }
    if (stamps.handles) {
        Append(buffer, capacity, used, "{%03d H} ", static_cast<int>(stamps.handle_count));
    }
    if (stamps.application_name != nullptr) {
        AppendApplicationName(buffer, capacity, used, stamps.application_name);
    }
    return used;
}

}  // namespace

int FormatTraceLine(char* line, const StampValues& stamps, const char* format, va_list args) {
    if (format == nullptr) return -1;
    size_t newlines = 0;
    while (format[newlines] == '\n' && newlines < kLeadingNewlineLimit)
        ++newlines;
    format += newlines;

    char stamp_text[kStampsCapacity];
    size_t stamps_length = FormatStamps(stamp_text, sizeof(stamp_text), stamps);
    size_t prefix = newlines + stamps_length;
    if (prefix >= kPrefixLimit) {
        prefix = sizeof(kPrefixTooLong) - 1;
        std::memcpy(line, kPrefixTooLong, prefix);
    } else {
        std::memset(line, '\n', newlines);
        std::memcpy(line + newlines, stamp_text, stamps_length);
    }
    int message = std::vsnprintf(line + prefix, kMessageLimit + 1, format, args);
    if (message < 0) return -1;
    size_t length =
        prefix + (static_cast<size_t>(message) < kMessageLimit ? static_cast<size_t>(message)
                                                               : kMessageLimit);
    return static_cast<int>(length);
}

}  // namespace cx::trace
