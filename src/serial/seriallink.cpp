#include "serial/seriallink.h"

#include "serial/log.h"
#include "serial/outputqueue.h"
#include "serial/serialport.h"

#include <QDeadlineTimer>
#include <QThread>

namespace tarn::serial {

namespace {
QSerialPort::Parity parityOf(char letter) {
    switch (letter) {
    case 'e':
        return QSerialPort::EvenParity;
    case 'o':
        return QSerialPort::OddParity;
    case 'm':
        return QSerialPort::MarkParity;
    case 's':
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}
} // namespace

SerialDeviceLink::SerialDeviceLink(const QString& device) : received_(SerialPort::ReceiveLimit) {
    port_.setPortName(device);
    // QSerialPort stops taking bytes from the driver once its buffer holds this much; the
    // drain below empties it on every arrival, so the newest bytes always get through.
    port_.setReadBufferSize(SerialPort::ReceiveLimit);
    QObject::connect(&port_, &QSerialPort::errorOccurred, &port_,
                     [this](QSerialPort::SerialPortError e) { onError(e); });
    QObject::connect(&port_, &QSerialPort::readyRead, &port_, [this] { received_.drain(port_); });
}

SerialDeviceLink::~SerialDeviceLink() {
    close();
}

bool SerialDeviceLink::open(const LineSettings& settings) {
    if (port_.isOpen())
        return true;
    // QSerialPort takes a lock file on Unix, so a port another program holds fails here.
    if (!port_.open(QIODevice::ReadWrite)) {
        error_ = port_.errorString();
        qCInfo(lcSerial) << port_.portName() << "does not open:" << error_;
        return false;
    }
    if (!applySettings(settings)) {
        error_ = port_.errorString();
        port_.close();
        return false;
    }
    port_.clear(QSerialPort::Input);
    received_.clear();
    error_.clear();
    return true;
}

bool SerialDeviceLink::applySettings(const LineSettings& s) {
    if (!port_.isOpen())
        return true;
    bool ok = port_.setBaudRate(s.baudRate);
    ok = port_.setParity(parityOf(s.parity)) && ok;
    ok = port_.setDataBits(QSerialPort::DataBits(s.dataBits)) && ok;
    ok = port_.setStopBits(s.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop) && ok;
    ok = port_.setFlowControl(QSerialPort::NoFlowControl) && ok;
    if (!ok)
        error_ = port_.errorString();
    return ok;
}

qint64 SerialDeviceLink::bytesPending() const {
    if (!port_.isOpen())
        return 0;
    return port_.bytesToWrite() + serialOutputQueue(qintptr(port_.handle()));
}

void SerialDeviceLink::close() {
    if (!port_.isOpen())
        return;
    // Bounded: a line held by flow control or a peer that stopped reading must not hold the
    // program. What is still queued after the wait is discarded, because closing a device
    // with a full output queue can itself block for many seconds in the driver.
    const QDeadlineTimer deadline(CloseFlushMs);
    while (port_.isOpen() && bytesPending() > 0 && !deadline.hasExpired()) {
        if (port_.bytesToWrite() > 0)
            port_.waitForBytesWritten(int(std::min<qint64>(deadline.remainingTime(), 20)));
        else
            QThread::msleep(2);
    }
    if (!port_.isOpen())
        return;
    if (bytesPending() > 0) {
        qCWarning(lcSerial) << port_.portName() << "closed with" << bytesPending()
                            << "bytes not sent";
        port_.clear(QSerialPort::Output);
    }
    port_.close();
}

bool SerialDeviceLink::write(const QByteArray& bytes) {
    if (!port_.isOpen())
        return false;
    if (port_.write(bytes) == bytes.size())
        return true;
    error_ = port_.errorString();
    return false;
}

QByteArray SerialDeviceLink::readAll() {
    if (port_.isOpen())
        received_.drain(port_);
    return received_.take();
}

void SerialDeviceLink::onError(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError)
        return;
    error_ = port_.errorString();
    // The device went away (adapter pulled, pseudo-terminal hung up): drop the dead handle so
    // the panel sees a closed port and can reopen it once the device is back. A hung-up line
    // shows up as a read error that would otherwise repeat on every pass of the event loop.
    const bool dead = error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
                      error == QSerialPort::WriteError;
    if (dead && port_.isOpen()) {
        qCWarning(lcSerial) << port_.portName() << "lost:" << error_;
        port_.close();
    }
}

} // namespace tarn::serial
