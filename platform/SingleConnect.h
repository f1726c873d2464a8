#pragma once

#include <QAbstractSocket>
#include <QObject>

class QHostAddress;
class QHostInfo;
class QSocketNotifier;

// One TCP connection attempt, to the first address of the host. The toolkit's
// own socket tries every address of a host twice before it reports a failure,
// so a server that refuses would see two attempts at every retry; this makes
// one and hands the connected descriptor over. It ends in exactly one of
// connected() and failed(), never from inside start(), unless cancelled.
class SingleConnect : public QObject {
    Q_OBJECT
public:
    explicit SingleConnect(QObject *parent = nullptr);
    ~SingleConnect() override;

    // Cancels an attempt still running and starts a new one.
    void start(const QString &host, quint16 port);
    void cancel();
    bool isRunning() const { return m_running; }

signals:
    // The descriptor of the connected socket, now the receiver's to own.
    void connected(qintptr descriptor);
    void failed(QAbstractSocket::SocketError error);

private:
    void lookedUp(const QHostInfo &info);
    void connectTo(const QHostAddress &address);
    void finish(int error);
    void dropNotifier();

    bool m_running = false;
    quint64 m_attempt = 0;
    int m_lookupId = -1;
    int m_descriptor = -1;
    quint16 m_port = 0;
    QSocketNotifier *m_notifier = nullptr;
};
