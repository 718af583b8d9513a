// The text of one trace message: the format's leading newlines, the stamps, the message.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "platform/windef.h"

namespace cx::trace {

// Newlines and stamps together must stay below this; a longer prefix is replaced as a whole.
inline constexpr size_t kPrefixLimit = 100;
inline constexpr const char kPrefixTooLong[] = "!! BUFFER TOO SMALL - FIXME !! ";
// The formatted message is cut here, as the Windows formatter cuts it.
inline constexpr size_t kMessageLimit = 1024;
// Room for the longest line and its terminating NUL.
inline constexpr size_t kLineCapacity = kPrefixLimit - 1 + kMessageLimit + 1;

// The stamps of one message; a stamp is written when its flag is set.
struct StampValues {
    bool date = false;
    bool time = false;
    SYSTEMTIME local_time{};
    bool thread = false;
    DWORD thread_id = 0;
    bool processor = false;
    DWORD processor_number = 0;
    bool memory = false;
    DWORD private_kb = 0;
    DWORD resident_kb = 0;
    bool handles = false;
    DWORD handle_count = 0;
    const char* application_name = nullptr;  // the application-name stamp when not null
};

// Writes the line for `format` into `line` (kLineCapacity bytes) and returns its length, or
// -1 when the message cannot be formatted (nothing is to be written then).
int FormatTraceLine(char* line, const StampValues& stamps, const char* format, va_list args)
    __attribute__((format(printf, 3, 0)));

}  // namespace cx::trace
