#include "serial/portmap.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QUrl>
#include <QUrlQuery>
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
        if (!isNetwork(device))
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

namespace {
QString schemeOf(const QString& device) {
    const qsizetype colon = device.indexOf(QLatin1String("://"));
    return colon > 0 ? device.left(colon).trimmed().toLower() : QString();
}

// "~/x" is the user's home: the key files usually live there.
QString expandedPath(const QString& path) {
    if (path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}
} // namespace

bool NetworkAddress::isNetwork(const QString& device) {
    static const QStringList schemes = {"tcp", "tls", "rfc2217", "rfc2217+tls"};
    return schemes.contains(schemeOf(device));
}

std::optional<NetworkAddress> NetworkAddress::parse(const QString& device) {
    if (!isNetwork(device))
        return std::nullopt;
    const QUrl url(device.trimmed());
    if (!url.isValid() || url.host().isEmpty() || url.port() <= 0)
        return std::nullopt;
    NetworkAddress a;
    const QString scheme = schemeOf(device);
    a.host = url.host();
    a.port = quint16(url.port());
    a.telnet = scheme.startsWith(QLatin1String("rfc2217"));
    a.tls = scheme.endsWith(QLatin1String("tls"));
    const QUrlQuery query(url);
    a.caFile = expandedPath(query.queryItemValue("ca", QUrl::FullyDecoded));
    a.certFile = expandedPath(query.queryItemValue("cert", QUrl::FullyDecoded));
    a.keyFile = expandedPath(query.queryItemValue("key", QUrl::FullyDecoded));
    return a;
}

QString NetworkAddress::shortName(const QString& device) {
    const qsizetype query = device.indexOf(QLatin1Char('?'));
    return (query < 0 ? device : device.left(query)).trimmed();
}

} // namespace tarn::serial
