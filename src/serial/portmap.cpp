#include "serial/portmap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <pwd.h>
#endif

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

// "~/x" is the user's home, "~name/x" another account's: the key files usually live there.
// Empty, with the account named in `unknownUser`, when the system knows no such account.
QString expandedPath(const QString& path, QString* unknownUser) {
    if (!path.startsWith(QLatin1Char('~')))
        return path;
    const qsizetype slash = path.indexOf(QLatin1Char('/'));
    const QString user = path.mid(1, slash < 0 ? -1 : slash - 1);
    const QString rest = slash < 0 ? QString() : path.mid(slash);
    if (user.isEmpty())
        return QDir::homePath() + rest;
#ifdef Q_OS_UNIX
    if (const passwd* account = ::getpwnam(QFile::encodeName(user).constData()))
        return QFile::decodeName(account->pw_dir) + rest;
#endif
    *unknownUser = user;
    return {};
}
} // namespace

QString PortMap::refusal(int number) const {
    const QString device = deviceFor(number);
    QString why;
    if (!isNetwork(device) || NetworkAddress::parse(device, &why))
        return {};
    return QStringLiteral("COM%1: %2").arg(number).arg(why);
}

bool NetworkAddress::isNetwork(const QString& device) {
    static const QStringList schemes = {"tcp", "tls", "rfc2217", "rfc2217+tls"};
    return schemes.contains(schemeOf(device));
}

std::optional<NetworkAddress> NetworkAddress::parse(const QString& device, QString* why) {
    const auto refuse = [why](const QString& reason) -> std::optional<NetworkAddress> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    const QUrl url(device.trimmed());
    if (!isNetwork(device) || !url.isValid() || url.host().isEmpty() || url.port() <= 0)
        return refuse(QStringLiteral("\"%1\" is not a device or a port server address")
                          .arg(shortName(device)));
    NetworkAddress a;
    const QString scheme = schemeOf(device);
    a.host = url.host();
    a.port = quint16(url.port());
    a.telnet = scheme.startsWith(QLatin1String("rfc2217"));
    a.tls = scheme.endsWith(QLatin1String("tls"));
    const auto items = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
    // Files named for a link that never reads them would leave the operator believing the
    // server is checked when the line is plain text.
    if (!items.isEmpty() && !a.tls)
        return refuse(QStringLiteral("settings in the address need a TLS scheme (tls:// or "
                                     "rfc2217+tls://)"));
    const QMap<QString, QString*> files = {{QStringLiteral("ca"), &a.caFile},
                                           {QStringLiteral("cert"), &a.certFile},
                                           {QStringLiteral("key"), &a.keyFile}};
    for (const auto& [key, value] : items) {
        QString* const file = files.value(key);
        if (!file)
            return refuse(QStringLiteral("unknown setting '%1' in the address").arg(key));
        if (value.isEmpty())
            return refuse(QStringLiteral("empty setting '%1' in the address").arg(key));
        if (!file->isEmpty())
            return refuse(QStringLiteral("setting '%1' appears twice in the address").arg(key));
        QString unknownUser;
        *file = expandedPath(value, &unknownUser);
        if (!unknownUser.isEmpty())
            return refuse(QStringLiteral("unknown user '%1' in setting '%2' of the address")
                              .arg(unknownUser, key));
    }
    return a;
}

QString NetworkAddress::shortName(const QString& device) {
    const qsizetype query = device.indexOf(QLatin1Char('?'));
    return (query < 0 ? device : device.left(query)).trimmed();
}

} // namespace tarn::serial
