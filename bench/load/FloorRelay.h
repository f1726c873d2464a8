#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// The floor that servers are measured against: one thread, one epoll loop,
// just enough of the wire for the load generator. It greets with "000",
// accepts any logon without a check, routes MSG to the partner's latest
// connection and copies it back to the sender; everything else is ignored.
class FloorRelay {
public:
    FloorRelay();
    ~FloorRelay();
    FloorRelay(const FloorRelay &) = delete;
    FloorRelay &operator=(const FloorRelay &) = delete;

    // Port 0 picks a free one.
    bool listen(const std::string &address, std::uint16_t port, std::string *error);
    std::uint16_t port() const { return m_port; }
    // Serves until stop() is called (from any thread).
    void run();
    void stop();

private:
    struct Peer {
        int fd = -1;
        std::string id;
        std::string in;
        std::string out;
        bool dirty = false;
        bool writeArmed = false;
    };

    void accept();
    void read(Peer &peer);
    void handleLine(Peer &peer, std::string_view line);
    void queue(Peer &peer);
    void flush(Peer &peer);
    void close(Peer &peer);
    const std::string &stamp();

    int m_epoll = -1;
    int m_listener = -1;
    int m_wake = -1;
    std::uint16_t m_port = 0;
    std::vector<std::unique_ptr<Peer>> m_byFd;
    struct IdHash {
        using is_transparent = void;
        size_t operator()(std::string_view id) const { return std::hash<std::string_view>{}(id); }
    };
    std::unordered_map<std::string, Peer *, IdHash, std::equal_to<>> m_byId;
    std::vector<Peer *> m_dirty;
    long m_stampSecond = -1;
    std::string m_stamp;
};
