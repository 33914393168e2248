#pragma once

#include "telemetry/history.h"

#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>

class QLabel;
class QToolButton;

namespace tarn::ui {

class HistoryPlot;

// View > History...: the plots over 1 min, 10 min, 1 h or 24 h, scrolling with the clock until
// paused, a readout of the column under the mouse, and an export of what the history holds.
class HistoryWindow final : public QWidget {
    Q_OBJECT

public:
    static constexpr std::array<qint64, 4> SpansMs{60'000, 600'000, 3'600'000, 86'400'000};

    HistoryWindow(const telemetry::History& history, std::function<qint64()> clock,
                  QWidget* parent = nullptr);

    void setSpan(qint64 spanMs);
    qint64 span() const { return spanMs_; }
    void setPaused(bool paused);
    bool paused() const { return paused_; }
    void setLimits(double swrLimit, int temperatureLimitC);

    // One scroll step: fetches the columns up to now. The timer calls it while shown and live.
    void refresh();
    HistoryPlot& plot() { return *plot_; }

    // The export writes here; a test or the file dialog supplies the path.
    bool exportTo(const QString& path, QString* error) const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void exportClicked();
    void updateTimer();

    const telemetry::History& history_;
    std::function<qint64()> clock_;
    HistoryPlot* plot_ = nullptr;
    QLabel* readout_ = nullptr;
    QToolButton* pause_ = nullptr;
    std::array<QToolButton*, 4> spanButtons_{};
    QTimer timer_;
    qint64 spanMs_ = SpansMs[0];
    qint64 endMs_ = 0;
    bool paused_ = false;
};

} // namespace tarn::ui
