#pragma once

#include "telemetry/history.h"

#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

namespace tarn::ui {

// Time plots of the history: forward and reflected level, SWR, temperature, voltage and
// current, one strip each, with transmit periods shaded, protection trips and band changes
// marked. Each pixel column draws one minimum/maximum pair, so a day costs what a minute does.
class HistoryPlot final : public QWidget {
    Q_OBJECT

public:
    explicit HistoryPlot(const telemetry::History& history, QWidget* parent = nullptr);

    // Fetches the columns for the span ending at `endMs` (monotonic); paints later. Labels add
    // `wallOffsetMs` to show the wall clock.
    void refresh(qint64 endMs, qint64 spanMs, qint64 wallOffsetMs);
    void setLimits(double swrLimit, int temperatureLimitC);

    // Everything at the column under the mouse, "" when it holds nothing.
    QString readoutAt(int x) const;
    std::function<void(const QString&)> onReadout;

    const std::vector<telemetry::Column>& columns() const { return columns_; }
    // Which line is which, in the lines' colours and in words.
    static QString legendHtml();
    // The lowest and highest value a strip shows, as last painted; for tests.
    std::pair<double, double> stripRange(telemetry::Channel channel) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QRect plotArea() const;
    int columnAt(int x) const;

    const telemetry::History& history_;
    std::vector<telemetry::Column> columns_;
    qint64 endMs_ = 0;
    qint64 spanMs_ = 60'000;
    qint64 wallOffsetMs_ = 0;
    std::vector<std::pair<double, double>> ranges_;
    double swrLimit_ = 2.5;
    int temperatureLimitC_ = 70;
    int cursorX_ = -1;
};

} // namespace tarn::ui
