#include "ui/history/telemetrycontrols.h"

#include "ui/history/alarmdialog.h"
#include "ui/history/historywindow.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLoggingCategory>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QShortcut>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace tarn::ui {

namespace {
Q_LOGGING_CATEGORY(lcTelemetry, "tarn.telemetry")

constexpr int AlarmLineWidthPx = 240;
const QString AckHint = QStringLiteral("Click, or press Space, to acknowledge: the sound stops, "
                                       "the colour stays until the value is back under its "
                                       "limit.");

// The alarm line: a label the operator clicks, or reaches with Tab and presses Space or Enter
// on, to acknowledge. It takes the focus only while it shows an alarm.
class AlarmLineLabel final : public QLabel {
public:
    std::function<void()> clicked;
    using QLabel::QLabel;

protected:
    void mousePressEvent(QMouseEvent* event) override {
        QLabel::mousePressEvent(event);
        if (clicked)
            clicked();
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (!QList{Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}.contains(event->key()))
            return QLabel::keyPressEvent(event);
        event->accept();
        if (clicked)
            clicked();
    }
    void paintEvent(QPaintEvent* event) override {
        QLabel::paintEvent(event);
        if (!hasFocus())
            return;
        QStylePainter p(this);
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        // Styles that draw it only after a Tab ask for this flag.
        focus.state |= QStyle::State_KeyboardFocusChange;
        focus.rect = contentsRect();
        p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
};
} // namespace

void AlarmMark::set(bool alarmed) {
    if (!label_ || alarmed == alarmed_)
        return;
    if (alarmed) {
        normal_ = label_->palette();
        normalFill_ = label_->autoFillBackground();
        QPalette pal = normal_;
        pal.setColor(QPalette::Window, QColor(QLatin1String(TelemetryControls::AlarmColourName)));
        pal.setColor(QPalette::WindowText, Qt::white);
        label_->setPalette(pal);
        label_->setAutoFillBackground(true);
    } else {
        label_->setPalette(normal_);
        label_->setAutoFillBackground(normalFill_);
    }
    alarmed_ = alarmed;
}

TelemetryControls::TelemetryControls(QMainWindow& main, QWidget& tiny,
                                     telemetry::Recorder& recorder,
                                     settings::TelemetrySettings& settings, TelemetryHooks hooks)
    : main_(main), tiny_(tiny), recorder_(recorder), settings_(settings), hooks_(std::move(hooks)) {
    // All new menu items in one place, after the existing ones.
    if (auto* view = main_.findChild<QMenu*>(QStringLiteral("menuView"))) {
        view->addSeparator()->setObjectName(QStringLiteral("menu_space_history"));
        QAction* a = view->addAction(tr("History..."));
        a->setObjectName(QStringLiteral("menuHistory"));
        connect(a, &QAction::triggered, this, &TelemetryControls::openHistory);
    }
    if (auto* settingsMenu = main_.findChild<QMenu*>(QStringLiteral("menuSettings"))) {
        settingsMenu->addSeparator()->setObjectName(QStringLiteral("menu_space_alarms"));
        QAction* a = settingsMenu->addAction(tr("Alarms..."));
        a->setObjectName(QStringLiteral("menuAlarms"));
        connect(a, &QAction::triggered, this, &TelemetryControls::openAlarmDialog);
        logAction_ = settingsMenu->addAction(tr("CSV Log..."));
        logAction_->setObjectName(QStringLiteral("menuCsvLog"));
        logAction_->setCheckable(true);
        // The check mark shows whether the log runs; the click only asks to change that.
        connect(logAction_, &QAction::triggered, this, [this] {
            logAction_->setChecked(recorder_.log().running());
            toggleLog();
        });
    }

    auto* line = new AlarmLineLabel(main_.menuBar());
    line->setObjectName(QStringLiteral("Label_Alarm"));
    line->clicked = [this] { acknowledge(); };
    QPalette pal = line->palette();
    pal.setColor(QPalette::WindowText, QColor(QLatin1String(AlarmColourName)));
    line->setPalette(pal);
    QFont bold = line->font();
    bold.setBold(true);
    line->setFont(bold);
    line->setContentsMargins(0, 0, 6, 0);
    // Never taller than the menu items, so the menu bar keeps its height.
    line->setMaximumHeight(main_.menuBar()->fontMetrics().height());
    main_.menuBar()->setCornerWidget(line, Qt::TopRightCorner);
    line->setFocusPolicy(Qt::NoFocus);
    if (auto* lastKey = main_.findChild<QWidget*>(QStringLiteral("Command_Band_Up")))
        QWidget::setTabOrder(lastKey, line);
    line_ = line;

    for (QWidget* w : {static_cast<QWidget*>(&main_), &tiny_}) {
        swrMarks_.emplace_back(w->findChild<QLabel*>(QStringLiteral("Label_SWR")));
        temperatureMarks_.emplace_back(w->findChild<QLabel*>(QStringLiteral("Label_Temperature")));
    }

    // H and A have no meaning on the tiny widget yet.
    auto* historyKey = new QShortcut(QKeySequence(Qt::Key_H), &tiny_);
    historyKey->setContext(Qt::WindowShortcut);
    connect(historyKey, &QShortcut::activated, this, &TelemetryControls::openHistory);
    auto* ackKey = new QShortcut(QKeySequence(Qt::Key_A), &tiny_);
    ackKey->setContext(Qt::WindowShortcut);
    connect(ackKey, &QShortcut::activated, this, &TelemetryControls::acknowledge);

    recorder_.onAlarmsChanged = [this] { refreshAlarms(); };
    recorder_.alarms().forceStandby = [this] {
        return hooks_.forceStandby && hooks_.forceStandby();
    };
    // A failure leaves the log on and the setting as it was: the log retries by itself.
    recorder_.log().onMessage = [this](const QString& message) { logMessage(message); };
    connect(&tick_, &QTimer::timeout, this, &TelemetryControls::tick);
    tick_.start(int(telemetry::CsvLog::FlushIntervalMs));
}

TelemetryControls::~TelemetryControls() {
    shutdown();
    recorder_.onAlarmsChanged = nullptr;
    recorder_.alarms().forceStandby = nullptr;
    recorder_.log().onMessage = nullptr;
}

HistoryWindow* TelemetryControls::historyWindow() const {
    return history_;
}

AlarmDialog* TelemetryControls::alarmDialog() const {
    return dialog_;
}

void TelemetryControls::applySettings() {
    telemetry::AlarmSettings a;
    a.swrLimit = settings_.SWR_Limit;
    a.temperatureLimitC = settings_.Temperature_Limit;
    a.holdMs = settings_.Hold_ms;
    a.sound = settings_.Sound;
    a.autoStandby = settings_.Auto_STBY;
    recorder_.alarms().setSettings(a);
    if (history_)
        history_->setLimits(a.swrLimit, a.temperatureLimitC);
}

void TelemetryControls::start() {
    applySettings();
    recorder_.log().setKeepDays(settings_.Log_Keep_Days);
    if (settings_.Log_Running && !settings_.Log_Path.isEmpty())
        startLog(settings_.Log_Path, true);
    refreshAlarms();
}

void TelemetryControls::shutdown() {
    if (std::exchange(ended_, true))
        return;
    tick_.stop();
    if (history_)
        history_->finishExport(HistoryWindow::ExitExportBoundMs);
    // The setting keeps saying the log runs: the next start continues it.
    recorder_.log().stop(ExitBoundMs - HistoryWindow::ExitExportBoundMs);
    qCInfo(lcTelemetry).noquote() << QStringLiteral("%1 frames recorded, %2 rows logged")
                                         .arg(recorder_.framesRecorded())
                                         .arg(recorder_.log().rowsWritten());
    if (history_)
        history_->close();
    if (dialog_)
        dialog_->close();
}

void TelemetryControls::openHistory() {
    if (!history_) {
        history_ = new HistoryWindow(recorder_.history(), hooks_.clock);
        history_->setAttribute(Qt::WA_DeleteOnClose);
        history_->setLimits(settings_.SWR_Limit, settings_.Temperature_Limit);
    }
    history_->show();
    history_->raise();
    history_->activateWindow();
}

void TelemetryControls::openAlarmDialog() {
    if (!dialog_) {
        dialog_ = new AlarmDialog(&main_);
        dialog_->setAttribute(Qt::WA_DeleteOnClose);
        dialog_->onApply = [this] {
            settings_ = dialog_->values(settings_);
            applySettings();
            if (hooks_.save)
                hooks_.save();
        };
    }
    dialog_->load(settings_);
    // Like the panel's own dialogs: at a fixed offset from the main window.
    dialog_->move(main_.pos() + QPoint(600, 600) / 15);
    dialog_->show();
    dialog_->raise();
}

void TelemetryControls::toggleLog() {
    if (recorder_.log().running()) {
        stopLog();
        return;
    }
    const QString start = settings_.Log_Path.isEmpty()
                              ? QDir::home().filePath(QStringLiteral("tarn-vq4400-log.csv"))
                              : settings_.Log_Path;
    // An existing file is continued, not replaced, so the dialog need not ask.
    const QString path = QFileDialog::getSaveFileName(&main_, tr("CSV log file"), start,
                                                      tr("CSV files (*.csv);;All files (*)"),
                                                      nullptr, QFileDialog::DontConfirmOverwrite);
    if (!path.isEmpty())
        startLog(path);
}

bool TelemetryControls::startLog(const QString& path, bool keepTrying) {
    QString error;
    const bool ok = recorder_.log().start(path, hooks_.clock().wallMs, &error, keepTrying);
    const bool running = recorder_.log().running();
    if (logAction_)
        logAction_->setChecked(running);
    if (settings_.Log_Path != path || settings_.Log_Running != running) {
        settings_.Log_Path = path;
        settings_.Log_Running = running;
        if (hooks_.save)
            hooks_.save();
    }
    if (!ok) {
        if (keepTrying)
            error += tr(". The log tries again in %1 s, then less often.")
                         .arg(telemetry::CsvLog::FirstRetryMs / 1000);
        logMessage(error);
    }
    return ok;
}

void TelemetryControls::stopLog() {
    recorder_.log().stop();
    settings_.Log_Running = false;
    if (logAction_)
        logAction_->setChecked(false);
    if (hooks_.save)
        hooks_.save();
}

void TelemetryControls::acknowledge() {
    recorder_.alarms().acknowledge();
    refreshAlarms();
}

void TelemetryControls::refreshAlarms() {
    const telemetry::AlarmMonitor& alarms = recorder_.alarms();
    const QString text = telemetry::alarmLine(alarms);
    if (line_->property("fullText").toString() != text) {
        line_->setProperty("fullText", text);
        // Room for the alarm without pushing the menus into an overflow button.
        line_->setText(line_->fontMetrics().elidedText(text, Qt::ElideRight, AlarmLineWidthPx));
        // The menu bar places its corner widget only when it lays itself out again.
        line_->setFixedWidth(text.isEmpty() ? 0 : AlarmLineWidthPx);
        QMenuBar* bar = main_.menuBar();
        QResizeEvent relayout(bar->size(), bar->size());
        QCoreApplication::sendEvent(bar, &relayout);
        line_->setToolTip(text.isEmpty() ? QString() : text + QLatin1Char('\n') + AckHint);
        // A screen reader reads the whole line, however little of it fits.
        line_->setAccessibleName(text);
        line_->setAccessibleDescription(text.isEmpty() ? QString() : AckHint);
        line_->setFocusPolicy(text.isEmpty() ? Qt::NoFocus : Qt::StrongFocus);
        if (onAlarmLine)
            onAlarmLine(text);
        if (!text.isEmpty())
            qCWarning(lcTelemetry) << "alarm:" << text;
    }
    const bool swr = alarms.status(telemetry::AlarmKind::Swr).active;
    const bool temperature = alarms.status(telemetry::AlarmKind::Temperature).active;
    for (AlarmMark& m : swrMarks_)
        m.set(swr);
    for (AlarmMark& m : temperatureMarks_)
        m.set(temperature);
}

void TelemetryControls::tick() {
    recorder_.tick(hooks_.clock().monoMs);
    showLogState();
    if (recorder_.alarms().soundDue())
        QApplication::beep();
}

void TelemetryControls::logMessage(const QString& message) {
    lastLogMessage_ = message;
    // One box for the log: a disk that comes and goes does not pile them up.
    if (logBox_)
        logBox_->setText(message);
    else
        logBox_ = showMessage(message);
    showLogState();
}

void TelemetryControls::showLogState() {
    if (!logAction_)
        return;
    // The check mark says the log is on; the caption says when its rows are not getting out.
    const telemetry::CsvLog& log = recorder_.log();
    logAction_->setText(log.failing() ? tr("CSV Log... (cannot write)") : tr("CSV Log..."));
    logAction_->setToolTip(log.running() ? log.currentFile() : QString());
}

QMessageBox* TelemetryControls::showMessage(const QString& text) {
    // Not modal: the poll goes on while the operator reads it, and shutdown never waits on it.
    auto* box =
        new QMessageBox(QMessageBox::Warning, main_.windowTitle(), text, QMessageBox::Ok, &main_);
    box->setObjectName(QStringLiteral("telemetryMessage"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
    return box;
}

} // namespace tarn::ui
