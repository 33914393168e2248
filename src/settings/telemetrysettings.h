#pragma once

#include <QString>
#include <QStringList>

namespace tarn::settings {

class IniFile;

// The alarm limits and the CSV log, kept in sections of their own after the panel's.
struct TelemetrySettings {
    double SWR_Limit = 2.5;
    int Temperature_Limit = 70; // degrees Celsius
    int Hold_ms = 1000;
    bool Sound = true;
    bool Auto_STBY = false;
    bool SWR_Enabled = true;
    bool Temperature_Enabled = true;
    bool Comm_Lost = true;
    bool Log_Running = false;
    QString Log_Path;
    int Log_Keep_Days = 30; // daily log files older than this are removed; 0 keeps them all

    bool operator==(const TelemetrySettings&) const = default;
};

// Missing keys keep their value; bad ones are kept too, with one line each in `rejected`.
void loadTelemetrySettings(const IniFile& ini, TelemetrySettings& settings, QStringList& rejected);
// A section is written once it exists in the file or one of its values differs from the
// default, so the file of a panel that never used them stays as it was.
void saveTelemetrySettings(IniFile& ini, const TelemetrySettings& settings);

} // namespace tarn::settings
