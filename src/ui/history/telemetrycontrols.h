#pragma once

#include "settings/telemetrysettings.h"
#include "telemetry/recorder.h"

#include <QLabel>
#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QMainWindow;
class QMessageBox;
class QWidget;

namespace tarn::ui {

class AlarmDialog;
class AlarmSound;
class HistoryWindow;

// Turns a label into an alarm field and back, keeping what it looked like before.
class AlarmMark {
public:
    explicit AlarmMark(QLabel* label) : label_(label) {}
    void set(bool alarmed);
    bool alarmed() const { return alarmed_; }

private:
    QPointer<QLabel> label_;
    QPalette normal_;
    bool normalFill_ = false;
    bool alarmed_ = false;
};

// What the panel hands the telemetry controls.
struct TelemetryHooks {
    std::function<telemetry::Stamp()> clock;
    // Save_All_to_ini_file: the settings record holds the telemetry settings.
    std::function<bool()> save;
    // Writes Cmd_Force_STBY; "" when written, otherwise why it was not.
    std::function<QString()> forceStandby;
    // True once nothing written waits in this computer.
    std::function<bool()> standbyLeft;
    // The silence that counts as communication lost: the time-out, or its stand-in when off.
    std::function<int()> silenceMs;
    // Where the journal goes when no log path is set: the settings file's folder.
    std::function<QString()> settingsFolder;
};

// The menu items, the alarm line, the alarm colours, the sound, the history window and the log
// switch around one Recorder. Reaches the panel windows only through their menus' and labels'
// object names, so the windows need not know about it.
//
// Added: View > History..., Settings > Alarms... and Settings > CSV Log... (checked while the
// log runs); on the tiny widget, H opens the history and A acknowledges the alarm. The alarm
// line sits at the right end of the main window's menu bar: every size mode shows it, it covers
// no control and it changes no window size. Clicking it acknowledges.
class TelemetryControls final : public QObject {
    Q_OBJECT

public:
    static constexpr const char* AlarmColourName = "#FF0000";
    static constexpr int SoundIntervalMs = 2'000;

    TelemetryControls(QMainWindow& main, QWidget& tiny, telemetry::Recorder& recorder,
                      settings::TelemetrySettings& settings, TelemetryHooks hooks);
    ~TelemetryControls() override;

    // After the settings were loaded: limits to the monitor, and the log restarted if it ran.
    void start();
    // Before the event loop ends: the log's last rows go out, the windows close. Takes at
    // most ExitBoundMs, however slow the disk: what cannot be written by then is left out
    // whole rows at a time, and an export not done is cancelled without leaving a file.
    void shutdown();
    static constexpr qint64 ExitBoundMs = 1'000;

    void openHistory();
    void openAlarmDialog();
    void toggleLog();
    // Starts the log on `path` (no file dialog); false, with a message shown, when it cannot.
    // `keepTrying`: a log that ran when the panel last ended keeps running and retries.
    bool startLog(const QString& path, bool keepTrying = false);
    void stopLog();
    void acknowledge();
    void shelve(telemetry::AlarmKind kind, int minutes);

    // The alarm line's text, the colours and the log's check mark follow the recorder.
    void refreshAlarms();
    // The one-second tick: the log's flush, the alarms' retries and shelving, and the sound.
    // Public so tests can drive it.
    void tick();

    HistoryWindow* historyWindow() const;
    AlarmDialog* alarmDialog() const;
    QLabel* alarmLine() const { return line_; }
    QAction* logAction() const { return logAction_; }

    // Hears the alarm line's whole text each time it changes ("" when no alarm is active).
    std::function<void(const QString&)> onAlarmLine;
    // The last message the log left when it failed, could not start or wrote again.
    QString lastLogMessage() const { return lastLogMessage_; }

private:
    void applySettings();
    telemetry::Stamp now() const;
    void placeJournal();
    void updateTinyMark(const QString& fullText);
    // Every SoundIntervalMs while an alarm is unacknowledged; silent at once when acknowledged.
    void updateSound();
    QMessageBox* showMessage(const QString& text);
    void showLogState();
    void logMessage(const QString& message);

    QMainWindow& main_;
    QWidget& tiny_;
    telemetry::Recorder& recorder_;
    settings::TelemetrySettings& settings_;
    TelemetryHooks hooks_;

    QLabel* line_ = nullptr;
    QLabel* tinyMark_ = nullptr;
    int silenceMs_ = 0;
    QAction* logAction_ = nullptr;
    std::vector<AlarmMark> swrMarks_;
    std::vector<AlarmMark> temperatureMarks_;
    QPointer<HistoryWindow> history_;
    QPointer<AlarmDialog> dialog_;
    QPointer<QMessageBox> logBox_;
    QTimer tick_;
    QTimer soundTimer_;
    std::unique_ptr<AlarmSound> sound_;
    QString lastLogMessage_;
    bool ended_ = false;
};

} // namespace tarn::ui
