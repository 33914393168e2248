#include "serial/comport.h"

#include "serial/seriallink.h"
#include "serial/tcplink.h"

#include <QDeadlineTimer>
#include <QThread>
#include <algorithm>

namespace tarn::serial {

std::unique_ptr<Link> makeLink(const QString& device) {
    if (PortMap::isTcp(device)) {
        QString host;
        quint16 port = 0;
        if (!PortMap::parseTcp(device, &host, &port))
            return nullptr;
        return std::make_unique<TcpLink>(host, port);
    }
    if (device.isEmpty())
        return nullptr;
    return std::make_unique<SerialDeviceLink>(device);
}

bool ComPort::waitForWritten(int msecs) {
    const QDeadlineTimer deadline(msecs);
    while (isOpen() && link_->bytesPending() > 0) {
        if (deadline.hasExpired())
            return false;
        // Moves the port's own buffer into the system; the system's queue drains by itself.
        if (!link_->waitForBytesWritten(int(std::min<qint64>(deadline.remainingTime(), 20))))
            QThread::msleep(2);
    }
    return isOpen();
}

bool ComPort::isNetwork(int number) const {
    return PortMap::isTcp(map_.deviceFor(number));
}

bool ComPort::setPortNumber(int number) {
    if (number < 1 || number > PortMap::MaxNumber)
        return false;
    number_ = number;
    return true;
}

bool ComPort::setLineSettings(const QString& text) {
    const auto parsed = LineSettings::parse(text);
    if (!parsed)
        return false;
    settings_ = *parsed;
    return !link_ || !link_->isOpen() || link_->applySettings(settings_);
}

bool ComPort::open() {
    if (isOpen())
        return true;
    const QString device = map_.deviceFor(number_);
    if (!link_ || linkDevice_ != device) {
        link_ = makeLink(device);
        linkDevice_ = device;
    }
    return link_ && link_->open(settings_);
}

bool ComPort::close() {
    if (link_)
        link_->close();
    return true;
}

bool ComPort::write(const QByteArray& bytes) {
    return isOpen() && link_->write(bytes);
}

QByteArray ComPort::readAll() {
    return isOpen() ? link_->readAll() : QByteArray();
}

} // namespace tarn::serial
