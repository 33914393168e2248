#pragma once

#include "serial/link.h"
#include "serial/portmap.h"
#include "serial/receivebuffer.h"
#include "serial/rfc2217.h"
#include "serial/telnet.h"

#include <QSslCertificate>
#include <QSslError>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

class QSslSocket;

namespace tarn::serial {

// A network port server: raw TCP, telnet with RFC 2217 line control, either one inside TLS.
//
// Never waits on the network: open() starts a connection and returns false; while it is being
// made (connection, TLS handshake, line settings) isConnecting() holds; once made, the link
// reads as open and open() returns true. A failed attempt is reported by exactly one open()
// (false, not connecting, errorString() says why); the open() after that starts a new one.
//
// With TLS nothing of the panel's is sent before the server's certificate has verified, and
// there is no way back to an unencrypted link.
class NetworkLink final : public Link {
public:
    explicit NetworkLink(NetworkAddress address);
    ~NetworkLink() override;

    bool open(const LineSettings& settings) override;
    // On an open RFC 2217 link the far line changes at once; a refusal drops the link, so
    // the panel sees the port lost and the reason in errorString(). Raw links keep the
    // settings for the server's own configuration to decide.
    bool applySettings(const LineSettings& settings) override;
    bool isOpen() const override;
    // Waits (bounded) for the peer to acknowledge what was written, reads what it still sends,
    // and ends the connection without a reset; false when written bytes were given up.
    bool close() override;
    bool write(const QByteArray& bytes) override;
    QByteArray readAll() override;
    QString errorString() const override { return error_; }
    qint64 bytesPending() const override;
    bool isConnecting() const override { return phase_ == Phase::Connecting; }
    bool waitForBytesWritten(int msecs) override;
    qint64 bytesUndelivered() const override;
    void waitForReadyRead(int msecs) override;
    // A socket cannot take back what it holds: the connection is dropped and reads as lost.
    void discardOutput() override;
    qintptr descriptor() const override;

    // How long a close waits for the peer to end the connection after the panel ended its side.
    static constexpr int PeerCloseMs = 300;

    // Connection, TLS handshake and the server's answers to the line settings together: an
    // address that never answers (a host that is off, a filtered port) gives up after this.
    static constexpr int ConnectTimeoutMs = 5000;
    // A baud change on an open link.
    static constexpr int AnswerTimeoutMs = 3000;

private:
    enum class Phase { Idle, Connecting, Open, Failed };

    bool configureTls();
    void onStreamReady();
    void onSslErrors(const QList<QSslError>& errors);
    void onSocketError();
    void onDisconnected();
    void onReadyRead();
    void onTimeout();
    void checkControl();
    void requestSettings();
    void send(const QByteArray& raw);
    void becomeOpen();
    // Written but still in the socket's own buffers, not yet handed to the system.
    qint64 unsentHere() const;
    void endGracefully();
    void fail(const QString& why);
    QString where() const;
    QString closedReason() const;

    NetworkAddress address_;
    std::unique_ptr<QTcpSocket> socket_;
    QSslSocket* tls_ = nullptr; // socket_ itself when the link is encrypted
    QList<QSslCertificate> trusted_;
    QString tlsFailure_;
    QTimer timer_;
    ReceiveBuffer received_;
    TelnetCodec telnet_;
    ComPortControl control_;
    LineSettings settings_;  // what the far line should have
    LineSettings requested_; // what the server was last asked for
    bool streamReady_ = false;
    QString error_;
    Phase phase_ = Phase::Idle;
};

} // namespace tarn::serial
