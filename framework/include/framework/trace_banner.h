// The banner that frames an exception caught at the agent's outer guards in the trace.
#pragma once

// `format` is the middle line; it may name the module with %s (`module_name`).
void TraceBanner(const char* format, const char* module_name = nullptr);
