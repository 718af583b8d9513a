// The debugger sink: a trace line passed on one line at a time.
#pragma once

namespace cx::trace {

// Skips one newline at the start of `line`, then passes each line of it (cut at 1122
// characters) with a newline as one OutputDebugStringA call.
void WriteToDebugger(const char* line);

}  // namespace cx::trace
