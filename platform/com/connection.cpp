// The client end of one server connection: framed messages over a Unix socket, a reader thread
// that matches answers to waiting calls, and an event thread that calls the advised sinks.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "com/runtime.h"
#include "platform/eintr.h"

namespace cx::com {
namespace {

// Events waiting for the sink beyond this are refused, so that a flooding server cannot make
// the client grow without bound.
constexpr std::size_t kMaxQueuedEvents = 1024;
// A send that the peer does not take in this time counts as a lost connection.
constexpr int kSendTimeoutSeconds = 5;

HRESULT ServerUnavailable() { return HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE); }
HRESULT CallFailed() { return HRESULT_FROM_WIN32(RPC_S_CALL_FAILED); }

bool IsAnswer(MessageKind kind) {
    return kind == MessageKind::kResult || kind == MessageKind::kDispId ||
           kind == MessageKind::kInvokeResult || kind == MessageKind::kAdviseResult;
}

}  // namespace

void PendingCall::Finish(const Message& answer) {
    std::lock_guard guard(lock);
    if (done) return;
    reply = answer;
    done = true;
    changed.notify_all();
}

void PendingCall::Fail(HRESULT hr) {
    std::lock_guard guard(lock);
    if (done) return;
    failure = hr;
    done = true;
    changed.notify_all();
}

Connection::Connection(int fd) : fd_(fd) {}

Connection::~Connection() {
    for (auto& [cookie, sink] : sinks_)
        sink->Release();
    close(fd_);
}

HRESULT Connection::Open(const std::string& socket_path, std::shared_ptr<Connection>* out) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket_path.empty() || socket_path.size() >= sizeof(address.sun_path)) {
        return ServerUnavailable();
    }
    std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return E_OUTOFMEMORY;
    timeval send_timeout{kSendTimeoutSeconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &send_timeout, sizeof(send_timeout));
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        close(fd);
        return ServerUnavailable();
    }
    std::shared_ptr<Connection> connection(new Connection(fd));
    std::thread([connection] { connection->ReadLoop(); }).detach();
    std::thread([connection] { connection->EventLoop(); }).detach();
    *out = std::move(connection);
    return S_OK;
}

bool Connection::Send(const std::string& frame) {
    std::lock_guard guard(send_lock_);
    std::size_t sent = 0;
    while (sent < frame.size()) {
        ssize_t n = cx::RetryOnEintr(
            [&] { return send(fd_, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL); });
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

void Connection::Post(const Message& message) { Send(EncodeMessage(message)); }

HRESULT Connection::Call(Message& request, MessageKind answer_kind, Message* answer) {
    return Call(request, answer_kind, answer, CxComCallTimeout());
}

HRESULT Connection::Call(Message& request, MessageKind answer_kind, Message* answer,
                         DWORD timeout_ms) {
    auto call = std::make_shared<PendingCall>();
    call->connection = weak_from_this();
    {
        std::lock_guard guard(lock_);
        if (closed_) return closed_reason_;
        call->call_id = next_call_id_++;
        if (next_call_id_ == 0) next_call_id_ = 1;
        pending_[call->call_id] = call;
    }
    request.call_id = call->call_id;
    BeginThreadCall(call);
    HRESULT hr = S_OK;
    if (!Send(EncodeMessage(request))) {
        hr = CallFailed();
    } else {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        std::unique_lock guard(call->lock);
        bool ended = call->changed.wait_until(guard, deadline,
                                              [&] { return call->done || call->cancelled; });
        if (call->cancelled) {
            hr = RPC_E_CALL_CANCELED;
        } else if (!ended) {
            hr = RPC_E_TIMEOUT;
        } else if (call->failure != S_OK) {
            hr = call->failure;
        } else if (call->reply.kind != answer_kind) {
            hr = RPC_E_INVALID_DATAPACKET;
        } else {
            *answer = std::move(call->reply);
        }
    }
    EndThreadCall();
    {
        std::lock_guard guard(lock_);
        pending_.erase(call->call_id);
    }
    if (hr == RPC_E_CALL_CANCELED || hr == RPC_E_TIMEOUT) {
        // The server may still be working on it; tell it not to bother, and drop its late answer.
        Message cancel;
        cancel.kind = MessageKind::kCancel;
        cancel.call_id = call->call_id;
        Post(cancel);
    }
    return hr;
}

void Connection::AddSink(DWORD cookie, IDispatch* sink) {
    sink->AddRef();
    IDispatch* replaced = nullptr;
    {
        std::lock_guard guard(lock_);
        auto [slot, inserted] = sinks_.try_emplace(cookie, sink);
        if (!inserted) {
            replaced = slot->second;
            slot->second = sink;
        }
    }
    if (replaced != nullptr) replaced->Release();
}

void Connection::RemoveSink(DWORD cookie) {
    IDispatch* sink = nullptr;
    {
        std::unique_lock guard(lock_);
        auto found = sinks_.find(cookie);
        if (found == sinks_.end()) return;
        sink = found->second;
        sinks_.erase(found);
        if (std::this_thread::get_id() != event_thread_) {
            invoke_done_.wait(guard, [&] { return invoking_cookie_ != cookie; });
        }
    }
    sink->Release();
}

void Connection::Close() {
    {
        std::lock_guard guard(lock_);
        if (closed_) return;
        closed_ = true;
        closed_reason_ = RPC_E_DISCONNECTED;
        events_changed_.notify_all();
    }
    shutdown(fd_, SHUT_RDWR);
    FailAll(RPC_E_DISCONNECTED);
}

void Connection::FailAll(HRESULT hr) {
    std::map<std::uint32_t, std::shared_ptr<PendingCall>> pending;
    {
        std::lock_guard guard(lock_);
        pending.swap(pending_);
    }
    for (auto& [id, call] : pending)
        call->Fail(hr);
}

bool Connection::ReadExactly(void* buffer, std::size_t size) {
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::size_t have = 0;
    while (have < size) {
        ssize_t n = cx::RetryOnEintr([&] { return recv(fd_, bytes + have, size - have, 0); });
        if (n <= 0) return false;
        have += static_cast<std::size_t>(n);
    }
    return true;
}

void Connection::ReadLoop() {
    HRESULT reason = CallFailed();
    std::vector<std::uint8_t> body;
    for (;;) {
        std::uint8_t prefix[4];
        std::uint32_t length;
        if (!ReadExactly(prefix, sizeof(prefix))) break;
        Message message;
        if (!DecodeLength(prefix, &length)) {
            reason = RPC_E_INVALID_DATAPACKET;
            break;
        }
        body.resize(length);
        if (!ReadExactly(body.data(), length)) break;
        if (!DecodeMessage(body.data(), body.size(), &message)) {
            reason = RPC_E_INVALID_DATAPACKET;
            break;
        }
        if (!IsAnswer(message.kind) && message.kind != MessageKind::kEvent) {
            reason = RPC_E_INVALID_DATAPACKET;
            break;
        }
        Deliver(message);
    }
    // The server is gone or talks nonsense: every waiting call fails now, every later call at
    // once.
    {
        std::lock_guard guard(lock_);
        if (!closed_) {
            closed_ = true;
            closed_reason_ = ServerUnavailable();
        }
        events_changed_.notify_all();
    }
    shutdown(fd_, SHUT_RDWR);
    FailAll(reason);
}

void Connection::Deliver(const Message& message) {
    if (message.kind == MessageKind::kEvent) {
        bool queued = false;
        {
            std::lock_guard guard(lock_);
            if (events_.size() < kMaxQueuedEvents) {
                events_.push_back(message);
                events_changed_.notify_one();
                queued = true;
            }
        }
        if (!queued) {
            Message refused;
            refused.kind = MessageKind::kEventResult;
            refused.call_id = message.call_id;
            refused.hr = E_OUTOFMEMORY;
            Post(refused);
        }
        return;
    }
    std::shared_ptr<PendingCall> call;
    {
        std::lock_guard guard(lock_);
        auto found = pending_.find(message.call_id);
        if (found == pending_.end()) return;  // an answer to a call given up
        call = found->second;
    }
    call->Finish(message);
}

void Connection::EventLoop() {
    {
        std::lock_guard guard(lock_);
        event_thread_ = std::this_thread::get_id();
    }
    for (;;) {
        Message event;
        IDispatch* sink = nullptr;
        {
            std::unique_lock guard(lock_);
            events_changed_.wait(guard, [this] { return closed_ || !events_.empty(); });
            if (closed_) return;
            event = std::move(events_.front());
            events_.pop_front();
            auto found = sinks_.find(event.cookie);
            if (found != sinks_.end()) {
                sink = found->second;
                sink->AddRef();
                invoking_cookie_ = event.cookie;
            }
        }
        Message done;
        done.kind = MessageKind::kEventResult;
        done.call_id = event.call_id;
        done.hr = CONNECT_E_NOCONNECTION;
        if (sink != nullptr) {
            std::vector<VARIANT> args(event.args.size());
            done.hr = S_OK;
            for (std::size_t i = 0; i < args.size(); ++i) {
                // DISPPARAMS hold the arguments last first.
                HRESULT hr = VariantFromWire(event.args[i], &args[args.size() - 1 - i]);
                if (FAILED(hr)) done.hr = hr;
            }
            if (SUCCEEDED(done.hr)) {
                DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr,
                                  static_cast<UINT>(args.size()), 0};
                UINT arg_error = 0;
                done.hr = sink->Invoke(event.dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                       &params, nullptr, nullptr, &arg_error);
            }
            for (VARIANT& arg : args)
                VariantClear(&arg);
            sink->Release();
            std::lock_guard guard(lock_);
            invoking_cookie_ = 0;
            invoke_done_.notify_all();
        }
        Post(done);
    }
}

}  // namespace cx::com
