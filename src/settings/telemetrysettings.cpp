#include "settings/telemetrysettings.h"

#include "settings/inifile.h"

#include <QLocale>
#include <cmath>

namespace tarn::settings {

namespace {
const QString Alarms = QStringLiteral("Alarms");
const QString Log = QStringLiteral("Log");

QString yesNo(bool value) {
    return value ? QStringLiteral("Yes") : QStringLiteral("No");
}

void saveAlarms(IniFile& ini, const TelemetrySettings& s) {
    ini.setValue(Alarms, QStringLiteral("SWR_Limit"), QLocale::c().toString(s.SWR_Limit, 'f', 1));
    ini.setValue(Alarms, QStringLiteral("Temperature_Limit"), QString::number(s.Temperature_Limit));
    ini.setValue(Alarms, QStringLiteral("Hold_ms"), QString::number(s.Hold_ms));
    ini.setValue(Alarms, QStringLiteral("Sound"), yesNo(s.Sound));
    ini.setValue(Alarms, QStringLiteral("Auto_STBY"), yesNo(s.Auto_STBY));
    ini.setValue(Alarms, QStringLiteral("SWR_Enabled"), yesNo(s.SWR_Enabled));
    ini.setValue(Alarms, QStringLiteral("Temperature_Enabled"), yesNo(s.Temperature_Enabled));
    ini.setValue(Alarms, QStringLiteral("Comm_Lost"), yesNo(s.Comm_Lost));
}

void saveLog(IniFile& ini, const TelemetrySettings& s) {
    ini.setValue(Log, QStringLiteral("Running"), yesNo(s.Log_Running));
    // A path with a line break cannot be stored; setValue refuses it and the old one stays.
    ini.setValue(Log, QStringLiteral("Path"), s.Log_Path);
    ini.setValue(Log, QStringLiteral("Keep_Days"), QString::number(s.Log_Keep_Days));
}
} // namespace

void loadTelemetrySettings(const IniFile& ini, TelemetrySettings& s, QStringList& rejected) {
    const auto reject = [&rejected](const QString& section, const QString& key, const QString& text,
                                    const QString& kept) {
        rejected.append(QStringLiteral("%1/%2: \"%3\" ignored, keeping %4")
                            .arg(section, key, text.left(40), kept));
    };
    const auto number = [&](const QString& section, const QString& key, double min, double max,
                            int decimals, auto& target) {
        const QString text = Read_Ini_Value(ini, section, key);
        if (text.isEmpty())
            return;
        bool ok = false;
        const double v = QLocale::c().toDouble(text, &ok);
        const double scale = std::pow(10.0, decimals);
        // Only as many decimals as the amplifier reports: 2.55 is a typing error, not a limit.
        if (ok && v >= min && v <= max && std::abs(v * scale - std::round(v * scale)) < 1e-6) {
            target = static_cast<std::remove_reference_t<decltype(target)>>(v);
            return;
        }
        reject(section, key, text, QLocale::c().toString(double(target)));
    };
    const auto flag = [&](const QString& section, const QString& key, bool& target) {
        const QString text = Read_Ini_Value(ini, section, key);
        if (text.isEmpty())
            return;
        if (text == QLatin1String("Yes") || text == QLatin1String("No"))
            target = text == QLatin1String("Yes");
        else
            reject(section, key, text, yesNo(target));
    };

    number(Alarms, QStringLiteral("SWR_Limit"), 1.0, 25.5, 1, s.SWR_Limit);
    number(Alarms, QStringLiteral("Temperature_Limit"), 20, 150, 0, s.Temperature_Limit);
    number(Alarms, QStringLiteral("Hold_ms"), 0, 60'000, 0, s.Hold_ms);
    flag(Alarms, QStringLiteral("Sound"), s.Sound);
    flag(Alarms, QStringLiteral("Auto_STBY"), s.Auto_STBY);
    flag(Alarms, QStringLiteral("SWR_Enabled"), s.SWR_Enabled);
    flag(Alarms, QStringLiteral("Temperature_Enabled"), s.Temperature_Enabled);
    flag(Alarms, QStringLiteral("Comm_Lost"), s.Comm_Lost);
    flag(Log, QStringLiteral("Running"), s.Log_Running);
    if (const QString path = Read_Ini_Value(ini, Log, QStringLiteral("Path")); !path.isEmpty())
        s.Log_Path = path;
    number(Log, QStringLiteral("Keep_Days"), 0, 36'500, 0, s.Log_Keep_Days);
}

void saveTelemetrySettings(IniFile& ini, const TelemetrySettings& s) {
    // A panel whose operator never touched these keeps the file it always had.
    const TelemetrySettings defaults;
    const bool alarmsChanged =
        s.SWR_Limit != defaults.SWR_Limit || s.Temperature_Limit != defaults.Temperature_Limit ||
        s.Hold_ms != defaults.Hold_ms || s.Sound != defaults.Sound ||
        s.Auto_STBY != defaults.Auto_STBY || s.SWR_Enabled != defaults.SWR_Enabled ||
        s.Temperature_Enabled != defaults.Temperature_Enabled || s.Comm_Lost != defaults.Comm_Lost;
    if (alarmsChanged || !ini.sectionKeys(Alarms).isEmpty())
        saveAlarms(ini, s);
    const bool logChanged = s.Log_Running != defaults.Log_Running ||
                            s.Log_Path != defaults.Log_Path ||
                            s.Log_Keep_Days != defaults.Log_Keep_Days;
    if (logChanged || !ini.sectionKeys(Log).isEmpty())
        saveLog(ini, s);
}

} // namespace tarn::settings
