#pragma once

#include "settings/telemetrysettings.h"
#include "telemetry/alarms.h"

#include <QDialog>
#include <deque>
#include <functional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QSpinBox;

namespace tarn::ui {

// Settings > Alarms...: the two limits, the hold time, which alarms are on, the sound and the
// automatic standby; OK calls `onApply`, which takes values(); Cancel and Escape change
// nothing. Below them the journal's newest lines, and shelving, which acts at once.
class AlarmDialog final : public QDialog {
    Q_OBJECT

public:
    explicit AlarmDialog(QWidget* parent = nullptr);

    void load(const settings::TelemetrySettings& values);
    // `base` with the dialog's values put in.
    settings::TelemetrySettings values(settings::TelemetrySettings base) const;

    // Newest last, as the journal keeps them; the list shows the newest first.
    void setJournal(const std::deque<QString>& lines);
    // What is shelved now, "" for nothing.
    void setShelved(const QString& text);

    std::function<void()> onApply;
    std::function<void(telemetry::AlarmKind kind, int minutes)> onShelve;

private:
    QDoubleSpinBox* swr_ = nullptr;
    QSpinBox* temperature_ = nullptr;
    QSpinBox* hold_ = nullptr;
    QCheckBox* sound_ = nullptr;
    QCheckBox* autoStandby_ = nullptr;
    QCheckBox* swrEnabled_ = nullptr;
    QCheckBox* temperatureEnabled_ = nullptr;
    QCheckBox* commLost_ = nullptr;
    QComboBox* shelveAlarm_ = nullptr;
    QSpinBox* shelveMinutes_ = nullptr;
    QListWidget* journal_ = nullptr;
    QLabel* shelved_ = nullptr;
};

} // namespace tarn::ui
