#pragma once

#include "serial/link.h"

#include <QTcpSocket>

namespace tarn::serial {

// A network port server in raw TCP mode: the bytes on the socket are the bytes on its line.
// Line settings belong to the server, so they are accepted and kept but not sent.
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
    QString errorString() const override { return socket_.errorString(); }
    qint64 bytesPending() const override { return socket_.bytesToWrite(); }

    // A connection attempt blocks the caller at most this long; an attempt still under way
    // is picked up by the next open() instead of starting over.
    static constexpr int ConnectWaitMs = 1500;
    static constexpr int PendingWaitMs = 50;

private:
    QString host_;
    quint16 port_;
    QTcpSocket socket_;
};

} // namespace tarn::serial
