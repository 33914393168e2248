#pragma once

#include "serial/linesettings.h"

#include <QByteArray>
#include <QString>

namespace tarn::serial {

// One concrete connection: a serial device or a network port server.
class Link {
public:
    virtual ~Link() = default;
    virtual bool open(const LineSettings& settings) = 0;
    virtual bool applySettings(const LineSettings& settings) = 0;
    virtual bool isOpen() const = 0;
    // False when written bytes had to be given up.
    virtual bool close() = 0;
    virtual bool write(const QByteArray& bytes) = 0;
    virtual QByteArray readAll() = 0;
    virtual QString errorString() const = 0;
    // See SerialPort::bytesPending and SerialPort::isConnecting.
    virtual qint64 bytesPending() const = 0;
    virtual bool isConnecting() const { return false; }
    // Blocks up to `msecs` while the link's own buffer goes out; false when nothing moved.
    virtual bool waitForBytesWritten(int msecs) = 0;
    // See SerialPort::bytesUndelivered, waitForReadyRead, discardOutput and lineDescriptor.
    virtual qint64 bytesUndelivered() const { return bytesPending(); }
    virtual void waitForReadyRead(int msecs) = 0;
    virtual void discardOutput() = 0;
    virtual qintptr descriptor() const { return -1; }
};

// How long a close waits for written bytes to leave, so a frame written just before it (the
// force-standby frame at exit, the bootloader start) still reaches the amplifier.
inline constexpr int CloseFlushMs = 500;

} // namespace tarn::serial
