#pragma once

#include <QByteArray>
#include <QString>

namespace tarn::serial {

// The serial line as the panel uses it: numbered COM ports, opened and closed, written and
// read. Every operation reports success instead of throwing; callers remember failures.
class SerialPort {
public:
    static constexpr qint64 ReceiveLimit = 64 * 1024;

    virtual ~SerialPort() = default;

    // Takes effect at the next open. A number the port cannot stand for (0, negative, too
    // large) is rejected and the previous number stays.
    virtual bool setPortNumber(int number) = 0;
    virtual int portNumber() const = 0;
    // "9600,n,8,1": applies at the next open, or at once on an open port.
    virtual bool setLineSettings(const QString& settings) = 0;
    virtual QString lineSettings() const = 0;

    // True exactly while the port is open. A port whose device went away closes itself, so
    // this turns false without a call to close().
    virtual bool isOpen() const = 0;
    virtual bool open() = 0;
    // Lets what was written leave the port first (bounded), then closes. False when written
    // bytes had to be given up (the peer did not take them in time).
    virtual bool close() = 0;
    // Queues one whole frame; false when the bytes cannot be queued.
    virtual bool write(const QByteArray& bytes) = 0;
    // Returns and removes what was received since the last call (empty when nothing came). A
    // peer that floods cannot grow memory: only the newest ReceiveLimit bytes are kept.
    virtual QByteArray readAll() = 0;

    // Bytes written but not yet gone from this computer: the port's own buffer plus the
    // system's send queue (serial driver or socket). A peer that stops reading shows here
    // long before a write fails.
    virtual qint64 bytesPending() const = 0;
    // Waits up to `msecs` for everything written to leave the computer; false when it did not
    // (the peer stopped reading, the line went away). Blocks: for the exit and the hand-over.
    virtual bool waitForWritten(int msecs) = 0;
    // Bytes written that have not reached the far end yet: on a network link those the peer has
    // not acknowledged (closing before that can reset the connection and lose them), elsewhere
    // what bytesPending() counts.
    virtual qint64 bytesUndelivered() const { return bytesPending(); }
    // Blocks up to `msecs` until bytes arrive, moving written bytes on meanwhile. For the exit's
    // waits, which must work when no event loop runs any more (the display went away).
    virtual void waitForReadyRead(int msecs) = 0;
    // Gives up what was written and has not left: the driver's output queue of a serial line is
    // flushed; a network link is dropped (it reads as lost and reconnects), since a socket cannot
    // take back what it holds.
    virtual void discardOutput() = 0;
    // The descriptor of the open line, for the guardian that writes force standby when the
    // panel dies; -1 when there is none or it cannot be shared (a TLS session lives in here).
    virtual qintptr lineDescriptor() const { return -1; }
    // Whether the open line is a local serial device rather than a socket.
    virtual bool isSerialLine() const { return false; }
    // True while a network connection is being made. open() never waits on the network: it
    // starts the connection and returns false; a later open() returns true once it is made.
    virtual bool isConnecting() const { return false; }
    // Whether `number` stands for a network port server rather than a local device.
    virtual bool isNetwork(int number) const = 0;
    // The last failure as the system or the peer put it ("Permission denied", "Connection
    // refused", "certificate does not verify"), empty when there was none.
    virtual QString errorString() const = 0;

    // What the port number stands for, for the COM menu ("/dev/ttyUSB0", "tcp://host:4001").
    virtual QString deviceName(int number) const = 0;
};

} // namespace tarn::serial
