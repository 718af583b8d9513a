// CSwitchCommand: one command frame while a request is built and its reply read.
#pragma once

#include "clients/cmd_frame.h"
#include "platform/windef.h"

class CSwitchCommand {
  public:
    static constexpr int kMaxFrames = 32;

    CSwitchCommand();
    ~CSwitchCommand();
    CSwitchCommand(const CSwitchCommand&) = delete;
    CSwitchCommand& operator=(const CSwitchCommand&) = delete;

    BOOL SetRequest(DWORD opCode, DWORD opCodeExt, DWORD objectId, DWORD cabinetId, DWORD status);
    // Copies the 52 bytes of `head` into the current frame and sets its data length to 0.
    BOOL SetHeader(const CmdFrameHead* head);
    BOOL SetData(const void* data, DWORD length, DWORD status);
    BOOL ClearData();
    BOOL SetCabinetId(DWORD cabinetId);
    BOOL SetStatus(DWORD status);

    // The current frame, or NULL before the first request.
    CmdHeader* GetHeader() const;
    BYTE* GetData(DWORD offset) const;
    BYTE GetByte(DWORD index) const;
    WORD GetWord(DWORD index) const;
    LPSTR GetDataString();
    BOOL IsOk(DWORD minLength, BOOL atLeast) const;
    static BOOL IsSuccessStatus(const CmdHeader* frame);

  private:
    CmdHeader* CurrentOrNew();

    BYTE* m_pFrames[kMaxFrames];
    int m_nCurrent = 0;
};
