#include "serial/tcplink.h"

#include "serial/log.h"
#include "serial/outputqueue.h"
#include "serial/serialport.h"

#include <QDeadlineTimer>
#include <QThread>

namespace tarn::serial {

TcpLink::TcpLink(QString host, quint16 port)
    : host_(std::move(host)), port_(port), received_(SerialPort::ReceiveLimit) {
    // The socket stops reading from the system once it holds this much; the drain empties it
    // on every arrival into the bounded buffer.
    socket_.setReadBufferSize(SerialPort::ReceiveLimit);
    connectTimer_.setSingleShot(true);
    connectTimer_.setInterval(ConnectTimeoutMs);
    QObject::connect(&connectTimer_, &QTimer::timeout, &socket_, [this] {
        fail(QStringLiteral("No answer from %1:%2 within %3 s")
                 .arg(host_)
                 .arg(port_)
                 .arg(ConnectTimeoutMs / 1000));
    });
    QObject::connect(&socket_, &QTcpSocket::connected, &socket_, [this] { onConnected(); });
    QObject::connect(&socket_, &QTcpSocket::errorOccurred, &socket_,
                     [this](QAbstractSocket::SocketError) { onSocketError(); });
    QObject::connect(&socket_, &QTcpSocket::disconnected, &socket_, [this] { onDisconnected(); });
    QObject::connect(&socket_, &QTcpSocket::readyRead, &socket_,
                     [this] { received_.drain(socket_); });
}

TcpLink::~TcpLink() {
    close();
}

bool TcpLink::open(const LineSettings&) {
    switch (phase_) {
    case Phase::Open:
        if (isOpen())
            return true;
        break;
    case Phase::Connecting:
        return false;
    case Phase::Failed:
        phase_ = Phase::Idle;
        return false;
    case Phase::Idle:
        break;
    }
    socket_.abort();
    received_.clear();
    phase_ = Phase::Connecting;
    connectTimer_.start();
    socket_.connectToHost(host_, port_);
    return false;
}

bool TcpLink::isOpen() const {
    return phase_ == Phase::Open && socket_.state() == QAbstractSocket::ConnectedState;
}

void TcpLink::onConnected() {
    if (phase_ != Phase::Connecting)
        return;
    connectTimer_.stop();
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    received_.clear();
    error_.clear();
    phase_ = Phase::Open;
    qCInfo(lcSerial) << "connected to" << host_ << port_;
}

void TcpLink::onSocketError() {
    const QString why = socket_.errorString();
    if (phase_ == Phase::Connecting) {
        fail(QStringLiteral("%1:%2: %3").arg(host_).arg(port_).arg(why));
    } else if (phase_ == Phase::Open) {
        error_ = QStringLiteral("%1:%2: %3").arg(host_).arg(port_).arg(why);
        qCWarning(lcSerial) << "connection lost:" << error_;
        phase_ = Phase::Idle;
        socket_.abort();
    }
}

void TcpLink::onDisconnected() {
    if (phase_ != Phase::Open)
        return;
    if (error_.isEmpty())
        error_ =
            QStringLiteral("%1:%2: the port server closed the connection").arg(host_).arg(port_);
    phase_ = Phase::Idle;
}

void TcpLink::fail(const QString& why) {
    connectTimer_.stop();
    error_ = why;
    qCInfo(lcSerial) << "connection failed:" << why;
    phase_ = Phase::Failed;
    socket_.abort();
}

qint64 TcpLink::bytesPending() const {
    if (!isOpen())
        return 0;
    return socket_.bytesToWrite() + socketOutputQueue(socket_.socketDescriptor());
}

void TcpLink::close() {
    connectTimer_.stop();
    if (isOpen()) {
        // Bounded, so that a frame written just before (force standby at exit) gets out
        // without a stalled peer holding the program.
        // Waits for the peer's acknowledgement too: closing a socket that still holds
        // received bytes resets the connection, and a reset drops what was not acknowledged.
        const auto unsent = [this] {
            return socket_.bytesToWrite() + socketOutputQueue(socket_.socketDescriptor(), true);
        };
        const QDeadlineTimer deadline(CloseFlushMs);
        while (isOpen() && unsent() > 0 && !deadline.hasExpired()) {
            if (socket_.bytesToWrite() > 0)
                socket_.waitForBytesWritten(int(std::min<qint64>(deadline.remainingTime(), 20)));
            else
                QThread::msleep(2);
        }
        if (isOpen() && unsent() > 0)
            qCWarning(lcSerial) << "closing" << host_ << port_ << "with" << unsent()
                                << "bytes not delivered";
    }
    phase_ = Phase::Idle;
    socket_.abort();
}

bool TcpLink::write(const QByteArray& bytes) {
    if (!isOpen())
        return false;
    if (socket_.write(bytes) == bytes.size())
        return true;
    error_ = socket_.errorString();
    return false;
}

QByteArray TcpLink::readAll() {
    received_.drain(socket_);
    return received_.take();
}

} // namespace tarn::serial
