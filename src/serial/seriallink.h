#pragma once

#include "serial/link.h"
#include "serial/receivebuffer.h"

#include <QSerialPort>

namespace tarn::serial {

// A local serial device (COM3, /dev/ttyUSB0, a pseudo-terminal) through QSerialPort.
class SerialDeviceLink final : public Link {
public:
    explicit SerialDeviceLink(const QString& device);
    ~SerialDeviceLink() override;

    bool open(const LineSettings& settings) override;
    bool applySettings(const LineSettings& settings) override;
    bool isOpen() const override { return port_.isOpen(); }
    void close() override;
    bool write(const QByteArray& bytes) override;
    QByteArray readAll() override;
    bool waitForBytesWritten(int msecs) override { return port_.waitForBytesWritten(msecs); }
    QString errorString() const override { return error_; }
    qint64 bytesPending() const override;

private:
    void onError(QSerialPort::SerialPortError error);

    QSerialPort port_;
    ReceiveBuffer received_;
    QString error_;
};

} // namespace tarn::serial
