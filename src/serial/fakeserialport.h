#pragma once

#include "serial/serialport.h"

#include <QList>
#include <QMap>
#include <QSet>
#include <functional>

namespace tarn::serial {

// An in-memory port for tests: which numbers open, what arrives, what was written.
class FakeSerialPort final : public SerialPort {
public:
    // Numbers that exist and are free; anything else fails to open.
    QSet<int> available;
    // Devices shown beside the numbers in the COM menu.
    QMap<int, QString> devices;
    QList<QByteArray> writes;
    QList<QString> events; // "open 3", "close", "write FB 0C 0C FE", "settings 9600,n,8,1"
    bool failWrites = false;
    // Bytes that stay in the send queue, as when the peer stops reading.
    qint64 stalledBytes = 0;
    bool connecting = false;
    QSet<int> network;
    QString error;
    bool failClose = false;
    // Bytes that left but the peer has not acknowledged yet (a network link's last stage).
    qint64 unacknowledged = 0;
    // Called for each blocking wait, with its length: a test's amplifier answers here.
    std::function<void(int msecs)> onWait;
    // Sees each frame as it is written, before the panel goes on.
    std::function<void(const QByteArray&)> onWrite;
    int openCalls = 0;

    // Bytes the next readAll() returns.
    void deliver(const QByteArray& bytes) { pending_ += bytes; }
    // The device vanishes under an open port: it reads as closed from now on.
    void loseLine();
    QByteArray allWritten() const;

    bool setPortNumber(int number) override;
    int portNumber() const override { return number_; }
    bool setLineSettings(const QString& settings) override;
    QString lineSettings() const override { return settings_; }
    bool isOpen() const override { return open_; }
    bool open() override;
    bool close() override;
    bool write(const QByteArray& bytes) override;
    QByteArray readAll() override;
    QString deviceName(int number) const override { return devices.value(number); }
    qint64 bytesPending() const override { return stalledBytes; }
    bool waitForWritten(int) override { return open_ && stalledBytes == 0; }
    qint64 bytesUndelivered() const override { return stalledBytes + unacknowledged; }
    void waitForReadyRead(int msecs) override {
        if (onWait)
            onWait(msecs);
    }
    void discardOutput() override;
    bool isConnecting() const override { return connecting; }
    bool isNetwork(int number) const override { return network.contains(number); }
    QString errorString() const override { return error; }

private:
    int number_ = 1;
    QString settings_ = QStringLiteral("9600,n,8,1");
    bool open_ = false;
    QByteArray pending_;
};

} // namespace tarn::serial
