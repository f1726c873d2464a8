#include "server/bus/RedisBus.h"

#include "server/EventLoop.h"
#include "server/bus/BusBatch.h"
#include "server/bus/RedisOnAsio.h"
#include "wire/RetryPause.h"

#include <hiredis/async.h>
#include <hiredis/hiredis.h>

#include <QUrl>

#include <algorithm>

#include <asio/io_context.hpp>
#include <asio/post.hpp>

namespace {

constexpr timeval ConnectTimeout{3, 0};

struct Argv {
    explicit Argv(const std::vector<QByteArray> &args)
    {
        for (const QByteArray &arg : args) {
            pointers.push_back(arg.constData());
            sizes.push_back(std::size_t(arg.size()));
        }
    }
    std::vector<const char *> pointers;
    std::vector<std::size_t> sizes;
};

void OnCommandReply(redisAsyncContext *context, void *reply, void *privdata)
{
    std::unique_ptr<RedisBus::OnReply> done(static_cast<RedisBus::OnReply *>(privdata));
    if (context->data) // not the bus going away
        (*done)(static_cast<const redisReply *>(reply));
}

} // namespace

struct RedisBus::Link {
    RedisBus *bus = nullptr;
    bool listens = false;
    redisAsyncContext *context = nullptr; // none while it is being made again
    // Connected, and for the listener subscribed, or not yet lost: what is
    // sent before the first connection waits in hiredis until it is made.
    bool up = true;
    // A node away from the bus longer than its heartbeat is taken as gone,
    // so there is no point in waiting much longer than that between attempts.
    RetryPause retry{std::chrono::milliseconds(250), LongestPause};
};

QString RedisAddress::shown() const
{
    return QStringLiteral("redis://%1:%2").arg(QString::fromUtf8(host)).arg(port);
}

bool ParseRedisUrl(const QString &url, RedisAddress *address, QString *error)
{
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.scheme() != QLatin1String("redis") || parsed.host().isEmpty()
        || !(parsed.path().isEmpty() || parsed.path() == QLatin1String("/")) || parsed.hasQuery()
        || !parsed.userInfo().isEmpty()) {
        *error = QStringLiteral("--bus takes redis://HOST:PORT, not %1").arg(url);
        return false;
    }
    address->host = parsed.host().toUtf8();
    address->port = parsed.port(6379);
    return true;
}

RedisBus::RedisBus(asio::io_context &io, RedisAddress address, QByteArray channel, LogSink log)
    : m_io(io), m_address(std::move(address)), m_channels{std::move(channel)}, m_log(std::move(log))
{
}

RedisBus::~RedisBus()
{
    // Pending replies are answered with nothing as the contexts go; their
    // callbacks see no bus and only free what they hold.
    m_lifetime.reset();
    for (Link *link : {m_commands.get(), m_listener.get()})
        if (link && link->context) {
            link->context->data = nullptr;
            redisAsyncFree(std::exchange(link->context, nullptr));
        }
}

bool RedisBus::start(const std::function<bool(const Ask &ask)> &setup, OnMessage onMessage,
                     OnSubscribed onSubscribed, std::function<void()> commandsBack, QString *error)
{
    redisContext *probe = redisConnectWithTimeout(m_address.host.constData(), m_address.port, ConnectTimeout);
    if (!probe || probe->err) {
        *error = QStringLiteral("cannot reach the bus at %1: %2")
                     .arg(m_address.shown(), probe ? QString::fromUtf8(probe->errstr) : QStringLiteral("out of memory"));
        redisFree(probe);
        return false;
    }
    redisSetTimeout(probe, ConnectTimeout);
    QString failure;
    const Ask ask = [&](const std::vector<QByteArray> &args) -> std::optional<Answer> {
        Argv argv(args);
        auto *reply = static_cast<redisReply *>(
            redisCommandArgv(probe, int(argv.pointers.size()), argv.pointers.data(), argv.sizes.data()));
        std::optional<Answer> answer;
        if (reply && reply->type == REDIS_REPLY_INTEGER)
            answer = Answer{reply->integer, {}};
        else if (reply && reply->type == REDIS_REPLY_NIL)
            answer = Answer{0, {}};
        else if (reply && reply->type == REDIS_REPLY_STATUS)
            answer = Answer{1, QByteArray(reply->str, int(reply->len))};
        else if (reply && reply->type == REDIS_REPLY_STRING)
            answer = Answer{0, QByteArray(reply->str, int(reply->len))};
        else
            failure = reply && reply->type == REDIS_REPLY_ERROR ? QString::fromUtf8(reply->str)
                                                                 : QString::fromUtf8(probe->errstr);
        freeReplyObject(reply);
        return answer;
    };
    const bool ok = setup(ask);
    redisFree(probe);
    if (!ok) {
        *error = QStringLiteral("the bus at %1 does not answer as expected: %2").arg(m_address.shown(), failure);
        return false;
    }
    m_onMessage = std::move(onMessage);
    m_onSubscribed = std::move(onSubscribed);
    m_commandsBack = std::move(commandsBack);
    m_commands = std::make_unique<Link>(Link{this, false});
    m_listener = std::make_unique<Link>(Link{this, true});
    connect(*m_commands);
    connect(*m_listener);
    return true;
}

void RedisBus::connect(Link &link)
{
    redisAsyncContext *context = redisAsyncConnect(m_address.host.constData(), m_address.port);
    if (!context || context->err) {
        lost(link, context ? QString::fromUtf8(context->errstr) : QStringLiteral("out of memory"));
        if (context)
            redisAsyncFree(context);
        return;
    }
    context->data = &link;
    AttachToAsio(context, m_io);
    redisAsyncSetConnectCallback(context, OnConnect);
    redisAsyncSetDisconnectCallback(context, OnDisconnect);
    link.context = context;
    if (link.listens) {
        std::vector<QByteArray> args{"SUBSCRIBE"};
        args.insert(args.end(), m_channels.begin(), m_channels.end());
        Argv argv(args);
        redisAsyncCommandArgv(context, OnChannel, &link, int(argv.pointers.size()), argv.pointers.data(),
                              argv.sizes.data());
    }
}

// The node goes on serving its own users; the bus comes back by itself.
void RedisBus::lost(Link &link, const QString &why)
{
    link.context = nullptr;
    link.up = false;
    link.retry.failed(RetryPause::Clock::now());
    m_log(QStringLiteral("lost the bus at %1 (%2); no logons until it is back; trying again in %3 ms")
              .arg(m_address.shown(), why)
              .arg(link.retry.pause().count()));
    RunAfter(m_io, link.retry.pause(), [this, alive = std::weak_ptr<int>(m_lifetime), &link] {
        if (alive.lock())
            connect(link);
    });
}

void RedisBus::OnConnect(const redisAsyncContext *context, int status)
{
    auto *link = static_cast<Link *>(context->data);
    if (!link)
        return;
    if (status != REDIS_OK) {
        link->bus->lost(*link, QString::fromUtf8(context->errstr)); // hiredis frees the context
        return;
    }
    const bool back = link->retry.pause().count() > 0;
    if (back)
        link->bus->m_log(QStringLiteral("the bus at %1 is back").arg(link->bus->m_address.shown()));
    link->retry.reset();
    if (!link->listens) {
        link->up = true;
        if (back && link->bus->m_commandsBack)
            link->bus->m_commandsBack();
    }
}

void RedisBus::OnDisconnect(const redisAsyncContext *context, int status)
{
    auto *link = static_cast<Link *>(context->data);
    if (link && status != REDIS_OK)
        link->bus->lost(*link, QString::fromUtf8(context->errstr));
}

void RedisBus::OnChannel(redisAsyncContext *context, void *reply, void *)
{
    auto *link = static_cast<Link *>(context->data);
    const auto *r = static_cast<const redisReply *>(reply);
    if (!link || !r || r->type != REDIS_REPLY_ARRAY || r->elements != 3)
        return;
    const QByteArray kind(r->element[0]->str, int(r->element[0]->len));
    // One answer per channel, each with the count subscribed so far.
    if (kind == "subscribe" && r->element[2]->type == REDIS_REPLY_INTEGER
        && r->element[2]->integer == qint64(link->bus->m_channels.size())) {
        link->up = true;
        if (link->bus->m_onSubscribed)
            link->bus->m_onSubscribed();
    }
    else if (kind == "message" && r->element[2]->type == REDIS_REPLY_STRING)
        for (const QByteArray &message : UnpackBusMessages(QByteArray(r->element[2]->str, int(r->element[2]->len))))
            link->bus->m_onMessage(message);
}

bool RedisBus::isUp() const
{
    return m_commands && m_commands->up && m_listener && m_listener->up;
}

void RedisBus::publish(const QByteArray &message)
{
    publishTo(m_channels.front(), message);
}

// Every node hears the bus's own channel and its own. So that each hears
// what was published in the order it was, messages for everyone and
// messages for one node are never held together: a switch from one to the
// other sends what is held first. Messages for different single nodes
// reach different listeners, and their order among each other matters to
// none.
void RedisBus::publishTo(const QByteArray &channel, const QByteArray &message)
{
    const bool forEveryone = channel == m_channels.front();
    if (!m_held.empty() && forEveryone != m_heldForEveryone)
        sendHeld();
    m_heldForEveryone = forEveryone;
    const auto held = std::find_if(m_held.begin(), m_held.end(), [&](const auto &h) { return h.first == channel; });
    if (held != m_held.end())
        held->second.append(message);
    else
        m_held.emplace_back(channel, QByteArrayList{message});
    if (!std::exchange(m_sendPosted, true))
        asio::post(m_io, [this, alive = std::weak_ptr<int>(m_lifetime)] {
            if (!alive.lock())
                return;
            m_sendPosted = false;
            sendHeld();
        });
}

std::vector<std::vector<QByteArray>> RedisBus::heldCommands()
{
    std::vector<std::vector<QByteArray>> commands;
    for (const auto &[channel, messages] : m_held)
        commands.push_back({"PUBLISH", channel, PackBusMessages(messages)});
    m_held.clear();
    return commands;
}

void RedisBus::sendHeld()
{
    for (const std::vector<QByteArray> &args : heldCommands())
        command(args);
}

void RedisBus::command(const std::vector<QByteArray> &args, OnReply done)
{
    if (!m_commands || !m_commands->context) {
        if (done)
            done(nullptr);
        return;
    }
    Argv argv(args);
    auto *callback = done ? new OnReply(std::move(done)) : nullptr;
    const int sent = redisAsyncCommandArgv(
        m_commands->context,
        callback ? OnCommandReply : nullptr, callback, int(argv.pointers.size()), argv.pointers.data(), argv.sizes.data());
    if (sent != REDIS_OK && callback) {
        std::unique_ptr<OnReply> owned(callback);
        (*owned)(nullptr);
    }
}

void RedisBus::commandsNow(const std::vector<std::vector<QByteArray>> &last)
{
    std::vector<std::vector<QByteArray>> commands = heldCommands();
    commands.insert(commands.end(), last.begin(), last.end());
    constexpr timeval quick{1, 0};
    redisContext *context = redisConnectWithTimeout(m_address.host.constData(), m_address.port, quick);
    if (context && !context->err) {
        redisSetTimeout(context, quick);
        for (const std::vector<QByteArray> &args : commands) {
            Argv argv(args);
            void *reply =
                redisCommandArgv(context, int(argv.pointers.size()), argv.pointers.data(), argv.sizes.data());
            if (!reply)
                break; // the connection failed; the rest would wait for nothing
            freeReplyObject(reply);
        }
    }
    redisFree(context);
}
