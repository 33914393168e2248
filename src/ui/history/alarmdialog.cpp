#include "ui/history/alarmdialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <cmath>

namespace tarn::ui {

AlarmDialog::AlarmDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Alarms_Form"));
    setWindowTitle(tr("Alarms"));
    auto* form = new QFormLayout(this);

    swr_ = new QDoubleSpinBox(this);
    swr_->setObjectName(QStringLiteral("swrLimit"));
    swr_->setRange(1.1, 25.5);
    swr_->setDecimals(1);
    swr_->setSingleStep(0.1);
    form->addRow(tr("SWR above"), swr_);

    temperature_ = new QSpinBox(this);
    temperature_->setObjectName(QStringLiteral("temperatureLimit"));
    temperature_->setRange(20, 150);
    temperature_->setSuffix(QStringLiteral(" °C"));
    form->addRow(tr("Temperature above"), temperature_);

    hold_ = new QSpinBox(this);
    hold_->setObjectName(QStringLiteral("holdTime"));
    hold_->setRange(0, 60'000);
    hold_->setSingleStep(100);
    hold_->setSuffix(QStringLiteral(" ms"));
    form->addRow(tr("for longer than"), hold_);

    sound_ = new QCheckBox(tr("Sound while not acknowledged"), this);
    sound_->setObjectName(QStringLiteral("alarmSound"));
    form->addRow(sound_);

    autoStandby_ = new QCheckBox(tr("Send STBY to the amplifier when an alarm holds"), this);
    autoStandby_->setObjectName(QStringLiteral("autoStandby"));
    form->addRow(autoStandby_);
    auto* note = new QLabel(tr("Off by default: the panel sends nothing on its own unless this is "
                               "checked. A protection trip always raises an alarm."),
                            this);
    note->setWordWrap(true);
    form->addRow(note);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (onApply)
            onApply();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void AlarmDialog::load(const settings::TelemetrySettings& v) {
    swr_->setValue(v.SWR_Limit);
    temperature_->setValue(v.Temperature_Limit);
    hold_->setValue(v.Hold_ms);
    sound_->setChecked(v.Sound);
    autoStandby_->setChecked(v.Auto_STBY);
}

settings::TelemetrySettings AlarmDialog::values(settings::TelemetrySettings base) const {
    base.SWR_Limit = std::round(swr_->value() * 10) / 10;
    base.Temperature_Limit = temperature_->value();
    base.Hold_ms = hold_->value();
    base.Sound = sound_->isChecked();
    base.Auto_STBY = autoStandby_->isChecked();
    return base;
}

} // namespace tarn::ui
