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
    std::function<qint64()> clock;
    // Save_All_to_ini_file: the settings record holds the telemetry settings.
    std::function<bool()> save;
    // Writes Cmd_Force_STBY; "" when written, otherwise why it was not.
    std::function<QString()> forceStandby;
    // True once nothing written waits in this computer.
    std::function<bool()> standbyLeft;
    // Monotonic milliseconds for the alarms' holds.
    std::function<qint64()> monotonic;
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
    // Before the event loop ends: the log's last rows go out, the windows close.
    void shutdown();

    void openHistory();
    void openAlarmDialog();
    void toggleLog();
    // Starts the log on `path` (no file dialog); false, with a message shown, when it cannot.
    bool startLog(const QString& path);
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
    // The last message the log left when it stopped by itself.
    QString lastLogMessage() const { return lastLogMessage_; }

private:
    void applySettings();
    telemetry::Now now() const;
    void placeJournal();
    void updateTinyMark(const QString& fullText);
    // Every SoundIntervalMs while an alarm is unacknowledged; silent at once when acknowledged.
    void updateSound();
    void showMessage(const QString& text);

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
    QTimer tick_;
    QTimer soundTimer_;
    std::unique_ptr<AlarmSound> sound_;
    QString lastLogMessage_;
    bool ended_ = false;
};

} // namespace tarn::ui
