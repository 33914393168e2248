#pragma once

#include "settings/settings.h"

#include <QString>
#include <QStringList>

namespace tarn::settings {

// Reads and writes the settings file beside the executable, or in the user's configuration
// folder when the executable's folder cannot be written (an installed copy). A settings file
// that is a symlink is read and saved where it leads; one that leads nowhere, or into a folder
// that cannot be written, is treated like an unwritable file. A file over IniFile::MaxFileSize
// is neither read nor ever overwritten.
class SettingsStore {
public:
    SettingsStore(QString exeDir, QString baseName, QString userConfigDir);

    // Both are worked out afresh on every call: folders can change rights while we run.
    QString readPath() const;
    QString writePath() const;

    bool Ini_Has_Port_Number() const;

    // Why the settings file beside the program is not being used, in a sentence for the
    // operator; empty when there is nothing to say. Worked out afresh on every call, so ask it
    // once, at start-up.
    QString loadProblem() const;

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
    // The file the settings beside the program really live in: the path itself, or the file a
    // symlink there leads to; empty for a symlink that leads nowhere.
    QString exeTargetPath() const;
    bool exeFolderWritable() const;

    QString exeDir_;
    QString baseName_;
    QString userConfigDir_;
};

} // namespace tarn::settings
