#pragma once

#include <QList>
#include <QMap>
#include <QString>

namespace tarn::serial {

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

    // Gives each reported device that no entry names yet the lowest free number up to 16,
    // stable names first, so a number keeps meaning the same adapter from run to run.
    // Returns the numbers assigned.
    QList<int> assignDetected(const QList<DetectedDevice>& devices);

    // The serial devices this system reports, with their /dev/serial/by-id names.
    static QList<DetectedDevice> detectDevices();

    static bool isTcp(const QString& device);
    static bool parseTcp(const QString& device, QString* host, quint16* port);

private:
    QMap<int, QString> entries_;
};

} // namespace tarn::serial
