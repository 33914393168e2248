#pragma once

#include "settings/settings.h"

#include <QString>
#include <QStringList>

namespace tarn::settings {

// Reads and writes the settings file beside the executable, or in the user's configuration
// folder when the executable's folder cannot be written (an installed copy).
class SettingsStore {
public:
    SettingsStore(QString exeDir, QString baseName, QString userConfigDir);

    // Both are worked out afresh on every call: folders can change rights while we run.
    QString readPath() const;
    QString writePath() const;

    bool Ini_Has_Port_Number() const;

    // Values that are missing or empty leave their target as it is. Numbers that are not whole
    // or out of range are rejected the same way; one line per rejected key is returned.
    QStringList Load_All_from_ini_file(Settings& settings, WindowPlacement& window) const;

    // Adds every [Ports] COM<n> entry (n 1..255) of the file to settings.Ports.
    void loadPortMap(Settings& settings) const;

    // Keeps everything else in the file. False when the file could not be written.
    bool Save_All_to_ini_file(const Settings& settings, const WindowPlacement& window);

private:
    QString exeFilePath() const;
    QString userFilePath() const;
    bool exeFolderWritable() const;

    QString exeDir_;
    QString baseName_;
    QString userConfigDir_;
};

} // namespace tarn::settings
