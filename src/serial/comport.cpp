#include "serial/comport.h"

#include "serial/networklink.h"
#include "serial/seriallink.h"

#include <QDeadlineTimer>
#include <QThread>
#include <algorithm>

namespace tarn::serial {

std::unique_ptr<Link> makeLink(const QString& device) {
    if (NetworkAddress::isNetwork(device)) {
        const auto address = NetworkAddress::parse(device);
        if (!address)
            return nullptr;
        return std::make_unique<NetworkLink>(*address);
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
    return NetworkAddress::isNetwork(map_.deviceFor(number));
}

QString ComPort::deviceName(int number) const {
    return NetworkAddress::shortName(map_.deviceFor(number));
}

QString ComPort::errorString() const {
    return link_ ? link_->errorString() : error_;
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
    if (!link_) {
        // Only an address the map refuses makes no link for a named device.
        error_ = device.isEmpty() ? QStringLiteral("COM%1 stands for no device").arg(number_)
                                  : map_.refusal(number_);
        return false;
    }
    return link_->open(settings_);
}

bool ComPort::close() {
    if (isOpen() && beforeClose)
        beforeClose();
    return !link_ || link_->close();
}

void ComPort::waitForReadyRead(int msecs) {
    if (isOpen())
        link_->waitForReadyRead(msecs);
    else
        QThread::msleep(std::max(0, msecs));
}

void ComPort::discardOutput() {
    if (!isOpen())
        return;
    // A network link is dropped here, and must not live on in a copy.
    if (beforeClose && NetworkAddress::isNetwork(linkDevice_))
        beforeClose();
    link_->discardOutput();
}

bool ComPort::write(const QByteArray& bytes) {
    return isOpen() && link_->write(bytes);
}

QByteArray ComPort::readAll() {
    return isOpen() ? link_->readAll() : QByteArray();
}

} // namespace tarn::serial
