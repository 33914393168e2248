#include "serial/seriallink.h"

#include "serial/log.h"
#include "serial/outputqueue.h"
#include "serial/serialport.h"

#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QThread>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <poll.h>
#include <unistd.h>
#endif

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
        // An adapter that stays unplugged is tried every second: only a new reason is news.
        if (port_.errorString() != error_)
            qCInfo(lcSerial) << port_.portName() << "does not open:" << port_.errorString();
        error_ = port_.errorString();
        return false;
    }
    if (!applySettings(settings)) {
        error_ = port_.errorString();
        port_.close();
        return false;
    }
    port_.clear(QSerialPort::Input);
    received_.clear();
    unsent_.clear();
    error_.clear();
    direct_ = takeOverDescriptor();
    return true;
}

bool SerialDeviceLink::takeOverDescriptor() {
#ifdef Q_OS_UNIX
    // QSerialPort watches the descriptor with notifiers of its own and turns them back on only
    // when its own read or write functions are called, which this link no longer does. A Qt
    // that works otherwise keeps QSerialPort doing the I/O.
    const auto notifiers = port_.findChildren<QSocketNotifier*>();
    if (notifiers.isEmpty())
        return false;
    for (QSocketNotifier* n : notifiers)
        n->setEnabled(false);
    return true;
#else
    return false;
#endif
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
    return unsentHere() + serialOutputQueue(qintptr(port_.handle()));
}

bool SerialDeviceLink::close() {
    if (!port_.isOpen())
        return true;
    // Bounded: a line held by flow control or a peer that stopped reading must not hold the
    // program. What is still queued after the wait is discarded, because closing a device
    // with a full output queue can itself block for many seconds in the driver.
    const QDeadlineTimer deadline(CloseFlushMs);
    while (port_.isOpen() && bytesPending() > 0 && !deadline.hasExpired()) {
        if (unsentHere() > 0)
            waitForBytesWritten(int(std::min<qint64>(deadline.remainingTime(), 20)));
        else
            QThread::msleep(2);
    }
    if (!port_.isOpen())
        return false;
    const bool delivered = bytesPending() == 0;
    if (!delivered) {
        qCWarning(lcSerial) << port_.portName() << "closed with" << bytesPending()
                            << "bytes not sent";
        port_.clear(QSerialPort::Output);
    }
    unsent_.clear();
    port_.close();
    return delivered;
}

void SerialDeviceLink::waitForReadyRead(int msecs) {
    if (!port_.isOpen())
        return;
    if (!direct_) {
        port_.waitForReadyRead(msecs);
        return;
    }
#ifdef Q_OS_UNIX
    sendUnsent();
    pollfd readable{int(port_.handle()), short(POLLIN | (unsent_.isEmpty() ? 0 : POLLOUT)), 0};
    if (::poll(&readable, 1, msecs) > 0 && (readable.revents & POLLOUT))
        sendUnsent();
#else
    Q_UNUSED(msecs)
#endif
}

void SerialDeviceLink::discardOutput() {
    if (!port_.isOpen())
        return;
    unsent_.clear();
    // Flushes the driver's output queue too (tcflush on Unix, PurgeComm on Windows).
    port_.clear(QSerialPort::Output);
}

bool SerialDeviceLink::waitForBytesWritten(int msecs) {
    if (!direct_)
        return port_.waitForBytesWritten(msecs);
#ifdef Q_OS_UNIX
    if (!port_.isOpen() || unsent_.isEmpty())
        return false;
    pollfd writable{int(port_.handle()), POLLOUT, 0};
    if (::poll(&writable, 1, msecs) <= 0)
        return false;
    const qsizetype before = unsent_.size();
    sendUnsent();
    return unsent_.size() < before;
#else
    Q_UNUSED(msecs)
    return false;
#endif
}

bool SerialDeviceLink::sendUnsent() {
#ifdef Q_OS_UNIX
    while (!unsent_.isEmpty()) {
        const ssize_t n = ::write(int(port_.handle()), unsent_.constData(), size_t(unsent_.size()));
        if (n > 0) {
            unsent_.remove(0, n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The driver's queue is full (a peer that stopped reading, flow control): the rest
            // waits here and goes at the next write or read.
            return true;
        } else {
            lose(qt_error_string(n < 0 ? errno : EIO));
            return false;
        }
    }
#endif
    return true;
}

void SerialDeviceLink::readDescriptor() {
#ifdef Q_OS_UNIX
    const int fd = int(port_.handle());
    char chunk[4096];
    // Bounded, so a device that floods faster than this reads cannot hold the tick; the rest
    // waits in the driver for the next one.
    for (qint64 taken = 0; taken < SerialPort::ReceiveLimit;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0) {
            received_.append(QByteArray(chunk, qsizetype(n)));
            taken += n;
            if (size_t(n) < sizeof chunk)
                return; // the driver's buffer is empty: spare the read that says so
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            lose(qt_error_string(errno));
            return;
        }
        // A raw line reads 0 bytes both when nothing came and when the device hung up (an
        // adapter pulled); only the latter reports a hang-up.
        pollfd state{fd, POLLIN, 0};
        if (::poll(&state, 1, 0) > 0 && (state.revents & (POLLHUP | POLLERR | POLLNVAL)))
            lose(QStringLiteral("The device hung up"));
        return;
    }
#endif
}

void SerialDeviceLink::lose(const QString& why) {
    error_ = why;
    qCWarning(lcSerial) << port_.portName() << "lost:" << error_;
    unsent_.clear();
    port_.close();
}

bool SerialDeviceLink::write(const QByteArray& bytes) {
    if (!port_.isOpen())
        return false;
    if (direct_) {
        unsent_ += bytes;
        return sendUnsent();
    }
    if (port_.write(bytes) == bytes.size())
        return true;
    error_ = port_.errorString();
    return false;
}

QByteArray SerialDeviceLink::readAll() {
    if (port_.isOpen()) {
        if (!direct_)
            received_.drain(port_);
        else if (sendUnsent())
            readDescriptor();
    }
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
    if (dead && port_.isOpen())
        lose(error_);
}

} // namespace tarn::serial
