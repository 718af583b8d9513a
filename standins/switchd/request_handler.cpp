// The server object of cx-switchd: it checks every message against the shapes it offers and
// answers from the scenario; the client's bytes are never trusted.
#include "request_handler.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "clients/cmd_frame.h"
#include "clients/switch_protocol.h"
#include "platform/ascii_case.h"
#include "platform/objbase.h"

namespace cx::switchd {
namespace {

using com::Message;
using com::MessageKind;
using com::WireValue;

constexpr std::size_t kHeaderBytes = CMD_HEADER_LENGTH;

Message Answer(MessageKind kind, const Message& request, HRESULT hr) {
    Message answer;
    answer.kind = kind;
    answer.call_id = request.call_id;
    answer.hr = hr;
    return answer;
}

Message InvokeError(const Message& request, HRESULT hr, std::uint32_t arg_error = 0) {
    Message answer = Answer(MessageKind::kInvokeResult, request, hr);
    answer.arg_error = arg_error;
    return answer;
}

bool IsInteger(const WireValue& value) {
    switch (value.vt) {
        case VT_I2:
        case VT_I4:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4: return true;
        default: return false;
    }
}

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        text.push_back(kDigits[c >> 4]);
        text.push_back(kDigits[c & 0xF]);
    }
    return text;
}

// A little-endian field of a frame header, at its offset in CmdHeader.
std::uint32_t ReadU32(const std::string& bytes, std::size_t offset) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + offset, sizeof(value));
    return value;
}

void WriteU32(std::string* bytes, std::size_t offset, std::uint32_t value) {
    std::memcpy(bytes->data() + offset, &value, sizeof(value));
}

WireValue Bstr(VARTYPE vt, const std::string& bytes, bool is_null) {
    WireValue value;
    value.vt = vt;
    value.bytes = is_null ? std::string() : bytes;
    value.is_null = is_null;
    return value;
}

WireValue Number(VARTYPE vt, std::int64_t number) {
    WireValue value;
    value.vt = vt;
    value.number = number;
    return value;
}

std::string JournalLine(const char* method, const RequestKey& key, std::uint32_t status,
                        std::int64_t timeout) {
    char line[160];
    std::snprintf(line, sizeof(line),
                  "%s opcode=0x%04X ext=0x%04X object=0x%04X cabinet=0x%04X status=0x%02X "
                  "timeout=%lld data=",
                  method, key.op_code, key.op_code_ext, key.object_id, key.cabinet_id, status,
                  static_cast<long long>(timeout));
    return line + Hex(key.data);
}

}  // namespace

RequestHandler::RequestHandler(ScenarioStore* scenario, MethodSet methods, JournalWriter journal,
                               Backend backend)
    : scenario_(scenario),
      methods_(methods),
      journal_(std::move(journal)),
      backend_(std::move(backend)) {}

// The scenario's lines come first, then the backend.
ReplySpec RequestHandler::Reply(const RequestKey& key) {
    if (auto reply = scenario_->Find(key)) return *reply;
    if (backend_) {
        if (auto reply = backend_(key)) return *reply;
    }
    return ReplySpec{kNoAnswerStatus, {}, 0};
}

DISPID RequestHandler::IdOfName(const std::u16string& name) const {
    struct Member {
        const char* name;
        DISPID id;
    };
    static constexpr Member kMembers[] = {
        {switch_method::kSyncRequest, kIdSyncRequest},
        {switch_method::kDefaultTimeout, kIdDefaultTimeout},
        {switch_method::kVCRequest, kIdVCRequest},
        {switch_method::kServerCabinetNumber, kIdServerCabinetNumber},
        {switch_method::kServerControlVersion, kIdServerControlVersion},
        {switch_method::kVCRequestEx, kIdVCRequestEx},
        {switch_method::kClientName, kIdClientName},
        {switch_method::kCmdRequest, kIdCmdRequest},
        {"RaiseEvent", kIdRaiseEvent},
    };
    for (const Member& member : kMembers) {
        // Names are compared without regard to case, as IDispatch does.
        if (Offers(member.id) && EqualsIgnoringCase(name, member.name)) return member.id;
    }
    return DISPID_UNKNOWN;
}

bool RequestHandler::Offers(DISPID id) const {
    switch (id) {
        case kIdCmdRequest: return methods_.cmd_request;
        case kIdVCRequestEx: return methods_.vc_request_ex;
        case kIdVCRequest: return methods_.vc_request;
        default: return true;
    }
}

std::optional<Message> RequestHandler::Handle(const Message& request, ClientState* client,
                                              Effects* effects) {
    switch (request.kind) {
        case MessageKind::kCreate: {
            bool known = request.guid1 == CLSID_SwitchServer;
            client->created = client->created || known;
            return Answer(MessageKind::kResult, request, known ? S_OK : CLASS_E_CLASSNOTAVAILABLE);
        }
        case MessageKind::kCancel:
            return std::nullopt;  // answers go out in order; a cancelled one is simply dropped
        case MessageKind::kEventResult:
            if (journal_) {
                char line[48];
                std::snprintf(line, sizeof(line), "EventResult hr=0x%08X",
                              static_cast<unsigned>(request.hr));
                journal_(line);
            }
            return std::nullopt;
        default: break;
    }
    if (!client->created) {
        // Nothing but creation before an object exists.
        MessageKind kind = request.kind == MessageKind::kGetIdOfName ? MessageKind::kDispId
                           : request.kind == MessageKind::kInvoke    ? MessageKind::kInvokeResult
                           : request.kind == MessageKind::kAdvise    ? MessageKind::kAdviseResult
                                                                     : MessageKind::kResult;
        return Answer(kind, request, E_UNEXPECTED);
    }
    switch (request.kind) {
        case MessageKind::kGetIdOfName: {
            DISPID id = IdOfName(request.name);
            Message answer = Answer(MessageKind::kDispId, request,
                                    id == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK);
            answer.dispid = id;
            return answer;
        }
        case MessageKind::kInvoke: return Invoke(request, client, effects);
        case MessageKind::kFindConnectionPoint:
            return Answer(MessageKind::kResult, request,
                          request.guid1 == DIID_SwitchEvents ? S_OK : CONNECT_E_NOCONNECTION);
        case MessageKind::kAdvise: {
            if (!(request.guid1 == DIID_SwitchEvents)) {
                return Answer(MessageKind::kAdviseResult, request, CONNECT_E_NOCONNECTION);
            }
            Message answer = Answer(MessageKind::kAdviseResult, request, S_OK);
            answer.cookie = next_cookie_++;
            client->cookies.insert(answer.cookie);
            effects->advised = answer.cookie;
            return answer;
        }
        case MessageKind::kUnadvise: {
            bool known = client->cookies.erase(request.cookie) == 1;
            if (known) effects->unadvised = request.cookie;
            return Answer(MessageKind::kResult, request, known ? S_OK : CONNECT_E_NOCONNECTION);
        }
        default:
            // Answers and events are what the server sends, never what it takes.
            return std::nullopt;
    }
}

Message RequestHandler::Invoke(const Message& request, ClientState* client, Effects* effects) {
    switch (request.dispid) {
        case kIdClientName:
            if ((request.flags & DISPATCH_PROPERTYPUT) != 0) {
                if (request.args.size() != 1) return InvokeError(request, DISP_E_BADPARAMCOUNT);
                if (request.args[0].vt != VT_BSTR) return InvokeError(request, DISP_E_TYPEMISMATCH);
                // The name arrives as 16-bit characters; the journal shows the ASCII ones.
                std::string name;
                const std::string& bytes = request.args[0].bytes;
                for (std::size_t i = 0; i + 1 < bytes.size() && name.size() < 260; i += 2) {
                    unsigned code = static_cast<unsigned char>(bytes[i]) |
                                    (static_cast<unsigned char>(bytes[i + 1]) << 8);
                    name.push_back(code >= 0x20 && code < 0x7F ? static_cast<char>(code) : '?');
                }
                client->client_name = name;
                if (journal_) journal_("ClientName name=" + name);
                return InvokeError(request, S_OK);
            }
            return InvokeError(request, DISP_E_MEMBERNOTFOUND);
        case kIdCmdRequest:
        case kIdVCRequestEx:
        case kIdVCRequest:
            if (!Offers(request.dispid)) return InvokeError(request, DISP_E_MEMBERNOTFOUND);
            if (!request.named.empty()) return InvokeError(request, DISP_E_NONAMEDARGS);
            return RequestMethod(request.dispid, request, effects);
        case kIdRaiseEvent: return RaiseEvent(request, effects);
        default: return InvokeError(request, DISP_E_MEMBERNOTFOUND);
    }
}

Message RequestHandler::RequestMethod(DISPID id, const Message& request, Effects* effects) {
    const auto& args = request.args;
    RequestKey key;
    if (id == kIdCmdRequest) {
        if (args.size() != 3) return InvokeError(request, DISP_E_BADPARAMCOUNT);
        if (args[0].vt != (VT_BYREF | VT_BSTR)) return InvokeError(request, DISP_E_TYPEMISMATCH, 2);
        if (args[1].vt != (VT_BYREF | VT_BSTR)) return InvokeError(request, DISP_E_TYPEMISMATCH, 1);
        if (!IsInteger(args[2])) return InvokeError(request, DISP_E_TYPEMISMATCH, 0);
        const std::string& header = args[0].bytes;
        if (header.size() < kHeaderBytes || header.compare(0, 4, CMD_MAGIC) != 0) {
            if (journal_)
                journal_("CmdRequest refused: header of " + std::to_string(header.size()) +
                         " bytes: " + Hex(header.substr(0, kHeaderBytes)));
            return InvokeError(request, E_INVALIDARG, 2);
        }
        key.op_code = ReadU32(header, offsetof(CmdHeader, OpCode));
        key.op_code_ext = ReadU32(header, offsetof(CmdHeader, OpCodeExt));
        key.object_id = ReadU32(header, offsetof(CmdHeader, ObjectId));
        key.cabinet_id = ReadU32(header, offsetof(CmdHeader, CabinetId));
        key.data = args[1].bytes;
        std::uint32_t status = ReadU32(header, offsetof(CmdHeader, Status));
        if (journal_) {
            journal_(JournalLine(switch_method::kCmdRequest, key, status, args[2].number));
        }
        ReplySpec reply = Reply(key);
        effects->delay_ms = reply.delay_ms;
        std::string answer_header = header.substr(0, kHeaderBytes);
        WriteU32(&answer_header, offsetof(CmdHeader, Status), reply.status);
        WriteU32(&answer_header, offsetof(CmdHeader, DataLength),
                 static_cast<std::uint32_t>(reply.data.size()));
        Message answer = InvokeError(request, S_OK);
        answer.by_ref.emplace_back(0, Bstr(VT_BYREF | VT_BSTR, answer_header, false));
        answer.by_ref.emplace_back(1, Bstr(VT_BYREF | VT_BSTR, reply.data, reply.data.empty()));
        return answer;
    }

    std::size_t expected = id == kIdVCRequestEx ? 8 : 7;
    if (args.size() != expected) return InvokeError(request, DISP_E_BADPARAMCOUNT);
    // Arguments first to last; arg_error counts from the last, as DISPPARAMS do.
    auto position = [&](std::size_t index) {
        return static_cast<std::uint32_t>(expected - 1 - index);
    };
    for (std::size_t i : {0u, 1u, 2u, 3u, 6u}) {
        if (!IsInteger(args[i])) return InvokeError(request, DISP_E_TYPEMISMATCH, position(i));
    }
    if (args[4].vt != (VT_BYREF | VT_BSTR))
        return InvokeError(request, DISP_E_TYPEMISMATCH, position(4));
    if (args[5].vt != (VT_BYREF | VT_UI1))
        return InvokeError(request, DISP_E_TYPEMISMATCH, position(5));
    if (expected == 8 && args[7].vt != (VT_BYREF | VT_UI1)) {
        return InvokeError(request, DISP_E_TYPEMISMATCH, position(7));
    }
    key.op_code = static_cast<std::uint16_t>(args[0].number);
    key.op_code_ext = static_cast<std::uint16_t>(args[1].number);
    key.object_id = static_cast<std::uint16_t>(args[2].number);
    key.cabinet_id = static_cast<std::uint16_t>(args[3].number);
    key.data = args[4].bytes;
    key.low_16_bits = true;
    std::uint32_t status = static_cast<std::uint8_t>(args[5].number);
    if (journal_) {
        journal_(JournalLine(
            id == kIdVCRequestEx ? switch_method::kVCRequestEx : switch_method::kVCRequest, key,
            status, static_cast<std::uint16_t>(args[6].number)));
    }
    ReplySpec reply = Reply(key);
    effects->delay_ms = reply.delay_ms;
    Message answer = InvokeError(request, S_OK);
    answer.by_ref.emplace_back(4, Bstr(VT_BYREF | VT_BSTR, reply.data, reply.data.empty()));
    answer.by_ref.emplace_back(5, Number(VT_BYREF | VT_UI1, reply.status & 0xFF));
    if (expected == 8)
        answer.by_ref.emplace_back(7, Number(VT_BYREF | VT_UI1, args[7].number & 0xFF));
    return answer;
}

Message RequestHandler::RaiseEvent(const Message& request, Effects* effects) {
    const auto& args = request.args;
    if (args.size() != 6) return InvokeError(request, DISP_E_BADPARAMCOUNT);
    for (std::size_t i = 0; i < 5; ++i) {
        if (!IsInteger(args[i])) {
            return InvokeError(request, DISP_E_TYPEMISMATCH, static_cast<std::uint32_t>(5 - i));
        }
    }
    if (args[5].vt != VT_BSTR) return InvokeError(request, DISP_E_TYPEMISMATCH, 0);
    EventFrame event;
    event.op_code = static_cast<std::uint32_t>(args[0].number);
    event.op_code_ext = static_cast<std::uint32_t>(args[1].number);
    event.object_id = static_cast<std::uint32_t>(args[2].number);
    event.cabinet_id = static_cast<std::uint32_t>(args[3].number);
    event.status = static_cast<std::uint32_t>(args[4].number);
    event.data = args[5].bytes;
    if (journal_) {
        RequestKey key{event.op_code,    event.op_code_ext, event.object_id,
                       event.cabinet_id, event.data,        false};
        journal_(JournalLine("RaiseEvent", key, event.status, 0));
    }
    effects->raise = std::move(event);
    return InvokeError(request, S_OK);
}

Message EventMessage(const EventFrame& event, std::uint32_t cookie, int form) {
    Message message;
    message.kind = MessageKind::kEvent;
    message.cookie = cookie;
    if (form == 4) {
        message.dispid = 4;
        // The header and the first four data bytes, as CmdFrameHead lays them out.
        CmdFrameHead head{};
        std::memcpy(head.Header.Magic, CMD_MAGIC, sizeof(head.Header.Magic));
        head.Header.Version = CMD_VERSION;
        head.Header.HeaderLength = CMD_HEADER_LENGTH;
        head.Header.DataLength = static_cast<DWORD>(event.data.size());
        head.Header.OpCode = event.op_code;
        head.Header.OpCodeExt = event.op_code_ext;
        head.Header.ObjectId = event.object_id;
        head.Header.CabinetId = event.cabinet_id;
        head.Header.Status = event.status;
        std::memcpy(head.Data, event.data.data(), event.data.size() < 4 ? event.data.size() : 4);
        std::string header(reinterpret_cast<const char*>(&head), sizeof(head));
        message.args.push_back(Bstr(VT_BSTR, header, false));
        message.args.push_back(Bstr(VT_BSTR, event.data, false));
        return message;
    }
    message.dispid = 3;
    message.args.push_back(Number(VT_I2, static_cast<std::int16_t>(event.op_code)));
    message.args.push_back(Number(VT_I2, static_cast<std::int16_t>(event.op_code_ext)));
    message.args.push_back(Number(VT_I2, static_cast<std::int16_t>(event.object_id)));
    message.args.push_back(Number(VT_I2, static_cast<std::int16_t>(event.cabinet_id)));
    message.args.push_back(Number(VT_UI1, event.status & 0xFF));
    message.args.push_back(Bstr(VT_BSTR, event.data, false));
    return message;
}

}  // namespace cx::switchd
