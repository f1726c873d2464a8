#include "LoadEngine.h"

#include "Clock.h"

#include <arpa/inet.h>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Keys of idle connections carry this bit; the others are client indices.
constexpr std::uint64_t IdleKey = std::uint64_t{1} << 40;
constexpr int MaxEvents = 512;
constexpr size_t ReadChunk = 64 * 1024;

int OpenSocket(const LoadTarget &target, std::uint16_t port, bool *connected)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, target.host.c_str(), &address.sin_addr);
    const int rc = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    *connected = rc == 0;
    if (rc != 0 && errno != EINPROGRESS) {
        // Refused at once: the caller sees a connection that fails.
        *connected = false;
    }
    return fd;
}

} // namespace

LoadEngine::LoadEngine(LoadTarget target, int count, int first, int textBytes)
    : m_target(std::move(target)), m_textBytes(textBytes), m_epoll(::epoll_create1(EPOLL_CLOEXEC))
{
    if (m_epoll < 0)
        throw std::runtime_error(std::string("epoll_create1: ") + std::strerror(errno));
    if (!m_target.tlsCaFile.empty())
        m_tls = std::make_unique<TlsClientContext>(m_target.tlsCaFile, m_target.host);
    m_clients.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        LoadClient &client = m_clients[static_cast<size_t>(i)];
        client.id = "L" + std::to_string(first + i);
        client.password = "pw" + std::to_string(first + i);
        client.partner = "L" + std::to_string(first + (i + 1) % count);
    }
    m_latencies.reserve(1 << 20);
    m_deliveryLatencies.reserve(1 << 20);
}

LoadEngine::~LoadEngine()
{
    for (LoadClient &client : m_clients)
        if (client.fd >= 0)
            ::close(client.fd);
    closeIdle();
    ::close(m_epoll);
}

void LoadEngine::watch(int fd, std::uint64_t key, std::uint32_t events, bool add)
{
    epoll_event event{};
    event.events = events;
    event.data.u64 = key;
    ::epoll_ctl(m_epoll, add ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, fd, &event);
}

std::uint16_t LoadEngine::portOf(size_t index) const
{
    return m_ports.empty() ? m_target.port : m_ports[index % m_ports.size()];
}

int LoadEngine::partnersElsewhere() const
{
    int elsewhere = 0;
    for (size_t i = 0; i < m_clients.size(); ++i)
        elsewhere += portOf(i) != portOf((i + 1) % m_clients.size()) ? 1 : 0;
    return elsewhere;
}

void LoadEngine::connect(LoadClient &client)
{
    if (client.state != LoadClient::State::Down)
        return;
    ++m_counters.attempts;
    if (client.reconnectAt) {
        client.reconnectAt = 0;
        --m_reconnectsPlanned;
    }
    bool connected = false;
    client.fd = OpenSocket(m_target, portOf(static_cast<size_t>(&client - m_clients.data())), &connected);
    client.state = LoadClient::State::Connecting;
    client.in.clear();
    client.out.clear();
    client.writeArmed = true;
    const auto key = static_cast<std::uint64_t>(&client - m_clients.data());
    watch(client.fd, key, EPOLLIN | EPOLLOUT | EPOLLRDHUP, true);
    if (connected)
        onConnected(client);
}

void LoadEngine::disconnect(LoadClient &client)
{
    if (client.reconnectAt) {
        client.reconnectAt = 0;
        --m_reconnectsPlanned;
    }
    if (client.fd < 0)
        return;
    if (client.state == LoadClient::State::On)
        --m_on;
    m_inFlight -= client.inFlight;
    client.inFlight = 0;
    client.tls.reset();
    ::close(client.fd);
    client.fd = -1;
    client.state = LoadClient::State::Down;
}

void LoadEngine::onConnected(LoadClient &client)
{
    client.state = LoadClient::State::LoggingOn;
    client.writeArmed = false;
    const auto key = static_cast<std::uint64_t>(&client - m_clients.data());
    watch(client.fd, key, EPOLLIN | EPOLLRDHUP, false);
    if (m_tls) {
        client.tls = std::make_unique<TlsChannel>(*m_tls, client.fd);
        client.tls->start();
    }
    queue(client, OnConnected(m_target.dialect, client.id, client.password));
}

ssize_t LoadEngine::receive(LoadClient &client, char *buffer, size_t size)
{
    return client.tls ? client.tls->receive(buffer, size) : ::recv(client.fd, buffer, size, 0);
}

ssize_t LoadEngine::transmit(LoadClient &client)
{
    return client.tls ? client.tls->send(client.out.data(), client.out.size())
                      : ::send(client.fd, client.out.data(), client.out.size(), MSG_NOSIGNAL);
}

void LoadEngine::closeClient(LoadClient &client)
{
    switch (client.state) {
    case LoadClient::State::Connecting:
        ++m_counters.failedConnects;
        break;
    case LoadClient::State::LoggingOn:
        ++m_counters.cutOff;
        break;
    case LoadClient::State::On:
        ++m_counters.dropped;
        break;
    case LoadClient::State::Down:
        return;
    }
    disconnect(client);
    if (m_reconnectDelayNs >= 0) {
        client.reconnectAt = NowNs() + m_reconnectDelayNs;
        ++m_reconnectsPlanned;
    }
}

void LoadEngine::reconnectDue()
{
    const std::int64_t now = NowNs();
    for (LoadClient &client : m_clients)
        if (client.reconnectAt && client.reconnectAt <= now)
            connect(client);
}

void LoadEngine::queue(LoadClient &client, std::string_view bytes)
{
    if (bytes.empty() || client.fd < 0)
        return;
    client.out += bytes;
    if (!client.dirty) {
        client.dirty = true;
        m_dirty.push_back(&client);
    }
}

void LoadEngine::flush(LoadClient &client)
{
    if (client.fd < 0 || client.out.empty() || client.state == LoadClient::State::Connecting)
        return;
    const ssize_t n = transmit(client);
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        closeClient(client);
        return;
    }
    client.out.erase(0, static_cast<size_t>(std::max<ssize_t>(n, 0)));
    // TLS in the middle of its handshake waits for the server, not for room:
    // the next read goes on with it.
    const bool wantWrite = !client.out.empty() && !(client.tls && client.tls->blockedOnRead());
    if (wantWrite != client.writeArmed) {
        client.writeArmed = wantWrite;
        const auto key = static_cast<std::uint64_t>(&client - m_clients.data());
        watch(client.fd, key, EPOLLIN | EPOLLRDHUP | (wantWrite ? EPOLLOUT : 0u), false);
    }
}

void LoadEngine::sendMessage(LoadClient &client, std::int64_t stampNs)
{
    if (client.state != LoadClient::State::On)
        return;
    char text[64];
    auto [end, ec] = std::to_chars(text, text + 32, stampNs);
    (void)ec;
    *end++ = '.';
    const int length = std::max(static_cast<int>(end - text), std::min(m_textBytes, 63));
    while (end < text + length)
        *end++ = 'x';
    AppendMessage(m_target.dialect, client.out, client.partner, std::string_view(text, static_cast<size_t>(length)));
    if (!client.dirty) {
        client.dirty = true;
        m_dirty.push_back(&client);
    }
    ++client.inFlight;
    ++m_inFlight;
    ++m_counters.sent;
}

void LoadEngine::handleLine(LoadClient &client, std::string_view line)
{
    using Kind = LineMeaning::Kind;
    const LineMeaning meaning = Classify(m_target.dialect, line, client.id);
    switch (meaning.kind) {
    case Kind::Other:
        return;
    case Kind::Greeting:
        if (m_greetingOnly) {
            ++m_counters.greeted;
            disconnect(client);
            return;
        }
        if (client.state == LoadClient::State::LoggingOn)
            queue(client, LogonRequest(m_target.dialect, client.id, client.password));
        return;
    case Kind::LoggedOn:
        if (client.state == LoadClient::State::LoggingOn) {
            client.state = LoadClient::State::On;
            ++m_on;
            ++m_counters.loggedOn;
            m_lastLogonNs = NowNs();
        }
        return;
    case Kind::Refused:
        ++m_counters.refused;
        disconnect(client);
        return;
    case Kind::Ping:
        queue(client, PingAnswer(m_target.dialect, meaning.text));
        return;
    case Kind::Delivery:
    case Kind::Copy:
        break;
    }
    // Every line's text starts with the time it was due.
    std::int64_t stamp = 0;
    std::from_chars(meaning.text.data(), meaning.text.data() + meaning.text.size(), stamp);
    if (meaning.kind == Kind::Delivery) {
        ++m_counters.deliveries;
        if (m_recording)
            m_deliveryLatencies.push_back(NowNs() - stamp);
        return;
    }
    ++m_counters.copies;
    if (client.inFlight > 0) {
        --client.inFlight;
        --m_inFlight;
    }
    const std::int64_t now = NowNs();
    if (m_recording)
        m_latencies.push_back(now - stamp);
    if (m_closedLoop)
        sendMessage(client, now);
}

void LoadEngine::readFrom(LoadClient &client)
{
    thread_local char buffer[ReadChunk];
    const auto tlsPending = [&] { return client.tls && client.tls->pending(); };
    for (int round = 0; (round < 4 || tlsPending()) && client.fd >= 0; ++round) {
        const ssize_t n = receive(client, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            closeClient(client);
            return;
        }
        if (n < 0)
            return;
        client.in.append(buffer, static_cast<size_t>(n));
        size_t start = 0;
        while (client.fd >= 0) {
            const void *lf = std::memchr(client.in.data() + start, '\n', client.in.size() - start);
            if (!lf)
                break;
            const size_t end = static_cast<size_t>(static_cast<const char *>(lf) - client.in.data());
            size_t lineEnd = end;
            if (lineEnd > start && client.in[lineEnd - 1] == '\r')
                --lineEnd;
            handleLine(client, std::string_view(client.in).substr(start, lineEnd - start));
            start = end + 1;
        }
        if (client.fd < 0)
            return;
        client.in.erase(0, start);
        if (static_cast<size_t>(n) < sizeof buffer && !tlsPending())
            return;
    }
}

void LoadEngine::onEvent(std::uint64_t key, std::uint32_t events)
{
    if (key & IdleKey) {
        const size_t index = static_cast<size_t>(key & ~IdleKey);
        if (index < m_idle.size())
            onIdleEvent(m_idle[index], events);
        return;
    }
    LoadClient &client = m_clients[static_cast<size_t>(key)];
    if (client.fd < 0)
        return;
    if (client.state == LoadClient::State::Connecting) {
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(client.fd, SOL_SOCKET, SO_ERROR, &error, &length);
        if (error != 0 || (events & (EPOLLERR | EPOLLHUP))) {
            closeClient(client);
            return;
        }
        if (events & EPOLLOUT)
            onConnected(client);
    }
    if (events & EPOLLIN)
        readFrom(client);
    if (client.fd < 0)
        return;
    if ((events & EPOLLIN) && client.tls && client.tls->blockedOnRead() && !client.out.empty())
        flush(client);
    if (client.fd < 0)
        return;
    if (events & (EPOLLERR | EPOLLHUP | EPOLLRDHUP)) {
        // Whatever came before the close has been read above.
        closeClient(client);
        return;
    }
    if ((events & EPOLLOUT) && client.writeArmed)
        flush(client);
}

void LoadEngine::onIdleEvent(IdleConnection &idle, std::uint32_t events)
{
    if (idle.fd < 0)
        return;
    const size_t index = static_cast<size_t>(&idle - m_idle.data());
    if (!idle.connected && (events & EPOLLOUT) && !(events & (EPOLLERR | EPOLLHUP))) {
        idle.connected = true;
        watch(idle.fd, IdleKey | index, EPOLLIN | EPOLLRDHUP, false);
        if (m_target.dialect == Dialect::Irc) {
            const std::string nick = "I" + std::to_string(index);
            const std::string hello = "NICK " + nick + "\r\nUSER idle 0 * :" + nick + "\r\n";
            (void)::send(idle.fd, hello.data(), hello.size(), MSG_NOSIGNAL);
        }
    }
    if (events & EPOLLIN) {
        thread_local char buffer[ReadChunk];
        const ssize_t n = ::recv(idle.fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            // Only the logon is answered (and the peer's pings); the rest is dropped.
            idle.in.append(buffer, static_cast<size_t>(n));
            size_t start = 0;
            while (const void *lf = std::memchr(idle.in.data() + start, '\n', idle.in.size() - start)) {
                const size_t end = static_cast<size_t>(static_cast<const char *>(lf) - idle.in.data());
                const size_t lineEnd = end > start && idle.in[end - 1] == '\r' ? end - 1 : end;
                const LineMeaning meaning =
                    Classify(m_target.dialect, std::string_view(idle.in).substr(start, lineEnd - start), {});
                std::string answer;
                if (meaning.kind == LineMeaning::Kind::Ping) {
                    answer = PingAnswer(m_target.dialect, meaning.text);
                } else if (meaning.kind == LineMeaning::Kind::Greeting) {
                    const std::string user =
                        std::to_string(m_idleFirstUser + static_cast<int>(index % static_cast<size_t>(m_idleUsers)));
                    answer = LogonRequest(m_target.dialect, "L" + user, "pw" + user);
                } else if (meaning.kind == LineMeaning::Kind::LoggedOn && !idle.ready) {
                    idle.ready = true;
                    ++m_idleReady;
                }
                if (!answer.empty())
                    (void)::send(idle.fd, answer.data(), answer.size(), MSG_NOSIGNAL);
                start = end + 1;
            }
            idle.in.erase(0, start);
            return;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
    } else if (!(events & (EPOLLERR | EPOLLHUP | EPOLLRDHUP))) {
        return;
    }
    ::close(idle.fd);
    idle.fd = -1;
    --m_idleOpen;
}

void LoadEngine::openIdle(int count, int firstUser, int users)
{
    m_idleFirstUser = firstUser;
    m_idleUsers = std::max(1, users);
    const size_t first = m_idle.size();
    m_idle.resize(first + static_cast<size_t>(count));
    for (size_t i = first; i < m_idle.size(); ++i) {
        bool connectedAtOnce = false;
        IdleConnection &idle = m_idle[i];
        idle.fd = OpenSocket(m_target, portOf(i), &connectedAtOnce);
        ++m_idleOpen;
        watch(idle.fd, IdleKey | i, EPOLLIN | EPOLLOUT | EPOLLRDHUP, true);
    }
}

void LoadEngine::closeIdle()
{
    for (IdleConnection &idle : m_idle)
        if (idle.fd >= 0)
            ::close(idle.fd);
    m_idle.clear();
    m_idleReady = 0;
    m_idleOpen = 0;
}

void LoadEngine::turn(std::int64_t timeoutNs)
{
    if (m_reconnectsPlanned > 0)
        reconnectDue();
    epoll_event events[MaxEvents];
    timespec timeout{};
    timeout.tv_sec = timeoutNs / NsPerSecond;
    timeout.tv_nsec = timeoutNs % NsPerSecond;
    const int n = ::epoll_pwait2(m_epoll, events, MaxEvents, timeoutNs < 0 ? nullptr : &timeout, nullptr);
    for (int i = 0; i < n; ++i)
        onEvent(events[i].data.u64, events[i].events);
    for (LoadClient *client : m_dirty) {
        client->dirty = false;
        flush(*client);
    }
    m_dirty.clear();
}
