#include "ui/history/alarmdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <cmath>

namespace tarn::ui {

AlarmDialog::AlarmDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Alarms_Form"));
    setWindowTitle(tr("Alarms"));
    auto* form = new QFormLayout(this);

    swr_ = new QDoubleSpinBox(this);
    swr_->setObjectName(QStringLiteral("swrLimit"));
    swr_->setRange(1.0, 25.5);
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

    const auto checkBox = [&](const QString& text, const char* name) {
        auto* box = new QCheckBox(text, this);
        box->setObjectName(QLatin1String(name));
        form->addRow(box);
        return box;
    };
    swrEnabled_ = checkBox(tr("SWR alarm on"), "swrEnabled");
    temperatureEnabled_ = checkBox(tr("Temperature alarm on"), "temperatureEnabled");
    commLost_ = checkBox(tr("Communication lost alarm on"), "commLost");
    sound_ = checkBox(tr("Sound while not acknowledged"), "alarmSound");
    autoStandby_ = checkBox(tr("Send STBY to the amplifier when an alarm holds"), "autoStandby");
    auto* note = new QLabel(tr("Off by default: the panel sends nothing on its own unless this is "
                               "checked. A protection trip always raises an alarm."),
                            this);
    note->setWordWrap(true);
    form->addRow(note);

    // Shelving silences and hides one alarm for a while; its standby still acts.
    auto* shelfRow = new QHBoxLayout;
    shelveAlarm_ = new QComboBox(this);
    shelveAlarm_->setObjectName(QStringLiteral("shelveAlarm"));
    for (telemetry::AlarmKind kind : telemetry::AllAlarms)
        shelveAlarm_->addItem(telemetry::alarmName(kind), int(kind));
    shelveMinutes_ = new QSpinBox(this);
    shelveMinutes_->setObjectName(QStringLiteral("shelveMinutes"));
    shelveMinutes_->setRange(0, int(telemetry::AlarmMonitor::MaxShelveMs / 60'000));
    shelveMinutes_->setValue(30);
    shelveMinutes_->setSuffix(QStringLiteral(" min"));
    auto* shelve = new QPushButton(tr("Shelve"), this);
    shelve->setObjectName(QStringLiteral("shelveButton"));
    shelve->setToolTip(tr("0 min ends the shelving"));
    connect(shelve, &QPushButton::clicked, this, [this] {
        if (onShelve)
            onShelve(telemetry::AlarmKind(shelveAlarm_->currentData().toInt()),
                     shelveMinutes_->value());
    });
    shelfRow->addWidget(shelveAlarm_);
    shelfRow->addWidget(shelveMinutes_);
    shelfRow->addWidget(shelve);
    form->addRow(tr("Shelve"), shelfRow);
    shelved_ = new QLabel(this);
    shelved_->setObjectName(QStringLiteral("shelvedNote"));
    shelved_->setWordWrap(true);
    form->addRow(shelved_);

    journal_ = new QListWidget(this);
    journal_->setObjectName(QStringLiteral("journalList"));
    journal_->setMinimumHeight(120);
    form->addRow(new QLabel(tr("Journal (newest first)"), this));
    form->addRow(journal_);

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
    swrEnabled_->setChecked(v.SWR_Enabled);
    temperatureEnabled_->setChecked(v.Temperature_Enabled);
    commLost_->setChecked(v.Comm_Lost);
}

void AlarmDialog::setShelved(const QString& text) {
    shelved_->setText(text.isEmpty() ? tr("Nothing is shelved.") : text);
}

void AlarmDialog::setJournal(const std::deque<QString>& lines) {
    journal_->clear();
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
        journal_->addItem(*it);
}

settings::TelemetrySettings AlarmDialog::values(settings::TelemetrySettings base) const {
    base.SWR_Limit = std::round(swr_->value() * 10) / 10;
    base.Temperature_Limit = temperature_->value();
    base.Hold_ms = hold_->value();
    base.Sound = sound_->isChecked();
    base.Auto_STBY = autoStandby_->isChecked();
    base.SWR_Enabled = swrEnabled_->isChecked();
    base.Temperature_Enabled = temperatureEnabled_->isChecked();
    base.Comm_Lost = commLost_->isChecked();
    return base;
}

} // namespace tarn::ui
