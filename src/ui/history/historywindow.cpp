#include "ui/history/historywindow.h"

#include "ui/history/historyplot.h"

#include <QButtonGroup>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QSaveFile>
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

HistoryWindow::HistoryWindow(const telemetry::History& history, std::function<qint64()> clock,
                             QWidget* parent)
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
    auto* exportButton = new QToolButton(this);
    exportButton->setObjectName(QStringLiteral("exportButton"));
    exportButton->setText(tr("Export CSV..."));
    connect(exportButton, &QToolButton::clicked, this, &HistoryWindow::exportClicked);
    bar->addWidget(exportButton);
    bar->addStretch();
    layout->addLayout(bar);

    plot_ = new HistoryPlot(history_, this);
    layout->addWidget(plot_, 1);
    readout_ = new QLabel(this);
    readout_->setObjectName(QStringLiteral("readoutLabel"));
    readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    readout_->setMinimumHeight(readout_->fontMetrics().height() + 4);
    layout->addWidget(readout_);
    plot_->onReadout = [this](const QString& text) { readout_->setText(text); };

    connect(&timer_, &QTimer::timeout, this, &HistoryWindow::refresh);
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
        plot_->refresh(endMs_, spanMs_);
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
    if (!paused_)
        endMs_ = clock_();
    plot_->refresh(endMs_, spanMs_);
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

bool HistoryWindow::exportTo(const QString& path, QString* error) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    // A day does not fit the frame-by-frame record; it goes out as per-second minima and maxima.
    const bool ok = spanMs_ > telemetry::History::RawSpanMs ? history_.exportSeconds(file)
                                                            : history_.exportRaw(file);
    if (!ok || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

void HistoryWindow::exportClicked() {
    const QString path = QFileDialog::getSaveFileName(this, tr("Export history"), QString(),
                                                      tr("CSV files (*.csv);;All files (*)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!exportTo(path, &error))
        QMessageBox::warning(this, windowTitle(),
                             tr("The history could not be written to %1: %2").arg(path, error));
}

} // namespace tarn::ui
