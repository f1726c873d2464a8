#pragma once

#include "server/peer/WireClient.h"

#include <QObject>
#include <QTimer>

// A colleague for the demo: logs on as a sample user, answers every message it
// gets, accepts every room invitation, greets each room it enters and answers
// every line said there. When the
// server is not there yet, or goes away, it tries again every second.
class DemoPeer : public QObject {
    Q_OBJECT
public:
    DemoPeer(QString host, quint16 port, const QByteArray &userId, const QByteArray &password, int corpIndex);
    // The connection ends with the peer; it must not ask for a retry then.
    ~DemoPeer() override;
    // TLS from the next connection on, trusting only these authorities.
    void useTls(const QList<QSslCertificate> &authorities) { m_client.useTls(authorities); }
    void start();

private:
    void onFrame(const QByteArrayList &fields);
    void retryLater();

    WireClient m_client;
    QString m_host;
    quint16 m_port;
    QTimer m_retry;
};
