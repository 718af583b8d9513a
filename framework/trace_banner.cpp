// The banner that frames an exception caught at the agent's outer guards in the trace.
#include "framework/trace_banner.h"

#include "base/file_debug.h"

void TraceBanner(const char* format, const char* module_name) {
    CX_TRACE(1,
             "\n\n##############################################################################");
    CX_TRACE(1, format, module_name);
    CX_TRACE(1,
             "\n##############################################################################\n");
}
