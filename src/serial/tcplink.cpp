#include "serial/tcplink.h"

#include <QDeadlineTimer>

namespace tarn::serial {

TcpLink::TcpLink(QString host, quint16 port) : host_(std::move(host)), port_(port) {
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

TcpLink::~TcpLink() {
    if (socket_.state() == QAbstractSocket::ConnectedState)
        close();
    socket_.abort();
}

bool TcpLink::open(const LineSettings&) {
    if (isOpen())
        return true;
    int wait = PendingWaitMs;
    if (socket_.state() == QAbstractSocket::UnconnectedState) {
        socket_.connectToHost(host_, port_);
        wait = ConnectWaitMs;
    }
    if (socket_.waitForConnected(wait))
        return true;
    // Refused or failed: start afresh next time. Still connecting: leave it running.
    if (socket_.state() != QAbstractSocket::HostLookupState &&
        socket_.state() != QAbstractSocket::ConnectingState)
        socket_.abort();
    return false;
}

bool TcpLink::isOpen() const {
    return socket_.state() == QAbstractSocket::ConnectedState;
}

void TcpLink::close() {
    if (isOpen()) {
        const QDeadlineTimer deadline(CloseFlushMs);
        while (isOpen() && socket_.bytesToWrite() > 0 && !deadline.hasExpired())
            socket_.waitForBytesWritten(int(deadline.remainingTime()));
        socket_.disconnectFromHost();
        if (socket_.state() != QAbstractSocket::UnconnectedState)
            socket_.waitForDisconnected(int(std::max<qint64>(0, deadline.remainingTime())));
    }
    socket_.abort();
}

bool TcpLink::write(const QByteArray& bytes) {
    if (!isOpen())
        return false;
    return socket_.write(bytes) == bytes.size();
}

QByteArray TcpLink::readAll() {
    return socket_.readAll();
}

} // namespace tarn::serial
