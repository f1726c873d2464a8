#include "FloorRelay.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int MaxEvents = 256;

std::string_view NextField(std::string_view &rest)
{
    const size_t tab = rest.find('\t');
    const std::string_view field = rest.substr(0, tab);
    rest = tab == std::string_view::npos ? std::string_view() : rest.substr(tab + 1);
    return field;
}

} // namespace

FloorRelay::FloorRelay() : m_epoll(::epoll_create1(EPOLL_CLOEXEC)), m_wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = m_wake;
    ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &event);
}

FloorRelay::~FloorRelay()
{
    for (auto &peer : m_byFd)
        if (peer)
            ::close(peer->fd);
    if (m_listener >= 0)
        ::close(m_listener);
    ::close(m_wake);
    ::close(m_epoll);
}

bool FloorRelay::listen(const std::string &address, std::uint16_t port, std::string *error)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &in.sin_addr) != 1) {
        *error = "not an IPv4 address: " + address;
        return false;
    }
    // A deep backlog: a logon storm connects every client at once.
    if (::bind(m_listener, reinterpret_cast<sockaddr *>(&in), sizeof in) != 0 || ::listen(m_listener, 4096) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    socklen_t length = sizeof in;
    ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&in), &length);
    m_port = ntohs(in.sin_port);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = m_listener;
    ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_listener, &event);
    return true;
}

void FloorRelay::stop()
{
    const std::uint64_t one = 1;
    (void)::write(m_wake, &one, sizeof one);
}

void FloorRelay::run()
{
    epoll_event events[MaxEvents];
    for (;;) {
        const int n = ::epoll_wait(m_epoll, events, MaxEvents, -1);
        for (int i = 0; i < n; ++i) {
            const int fd = events[i].data.fd;
            if (fd == m_wake)
                return;
            if (fd == m_listener) {
                accept();
                continue;
            }
            Peer *peer = static_cast<size_t>(fd) < m_byFd.size() ? m_byFd[static_cast<size_t>(fd)].get() : nullptr;
            if (!peer)
                continue;
            if (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR))
                read(*peer);
            if ((events[i].events & EPOLLOUT) && m_byFd[static_cast<size_t>(fd)])
                flush(*peer);
        }
        // One write per connection for all that this turn gave it.
        for (Peer *peer : m_dirty) {
            peer->dirty = false;
            flush(*peer);
        }
        m_dirty.clear();
    }
}

void FloorRelay::accept()
{
    for (;;) {
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (m_byFd.size() <= static_cast<size_t>(fd))
            m_byFd.resize(static_cast<size_t>(fd) + 1);
        m_byFd[static_cast<size_t>(fd)] = std::make_unique<Peer>();
        Peer &peer = *m_byFd[static_cast<size_t>(fd)];
        peer.fd = fd;
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = fd;
        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
        peer.out = "000\r\n";
        queue(peer);
    }
}

void FloorRelay::read(Peer &peer)
{
    char buffer[64 * 1024];
    const ssize_t n = ::recv(peer.fd, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (n <= 0) {
        close(peer);
        return;
    }
    peer.in.append(buffer, static_cast<size_t>(n));
    size_t start = 0;
    while (const void *lf = std::memchr(peer.in.data() + start, '\n', peer.in.size() - start)) {
        const size_t end = static_cast<size_t>(static_cast<const char *>(lf) - peer.in.data());
        const size_t lineEnd = end > start && peer.in[end - 1] == '\r' ? end - 1 : end;
        handleLine(peer, std::string_view(peer.in).substr(start, lineEnd - start));
        start = end + 1;
    }
    peer.in.erase(0, start);
}

void FloorRelay::handleLine(Peer &peer, std::string_view line)
{
    std::string_view rest = line;
    const std::string_view code = NextField(rest);
    if (code == "000" && peer.id.empty()) {
        peer.id = NextField(rest);
        m_byId[peer.id] = &peer;
        peer.out += "001\t0\t\r\n";
        queue(peer);
        return;
    }
    if (code != "MSG" || peer.id.empty())
        return;
    NextField(rest); // the partner's connection number
    const std::string_view to = NextField(rest);
    const std::string_view text = NextField(rest);
    const auto partner = m_byId.find(to);
    if (partner == m_byId.end())
        return;
    const std::string &when = stamp();
    Peer &other = *partner->second;
    other.out.append("MSG\t").append(peer.id).append("\t").append(peer.id).append("\t");
    other.out.append(text).append("\t").append(when).append("\t\r\n");
    queue(other);
    peer.out.append("MSG\t").append(to).append("\t").append(peer.id).append("\t");
    peer.out.append(text).append("\t").append(when).append("\t\r\n");
    queue(peer);
}

void FloorRelay::queue(Peer &peer)
{
    if (!peer.dirty) {
        peer.dirty = true;
        m_dirty.push_back(&peer);
    }
}

void FloorRelay::flush(Peer &peer)
{
    if (peer.fd < 0 || peer.out.empty())
        return;
    const ssize_t n = ::send(peer.fd, peer.out.data(), peer.out.size(), MSG_NOSIGNAL);
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
        return; // the read side sees the close
    if (n > 0)
        peer.out.erase(0, static_cast<size_t>(n));
    const bool wantWrite = !peer.out.empty();
    if (wantWrite != peer.writeArmed) {
        peer.writeArmed = wantWrite;
        epoll_event event{};
        event.events = EPOLLIN | (wantWrite ? EPOLLOUT : 0u);
        event.data.fd = peer.fd;
        ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, peer.fd, &event);
    }
}

void FloorRelay::close(Peer &peer)
{
    const auto named = m_byId.find(peer.id);
    if (named != m_byId.end() && named->second == &peer)
        m_byId.erase(named);
    // A peer closed in this turn may still be queued for writing.
    std::erase(m_dirty, &peer);
    const int fd = peer.fd;
    ::close(fd);
    m_byFd[static_cast<size_t>(fd)].reset();
}

const std::string &FloorRelay::stamp()
{
    const std::time_t now = std::time(nullptr);
    if (now != m_stampSecond) {
        m_stampSecond = now;
        std::tm local{};
        ::localtime_r(&now, &local);
        char text[16];
        std::strftime(text, sizeof text, "%H:%M:%S", &local);
        m_stamp = text;
    }
    return m_stamp;
}
