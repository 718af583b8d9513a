// cx-switchd's connections: framed messages in, answers and events out. A client that sends
// garbage or vanishes loses only its own connection.
#include "server.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "platform/eintr.h"

namespace cx::switchd {
namespace {

// A client that does not take an answer or event in this time is dropped.
constexpr int kSendTimeoutSeconds = 5;
// Messages a client may send while its answer is delayed before it counts as flooding.
constexpr std::size_t kMaxBacklog = 64;

bool ReadExactly(int fd, void* buffer, std::size_t size) {
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::size_t have = 0;
    while (have < size) {
        ssize_t n = cx::RetryOnEintr([&] { return recv(fd, bytes + have, size - have, 0); });
        if (n <= 0) return false;
        have += static_cast<std::size_t>(n);
    }
    return true;
}

bool FillAddress(const std::string& path, sockaddr_un* address) {
    std::memset(address, 0, sizeof(*address));
    address->sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address->sun_path)) return false;
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

struct Server::Client {
    int fd = -1;
    std::mutex send_lock;
    std::thread thread;
    std::atomic<bool> done{false};
    ClientState state;
    ~Client() {
        if (fd >= 0) close(fd);
    }
};

Server::Server(ServerOptions options, RequestHandler* handler)
    : options_(std::move(options)), handler_(handler) {}

Server::~Server() { Stop(); }

bool Server::Listen(std::string* error) {
    sockaddr_un address;
    if (!FillAddress(options_.socket_path, &address)) {
        *error = "socket path empty or too long: " + options_.socket_path;
        return false;
    }
    int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe >= 0) {
        bool live = connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
        close(probe);
        if (live) {
            *error = "another server is listening on " + options_.socket_path;
            return false;
        }
    }
    struct stat existing;
    if (lstat(options_.socket_path.c_str(), &existing) == 0 && S_ISSOCK(existing.st_mode)) {
        unlink(options_.socket_path.c_str());  // left by a server that did not end cleanly
    }
    listen_fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_fd_ < 0 ||
        bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listen_fd_, 64) != 0) {
        *error = "cannot listen on " + options_.socket_path + ": " + std::strerror(errno);
        if (listen_fd_ >= 0) close(listen_fd_);
        listen_fd_ = -1;
        return false;
    }
    return true;
}

void Server::AcceptOne() {
    int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    timeval send_timeout{kSendTimeoutSeconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &send_timeout, sizeof(send_timeout));
    auto client = std::make_shared<Client>();
    client->fd = fd;
    std::lock_guard guard(lock_);
    if (stopping_ || clients_.size() >= options_.max_clients) return;  // closes fd
    clients_.push_back(client);
    client->thread = std::thread([this, client] { Serve(client); });
}

void Server::Reap() {
    std::list<std::shared_ptr<Client>> finished;
    {
        std::lock_guard guard(lock_);
        for (auto it = clients_.begin(); it != clients_.end();) {
            if ((*it)->done) {
                finished.push_back(*it);
                it = clients_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& client : finished)
        client->thread.join();
}

void Server::Stop() {
    if (listen_fd_ < 0) return;
    stopping_ = true;
    close(listen_fd_);
    listen_fd_ = -1;
    std::list<std::shared_ptr<Client>> clients;
    {
        std::lock_guard guard(lock_);
        clients.swap(clients_);
        advised_.clear();
    }
    for (auto& client : clients)
        shutdown(client->fd, SHUT_RDWR);
    for (auto& client : clients)
        client->thread.join();
    unlink(options_.socket_path.c_str());
}

bool Server::SendTo(Client& client, const std::string& frame) {
    std::lock_guard guard(client.send_lock);
    std::size_t sent = 0;
    while (sent < frame.size()) {
        ssize_t n = cx::RetryOnEintr([&] {
            return send(client.fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        });
        if (n <= 0) {
            shutdown(client.fd, SHUT_RDWR);  // its own thread sees the end and cleans up
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool Server::ReadMessage(Client& client, com::Message* message) {
    std::uint8_t prefix[4];
    std::uint32_t length;
    if (!ReadExactly(client.fd, prefix, sizeof(prefix)) || !com::DecodeLength(prefix, &length)) {
        return false;
    }
    std::vector<std::uint8_t> body(length);
    return ReadExactly(client.fd, body.data(), length) &&
           com::DecodeMessage(body.data(), body.size(), message);
}

Server::Delay Server::DelayAnswer(Client& client, std::uint32_t call_id, std::uint32_t delay_ms,
                                  std::deque<com::Message>* backlog) {
    // The client keeps talking while its answer waits: a cancel for this call ends the wait,
    // anything else is kept for afterwards.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(delay_ms);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return Delay::kElapsed;
        if (stopping_) return Delay::kEnded;
        pollfd watch{client.fd, POLLIN, 0};
        int ready = poll(&watch, 1, static_cast<int>(std::min<long long>(left.count(), 100)));
        if (ready <= 0) continue;
        com::Message message;
        if (!ReadMessage(client, &message)) return Delay::kEnded;
        if (message.kind == com::MessageKind::kCancel && message.call_id == call_id) {
            return Delay::kCancelled;
        }
        if (backlog->size() >= kMaxBacklog) return Delay::kEnded;
        backlog->push_back(std::move(message));
    }
}

void Server::Serve(const std::shared_ptr<Client>& client) {
    std::deque<com::Message> backlog;
    for (;;) {
        com::Message request;
        if (!backlog.empty()) {
            request = std::move(backlog.front());
            backlog.pop_front();
        } else if (!ReadMessage(*client, &request)) {
            break;
        }
        Effects effects;
        std::optional<com::Message> answer = handler_->Handle(request, &client->state, &effects);
        if (effects.advised) {
            std::lock_guard guard(lock_);
            advised_[*effects.advised] = client;
        }
        if (effects.unadvised) {
            std::lock_guard guard(lock_);
            advised_.erase(*effects.unadvised);
        }
        if (effects.delay_ms > 0) {
            Delay delay = DelayAnswer(*client, request.call_id, effects.delay_ms, &backlog);
            if (delay == Delay::kEnded) break;
            if (delay == Delay::kCancelled) continue;
        }
        if (answer && !SendTo(*client, com::EncodeMessage(*answer))) break;
        if (effects.raise) Broadcast(*effects.raise);
    }
    {
        std::lock_guard guard(lock_);
        for (std::uint32_t cookie : client->state.cookies)
            advised_.erase(cookie);
    }
    shutdown(client->fd, SHUT_RDWR);
    client->done = true;
}

void Server::Broadcast(const EventFrame& event) {
    std::vector<std::pair<std::uint32_t, std::shared_ptr<Client>>> targets;
    {
        std::lock_guard guard(lock_);
        for (auto& [cookie, weak] : advised_) {
            if (auto client = weak.lock()) targets.emplace_back(cookie, std::move(client));
        }
    }
    for (auto& [cookie, client] : targets) {
        SendTo(*client, com::EncodeMessage(EventMessage(event, cookie, options_.event_form)));
    }
}

}  // namespace cx::switchd
