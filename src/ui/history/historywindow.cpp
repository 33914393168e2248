#include "ui/history/historywindow.h"

#include "ui/history/historyplot.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

namespace tarn::ui {

namespace {
// Scroll often enough that a column never lags behind by more than a few pixels, and no more:
// at 24 h a column is nearly two minutes wide.
int refreshIntervalMs(qint64 spanMs) {
    if (spanMs <= 60'000)
        return 250;
    if (spanMs <= 600'000)
        return 1'000;
    return 5'000;
}
} // namespace

HistoryWindow::HistoryWindow(const telemetry::History& history,
                             std::function<telemetry::Stamp()> clock, QWidget* parent)
    : QWidget(parent, Qt::Window), history_(history), clock_(std::move(clock)) {
    setObjectName(QStringLiteral("History_Form"));
    setWindowTitle(tr("TARN VQ4400 History"));

    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    auto* group = new QButtonGroup(this);
    static constexpr const char* names[] = {"span1min", "span10min", "span1h", "span24h"};
    const QStringList captions = {tr("1 min"), tr("10 min"), tr("1 h"), tr("24 h")};
    for (std::size_t i = 0; i < SpansMs.size(); ++i) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(names[i]));
        b->setText(captions[qsizetype(i)]);
        b->setCheckable(true);
        group->addButton(b);
        bar->addWidget(b);
        const qint64 span = SpansMs[i];
        connect(b, &QToolButton::clicked, this, [this, span] { setSpan(span); });
        spanButtons_[i] = b;
    }
    spanButtons_[0]->setChecked(true);
    bar->addSpacing(16);
    pause_ = new QToolButton(this);
    pause_->setObjectName(QStringLiteral("pauseButton"));
    pause_->setText(tr("Pause"));
    pause_->setCheckable(true);
    connect(pause_, &QToolButton::toggled, this, &HistoryWindow::setPaused);
    bar->addWidget(pause_);
    exportButton_ = new QToolButton(this);
    exportButton_->setObjectName(QStringLiteral("exportButton"));
    exportButton_->setText(tr("Export CSV..."));
    exportButton_->setToolTip(tr("Writes what the plot shows: every frame up to the 1 h span, "
                                 "per-second minima and maxima for 24 h."));
    connect(exportButton_, &QToolButton::clicked, this, &HistoryWindow::exportClicked);
    bar->addWidget(exportButton_);
    exportStatus_ = new QLabel(this);
    exportStatus_->setObjectName(QStringLiteral("exportStatus"));
    bar->addWidget(exportStatus_);
    bar->addStretch();
    layout->addLayout(bar);

    plot_ = new HistoryPlot(history_, this);
    layout->addWidget(plot_, 1);
    auto* legend = new QLabel(plot_->legendHtml(), this);
    legend->setObjectName(QStringLiteral("legendLabel"));
    legend->setTextFormat(Qt::RichText);
    layout->addWidget(legend);
    readout_ = new QLabel(this);
    readout_->setObjectName(QStringLiteral("readoutLabel"));
    readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    readout_->setMinimumHeight(readout_->fontMetrics().height() + 4);
    layout->addWidget(readout_);
    plot_->onReadout = [this](const QString& text) { readout_->setText(text); };

    connect(&timer_, &QTimer::timeout, this, &HistoryWindow::refresh);
    connect(&exportTimer_, &QTimer::timeout, this, &HistoryWindow::checkExport);
    // Escape closes it, as it closes the panel's dialogs.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    resize(820, 560);
}

void HistoryWindow::setSpan(qint64 spanMs) {
    spanMs_ = spanMs;
    for (std::size_t i = 0; i < SpansMs.size(); ++i)
        spanButtons_[i]->setChecked(SpansMs[i] == spanMs);
    if (paused_)
        plot_->refresh(endMs_, spanMs_, wallOffsetMs_);
    else
        refresh();
    updateTimer();
}

void HistoryWindow::setPaused(bool paused) {
    paused_ = paused;
    pause_->setChecked(paused);
    pause_->setText(paused ? tr("Live") : tr("Pause"));
    if (!paused)
        refresh();
    updateTimer();
}

void HistoryWindow::setLimits(double swrLimit, int temperatureLimitC) {
    plot_->setLimits(swrLimit, temperatureLimitC);
    plot_->update();
}

void HistoryWindow::refresh() {
    if (!paused_) {
        const telemetry::Stamp now = clock_();
        endMs_ = now.monoMs;
        wallOffsetMs_ = now.wallOffsetMs();
    }
    plot_->refresh(endMs_, spanMs_, wallOffsetMs_);
}

void HistoryWindow::updateTimer() {
    if (isVisible() && !paused_)
        timer_.start(refreshIntervalMs(spanMs_));
    else
        timer_.stop();
}

void HistoryWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
    updateTimer();
}

void HistoryWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    timer_.stop();
}

void HistoryWindow::closeEvent(QCloseEvent* event) {
    // The window goes; the export it started finishes first, and then reports.
    if (export_ && !export_->done()) {
        closeAfterExport_ = true;
        hide();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

telemetry::ExportSnapshot HistoryWindow::shownSnapshot() const {
    return history_.snapshot(endMs_ - spanMs_, endMs_, wallOffsetMs_);
}

bool HistoryWindow::startExport(const QString& path) {
    if (export_ && !export_->done())
        return false;
    // The copy takes a few milliseconds for an hour at a 10 ms poll; the writing goes on
    // beside the poll.
    export_ = std::make_unique<telemetry::ExportJob>(shownSnapshot(), path);
    exportButton_->setEnabled(false);
    exportStatus_->setText(tr("Exporting %n rows...", nullptr, int(export_->rows())));
    exportTimer_.start(100);
    return true;
}

void HistoryWindow::checkExport() {
    if (!export_ || !export_->done())
        return;
    exportTimer_.stop();
    exportButton_->setEnabled(true);
    if (export_->ok()) {
        exportStatus_->setText(
            tr("%n rows written to %1", nullptr, int(export_->rows())).arg(export_->path()));
    } else {
        exportStatus_->setText(tr("Export failed"));
        // Not modal: the window may be closing, and nothing waits for the answer.
        auto* box = new QMessageBox(
            QMessageBox::Warning, windowTitle(),
            tr("The history could not be written to %1: %2").arg(export_->path(), export_->error()),
            QMessageBox::Ok, closeAfterExport_ ? parentWidget() : this);
        box->setObjectName(QStringLiteral("exportMessage"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->show();
    }
    if (std::exchange(closeAfterExport_, false))
        close();
}

void HistoryWindow::finishExport(qint64 boundMs) {
    if (export_ && !export_->finish(boundMs))
        export_.reset();
    exportTimer_.stop();
    closeAfterExport_ = false;
}

void HistoryWindow::exportClicked() {
    // Named after the end of what is shown, so a second export never offers the first's name.
    const QString suggested =
        QDateTime::fromMSecsSinceEpoch(endMs_ + wallOffsetMs_)
            .toString(QStringLiteral("'tarn-vq4400-history-'yyyy-MM-dd-HHmmss'.csv'"));
    const QString path = QFileDialog::getSaveFileName(this, tr("Export history"), suggested,
                                                      tr("CSV files (*.csv);;All files (*)"));
    if (!path.isEmpty())
        startExport(path);
}

} // namespace tarn::ui
