#pragma once

#include "telemetry/history.h"
#include "telemetry/historyexport.h"

#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class QLabel;
class QToolButton;

namespace tarn::ui {

class HistoryPlot;

// View > History...: the plots over 1 min, 10 min, 1 h or 24 h, scrolling with the clock until
// paused, a legend, a readout of the column under the mouse, and an export of what it shows.
class HistoryWindow final : public QWidget {
    Q_OBJECT

public:
    static constexpr std::array<qint64, 4> SpansMs{60'000, 600'000, 3'600'000, 86'400'000};

    // What an export still running at exit may take before it is cancelled.
    static constexpr qint64 ExitExportBoundMs = 300;

    HistoryWindow(const telemetry::History& history, std::function<telemetry::Stamp()> clock,
                  QWidget* parent = nullptr);

    void setSpan(qint64 spanMs);
    qint64 span() const { return spanMs_; }
    void setPaused(bool paused);
    bool paused() const { return paused_; }
    void setLimits(double swrLimit, int temperatureLimitC);

    // One scroll step: fetches the columns up to now. The timer calls it while shown and live.
    void refresh();
    HistoryPlot& plot() { return *plot_; }

    // What the plot shows (its span, paused or live), copied for an export.
    telemetry::ExportSnapshot shownSnapshot() const;
    // Writes what the plot shows to `path` on a worker thread; the file dialog or a test gives
    // the path. False while an export still runs.
    bool startExport(const QString& path);
    telemetry::ExportJob* exportJob() const { return export_.get(); }
    // Reports an export that ended; the poll timer calls it while one runs.
    void checkExport();
    // At exit: the export may end within `boundMs`, or is cancelled without leaving a file.
    void finishExport(qint64 boundMs);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void exportClicked();
    void updateTimer();

    const telemetry::History& history_;
    std::function<telemetry::Stamp()> clock_;
    HistoryPlot* plot_ = nullptr;
    QLabel* readout_ = nullptr;
    QLabel* exportStatus_ = nullptr;
    QToolButton* pause_ = nullptr;
    QToolButton* exportButton_ = nullptr;
    std::array<QToolButton*, 4> spanButtons_{};
    QTimer timer_;
    QTimer exportTimer_;
    std::unique_ptr<telemetry::ExportJob> export_;
    qint64 spanMs_ = SpansMs[0];
    qint64 endMs_ = 0;
    qint64 wallOffsetMs_ = 0;
    bool paused_ = false;
    bool closeAfterExport_ = false;
};

} // namespace tarn::ui
