#pragma once

#include "serial/link.h"
#include "serial/receivebuffer.h"

#include <QTcpSocket>
#include <QTimer>

namespace tarn::serial {

// A network port server in raw TCP mode: the bytes on the socket are the bytes on its line.
// Line settings belong to the server, so they are accepted and kept but not sent.
//
// Never waits on the network: open() starts a connection and returns false; while it is being
// made isConnecting() holds; once made, the link reads as open and open() returns true. A
// failed attempt is reported by exactly one open() (false, not connecting, errorString() says
// why); the open() after that starts a new attempt.
class TcpLink final : public Link {
public:
    TcpLink(QString host, quint16 port);
    ~TcpLink() override;

    bool open(const LineSettings& settings) override;
    bool applySettings(const LineSettings&) override { return true; }
    bool isOpen() const override;
    void close() override;
    bool write(const QByteArray& bytes) override;
    QByteArray readAll() override;
    bool waitForBytesWritten(int msecs) override { return socket_.waitForBytesWritten(msecs); }
    QString errorString() const override { return error_; }
    qint64 bytesPending() const override;
    bool isConnecting() const override { return phase_ == Phase::Connecting; }

    // An address that never answers (a host that is off, a filtered port) gives up after this.
    static constexpr int ConnectTimeoutMs = 5000;

private:
    enum class Phase { Idle, Connecting, Open, Failed };

    void onConnected();
    void onSocketError();
    void onDisconnected();
    void fail(const QString& why);

    QString host_;
    quint16 port_;
    QTcpSocket socket_;
    QTimer connectTimer_;
    ReceiveBuffer received_;
    QString error_;
    Phase phase_ = Phase::Idle;
};

} // namespace tarn::serial
