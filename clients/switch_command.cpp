// CSwitchCommand: frame blocks, zero-filled, grown as data requires, freed with the object.
#include "clients/switch_command.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

void InitCmdHeader(CmdFrameHead* head) {
    std::memset(head, 0, sizeof(*head));
    std::memcpy(head->Header.Magic, CMD_MAGIC, 4);
    head->Header.Version = CMD_VERSION;
    head->Header.HeaderLength = CMD_HEADER_LENGTH;
}

CSwitchCommand::CSwitchCommand() {
    for (BYTE*& frame : m_pFrames)
        frame = nullptr;
}

CSwitchCommand::~CSwitchCommand() {
    for (BYTE* frame : m_pFrames)
        std::free(frame);
}

CmdHeader* CSwitchCommand::GetHeader() const {
    return reinterpret_cast<CmdHeader*>(m_pFrames[m_nCurrent]);
}

CmdHeader* CSwitchCommand::CurrentOrNew() {
    if (m_pFrames[m_nCurrent] == nullptr) {
        auto* head = static_cast<CmdFrameHead*>(std::calloc(1, sizeof(CmdFrameHead)));
        if (head != nullptr) InitCmdHeader(head);
        m_pFrames[m_nCurrent] = reinterpret_cast<BYTE*>(head);
    }
    return GetHeader();
}

BOOL CSwitchCommand::SetRequest(DWORD opCode, DWORD opCodeExt, DWORD objectId, DWORD cabinetId,
                                DWORD status) {
    CmdHeader* frame = CurrentOrNew();
    if (frame == nullptr) return FALSE;
    // A reused command may hold the header of a reply; a request always goes out well-formed.
    std::memcpy(frame->Magic, CMD_MAGIC, 4);
    frame->Version = CMD_VERSION;
    frame->HeaderLength = CMD_HEADER_LENGTH;
    frame->OpCode = opCode;
    frame->OpCodeExt = opCodeExt;
    frame->ObjectId = objectId;
    frame->CabinetId = cabinetId;
    frame->Status = status;
    frame->MidLow = 0;
    frame->MidHigh = 0;
    frame->DataLength = 0;
    return TRUE;
}

BOOL CSwitchCommand::SetHeader(const CmdFrameHead* head) {
    CmdHeader* frame = CurrentOrNew();
    if (frame == nullptr || head == nullptr) return FALSE;
    std::memcpy(frame, head, sizeof(CmdFrameHead));
    frame->DataLength = 0;
    return TRUE;
}

BOOL CSwitchCommand::SetData(const void* data, DWORD length, DWORD status) {
    CmdHeader* frame = GetHeader();
    if (frame == nullptr) return FALSE;
    // A frame block always holds at least DataLength data bytes (and never fewer than four), so
    // growing whenever the new data is longer keeps every later access inside the block.
    if (data != nullptr && length > frame->DataLength && length > 4) {
        auto* grown = static_cast<BYTE*>(std::calloc(1, sizeof(CmdHeader) + std::size_t{length}));
        if (grown == nullptr) return FALSE;
        std::memcpy(grown, frame, sizeof(CmdFrameHead));
        std::free(m_pFrames[m_nCurrent]);
        m_pFrames[m_nCurrent] = grown;
        frame = GetHeader();
    }
    BYTE* target = m_pFrames[m_nCurrent] + sizeof(CmdHeader);
    if (data != nullptr) {
        if (length == 0) {
            std::memset(target, 0, 4);
        } else {
            std::memmove(target, data, length);
        }
    }
    frame->DataLength = data != nullptr ? length : 0;
    frame->Status = status;
    return TRUE;
}

BOOL CSwitchCommand::ClearData() {
    CmdHeader* frame = GetHeader();
    return frame != nullptr && SetData(nullptr, 0, frame->Status);
}

BOOL CSwitchCommand::SetCabinetId(DWORD cabinetId) {
    CmdHeader* frame = CurrentOrNew();
    if (frame == nullptr) return FALSE;
    frame->CabinetId = cabinetId;
    return TRUE;
}

BOOL CSwitchCommand::SetStatus(DWORD status) {
    CmdHeader* frame = CurrentOrNew();
    if (frame == nullptr) return FALSE;
    frame->Status = status;
    return TRUE;
}

BYTE* CSwitchCommand::GetData(DWORD offset) const {
    CmdHeader* frame = GetHeader();
    if (frame == nullptr || offset >= frame->DataLength) return nullptr;
    return m_pFrames[m_nCurrent] + sizeof(CmdHeader) + offset;
}

BYTE CSwitchCommand::GetByte(DWORD index) const {
    const BYTE* data = GetData(index);
    return data != nullptr ? *data : 0;
}

WORD CSwitchCommand::GetWord(DWORD index) const {
    CmdHeader* frame = GetHeader();
    if (frame == nullptr || std::uint64_t{frame->DataLength} < 2 * std::uint64_t{index} + 2) {
        return 0;
    }
    WORD value;
    std::memcpy(&value, GetData(2 * index), sizeof(value));
    return value;
}

LPSTR CSwitchCommand::GetDataString() {
    static char empty[1] = {0};
    CmdHeader* frame = GetHeader();
    if (frame == nullptr || frame->DataLength == 0) return empty;
    DWORD length = frame->DataLength;
    BYTE* data = GetData(0);
    if (data[length - 1] == 0) return reinterpret_cast<LPSTR>(data);
    auto* copy = static_cast<BYTE*>(std::malloc(std::size_t{length} + 1));
    if (copy == nullptr) return empty;
    std::memcpy(copy, data, length);
    copy[length] = 0;
    SetData(copy, length + 1, 0);
    std::free(copy);
    return reinterpret_cast<LPSTR>(GetData(0));
}

BOOL CSwitchCommand::IsOk(DWORD minLength, BOOL atLeast) const {
    CmdHeader* frame = GetHeader();
    if (!IsSuccessStatus(frame)) return FALSE;
    if (minLength == 0) return frame->DataLength > 0;
    return atLeast ? frame->DataLength >= minLength : frame->DataLength == minLength;
}

BOOL CSwitchCommand::IsSuccessStatus(const CmdHeader* frame) {
    if (frame == nullptr) return FALSE;
    switch (frame->Status) {
        case CMD_STATUS_OK:
        case CMD_STATUS_OK_0C:
        case CMD_STATUS_OK_15:
        case CMD_STATUS_OK_FF: return TRUE;
        default: return FALSE;
    }
}
