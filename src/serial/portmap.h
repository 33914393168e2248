#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <optional>

namespace tarn::serial {

// A network port server as a [Ports] value names it:
//   tcp://host:port             raw TCP, the socket's bytes are the line's bytes
//   rfc2217://host:port         telnet with the COM-PORT-OPTION, which sets the far line
//   tls://host:port             raw TCP inside TLS
//   rfc2217+tls://host:port     RFC 2217 inside TLS
// TLS takes its files from the query: ca= the certificate (or authority) the server's
// certificate must verify against (the system's authorities when absent), cert= and key= a
// client certificate and its private key for servers that ask for one. "~/" and "~user/" start
// a path in a home folder. A setting the panel would not use (on a scheme without TLS, under
// another name, with no value) refuses the address rather than leave the link less safe than
// the operator wrote it.
//   rfc2217+tls://amp.example.net:3001?ca=/etc/tarn/amp.crt&cert=~/.tarn/me.crt&key=~/.tarn/me.key
struct NetworkAddress {
    QString host;
    quint16 port = 0;
    bool telnet = false;
    bool tls = false;
    QString caFile;
    QString certFile;
    QString keyFile;

    static bool isNetwork(const QString& device);
    // Nothing when the value is not a usable network address; `why` then says what is wrong
    // with it ("unknown setting 'cafile' in the address").
    static std::optional<NetworkAddress> parse(const QString& device, QString* why = nullptr);
    // scheme://host:port, for menus and messages: the file paths stay out.
    static QString shortName(const QString& device);
};

// A serial device the system reports, with its stable name when it has one.
struct DetectedDevice {
    QString systemLocation; // /dev/ttyUSB0
    QString stableName;     // /dev/serial/by-id/usb-FTDI_..., empty when there is none
    QString preferredName() const { return stableName.isEmpty() ? systemLocation : stableName; }
};

// COM numbers as the operators know them, mapped to devices. On Windows COM n is the system's
// COMn unless an entry says otherwise; elsewhere only mapped numbers stand for a device.
class PortMap {
public:
    static constexpr int MaxNumber = 255;
    static constexpr int AutoAssignLimit = 16;

    PortMap() = default;
    explicit PortMap(QMap<int, QString> entries) : entries_(std::move(entries)) {}

    const QMap<int, QString>& entries() const { return entries_; }
    void setEntry(int number, const QString& device) { entries_[number] = device; }

    // The device a number stands for; empty when it stands for none.
    QString deviceFor(int number) const;
    // Why the number's port server address can never be used as the file has it
    // ("COM5: empty setting 'ca' in the address"); empty for a usable address and for a
    // device, which may yet appear.
    QString refusal(int number) const;

    // Gives each reported device that no entry names yet the lowest free number up to 16,
    // stable names first, so a number keeps meaning the same adapter from run to run.
    // Returns the numbers assigned.
    QList<int> assignDetected(const QList<DetectedDevice>& devices);

    // The serial devices this system reports, with their /dev/serial/by-id names.
    static QList<DetectedDevice> detectDevices();

    static bool isNetwork(const QString& device) { return NetworkAddress::isNetwork(device); }

private:
    QMap<int, QString> entries_;
};

} // namespace tarn::serial
