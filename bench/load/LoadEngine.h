#pragma once

#include "Dialect.h"
#include "TlsChannel.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct LoadTarget {
    std::string host = "127.0.0.1";
    std::uint16_t port = 0;
    Dialect dialect = Dialect::Vantrel;
    // When set, every client speaks TLS trusting this authority only.
    std::string tlsCaFile;
};

// One simulated user: a connection, its logon state and the partner it messages.
struct LoadClient {
    enum class State { Down, Connecting, LoggingOn, On };
    std::string id;
    std::string password;
    std::string partner;
    int fd = -1;
    std::unique_ptr<TlsChannel> tls; // while connected over TLS
    State state = State::Down;
    bool writeArmed = false;
    bool dirty = false;
    int inFlight = 0;
    std::int64_t reconnectAt = 0; // 0: none planned
    std::string in;
    std::string out;
};

struct LoadCounters {
    long attempts = 0;       // connections started
    long failedConnects = 0; // refused or reset before the connection was up
    long cutOff = 0;         // closed by the server before the logon was answered
    long refused = 0;        // a logon answered with a refusal
    long dropped = 0;        // closed after the logon
    long loggedOn = 0;       // logons accepted, repeated ones included
    long sent = 0;
    long copies = 0;
    long deliveries = 0;
    long greeted = 0; // greetings received, in the greeting-only mode
};

// Several hundred clients of one server on one epoll loop, in one thread.
// Every message carries its send time in its text, so the copy back alone
// gives the latency; a client in the closed loop sends its next message when
// a copy back arrives.
class LoadEngine {
public:
    // Users idPrefix<first>..idPrefix<first+count-1> with passwords
    // passwordPrefix<n>; each messages the next one, the last the first.
    LoadEngine(LoadTarget target, int count, int first, int textBytes);
    ~LoadEngine();
    LoadEngine(const LoadEngine &) = delete;
    LoadEngine &operator=(const LoadEngine &) = delete;

    std::vector<LoadClient> &clients() { return m_clients; }
    const LoadCounters &counters() const { return m_counters; }
    const LoadTarget &target() const { return m_target; }
    int onCount() const { return m_on; }
    long inFlight() const { return m_inFlight; }
    std::int64_t lastLogonNs() const { return m_lastLogonNs; }

    // Client i connects to ports[i % ports.size()] (idle connection i too),
    // as clients spread over several servers; by default all use the target's.
    void spreadOver(std::vector<std::uint16_t> ports) { m_ports = std::move(ports); }
    // How many clients message a partner that connects to another port.
    int partnersElsewhere() const;

    void connect(LoadClient &client);
    void disconnect(LoadClient &client);
    // A client cut off before or after its logon connects again after this
    // pause; negative: it stays down.
    void setReconnectDelay(std::int64_t ns) { m_reconnectDelayNs = ns; }
    void setClosedLoop(bool on) { m_closedLoop = on; }
    // A client that is greeted disconnects instead of logging on: what a
    // connection costs the server before the password check (TLS's handshake).
    void setGreetingOnly(bool on) { m_greetingOnly = on; }
    // Latencies of the copies, and of the lines at their recipients, that
    // arrive while recording.
    void setRecording(bool on) { m_recording = on; }
    std::vector<std::int64_t> &latencies() { return m_latencies; }
    std::vector<std::int64_t> &deliveryLatencies() { return m_deliveryLatencies; }
    void clearLatencies()
    {
        m_latencies.clear();
        m_deliveryLatencies.clear();
    }

    // A message to the client's partner, stamped with `stampNs` (the time it
    // was due, for the fixed rate, so a server that falls behind shows it).
    void sendMessage(LoadClient &client, std::int64_t stampNs);

    // Connections that log on and then only stay open, reading what comes
    // (on our wire as `users` users from L<firstUser> on, in turn, so that repeated logons of a
    // user cost the server no hash; on IRC as users of their own).
    void openIdle(int count, int firstUser, int users);
    int idleReady() const { return m_idleReady; }
    int idleOpened() const { return static_cast<int>(m_idle.size()); }
    int idleOpen() const { return m_idleOpen; }
    void closeIdle();

    // Waits for events up to `timeoutNs`, handles them, and writes what they caused.
    void turn(std::int64_t timeoutNs);

private:
    struct IdleConnection {
        int fd = -1;
        bool connected = false;
        bool ready = false;
        std::string in;
    };

    void onEvent(std::uint64_t key, std::uint32_t events);
    void onIdleEvent(IdleConnection &idle, std::uint32_t events);
    void onConnected(LoadClient &client);
    void readFrom(LoadClient &client);
    void handleLine(LoadClient &client, std::string_view line);
    void queue(LoadClient &client, std::string_view bytes);
    void flush(LoadClient &client);
    void closeClient(LoadClient &client);
    void reconnectDue();
    ssize_t receive(LoadClient &client, char *buffer, size_t size);
    ssize_t transmit(LoadClient &client);
    void watch(int fd, std::uint64_t key, std::uint32_t events, bool add);
    std::uint16_t portOf(size_t index) const;

    LoadTarget m_target;
    std::vector<std::uint16_t> m_ports;
    std::unique_ptr<TlsClientContext> m_tls;
    int m_textBytes;
    int m_epoll = -1;
    std::vector<LoadClient> m_clients;
    std::vector<IdleConnection> m_idle;
    std::vector<LoadClient *> m_dirty;
    LoadCounters m_counters;
    int m_on = 0;
    long m_inFlight = 0;
    int m_reconnectsPlanned = 0;
    int m_idleReady = 0;
    int m_idleFirstUser = 0;
    int m_idleUsers = 1;
    int m_idleOpen = 0;
    std::int64_t m_lastLogonNs = 0;
    std::int64_t m_reconnectDelayNs = -1;
    bool m_closedLoop = false;
    bool m_recording = false;
    bool m_greetingOnly = false;
    std::vector<std::int64_t> m_latencies;
    std::vector<std::int64_t> m_deliveryLatencies;
};
