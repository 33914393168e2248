#include "settings/settingsstore.h"

#include "settings/inifile.h"
#include "settings/numbers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

namespace tarn::settings {

namespace {

constexpr int MaxComNumber = 255;

// The COM number of a [Ports] key such as "COM3" or "com12", if it is one.
std::optional<int> comNumber(const QString& key) {
    if (!key.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) || key.size() == 3)
        return std::nullopt;
    for (qsizetype i = 3; i < key.size(); ++i) {
        if (key.at(i) < u'0' || key.at(i) > u'9')
            return std::nullopt;
    }
    bool ok = false;
    const int number = QStringView(key).mid(3).toInt(&ok);
    if (!ok || number < 1 || number > MaxComNumber)
        return std::nullopt;
    return number;
}

// Keeps a rejection message readable when the file holds a long line of junk.
QString shortened(const QString& text) {
    constexpr qsizetype Limit = 40;
    return text.size() <= Limit ? text : text.left(Limit) + QStringLiteral("...");
}

} // namespace

SettingsStore::SettingsStore(QString exeDir, QString baseName, QString userConfigDir)
    : exeDir_(std::move(exeDir)), baseName_(std::move(baseName)),
      userConfigDir_(std::move(userConfigDir)) {}

QString SettingsStore::exeFilePath() const {
    return QDir(exeDir_).filePath(baseName_ + QStringLiteral(".ini"));
}

QString SettingsStore::userFilePath() const {
    // An empty folder would put the file in whatever the current directory happens to be.
    if (userConfigDir_.isEmpty())
        return {};
    return QDir(userConfigDir_).filePath(baseName_ + QStringLiteral(".ini"));
}

QString SettingsStore::exeTargetPath() const {
    const QString path = exeFilePath();
    const QFileInfo link(path);
    if (!link.isSymbolicLink())
        return path;
    // Empty for a dangling link or a loop: nothing there may be created behind the operator's
    // back (a share that is not mounted, a folder that was moved).
    return link.canonicalFilePath();
}

bool SettingsStore::exeFolderWritable() const {
    const QString target = exeTargetPath();
    if (exeDir_.isEmpty() || target.isEmpty())
        return false;
    const QFileInfo file(target);
    // A save replaces the file through a temporary one beside it, so what counts is the folder
    // the file really is in, not the one the link is in.
    const QString folder = file.absolutePath();
    const QFileInfo dir(folder);
    if (!dir.isDir() || !dir.isWritable())
        return false;
    if (file.exists() && (!file.isFile() || !file.isWritable() || IniFile::isTooLarge(target)))
        return false;
    // A file we cannot read would be replaced by one holding only our keys, and whatever else
    // it held would be gone. Asking the file itself counts for every reason it may refuse.
    if (file.exists() && !QFile(target).open(QIODevice::ReadOnly))
        return false;
    // Permission bits do not tell the whole story (Windows ACLs, read-only mounts), and a save
    // needs to create its temporary file here, so try exactly that.
    QTemporaryFile probe(QDir(folder).filePath(baseName_ + QStringLiteral(".XXXXXX.probe")));
    return probe.open();
}

QString SettingsStore::readPath() const {
    if (exeFolderWritable())
        return exeTargetPath();
    const QString user = userFilePath();
    if (!user.isEmpty() && QFileInfo(user).isFile() && !IniFile::isTooLarge(user))
        return user;
    if (IniFile::isTooLarge(exeFilePath()))
        return {};
    return exeFilePath(); // possibly shipped read-only with the program
}

QString SettingsStore::writePath() const {
    const QString user = userFilePath();
    if (exeFolderWritable() || user.isEmpty())
        return exeTargetPath().isEmpty() ? exeFilePath() : exeTargetPath();
    return user;
}

QString SettingsStore::loadProblem() const {
    const auto tooLargeText = [](const QString& path) {
        return QStringLiteral("The settings file %1 is larger than 1 MiB and was not read.")
            .arg(QDir::toNativeSeparators(path));
    };
    const QString notSaved = QStringLiteral(" The settings will not be saved.");
    const QString user = userFilePath();
    const bool userTooLarge = !user.isEmpty() && IniFile::isTooLarge(user);

    QString problem;
    if (exeTargetPath().isEmpty()) {
        problem = QStringLiteral("The settings file %1 is a link to %2, which cannot be found.")
                      .arg(QDir::toNativeSeparators(exeFilePath()),
                           QDir::toNativeSeparators(QFileInfo(exeFilePath()).symLinkTarget()));
    } else if (IniFile::isTooLarge(exeTargetPath())) {
        problem = tooLargeText(exeFilePath());
    } else if (userTooLarge && !exeFolderWritable()) {
        return tooLargeText(user) + notSaved;
    } else {
        return {};
    }
    if (user.isEmpty() || userTooLarge)
        return problem + notSaved;
    return problem + QStringLiteral(" The settings are kept in %1 instead.")
                         .arg(QDir::toNativeSeparators(user));
}

bool SettingsStore::Ini_Has_Port_Number() const {
    return !Read_Ini_Value(readPath(), QStringLiteral("COM"), QStringLiteral("PortNumber"))
                .isEmpty();
}

QStringList SettingsStore::Load_All_from_ini_file(Settings& settings,
                                                  WindowPlacement& window) const {
    const IniFile ini = IniFile::load(readPath());
    QStringList rejected;

    const auto read = [&ini](const QString& section, const QString& key) {
        return Read_Ini_Value(ini, section, key);
    };
    const auto readWhole = [&](const QString& section, const QString& key, qint64 min, qint64 max,
                               int& target) {
        const QString text = read(section, key);
        if (text.isEmpty())
            return;
        const std::optional<qint64> number = wholeNumber(text);
        if (number && *number >= min && *number <= max) {
            target = int(*number);
            return;
        }
        // Keeping the current value means the next save repairs the file.
        rejected.append(QStringLiteral("%1/%2: \"%3\" ignored, keeping %4")
                            .arg(section, key, shortened(text), QString::number(target)));
    };
    const auto readText = [&](const QString& section, const QString& key, QString& target) {
        const QString text = read(section, key);
        if (!text.isEmpty())
            target = text;
    };

    readWhole(QStringLiteral("COM"), QStringLiteral("BaudRate"), 1, 10'000'000, settings.BaudRate);
    readWhole(QStringLiteral("COM"), QStringLiteral("PortNumber"), 0, MaxComNumber,
              settings.PortNumber);
    readWhole(QStringLiteral("Polling"), QStringLiteral("Rate"), 1, 60'000, settings.Polling);
    readWhole(QStringLiteral("TimeOut"), QStringLiteral("Time"), 0, 600'000, settings.TimeOut);
    readText(QStringLiteral("Form"), QStringLiteral("AlwaysOnTop"), settings.AlwaysOnTop);
    readText(QStringLiteral("ONexit"), QStringLiteral("Force_STBY"), settings.Force_STBY);
    if (const QString top = read(QStringLiteral("Form"), QStringLiteral("Top_Location"));
        !top.isEmpty())
        window.setTop(clampedInt(lenientNumber(top)));
    if (const QString left = read(QStringLiteral("Form"), QStringLiteral("Left_Location"));
        !left.isEmpty())
        window.setLeft(clampedInt(lenientNumber(left)));
    if (const QString top = read(QStringLiteral("Tiny_Form"), QStringLiteral("Top_Location"));
        !top.isEmpty())
        settings.Top_Location = plainNumber(lenientNumber(top));
    if (const QString left = read(QStringLiteral("Tiny_Form"), QStringLiteral("Left_Location"));
        !left.isEmpty())
        settings.Left_Location = plainNumber(lenientNumber(left));
    readText(QStringLiteral("Form"), QStringLiteral("Size"), settings.Size);
    loadTelemetrySettings(ini, settings.Telemetry, rejected);
    return rejected;
}

void SettingsStore::loadPortMap(Settings& settings) const {
    const IniFile ini = IniFile::load(readPath());
    const QString section = QStringLiteral("Ports");
    QMap<int, QString> ports;
    for (const QString& key : ini.sectionKeys(section)) {
        const std::optional<int> number = comNumber(key);
        // "COM1" and "COM01" name the same port; the first one in the file wins.
        if (!number || ports.contains(*number))
            continue;
        const QString device = Read_Ini_Value(ini, section, key);
        if (!device.isEmpty())
            ports.insert(*number, device);
    }
    for (auto it = ports.cbegin(); it != ports.cend(); ++it)
        settings.Ports.insert(it.key(), it.value());
}

bool SettingsStore::Save_All_to_ini_file(const Settings& settings, const WindowPlacement& window) {
    bool tooLarge = false;
    IniFile ini = IniFile::load(readPath(), &tooLarge);
    // The file grew past the limit since it was looked at: writing only our keys over it would
    // throw away whatever else it holds.
    if (tooLarge)
        return false;
    const QString form = QStringLiteral("Form");
    const QString tiny = QStringLiteral("tiny_Form");

    ini.setValue(QStringLiteral("COM"), QStringLiteral("PortNumber"),
                 asNumber(settings.PortNumber));
    ini.setValue(QStringLiteral("COM"), QStringLiteral("BaudRate"), asNumber(settings.BaudRate));
    ini.setValue(QStringLiteral("Polling"), QStringLiteral("Rate"), asNumber(settings.Polling));
    ini.setValue(QStringLiteral("TimeOut"), QStringLiteral("Time"), asNumber(settings.TimeOut));
    ini.setValue(form, QStringLiteral("AlwaysOnTop"), settings.AlwaysOnTop);
    ini.setValue(QStringLiteral("ONexit"), QStringLiteral("Force_STBY"), settings.Force_STBY);
    // A minimised or maximised window has no position worth restoring.
    if (window.isNormalState()) {
        ini.setValue(form, QStringLiteral("Top_Location"), asNumber(window.top()));
        ini.setValue(form, QStringLiteral("Left_Location"), asNumber(window.left()));
    }
    ini.setValue(tiny, QStringLiteral("Top_Location"), settings.Top_Location);
    ini.setValue(tiny, QStringLiteral("Left_Location"), settings.Left_Location);
    ini.setValue(form, QStringLiteral("Size"), settings.Size);

    // Write over the key the file already uses for a port ("com3", "COM03"), else the load,
    // where the first spelling wins, would never see the new device.
    const QString ports = QStringLiteral("Ports");
    QMap<int, QString> existingKeys;
    for (const QString& key : ini.sectionKeys(ports)) {
        if (const std::optional<int> number = comNumber(key);
            number && !existingKeys.contains(*number))
            existingKeys.insert(*number, key);
    }
    for (auto it = settings.Ports.cbegin(); it != settings.Ports.cend(); ++it) {
        if (it.key() < 1 || it.key() > MaxComNumber)
            continue; // would never load back
        const QString key = existingKeys.value(it.key(), QStringLiteral("COM%1").arg(it.key()));
        ini.setValue(ports, key, it.value());
    }

    saveTelemetrySettings(ini, settings.Telemetry);

    const QString target = writePath();
    // Never write over a file too large to have been read, nor create what a link leads to.
    if (IniFile::isTooLarge(target) || (target == exeFilePath() && exeTargetPath().isEmpty()))
        return false;
    if (target == userFilePath() && !QDir().mkpath(userConfigDir_))
        return false;
    return ini.save(target);
}

} // namespace tarn::settings
