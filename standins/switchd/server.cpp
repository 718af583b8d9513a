// cx-switchd's connections: framed messages in, answers and events out. A client that sends
// garbage, too much or nothing loses only its own connection; one that may not connect or may
// not send events is told so and logged.
#include "server.h"

#include <grp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <utility>
#include <vector>

#include "platform/eintr.h"
#include "platform/winerror.h"

namespace cx::switchd {
namespace {

// A client that does not take an answer or event in this time is dropped.
constexpr int kSendTimeoutSeconds = 5;
// Messages a client may send while its answer is delayed before it counts as flooding.
constexpr std::size_t kMaxBacklog = 64;
// A body is read in pieces of this size: a length announced but never sent costs no memory.
constexpr std::size_t kReadPiece = 64 * 1024;
// The group whose members are the agents and their administrators.
constexpr char kDefaultGroup[] = "catalix";
// While the server is full, its log line comes once in this time.
constexpr auto kFullLogInterval = std::chrono::minutes(1);

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

// Whether the peer on `fd` has `group` among its supplementary groups.
bool PeerHasGroup(int fd, gid_t group) {
    std::vector<gid_t> groups(64);
    for (;;) {
        auto size = static_cast<socklen_t>(groups.size() * sizeof(gid_t));
        if (getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &size) == 0) {
            groups.resize(size / sizeof(gid_t));
            return std::find(groups.begin(), groups.end(), group) != groups.end();
        }
        // ERANGE tells the size needed; the kernel keeps it below NGROUPS_MAX.
        if (errno != ERANGE || size / sizeof(gid_t) <= groups.size()) return false;
        groups.resize(size / sizeof(gid_t));
    }
}

// Root may give a file to any group, others to their own groups.
bool MayUseGroup(gid_t group) {
    if (geteuid() == 0 || getegid() == group) return true;
    std::vector<gid_t> own(static_cast<std::size_t>(std::max(getgroups(0, nullptr), 0)));
    int count = getgroups(static_cast<int>(own.size()), own.data());
    return count > 0 && std::find(own.begin(), own.begin() + count, group) != own.begin() + count;
}

// Root, and the user the server runs as (a test's or a demo's), are trusted with everything.
bool Trusted(const ucred& peer) { return peer.uid == 0 || peer.uid == geteuid(); }

}  // namespace

std::optional<gid_t> SocketGroup(const std::string& name) {
    const group* found = getgrnam(name.empty() ? kDefaultGroup : name.c_str());
    if (!name.empty()) return found != nullptr ? std::optional<gid_t>(found->gr_gid) : std::nullopt;
    // The default group only where the server may give the socket to it (a developer's server
    // on a machine with the package installed may not).
    return found != nullptr && MayUseGroup(found->gr_gid) ? found->gr_gid : getegid();
}

struct Server::Client {
    int fd = -1;
    ucred peer{};
    std::mutex send_lock;
    std::thread thread;
    std::atomic<bool> done{false};
    // It has created the server object / holds an event subscription.
    std::atomic<bool> greeted{false};
    std::atomic<bool> advised{false};
    // Being closed by the server: no longer counted against the limit.
    std::atomic<bool> closing{false};
    std::atomic<Clock::time_point> last_active{Clock::now()};
    bool event_refusal_logged = false;  // its own thread only
    ClientState state;
    ~Client() {
        if (fd >= 0) close(fd);
    }
    // Makes its thread see the end of the connection.
    void Close() {
        closing = true;
        shutdown(fd, SHUT_RDWR);
    }
};

// Messages that came while an answer was delayed, to be handled after it, with their bytes.
struct Server::Backlog {
    std::deque<std::pair<com::Message, std::size_t>> messages;
    std::size_t bytes = 0;
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
    // The socket file is made 0660 at once: no moment in which others could connect. Nothing
    // else creates files while the server starts.
    mode_t umask_before = umask(0117);
    bool bound = listen_fd_ >= 0 &&
                 bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    umask(umask_before);
    if (!bound || listen(listen_fd_, 64) != 0) {
        *error = "cannot listen on " + options_.socket_path + ": " + std::strerror(errno);
    } else if (options_.group != getegid() &&
               lchown(options_.socket_path.c_str(), static_cast<uid_t>(-1), options_.group) != 0) {
        *error = "cannot give " + options_.socket_path + " to group " +
                 std::to_string(options_.group) + ": " + std::strerror(errno);
        unlink(options_.socket_path.c_str());
    } else {
        return true;
    }
    if (listen_fd_ >= 0) close(listen_fd_);
    listen_fd_ = -1;
    return false;
}

bool Server::Admits(int fd, const ucred& peer) const {
    return Trusted(peer) || peer.gid == options_.group || PeerHasGroup(fd, options_.group);
}

void Server::AcceptOne() {
    int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    auto client = std::make_shared<Client>();
    client->fd = fd;  // closed with `client` unless a thread takes it
    socklen_t size = sizeof(client->peer);
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &client->peer, &size) != 0 ||
        !Admits(fd, client->peer)) {
        std::fprintf(stderr,
                     "cx-switchd: connection of uid %u (pid %d) refused: neither root nor a "
                     "member of group %u\n",
                     client->peer.uid, client->peer.pid, options_.group);
        return;
    }
    timeval send_timeout{kSendTimeoutSeconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &send_timeout, sizeof(send_timeout));
    std::lock_guard guard(lock_);
    if (stopping_) return;
    std::size_t open = std::count_if(clients_.begin(), clients_.end(),
                                     [](const auto& other) { return !other->closing; });
    if (open >= options_.max_clients && !EvictIdlest()) {
        if (Clock::now() - last_full_log_ >= kFullLogInterval) {
            last_full_log_ = Clock::now();
            std::fprintf(stderr,
                         "cx-switchd: client limit (%zu) reached, every client subscribed to "
                         "events: connection of uid %u (pid %d) refused\n",
                         options_.max_clients, client->peer.uid, client->peer.pid);
        }
        return;
    }
    clients_.push_back(client);
    client->thread = std::thread([this, client] { Serve(client); });
}

bool Server::EvictIdlest() {
    std::shared_ptr<Client> idlest;
    for (const auto& client : clients_) {
        if (client->closing || client->advised) continue;  // an agent waiting for events stays
        if (!idlest || client->last_active.load() < idlest->last_active.load()) idlest = client;
    }
    if (!idlest) return false;
    auto idle =
        std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - idlest->last_active.load());
    if (Clock::now() - last_full_log_ >= kFullLogInterval) {
        last_full_log_ = Clock::now();
        std::fprintf(stderr,
                     "cx-switchd: client limit (%zu) reached: closing the connection of uid %u "
                     "(pid %d), idle for %lld s\n",
                     options_.max_clients, idlest->peer.uid, idlest->peer.pid,
                     static_cast<long long>(idle.count()));
    }
    idlest->Close();
    return true;
}

void Server::Reap() {
    std::list<std::shared_ptr<Client>> finished;
    {
        std::lock_guard guard(lock_);
        for (auto it = clients_.begin(); it != clients_.end();) {
            Client& client = **it;
            if (!client.greeted && !client.closing &&
                Clock::now() - client.last_active.load() > options_.greeting_bound) {
                std::fprintf(stderr,
                             "cx-switchd: connection of uid %u (pid %d) closed: no server object "
                             "created within %lld ms\n",
                             client.peer.uid, client.peer.pid,
                             static_cast<long long>(options_.greeting_bound.count()));
                client.Close();
            }
            if (client.done) {
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
        client->Close();
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

bool Server::ReadMessage(Client& client, std::size_t queued, com::Message* message,
                         std::size_t* size) {
    std::uint8_t prefix[4];
    std::uint32_t length;
    if (!ReadExactly(client.fd, prefix, sizeof(prefix)) || !com::DecodeLength(prefix, &length)) {
        return false;
    }
    if (queued + length > options_.max_client_bytes) {
        std::fprintf(stderr,
                     "cx-switchd: client uid %u (pid %d) dropped: a message of %u bytes with %zu "
                     "waiting exceeds its limit of %zu bytes\n",
                     client.peer.uid, client.peer.pid, length, queued, options_.max_client_bytes);
        return false;
    }
    std::vector<std::uint8_t> body;
    while (body.size() < length) {
        std::size_t have = body.size();
        body.resize(std::min<std::size_t>(length, have + kReadPiece));
        if (!ReadExactly(client.fd, body.data() + have, body.size() - have)) return false;
    }
    client.last_active = Clock::now();
    if (size != nullptr) *size = length;
    return com::DecodeMessage(body.data(), body.size(), message);
}

Server::Delay Server::DelayAnswer(Client& client, std::uint32_t call_id, std::uint32_t delay_ms,
                                  Backlog* backlog) {
    // The client keeps talking while its answer waits: a cancel for this call ends the wait,
    // anything else is kept for afterwards, within the client's allowance of bytes.
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
        std::size_t size = 0;
        if (!ReadMessage(client, backlog->bytes, &message, &size)) return Delay::kEnded;
        if (message.kind == com::MessageKind::kCancel && message.call_id == call_id) {
            return Delay::kCancelled;
        }
        if (backlog->messages.size() >= kMaxBacklog) return Delay::kEnded;
        backlog->bytes += size;
        backlog->messages.emplace_back(std::move(message), size);
    }
}

std::optional<com::Message> Server::Refusal(Client& client, const com::Message& request) {
    // An event reaches every agent: sending one is for root (and the server's own user) only.
    if (request.kind != com::MessageKind::kInvoke || request.dispid != kIdRaiseEvent ||
        Trusted(client.peer)) {
        return std::nullopt;
    }
    if (!client.event_refusal_logged) {
        client.event_refusal_logged = true;
        std::fprintf(stderr,
                     "cx-switchd: event from uid %u (pid %d) refused: only root sends events\n",
                     client.peer.uid, client.peer.pid);
    }
    com::Message answer;
    answer.kind = com::MessageKind::kInvokeResult;
    answer.call_id = request.call_id;
    answer.hr = E_ACCESSDENIED;
    return answer;
}

void Server::Serve(const std::shared_ptr<Client>& client) {
    Backlog backlog;
    for (;;) {
        com::Message request;
        if (!backlog.messages.empty()) {
            request = std::move(backlog.messages.front().first);
            backlog.bytes -= backlog.messages.front().second;
            backlog.messages.pop_front();
        } else if (!ReadMessage(*client, 0, &request)) {
            break;
        }
        Effects effects;
        std::optional<com::Message> answer = Refusal(*client, request);
        if (!answer) answer = handler_->Handle(request, &client->state, &effects);
        client->greeted = client->state.created;
        if (effects.advised || effects.unadvised) {
            std::lock_guard guard(lock_);
            if (effects.advised) advised_[*effects.advised] = client;
            if (effects.unadvised) advised_.erase(*effects.unadvised);
            client->advised = !client->state.cookies.empty();
        }
        if (effects.delay_ms > 0) {
            Delay delay = DelayAnswer(*client, request.call_id, effects.delay_ms, &backlog);
            if (delay == Delay::kEnded) break;
            if (delay == Delay::kCancelled) continue;
        }
        if (answer && !SendTo(*client, com::EncodeMessage(*answer))) break;
        client->last_active = Clock::now();
        if (effects.raise) Broadcast(*effects.raise);
    }
    {
        std::lock_guard guard(lock_);
        for (std::uint32_t cookie : client->state.cookies)
            advised_.erase(cookie);
    }
    client->Close();
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
