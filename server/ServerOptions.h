#pragma once

#include "server/ServerLog.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>

// What a running server is told; the defaults are the program's.
struct ServerOptions {
    QString dataDir = QStringLiteral("vantrel-data");
    // When set, the PostgreSQL database that holds the state instead of
    // DIR/im.db: postgresql://USER@HOST:PORT/DATABASE.
    QString postgresUrl;
    // When set, the Redis server through which this node reaches the others
    // on the same store: redis://HOST:PORT.
    QString busUrl;
    // A node that stops refreshing its key (killed, cut off) is taken as gone
    // after this long, and its users as logged off.
    std::chrono::milliseconds heartbeatTtl{6000};
    // PEM files; with both set the port speaks TLS (1.2 or later) only.
    QString tlsCertificate;
    QString tlsKey;
    // A TLS connection quiet for this long gives back the library's buffers
    // (some 34 KiB), which a busy one keeps.
    std::chrono::milliseconds tlsQuietAfter{1000};
    // A connection that has not logged on by then is closed. The client asks
    // to log on as soon as it is greeted; the time its password waits in the
    // server's own queue does not count.
    std::chrono::milliseconds logonTimeout{10000};
    // A refused logon is answered only after this pause, to slow down guessing.
    std::chrono::milliseconds refusalDelay{500};
    int refusalsBeforeClose = 3;
    // A client whose socket takes nothing for `readerStall` while frames
    // wait for it is not reading, and is cut off; so is one with eight times
    // this waiting unsent, rather than let it grow the server's memory.
    qsizetype maxUnsentBytes = 4 << 20;
    std::chrono::milliseconds readerStall{10000};
    // Frames the server has to reject before it stops listening to a client.
    int rejectionsBeforeCutOff = 10;
    // Each such span without a rejection forgives one.
    std::chrono::milliseconds rejectionForgiven{60000};
    int maxConnections = 4096;
    // Connections that have not yet asked to log on, in all and from one
    // address; beyond either, the oldest of the address with the most goes.
    // Many clients behind one address (a company's NAT) all reconnect at
    // once after a restart, so the bound per address is generous.
    qsizetype maxWaiting = 2048;
    qsizetype maxWaitingPerAddress = 1024;
    // A user whose last connection ends keeps their places in meeting rooms
    // this long: the client keeps its room windows and reconnects by itself.
    std::chrono::milliseconds roomSeatsKept{10 * 60 * 1000};
    // How often the server looks for accounts that an administrator disabled
    // or deleted, to log them off.
    std::chrono::milliseconds accountsPollInterval{2000};
    LogSink log = LogToStderr;
    // Runs on the store's writing thread before each batch of writes; tests
    // make the disk slow with it.
    std::function<void()> beforeStoreWrite;
    // Checks a password against its stored hash, on a worker thread; empty
    // for the real check. Tests count and slow the checks with it.
    std::function<bool(const QByteArray &storedHash, const QByteArray &password)> checkPassword;
};
