#include "serial/fakeserialport.h"

namespace tarn::serial {

void FakeSerialPort::loseLine() {
    open_ = false;
    pending_.clear();
    events << QStringLiteral("lost");
}

QByteArray FakeSerialPort::allWritten() const {
    QByteArray all;
    for (const QByteArray& w : writes)
        all += w;
    return all;
}

bool FakeSerialPort::setPortNumber(int number) {
    if (number < 1 || number > 255)
        return false;
    number_ = number;
    return true;
}

bool FakeSerialPort::setLineSettings(const QString& settings) {
    settings_ = settings;
    events << QStringLiteral("settings ") + settings;
    return true;
}

bool FakeSerialPort::open() {
    ++openCalls;
    if (open_ || !available.contains(number_))
        return false;
    open_ = true;
    pending_.clear();
    events << QStringLiteral("open %1").arg(number_);
    return true;
}

bool FakeSerialPort::close() {
    if (failClose)
        return false;
    if (open_)
        events << QStringLiteral("close");
    open_ = false;
    return true;
}

bool FakeSerialPort::write(const QByteArray& bytes) {
    if (!open_ || failWrites)
        return false;
    writes << bytes;
    if (onWrite)
        onWrite(bytes);
    events << QStringLiteral("write ") + QString::fromLatin1(bytes.toHex(' ').toUpper());
    return true;
}

void FakeSerialPort::discardOutput() {
    if (!open_)
        return;
    stalledBytes = 0;
    events << QStringLiteral("discard");
}

QByteArray FakeSerialPort::readAll() {
    if (!open_)
        return {};
    return std::exchange(pending_, {});
}

} // namespace tarn::serial
