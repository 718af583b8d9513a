// A private registry and directory for tests that drive CFileDebug.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/windef.h"
#include "temp_dir.h"

namespace cx::test {

inline constexpr char kApplication[] = "CX_MIB";

class TraceFixture : public ::testing::Test {
  protected:
    TraceFixture();
    ~TraceFixture() override;

    // A value of "SOFTWARE\Debug" (empty `subkey`) or of "SOFTWARE\Debug\<subkey>".
    void SetValue(const std::string& subkey, const char* name, DWORD type, const void* data,
                  DWORD size);
    void SetDword(const std::string& subkey, const char* name, DWORD value);
    void SetText(const std::string& subkey, const char* name, const std::string& text,
                 DWORD type = 1 /* REG_SZ */);
    // The application's file sink at `level`, writing to TracePath().
    void UseTraceFile(DWORD level);

    std::string TracePath() const { return directory_.File("trace.log"); }
    // The trace file as written, "\r\n" and all; empty when there is none.
    std::string TraceText() const;

    TempDir directory_;
};

}  // namespace cx::test
