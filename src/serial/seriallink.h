#pragma once

#include "serial/link.h"
#include "serial/receivebuffer.h"

#include <QSerialPort>

namespace tarn::serial {

// A local serial device (COM3, /dev/ttyUSB0, a pseudo-terminal). QSerialPort opens it (lock
// file, exclusive access) and sets the line. On Unix the link then writes and reads the
// descriptor itself: QSerialPort's write path costs two extra passes of the event loop per
// frame and its read notifier a wake-up per answer, though the poll tick reads anyway. At a
// 10 ms polling rate that was half of what the panel cost while the display stood still.
class SerialDeviceLink final : public Link {
public:
    explicit SerialDeviceLink(const QString& device);
    ~SerialDeviceLink() override;

    bool open(const LineSettings& settings) override;
    bool applySettings(const LineSettings& settings) override;
    bool isOpen() const override { return port_.isOpen(); }
    bool close() override;
    bool write(const QByteArray& bytes) override;
    QByteArray readAll() override;
    bool waitForBytesWritten(int msecs) override;
    QString errorString() const override { return error_; }
    qint64 bytesPending() const override;
    void waitForReadyRead(int msecs) override;
    void discardOutput() override;
    qintptr descriptor() const override { return port_.isOpen() ? qintptr(port_.handle()) : -1; }

private:
    void onError(QSerialPort::SerialPortError error);
    bool takeOverDescriptor();
    // Written but still in this program: the driver's queue was full.
    qint64 unsentHere() const { return direct_ ? unsent_.size() : port_.bytesToWrite(); }
    // False when the device failed (and the link closed).
    bool sendUnsent();
    void readDescriptor();
    void lose(const QString& why);

    QSerialPort port_;
    ReceiveBuffer received_;
    QString error_;
    bool direct_ = false;
    QByteArray unsent_;
};

} // namespace tarn::serial
