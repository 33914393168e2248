#pragma once

#include "serial/link.h"
#include "serial/portmap.h"
#include "serial/serialport.h"

#include <functional>
#include <memory>

namespace tarn::serial {

std::unique_ptr<Link> makeLink(const QString& device);

// The panel's one serial port: a COM number resolved through the port map to a serial device
// or a network port server.
class ComPort final : public SerialPort {
public:
    explicit ComPort(const PortMap& map) : map_(map) {}

    // Called before the port closes on the panel's own account: whoever holds a copy of the
    // line lets go first, or the device stays busy and a connection stays up.
    std::function<void()> beforeClose;

    bool setPortNumber(int number) override;
    int portNumber() const override { return number_; }
    bool setLineSettings(const QString& settings) override;
    QString lineSettings() const override { return settings_.toString(); }
    bool isOpen() const override { return link_ && link_->isOpen(); }
    bool open() override;
    bool close() override;
    bool write(const QByteArray& bytes) override;
    QByteArray readAll() override;
    QString deviceName(int number) const override;
    qint64 bytesPending() const override { return isOpen() ? link_->bytesPending() : 0; }
    qint64 bytesUndelivered() const override { return isOpen() ? link_->bytesUndelivered() : 0; }
    void waitForReadyRead(int msecs) override;
    void discardOutput() override;
    qintptr lineDescriptor() const override { return isOpen() ? link_->descriptor() : -1; }
    bool isSerialLine() const override {
        return isOpen() && !NetworkAddress::isNetwork(linkDevice_);
    }
    bool isConnecting() const override { return link_ && link_->isConnecting(); }
    bool isNetwork(int number) const override;
    bool waitForWritten(int msecs) override;
    QString errorString() const override;

private:
    const PortMap& map_;
    int number_ = 1;
    LineSettings settings_;
    QString linkDevice_;
    std::unique_ptr<Link> link_;
    QString error_;
};

} // namespace tarn::serial
