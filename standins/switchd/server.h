// The socket side of cx-switchd: accepts connections from root and the socket's group, runs one
// thread per client, answers through the request handler and sends events to every advised
// client. Each client is held to a share of the server: a number of connections, the bytes it
// may have waiting, and a time to introduce itself.
#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "request_handler.h"

namespace cx::switchd {

struct ServerOptions {
    std::string socket_path;
    int event_form = 3;
    // The group of the socket file; its members may connect besides root and the server's own
    // user. SocketGroup() gives the default.
    gid_t group = 0;
    // More clients than this at once: the one idle longest that has no event subscription makes
    // room, else the newcomer is turned away.
    std::size_t max_clients = 64;
    // The bytes of messages one client may have sent that are not handled yet (the one being
    // read and those waiting behind a delayed answer); a client that sends more is dropped.
    std::size_t max_client_bytes = 1u << 20;
    // A connection that has not created the server object by then is closed.
    std::chrono::milliseconds greeting_bound{10000};
};

// The group named `name`, or with an empty name "catalix" where that group exists and the
// process may use it, else the process's own group; nullopt for a name that names no group.
std::optional<gid_t> SocketGroup(const std::string& name);

class Server {
  public:
    Server(ServerOptions options, RequestHandler* handler);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds the socket (mode 0660 whatever the umask, owned by the group of the options); false
    // with a message in *error when that is impossible (a live server on the path, a path too
    // long, no permission).
    bool Listen(std::string* error);
    int listen_fd() const { return listen_fd_; }
    // Accepts one waiting connection and starts its thread, or refuses it.
    void AcceptOne();
    // Joins the threads of clients that have gone and closes connections that never greeted.
    void Reap();
    // Ends every connection and joins its thread; removes the socket file.
    void Stop();
    // Sends `event` to every advised client.
    void Broadcast(const EventFrame& event);

  private:
    using Clock = std::chrono::steady_clock;
    struct Client;
    struct Backlog;
    enum class Delay { kElapsed, kCancelled, kEnded };
    bool Admits(int fd, const ucred& peer) const;
    // Under lock_: closes the least busy client to make room for a new one; false when none
    // may go.
    bool EvictIdlest();
    void Serve(const std::shared_ptr<Client>& client);
    // Reads one message; `queued` bytes of the client's allowance are taken already.
    bool ReadMessage(Client& client, std::size_t queued, com::Message* message,
                     std::size_t* size = nullptr);
    Delay DelayAnswer(Client& client, std::uint32_t call_id, std::uint32_t delay_ms,
                      Backlog* backlog);
    // The answer to a call the client may not make, or nullopt when it may.
    std::optional<com::Message> Refusal(Client& client, const com::Message& request);
    bool SendTo(Client& client, const std::string& frame);

    ServerOptions options_;
    RequestHandler* handler_;
    int listen_fd_ = -1;
    std::atomic<bool> stopping_{false};
    std::mutex lock_;  // guards clients_, advised_ and the log throttle
    std::list<std::shared_ptr<Client>> clients_;
    std::map<std::uint32_t, std::weak_ptr<Client>> advised_;
    Clock::time_point last_full_log_{};
};

}  // namespace cx::switchd
