#pragma once

#include "server/ServerLog.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct redisAsyncContext;
struct redisReply;

namespace asio {
class io_context;
}

struct RedisAddress {
    QByteArray host;
    int port = 6379;
    QString shown() const;
};
// redis://HOST[:PORT]; false and a reason for anything else.
bool ParseRedisUrl(const QString &url, RedisAddress *address, QString *error);

// One node's two connections to Redis, driven by the server's loop: one for
// commands and publishing, one that only listens to the bus's channels (a
// subscribed connection can do nothing else). A connection that is lost is
// made again with growing pauses; what is published meanwhile is dropped.
class RedisBus {
public:
    using OnMessage = std::function<void(const QByteArray &message)>;
    using OnReply = std::function<void(const redisReply *reply)>; // null when there was none
    // Runs each time the subscription is (again) in place.
    using OnSubscribed = std::function<void()>;

    RedisBus(asio::io_context &io, RedisAddress address, QByteArray channel, LogSink log);
    ~RedisBus();
    RedisBus(const RedisBus &) = delete;
    RedisBus &operator=(const RedisBus &) = delete;

    // A command answered before the node serves: an integer answer as
    // `number`, OK as 1, nothing (nil) as 0, a string as `text`; no value
    // for an error.
    struct Answer {
        long long number = 0;
        QByteArray text;
    };
    using Ask = std::function<std::optional<Answer>(const std::vector<QByteArray> &args)>;
    // Connects, blocking, and lets `setup` ask what it needs (the node's
    // number, say); then opens the two connections. `commandsBack` runs when
    // the command connection is made again after it was lost. False and a
    // reason naming the address when Redis cannot be reached or `setup` fails.
    bool start(const std::function<bool(const Ask &ask)> &setup, OnMessage onMessage, OnSubscribed onSubscribed,
               std::function<void()> commandsBack, QString *error);

    // The longest pause between attempts to make a lost connection again.
    static constexpr std::chrono::milliseconds LongestPause{2000};

    // Before start() opens the connections (from its setup, say): a channel
    // listened to besides the bus's own.
    void listenAlso(const QByteArray &channel) { m_channels.push_back(channel); }

    // What is published during one turn of the loop goes out at its end,
    // one PUBLISH per channel carrying all of that channel's messages in
    // order (see BusBatch.h).
    void publish(const QByteArray &message); // on the bus's own channel
    void publishTo(const QByteArray &channel, const QByteArray &message);
    void command(const std::vector<QByteArray> &args, OnReply done = {});
    // Blocking, in order and after what is still held for publishing, for
    // the last words of a node that stops: its own loop no longer runs by then.
    void commandsNow(const std::vector<std::vector<QByteArray>> &last);

    const RedisAddress &address() const { return m_address; }
    // Neither connection is lost: both are up (the channel subscribed), or
    // still being made at start.
    bool isUp() const;

private:
    struct Link;
    void connect(Link &link);
    void lost(Link &link, const QString &why);
    static void OnConnect(const redisAsyncContext *context, int status);
    static void OnDisconnect(const redisAsyncContext *context, int status);
    static void OnChannel(redisAsyncContext *context, void *reply, void *privdata);
    void sendHeld();
    std::vector<std::vector<QByteArray>> heldCommands();

    asio::io_context &m_io;
    RedisAddress m_address;
    std::vector<QByteArray> m_channels; // the bus's own first
    LogSink m_log;
    OnMessage m_onMessage;
    OnSubscribed m_onSubscribed;
    std::function<void()> m_commandsBack;
    std::unique_ptr<Link> m_commands;
    std::unique_ptr<Link> m_listener;
    // Messages held until the end of the loop's turn, by channel in the order
    // first used; either all for the bus's own channel or all for others.
    std::vector<std::pair<QByteArray, QByteArrayList>> m_held;
    bool m_heldForEveryone = false;
    bool m_sendPosted = false;
    std::shared_ptr<int> m_lifetime = std::make_shared<int>();
};
