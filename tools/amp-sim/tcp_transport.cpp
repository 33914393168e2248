#include "tcp_transport.h"

#include <algorithm>
#include <limits>

namespace tarn::sim {

namespace {
constexpr int RetryMs = 1000;
// Beyond this the client is not keeping up; like a serial line, further bytes are lost rather
// than held in memory without bound.
constexpr qint64 MaxUnsentBytes = 64 * 1024;
// The least a socket can be told to buffer: it reads one byte, then leaves the rest to the
// system. Zero would mean no limit.
constexpr qint64 StalledReadBuffer = 1;
} // namespace

TcpTransport::TcpTransport(QHostAddress address, quint16 port, QObject* parent)
    : Transport(parent), address_(std::move(address)), port_(port) {
    relistenTimer_.setSingleShot(true);
    connect(&relistenTimer_, &QTimer::timeout, this, &TcpTransport::relisten);
    connect(&server_, &QTcpServer::newConnection, this, &TcpTransport::onNewConnection);
}

TcpTransport::~TcpTransport() {
    // Sockets die with the server, after this object's members: none may call back into it.
    for (QTcpSocket* socket : server_.findChildren<QTcpSocket*>())
        socket->disconnect(this);
}

bool TcpTransport::start(QString& error) {
    if (!listen(error))
        return false;
    emit up();
    return true;
}

bool TcpTransport::listen(QString& error) {
    if (!server_.listen(address_, port_)) {
        error = QStringLiteral("listen on %1:%2: %3")
                    .arg(address_.toString())
                    .arg(port_)
                    .arg(server_.errorString());
        return false;
    }
    // Port 0 picks a free port once; after a drop the panel comes back to the same one.
    port_ = server_.serverPort();
    return true;
}

QString TcpTransport::addressLine() const {
    const QString host = address_.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(address_.toString())
                             : address_.toString();
    return QStringLiteral("TCP %1:%2").arg(host).arg(port_);
}

void TcpTransport::onNewConnection() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        if (client_) {
            emit problem(QStringLiteral("new client %1:%2 takes the line over")
                             .arg(socket->peerAddress().toString())
                             .arg(socket->peerPort()));
            dropClient();
        }
        client_ = socket;
        // Every answer goes out as it is written, as on a serial line; a split answer's halves
        // must not be merged by Nagle's algorithm.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        socket->setReadBufferSize(reading_ ? 0 : StalledReadBuffer);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            if (!reading_)
                return;
            const QByteArray bytes = socket->readAll();
            if (socket == client_ && !bytes.isEmpty())
                emit received(bytes);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (socket == client_)
                client_ = nullptr;
            socket->deleteLater();
        });
    }
}

void TcpTransport::dropClient() {
    QTcpSocket* socket = client_;
    client_ = nullptr;
    if (!socket)
        return;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void TcpTransport::setReading(bool on) {
    reading_ = on;
    if (!client_)
        return;
    // A full read buffer keeps the socket from reading; a limit of 0 lets it read again.
    client_->setReadBufferSize(on ? 0 : StalledReadBuffer);
    if (on) {
        const QByteArray bytes = client_->readAll();
        if (!bytes.isEmpty())
            emit received(bytes);
    }
}

qint64 TcpTransport::write(const QByteArray& bytes) {
    if (!client_ || client_->state() != QAbstractSocket::ConnectedState ||
        client_->bytesToWrite() >= MaxUnsentBytes)
        return 0;
    return std::max<qint64>(0, client_->write(bytes));
}

void TcpTransport::dropFor(qint64 ms) {
    const bool wasUp = isUp();
    dropClient();
    server_.close();
    relistenTimer_.start(int(std::min<qint64>(ms, std::numeric_limits<int>::max())));
    if (wasUp)
        emit down();
}

void TcpTransport::relisten() {
    QString error;
    if (!listen(error)) {
        emit problem(error);
        relistenTimer_.start(RetryMs);
        return;
    }
    emit up();
}

} // namespace tarn::sim
