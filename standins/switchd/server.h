// The socket side of cx-switchd: accepts connections, runs one thread per client, answers
// through the request handler and sends events to every advised client.
#pragma once

#include <atomic>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "request_handler.h"

namespace cx::switchd {

struct ServerOptions {
    std::string socket_path;
    int event_form = 3;
    // More clients than this at once are turned away.
    std::size_t max_clients = 256;
};

class Server {
  public:
    Server(ServerOptions options, RequestHandler* handler);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds the socket; false with a message in *error when that is impossible (a live server
    // on the path, a path too long, no permission).
    bool Listen(std::string* error);
    int listen_fd() const { return listen_fd_; }
    // Accepts one waiting connection and starts its thread.
    void AcceptOne();
    // Joins the threads of clients that have gone.
    void Reap();
    // Ends every connection and joins its thread; removes the socket file.
    void Stop();
    // Sends `event` to every advised client.
    void Broadcast(const EventFrame& event);

  private:
    struct Client;
    enum class Delay { kElapsed, kCancelled, kEnded };
    void Serve(const std::shared_ptr<Client>& client);
    bool ReadMessage(Client& client, com::Message* message);
    Delay DelayAnswer(Client& client, std::uint32_t call_id, std::uint32_t delay_ms,
                      std::deque<com::Message>* backlog);
    bool SendTo(Client& client, const std::string& frame);

    ServerOptions options_;
    RequestHandler* handler_;
    int listen_fd_ = -1;
    std::atomic<bool> stopping_{false};
    std::mutex lock_;  // guards clients_ and advised_
    std::list<std::shared_ptr<Client>> clients_;
    std::map<std::uint32_t, std::weak_ptr<Client>> advised_;
};

}  // namespace cx::switchd
