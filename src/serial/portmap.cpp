#include "serial/portmap.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QUrl>
#include <algorithm>

namespace tarn::serial {

namespace {
QString canonical(const QString& path) {
    const QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? path : c;
}
} // namespace

QString PortMap::deviceFor(int number) const {
    if (number < 1 || number > MaxNumber)
        return {};
    const auto it = entries_.find(number);
    if (it != entries_.end())
        return it.value();
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(number);
#else
    return {};
#endif
}

QList<int> PortMap::assignDetected(const QList<DetectedDevice>& devices) {
    QStringList named;
    for (const QString& device : std::as_const(entries_))
        if (!isTcp(device))
            named << canonical(device);

    QList<DetectedDevice> fresh;
    for (const DetectedDevice& d : devices) {
        const QString target = canonical(d.systemLocation);
        if (!named.contains(target) && !named.contains(canonical(d.preferredName()))) {
            fresh << d;
            named << target;
        }
    }
    std::stable_sort(fresh.begin(), fresh.end(),
                     [](const DetectedDevice& a, const DetectedDevice& b) {
                         if (a.stableName.isEmpty() != b.stableName.isEmpty())
                             return !a.stableName.isEmpty();
                         return a.preferredName() < b.preferredName();
                     });

    QList<int> assigned;
    int number = 1;
    for (const DetectedDevice& d : fresh) {
        while (number <= AutoAssignLimit && !deviceFor(number).isEmpty())
            ++number;
        if (number > AutoAssignLimit)
            break;
        entries_[number] = d.preferredName();
        assigned << number;
    }
    return assigned;
}

QList<DetectedDevice> PortMap::detectDevices() {
    QMap<QString, QString> stableByTarget;
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link :
         byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        stableByTarget.insert(canonical(link.absoluteFilePath()), link.absoluteFilePath());

    QList<DetectedDevice> out;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        DetectedDevice d;
        d.systemLocation = info.systemLocation();
        d.stableName = stableByTarget.value(canonical(d.systemLocation));
        out << d;
    }
    return out;
}

bool PortMap::isTcp(const QString& device) {
    return device.startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive);
}

bool PortMap::parseTcp(const QString& device, QString* host, quint16* port) {
    if (!isTcp(device))
        return false;
    const QUrl url(device.trimmed());
    if (!url.isValid() || url.host().isEmpty() || url.port() <= 0)
        return false;
    *host = url.host();
    *port = quint16(url.port());
    return true;
}

} // namespace tarn::serial
