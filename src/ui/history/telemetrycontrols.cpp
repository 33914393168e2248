#include "ui/history/telemetrycontrols.h"

#include "ui/accessibility.h"
#include "ui/history/alarmdialog.h"
#include "ui/history/alarmsound.h"
#include "ui/history/historywindow.h"

#include <QAccessible>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLoggingCategory>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QShortcut>
#include <QTimer>

namespace tarn::ui {

namespace {
Q_LOGGING_CATEGORY(lcTelemetry, "tarn.telemetry")

constexpr int AlarmLineWidthPx = 240;
const QString AckHint =
    QStringLiteral("Click, or press Space, to acknowledge: the sound stops; an alarm stays shown "
                   "until it has cleared and been acknowledged.");

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
        drawKeyboardFocus(*this, contentsRect());
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
    // Queued: the alarm is decided inside the poll tick's decoding, and a failed write may
    // close the port under it.
    recorder_.alarms().requestStandby = [this] {
        QTimer::singleShot(0, this, [this] {
            const QString why = hooks_.forceStandby ? hooks_.forceStandby()
                                                    : QStringLiteral("the port is not open");
            if (recorder_.alarms().standbyWritten(why, now()))
                refreshAlarms();
        });
    };
    // A failure leaves the log on and the setting as it was: the log retries by itself.
    recorder_.log().onMessage = [this](const QString& message) { logMessage(message); };
    recorder_.alarms().standbyLeft = [this] { return !hooks_.standbyLeft || hooks_.standbyLeft(); };
    recorder_.journal().onAppended = [this] {
        if (dialog_)
            dialog_->setJournal(recorder_.journal().lines());
    };
    if (auto* tinyMark = tiny_.findChild<QLabel*>(QStringLiteral("Label_Alarm"))) {
        tinyMark_ = tinyMark;
    } else {
        // The tiny widget has no room for the text: a mark, the text in its tooltip.
        tinyMark_ = new QLabel(&tiny_);
        tinyMark_->setObjectName(QStringLiteral("Label_Alarm"));
        QPalette p = tinyMark_->palette();
        p.setColor(QPalette::Window, QColor(QLatin1String(AlarmColourName)));
        p.setColor(QPalette::WindowText, Qt::white);
        tinyMark_->setPalette(p);
        tinyMark_->setAutoFillBackground(true);
        tinyMark_->setAlignment(Qt::AlignCenter);
        QFont f = tinyMark_->font();
        f.setBold(true);
        f.setPixelSize(10);
        tinyMark_->setFont(f);
        // The one free place: between the PROT legend and the gain keys, clear of the lamps.
        tinyMark_->setGeometry(201, 24, 21, 14);
        tinyMark_->hide();
    }
    sound_ = std::make_unique<AlarmSound>();
    soundTimer_.setInterval(SoundIntervalMs);
    connect(&soundTimer_, &QTimer::timeout, this, [this] { sound_->play(); });
    connect(&tick_, &QTimer::timeout, this, &TelemetryControls::tick);
    tick_.start(int(telemetry::CsvLog::FlushIntervalMs));
}

TelemetryControls::~TelemetryControls() {
    shutdown();
    recorder_.onAlarmsChanged = nullptr;
    recorder_.alarms().requestStandby = nullptr;
    recorder_.alarms().standbyLeft = nullptr;
    recorder_.journal().onAppended = nullptr;
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
    a.swrEnabled = settings_.SWR_Enabled;
    a.temperatureEnabled = settings_.Temperature_Enabled;
    a.commLost = settings_.Comm_Lost;
    silenceMs_ = hooks_.silenceMs ? hooks_.silenceMs() : a.commLostAfterMs;
    a.commLostAfterMs = silenceMs_;
    recorder_.alarms().setSettings(a);
    placeJournal();
    if (history_)
        history_->setLimits(a.swrLimit, a.temperatureLimitC);
}

telemetry::Stamp TelemetryControls::now() const {
    return hooks_.clock ? hooks_.clock() : telemetry::systemStamp();
}

void TelemetryControls::placeJournal() {
    // Beside the log, where the operator already looks for files; else beside the settings.
    const QString folder = !settings_.Log_Path.isEmpty()
                               ? QFileInfo(settings_.Log_Path).absolutePath()
                           : hooks_.settingsFolder ? hooks_.settingsFolder()
                                                   : QString();
    const QString path =
        folder.isEmpty() ? QString() : QDir(folder).filePath(QStringLiteral("alarm-journal.csv"));
    if (path != recorder_.journal().path())
        recorder_.journal().setPath(path, settings_.Log_Keep_Days);
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
    soundTimer_.stop();
    sound_->stop();
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
        history_ = new HistoryWindow(recorder_.history(), [this] { return now(); });
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
        dialog_->onShelve = [this](telemetry::AlarmKind kind, int minutes) {
            shelve(kind, minutes);
        };
        dialog_->onApply = [this] {
            settings_ = dialog_->values(settings_);
            applySettings();
            if (hooks_.save)
                hooks_.save();
        };
    }
    dialog_->load(settings_);
    dialog_->setJournal(recorder_.journal().lines());
    dialog_->setShelved(telemetry::shelvedLine(recorder_.alarms(), now().monoMs));
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
    const bool ok = recorder_.log().start(path, now().wallMs, &error, keepTrying);
    const bool running = recorder_.log().running();
    if (logAction_)
        logAction_->setChecked(running);
    if (settings_.Log_Path != path || settings_.Log_Running != running) {
        settings_.Log_Path = path;
        settings_.Log_Running = running;
        placeJournal();
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
    recorder_.alarms().acknowledge(now());
    refreshAlarms();
}

void TelemetryControls::shelve(telemetry::AlarmKind kind, int minutes) {
    recorder_.alarms().shelve(kind, qint64(minutes) * 60'000, now());
    refreshAlarms();
}

void TelemetryControls::refreshAlarms() {
    const telemetry::AlarmMonitor& alarms = recorder_.alarms();
    const QString text = telemetry::alarmLine(alarms);
    if (line_->property("fullText").toString() != text) {
        line_->setProperty("fullText", text);
        // Room for the alarm without pushing the menus into an overflow button; whole phrases
        // only, the rest in the tooltip.
        const QFontMetrics fm = line_->fontMetrics();
        line_->setText(
            telemetry::fittedAlarmLine(telemetry::alarmLineParts(alarms), [&fm](const QString& t) {
                return fm.horizontalAdvance(t) <= AlarmLineWidthPx;
            }));
        updateTinyMark(text);
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
    const bool swr = alarms.visible(telemetry::AlarmKind::Swr);
    const bool temperature = alarms.visible(telemetry::AlarmKind::Temperature);
    for (AlarmMark& m : swrMarks_)
        m.set(swr);
    for (AlarmMark& m : temperatureMarks_)
        m.set(temperature);
    if (dialog_)
        dialog_->setShelved(telemetry::shelvedLine(alarms, now().monoMs));
    updateSound();
}

void TelemetryControls::updateTinyMark(const QString& fullText) {
    if (!tinyMark_)
        return;
    const bool unack = std::any_of(
        telemetry::AllAlarms.begin(), telemetry::AllAlarms.end(), [this](telemetry::AlarmKind k) {
            return recorder_.alarms().visible(k) && recorder_.alarms().status(k).unacknowledged();
        });
    tinyMark_->setText(unack ? QStringLiteral("!A") : QStringLiteral("A"));
    tinyMark_->setToolTip(fullText.isEmpty() ? QString()
                                             : fullText + QStringLiteral("\nA acknowledges."));
    tinyMark_->setVisible(!fullText.isEmpty());
    tinyMark_->raise();
}

void TelemetryControls::tick() {
    if (hooks_.silenceMs && hooks_.silenceMs() != silenceMs_)
        applySettings();
    recorder_.tick(now());
    showLogState();
    updateSound();
}

void TelemetryControls::updateSound() {
    const bool due = !ended_ && recorder_.alarms().soundDue();
    if (due == soundTimer_.isActive())
        return;
    if (due) {
        sound_->play();
        soundTimer_.start();
    } else {
        soundTimer_.stop();
        sound_->stop();
    }
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
