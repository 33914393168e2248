#include "ui/history/historyplot.h"

#include "protocol/status.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace tarn::ui {

namespace {

using telemetry::Channel;
using telemetry::Column;
using telemetry::Sample;

constexpr int LeftMargin = 56;
constexpr int RightMargin = 8;
constexpr int TopMargin = 16;    // band change labels
constexpr int BottomMargin = 18; // time axis

struct Strip {
    QString title;
    std::vector<std::pair<Channel, QColor>> lines;
    double fixedMin;
    double fixedMax;
};

const QColor Background(16, 16, 40);
const QColor TransmitShade(40, 70, 40);
const QColor TripColour(255, 40, 40);
const QColor BandColour(120, 160, 255);
const QColor LimitColour(255, 120, 0);

double value(Channel c, int raw) {
    return telemetry::physical(c, raw);
}

QString timeText(qint64 ms, bool seconds) {
    return QDateTime::fromMSecsSinceEpoch(ms).toLocalTime().toString(seconds ? u"HH:mm:ss"
                                                                             : u"HH:mm");
}

} // namespace

HistoryPlot::HistoryPlot(const telemetry::History& history, QWidget* parent)
    : QWidget(parent), history_(history) {
    setObjectName(QStringLiteral("historyPlot"));
    setMouseTracking(true);
    setMinimumSize(480, 360);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void HistoryPlot::setLimits(double swrLimit, int temperatureLimitC) {
    swrLimit_ = swrLimit;
    temperatureLimitC_ = temperatureLimitC;
}

QRect HistoryPlot::plotArea() const {
    return rect().adjusted(LeftMargin, TopMargin, -RightMargin, -BottomMargin);
}

void HistoryPlot::refresh(qint64 endMs, qint64 spanMs) {
    endMs_ = endMs;
    spanMs_ = std::max<qint64>(1, spanMs);
    columns_ = history_.columns(endMs_ - spanMs_, endMs_, std::max(1, plotArea().width()));
    update();
    if (cursorX_ >= 0 && onReadout)
        onReadout(readoutAt(cursorX_));
}

void HistoryPlot::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    refresh(endMs_, spanMs_);
}

int HistoryPlot::columnAt(int x) const {
    const int i = x - plotArea().left();
    return i >= 0 && i < int(columns_.size()) ? i : -1;
}

QString HistoryPlot::readoutAt(int x) const {
    const int i = columnAt(x);
    if (i < 0 || columns_[std::size_t(i)].count == 0)
        return {};
    const Column& c = columns_[std::size_t(i)];
    const auto range = [&c](Channel ch, int decimals, const QString& unit) {
        const auto k = std::size_t(ch);
        if (ch == Channel::Swr && c.swrMissing())
            return QStringLiteral("-.-");
        const QString lo = QString::number(value(ch, c.min[k]), 'f', decimals);
        const QString hi = QString::number(value(ch, c.max[k]), 'f', decimals);
        return (lo == hi ? lo : lo + QStringLiteral("…") + hi) + unit;
    };
    QString text = timeText(c.startMs, true) + QStringLiteral("  FWD ") +
                   range(Channel::Forward, 0, {}) + QStringLiteral("  REF ") +
                   range(Channel::Reflected, 0, {}) + QStringLiteral("  SWR ") +
                   range(Channel::Swr, 1, {}) + QStringLiteral("  ") +
                   range(Channel::Temperature, 0, QStringLiteral(" °C")) + QStringLiteral("  ") +
                   range(Channel::Voltage, 1, QStringLiteral(" V")) + QStringLiteral("  ") +
                   range(Channel::Current, 1, QStringLiteral(" A")) + QStringLiteral("  ") +
                   protocol::bandText(c.band);
    if (c.flagsAny & Sample::Transmit)
        text += QStringLiteral("  TX");
    if (c.flagsAny & Sample::Operate)
        text += QStringLiteral("  OPER");
    if (c.flagsAny & Sample::Protection)
        text += QStringLiteral("  PROTECTION");
    return text;
}

void HistoryPlot::mouseMoveEvent(QMouseEvent* event) {
    cursorX_ = int(event->position().x());
    update();
    if (onReadout)
        onReadout(readoutAt(cursorX_));
}

void HistoryPlot::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    cursorX_ = -1;
    update();
    if (onReadout)
        onReadout({});
}

void HistoryPlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const QRect area = plotArea();
    p.fillRect(area, Background);

    const std::vector<Strip> strips = {
        {tr("Level"),
         {{Channel::Forward, QColor(0, 255, 0)}, {Channel::Reflected, QColor(255, 255, 128)}},
         0,
         15},
        {tr("SWR"), {{Channel::Swr, QColor(255, 255, 255)}}, 1.0, std::max(3.0, swrLimit_ + 0.5)},
        {tr("°C"),
         {{Channel::Temperature, QColor(255, 170, 60)}},
         20,
         double(temperatureLimitC_ + 10)},
        {tr("V"), {{Channel::Voltage, QColor(120, 200, 255)}}, 0, 0},
        {tr("A"), {{Channel::Current, QColor(255, 120, 255)}}, 0, 0},
    };
    const int n = int(columns_.size());
    const int stripCount = int(strips.size());
    const double stripHeight = double(area.height()) / stripCount;

    // Transmit periods and protection behind everything. A column between two polls keeps
    // the state before it, unless a silence follows.
    std::uint8_t shade = 0;
    for (int i = 0; i < n; ++i) {
        const Column& c = columns_[std::size_t(i)];
        if (c.count > 0) {
            shade = c.flagsAny;
        } else {
            int next = i + 1;
            while (next < n && columns_[std::size_t(next)].count == 0)
                ++next;
            if (next == n || (columns_[std::size_t(next)].flagsAny & Sample::AfterGap))
                shade = 0;
        }
        const int x = area.left() + i;
        if (shade & Sample::Protection)
            p.fillRect(x, area.top(), 1, area.height(), QColor(90, 20, 20));
        else if (shade & Sample::Transmit)
            p.fillRect(x, area.top(), 1, area.height(), TransmitShade);
    }

    for (int s = 0; s < stripCount; ++s) {
        const Strip& strip = strips[std::size_t(s)];
        const int top = area.top() + int(std::lround(s * stripHeight));
        const int bottom = area.top() + int(std::lround((s + 1) * stripHeight)) - 1;
        double lo = strip.fixedMin;
        double hi = strip.fixedMax;
        // Supply strips follow their data, so a small sag still shows.
        if (hi <= lo) {
            lo = 1e9;
            hi = -1e9;
            for (const Column& c : columns_) {
                if (c.count == 0)
                    continue;
                for (const auto& [ch, colour] : strip.lines) {
                    lo = std::min(lo, value(ch, c.min[std::size_t(ch)]));
                    hi = std::max(hi, value(ch, c.max[std::size_t(ch)]));
                }
            }
            if (lo > hi) {
                lo = 0;
                hi = 1;
            }
            const double pad = std::max(0.5, (hi - lo) * 0.1);
            lo = std::max(0.0, lo - pad);
            hi += pad;
        } else {
            for (const Column& c : columns_)
                for (const auto& [ch, colour] : strip.lines)
                    if (c.count > 0 && !(ch == Channel::Swr && c.swrMissing()))
                        hi = std::max(hi, value(ch, c.max[std::size_t(ch)]));
        }
        const auto yOf = [&](double v) {
            const double f = (v - lo) / (hi - lo);
            return bottom - int(std::lround(f * (bottom - top - 2))) - 1;
        };

        p.setPen(QColor(70, 70, 110));
        p.drawLine(area.left(), bottom, area.right(), bottom);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(QRect(0, top, LeftMargin - 4, bottom - top), Qt::AlignRight | Qt::AlignVCenter,
                   strip.title);
        p.drawText(QRect(0, top, LeftMargin - 4, 14), Qt::AlignRight | Qt::AlignTop,
                   QString::number(hi, 'f', hi - lo < 10 ? 1 : 0));
        p.drawText(QRect(0, bottom - 14, LeftMargin - 4, 14), Qt::AlignRight | Qt::AlignBottom,
                   QString::number(lo, 'f', hi - lo < 10 ? 1 : 0));

        if (strip.lines.front().first == Channel::Swr ||
            strip.lines.front().first == Channel::Temperature) {
            const double limit =
                strip.lines.front().first == Channel::Swr ? swrLimit_ : temperatureLimitC_;
            p.setPen(QPen(LimitColour, 1, Qt::DashLine));
            p.drawLine(area.left(), yOf(limit), area.right(), yOf(limit));
        }

        for (const auto& [ch, colour] : strip.lines) {
            p.setPen(colour);
            const auto k = std::size_t(ch);
            int prev = -1;
            for (int i = 0; i < n; ++i) {
                const Column& c = columns_[std::size_t(i)];
                if (c.count == 0)
                    continue;
                const bool missing = ch == Channel::Swr && c.swrMissing();
                if (c.flagsAny & Sample::AfterGap)
                    prev = -1;
                if (missing) {
                    prev = -1;
                    continue;
                }
                int yMin = yOf(value(ch, c.min[k]));
                int yMax = yOf(value(ch, c.max[k]));
                const int x = area.left() + i;
                if (prev >= 0) {
                    const Column& q = columns_[std::size_t(prev)];
                    if (prev == i - 1) {
                        // Reach over to the neighbour so a steep change stays one line.
                        yMin = std::max(yMin, yOf(value(ch, q.max[k])));
                        yMax = std::min(yMax, yOf(value(ch, q.min[k])));
                    } else {
                        p.drawLine(area.left() + prev, yOf(value(ch, (q.min[k] + q.max[k]) / 2)), x,
                                   yOf(value(ch, (c.min[k] + c.max[k]) / 2)));
                    }
                }
                p.drawLine(x, std::min(yMin, yMax), x, std::max(yMin, yMax));
                prev = i;
            }
        }
    }

    // Trips and band changes over the plots.
    for (int i = 0; i < n; ++i) {
        const Column& c = columns_[std::size_t(i)];
        const int x = area.left() + i;
        if (c.flagsAny & Sample::TripStart) {
            p.setPen(QPen(TripColour, 2));
            p.drawLine(x, area.top(), x, area.bottom());
        }
        if (c.flagsAny & Sample::BandChange) {
            p.setPen(QPen(BandColour, 1, Qt::DashLine));
            p.drawLine(x, area.top(), x, area.bottom());
            p.setPen(BandColour);
            p.drawText(QPoint(x + 2, TopMargin - 3), protocol::bandText(c.band));
        }
    }

    // Time axis: five ticks.
    p.setPen(palette().color(QPalette::WindowText));
    const bool seconds = spanMs_ <= 3'600'000;
    for (int t = 0; t <= 4; ++t) {
        const int x = area.left() + t * (area.width() - 1) / 4;
        const qint64 ms = endMs_ - spanMs_ + qint64(t) * spanMs_ / 4;
        p.drawLine(x, area.bottom(), x, area.bottom() + 3);
        const Qt::Alignment align = t == 0   ? Qt::AlignLeft
                                    : t == 4 ? Qt::AlignRight
                                             : Qt::AlignHCenter;
        QRect box(x - 40, area.bottom() + 3, 80, BottomMargin - 3);
        if (t == 0)
            box.moveLeft(x);
        if (t == 4)
            box.moveRight(x);
        p.drawText(box, align | Qt::AlignVCenter, timeText(ms, seconds));
    }

    if (columnAt(cursorX_) >= 0) {
        p.setPen(QColor(255, 255, 255, 140));
        p.drawLine(cursorX_, area.top(), cursorX_, area.bottom());
    }
}

} // namespace tarn::ui
