#pragma once

#include "transport.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace tarn::sim {

// Raw TCP, the way a serial port server passes the line through: one client at a time. A new
// connection takes the line over from the old one, so a panel that lost its connection without
// the server noticing can always come back.
class TcpTransport : public Transport {
    Q_OBJECT
public:
    TcpTransport(QHostAddress address, quint16 port, QObject* parent = nullptr);
    ~TcpTransport() override;

    bool start(QString& error) override;
    qint64 write(const QByteArray& bytes) override;
    void dropFor(qint64 ms) override;
    bool isUp() const override { return server_.isListening(); }
    void setReading(bool on) override;
    QString addressLine() const override;

    quint16 port() const { return port_; }

private:
    bool listen(QString& error);
    void onNewConnection();
    void dropClient();
    void relisten();

    QHostAddress address_;
    quint16 port_;
    QTcpServer server_;
    QPointer<QTcpSocket> client_;
    QTimer relistenTimer_;
    bool reading_ = true;
};

} // namespace tarn::sim
