#pragma once

#include "settings/telemetrysettings.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QDoubleSpinBox;
class QSpinBox;

namespace tarn::ui {

// Settings > Alarms...: the two limits, the hold time, the sound and the automatic standby.
// OK calls `onApply`, which takes values(); Cancel and Escape change nothing.
class AlarmDialog final : public QDialog {
    Q_OBJECT

public:
    explicit AlarmDialog(QWidget* parent = nullptr);

    void load(const settings::TelemetrySettings& values);
    // `base` with the dialog's values put in.
    settings::TelemetrySettings values(settings::TelemetrySettings base) const;

    std::function<void()> onApply;

private:
    QDoubleSpinBox* swr_ = nullptr;
    QSpinBox* temperature_ = nullptr;
    QSpinBox* hold_ = nullptr;
    QCheckBox* sound_ = nullptr;
    QCheckBox* autoStandby_ = nullptr;
};

} // namespace tarn::ui
