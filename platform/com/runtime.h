// Internals of the COM runtime shared by its files: apartments, the process's interface table,
// the socket connection to an out-of-process server, and the calls in progress per thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/com_transport.h"
#include "platform/objbase.h"

namespace cx::com {

bool ThreadIsInitialised();
IGlobalInterfaceTable* ProcessGlobalInterfaceTable();

class Connection;

// One call waiting for its answer. The reader thread fills in the answer; CoCancelCall and a
// lost connection end the wait early.
struct PendingCall {
    std::mutex lock;
    std::condition_variable changed;
    bool done = false;
    bool cancelled = false;
    HRESULT failure = S_OK;  // set when the call ended without an answer
    Message reply;
    std::uint32_t call_id = 0;
    std::weak_ptr<Connection> connection;

    void Finish(const Message& answer);
    void Fail(HRESULT hr);
};

// The socket connection to one server object, with its reader thread (answers and events) and
// its event thread (calls into the advised sinks, so that a sink may itself call the server).
class Connection : public std::enable_shared_from_this<Connection> {
  public:
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Connects to a Unix socket; HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) when nobody
    // listens there.
    static HRESULT Open(const std::string& socket_path, std::shared_ptr<Connection>* connection);

    // Sends `request` and waits for the answer of kind `answer_kind`: bounded by
    // CxComCallTimeout(), ended early by CoCancelCall on the calling thread and by the loss of
    // the connection.
    HRESULT Call(Message& request, MessageKind answer_kind, Message* answer);
    HRESULT Call(Message& request, MessageKind answer_kind, Message* answer, DWORD timeout_ms);
    // Best effort, no answer expected.
    void Post(const Message& message);

    void AddSink(DWORD cookie, IDispatch* sink);  // takes a reference
    // Forgets the sink; once this returns (on any thread but the event thread) no event is
    // being delivered to it, so its owner may go away.
    void RemoveSink(DWORD cookie);
    void Close();

  private:
    explicit Connection(int fd);
    bool Send(const std::string& frame);
    void ReadLoop();
    void EventLoop();
    bool ReadExactly(void* buffer, std::size_t size);
    void Deliver(const Message& message);
    void FailAll(HRESULT hr);

    int fd_;
    std::mutex send_lock_;
    std::mutex lock_;  // guards everything below
    bool closed_ = false;
    HRESULT closed_reason_ = S_OK;
    std::uint32_t next_call_id_ = 1;
    std::map<std::uint32_t, std::shared_ptr<PendingCall>> pending_;
    std::map<DWORD, IDispatch*> sinks_;
    std::deque<Message> events_;
    std::condition_variable events_changed_;
    DWORD invoking_cookie_ = 0;  // the sink the event thread is calling, 0 when none
    std::thread::id event_thread_;
    std::condition_variable invoke_done_;
};

// The call in progress on the calling thread, for CoCancelCall from other threads.
void BeginThreadCall(const std::shared_ptr<PendingCall>& call);
void EndThreadCall();

// Creates the client-side object of a server instance reached through `connection`.
HRESULT CreateProxy(std::shared_ptr<Connection> connection, IUnknown** proxy);
// The socket path registered for a class; REGDB_E_CLASSNOTREG when none is.
HRESULT LookupLocalServer(REFCLSID clsid, std::string* socket_path);

}  // namespace cx::com
