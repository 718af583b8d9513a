// Words for the Windows error codes that the registry calls report.
#pragma once

#include <string>

#include "platform/windef.h"

namespace cxreg {

// "what went wrong (error N)".
std::string ErrorText(LONG error);
// Whether the error is about the store file rather than the key or value asked for.
bool IsStoreError(LONG error);

}  // namespace cxreg
