// CompareFiles: the new inventory against the saved one, line by line after the scan's own
// header; only a difference makes the new file the saved one.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/file_debug.h"
#include "inventory/cx_agent.h"
#include "inventory/scan_stamp.h"
#include "mib_objects.h"
#include "platform/ascii_case.h"

using namespace cx::inventory;

namespace {

constexpr int kHeaderBufferSize = 48;
// Longer lines are read and compared in pieces of this size.
constexpr int kLineBufferSize = 260;

// One side's read: a line, or why there was none.
struct LineRead {
    bool line = false;
    bool error = false;
    bool end = false;
};

LineRead ReadLine(FILE* stream, char* buffer, int size) {
    if (std::fgets(buffer, size, stream) != nullptr) return {true, false, false};
    return {false, std::ferror(stream) != 0, std::feof(stream) != 0};
}

// The line without its line end ("\r\n" as the files are written, or a lone "\n"), so that
// the trace, which ends its own lines, shows it as it stands in the file.
const char* WithoutLineEnd(char* line) {
    std::size_t length = std::strlen(line);
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r'))
        line[--length] = '\0';
    return line;
}

void SkipHeader(FILE* saved, FILE* actual) {
    char buffer[kHeaderBufferSize];
    for (int i = 0; i < kInventoryHeaderLines; ++i) {
        ReadLine(saved, buffer, sizeof(buffer));
        ReadLine(actual, buffer, sizeof(buffer));
    }
}

// TRUE when the files differ after the header.
bool FilesDiffer(FILE* saved, FILE* actual) {
    char saved_line[kLineBufferSize];
    char actual_line[kLineBufferSize];
    for (;;) {
        LineRead s = ReadLine(saved, saved_line, sizeof(saved_line));
        LineRead a = ReadLine(actual, actual_line, sizeof(actual_line));
        if (s.error) CX_TRACE(1, "\n!!! READ ERROR IN Saved File");
        if (s.end && !a.end) CX_TRACE(4, "\n!!! END OF FILE Saved File");
        if (a.error) CX_TRACE(1, "\n!!! READ ERROR IN Actual File");
        if (a.end && !s.end) CX_TRACE(4, "\n!!! END OF FILE Actual File");
        if (s.line && a.line && !cx::EqualsIgnoringCase(saved_line, actual_line)) {
            CX_TRACE(4, "\n    Saved  File : %s", WithoutLineEnd(saved_line));
            CX_TRACE(4, "\n    Actual File : %s", WithoutLineEnd(actual_line));
            return true;
        }
        // A stream that fails gives no end either; the unread rest cannot show the inventory
        // unchanged, and reading on would go on for ever.
        if (s.error || a.error) return true;
        if (s.end != a.end) return true;
        if (s.end) return false;
    }
}

// The saved file's scan time and state, refreshed by every comparison that left a saved file;
// false when they could not be put on disk (the file then keeps its old ones).
bool RefreshScanKeys(const char* saved_path) {
    ProfileFile saved;
    saved.SetPath(saved_path);
    if (!saved.Open(TRUE)) return true;
    const ScanStamp now(std::time(nullptr));
    saved.WriteString(kLastDateSection, "LastScanDate", now.date);
    saved.WriteString(kLastDateSection, "LastScan", now.seconds);
    saved.WriteString(kLastDateSection, "ScanState", "DONE");
    CX_TRACE(3, "\n   reset SCANNING state");
    return saved.Flush() != FALSE;
}

}  // namespace

BOOL CCX_Agent::SaveInventory() {
    m_ActualFile.WriteString(kLastDateSection, "ScanState", "DONE");
    // The inventory only counts once it is on disk whole; what could not be written is gone,
    // and so is whatever part of it was.
    if (!m_ActualFile.Flush()) {
        const DWORD error = GetLastError();
        CX_TRACE(1, "\n!!! WRITE FAILED %s (%d)", kActualFileName, static_cast<int>(error));
        DeleteDataFile(kActualFileName);
        ScanFailed("%s could not be written (error %d)", kActualFileName, static_cast<int>(error));
        return FALSE;
    }
    return CompareFiles();
}

BOOL CCX_Agent::CompareFiles() {
    CX_TRACE(3, "\n  CX_Mib: Compare Files");
    FILE* saved = OpenDataFile(kSavedFileName, "r");
    FILE* actual = OpenDataFile(kActualFileName, "r");

    if (saved == nullptr) {
        CX_TRACE(2, "\n!!! NO SAVED FILE");
        if (actual == nullptr) {
            CX_TRACE(2, "\n!!! NO ACTUAL FILE");
            return FALSE;
        }
        CloseDataFile(actual);
        const BOOL copied = CopyDataFile(kActualFileName, kSavedFileName, TRUE);
        const DWORD error = GetLastError();
        DeleteDataFile(kActualFileName);
        if (!copied) {
            ScanFailed("%s could not be written (error %d)", kSavedFileName,
                       static_cast<int>(error));
            return FALSE;
        }
        InfoState = 0;
        return TRUE;
    }
    if (actual == nullptr) {
        // Nothing to compare with: the saved file and the MIB stay as they are.
        CX_TRACE(2, "\n!!! NO ACTUAL FILE");
        CloseDataFile(saved);
        return FALSE;
    }

    SkipHeader(saved, actual);
    if (FilesDiffer(saved, actual)) {
        CX_TRACE(2, "\n!!! FILES ARE DIFFERENT");
        CloseDataFile(saved);
        CloseDataFile(actual);
        saved = nullptr;
        actual = nullptr;
        const BOOL replaced = CopyDataFile(kSavedFileName, kCopyFileName, TRUE) &&
                              CopyDataFile(kActualFileName, kSavedFileName, FALSE);
        const DWORD error = GetLastError();
        // A new inventory that could not be saved is given up whole: the saved one stays as
        // it was, and nothing of the new one is left behind on a disk that may be full.
        DeleteDataFile(kActualFileName);
        DeleteDataFile(kCopyFileName);
        if (!replaced) {
            ScanFailed("%s could not be replaced (error %d)", kSavedFileName,
                       static_cast<int>(error));
            return FALSE;
        }
        InfoState = 0;
    } else {
        CX_TRACE(2, "\n*** FILES ARE IDENTICAL");
        CloseDataFile(actual);
        actual = nullptr;
        DeleteDataFile(kActualFileName);
        InfoState = 1;
    }
    CloseDataFile(saved);
    CloseDataFile(actual);

    char saved_path[MAX_PATH];
    if (MakeDataPath(kSavedFileName, saved_path, sizeof(saved_path)) &&
        !RefreshScanKeys(saved_path)) {
        ScanFailed("the scan state of %s could not be written (error %d)", kSavedFileName,
                   static_cast<int>(GetLastError()));
    }
    // A saved file that was replaced holds the new inventory whatever became of its scan keys.
    return InfoState == 0 ? TRUE : FALSE;
}
