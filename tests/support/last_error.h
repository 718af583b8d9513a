// One-line expectations on Windows-style failures:
//   EXPECT_EQ(FailedWith(DeleteFileA(path)), ERROR_FILE_NOT_FOUND);
#pragma once

#include "platform/errors.h"

namespace cx::test {

inline constexpr DWORD kDidNotFail = 0xFFFFFFFFu;

// GetLastError() after a call whose result says it failed (false, null, zero); kDidNotFail
// when it did not.
template <typename Result>
DWORD FailedWith(Result result) {
    return result ? kDidNotFail : GetLastError();
}

}  // namespace cx::test
