#include "serial/seriallink.h"

#include <QDeadlineTimer>

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

SerialDeviceLink::SerialDeviceLink(const QString& device) {
    port_.setPortName(device);
    QObject::connect(&port_, &QSerialPort::errorOccurred, &port_,
                     [this](QSerialPort::SerialPortError e) { onError(e); });
}

SerialDeviceLink::~SerialDeviceLink() {
    close();
}

bool SerialDeviceLink::open(const LineSettings& settings) {
    if (port_.isOpen())
        return true;
    // QSerialPort takes a lock file on Unix, so a port another program holds fails here.
    if (!port_.open(QIODevice::ReadWrite))
        return false;
    if (!applySettings(settings)) {
        port_.close();
        return false;
    }
    port_.clear(QSerialPort::Input);
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
    return ok;
}

void SerialDeviceLink::close() {
    if (!port_.isOpen())
        return;
    const QDeadlineTimer deadline(CloseFlushMs);
    while (port_.isOpen() && port_.bytesToWrite() > 0 && !deadline.hasExpired())
        port_.waitForBytesWritten(int(deadline.remainingTime()));
    if (port_.isOpen())
        port_.close();
}

bool SerialDeviceLink::write(const QByteArray& bytes) {
    if (!port_.isOpen())
        return false;
    return port_.write(bytes) == bytes.size();
}

QByteArray SerialDeviceLink::readAll() {
    if (!port_.isOpen())
        return {};
    return port_.readAll();
}

void SerialDeviceLink::onError(QSerialPort::SerialPortError error) {
    // The device went away (adapter pulled, pseudo-terminal hung up): drop the dead handle so
    // the panel sees a closed port and can reopen it once the device is back. A hung-up line
    // shows up as a read error that would otherwise repeat on every pass of the event loop.
    const bool dead = error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
                      error == QSerialPort::WriteError;
    if (dead && port_.isOpen())
        port_.close();
}

} // namespace tarn::serial
