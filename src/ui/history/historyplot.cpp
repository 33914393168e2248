#include "ui/history/historyplot.h"

#include "protocol/status.h"
#include "telemetry/timeaxis.h"

#include <QDateTime>
#include <QLocale>
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
constexpr int DateLine = 14;     // the dates under the 24 h view's times
constexpr int TickSpacingPx = 72;

struct Strip {
    QString title;
    std::vector<std::pair<Channel, QColor>> lines;
    double fixedMin;
    double fixedMax;
};

struct LegendLine {
    Channel channel;
    QColor colour;
    const char* name;
};
const LegendLine Lines[] = {
    {Channel::Forward, QColor(0, 255, 0), "forward level"},
    {Channel::Reflected, QColor(255, 255, 128), "reflected level"},
    {Channel::Swr, QColor(255, 255, 255), "SWR"},
    {Channel::Temperature, QColor(255, 170, 60), "temperature"},
    {Channel::Voltage, QColor(120, 200, 255), "voltage"},
    {Channel::Current, QColor(255, 120, 255), "current"},
};

QColor colourOf(Channel c) {
    return std::ranges::find(Lines, c, &LegendLine::channel)->colour;
}

const QColor Background(16, 16, 40);
const QColor TransmitShade(40, 70, 40);
const QColor TripColour(255, 40, 40);
const QColor BandColour(120, 160, 255);
const QColor LimitColour(255, 120, 0);

double value(Channel c, int raw) {
    return telemetry::physical(c, raw);
}

QString timeText(qint64 wallMs, bool seconds) {
    return QDateTime::fromMSecsSinceEpoch(wallMs).toLocalTime().toString(seconds ? u"HH:mm:ss"
                                                                                 : u"HH:mm");
}

QString dateText(qint64 wallMs) {
    return QLocale().toString(QDateTime::fromMSecsSinceEpoch(wallMs).toLocalTime().date(),
                              QLocale::ShortFormat);
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
    const int dates = spanMs_ > telemetry::History::RawSpanMs ? DateLine : 0;
    return rect().adjusted(LeftMargin, TopMargin, -RightMargin, -BottomMargin - dates);
}

QString HistoryPlot::legendHtml() {
    const auto item = [](const QColor& colour, const QString& mark, const QString& name) {
        return QStringLiteral("<span style=\"color:%1; background:#101028\">&nbsp;%2&nbsp;</span>"
                              "&nbsp;%3&nbsp;&nbsp; ")
            .arg(colour.name(), mark, name);
    };
    QString html;
    for (const LegendLine& l : Lines)
        html += item(l.colour, QStringLiteral("━━"), tr(l.name));
    html += item(LimitColour, QStringLiteral("╌╌"), tr("alarm limit"));
    html += item(TransmitShade.lighter(200), QStringLiteral("██"), tr("transmit"));
    html += item(TripColour, QStringLiteral("┃"), tr("protection trip"));
    html += item(BandColour, QStringLiteral("┆"), tr("band change"));
    return html;
}

std::pair<double, double> HistoryPlot::stripRange(Channel channel) const {
    static constexpr std::size_t StripOf[] = {0, 0, 1, 3, 4, 2};
    const std::size_t s = StripOf[std::size_t(channel)];
    return s < ranges_.size() ? ranges_[s] : std::pair{0.0, 0.0};
}

void HistoryPlot::refresh(qint64 endMs, qint64 spanMs, qint64 wallOffsetMs) {
    endMs_ = endMs;
    spanMs_ = std::max<qint64>(1, spanMs);
    wallOffsetMs_ = wallOffsetMs;
    columns_ = history_.columns(endMs_ - spanMs_, endMs_, std::max(1, plotArea().width()));
    update();
    if (cursorX_ >= 0 && onReadout)
        onReadout(readoutAt(cursorX_));
}

void HistoryPlot::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    refresh(endMs_, spanMs_, wallOffsetMs_);
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
    const qint64 wall = c.startMs + wallOffsetMs_;
    QString text = (spanMs_ > telemetry::History::RawSpanMs ? dateText(wall) + u' ' : QString()) +
                   timeText(wall, true) + QStringLiteral("  FWD ") +
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
         {{Channel::Forward, colourOf(Channel::Forward)},
          {Channel::Reflected, colourOf(Channel::Reflected)}},
         0,
         15},
        {tr("SWR"), {{Channel::Swr, colourOf(Channel::Swr)}}, 1.0, std::max(3.0, swrLimit_ + 0.5)},
        {tr("°C"),
         {{Channel::Temperature, colourOf(Channel::Temperature)}},
         20,
         double(temperatureLimitC_ + 10)},
        {tr("V"), {{Channel::Voltage, colourOf(Channel::Voltage)}}, 0, 0},
        {tr("A"), {{Channel::Current, colourOf(Channel::Current)}}, 0, 0},
    };
    ranges_.clear();
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
            // A fixed scale widens to the data on either side: a cold amplifier's 12 °C stays
            // in its own strip.
            for (const Column& c : columns_)
                for (const auto& [ch, colour] : strip.lines)
                    if (c.count > 0 && !(ch == Channel::Swr && c.swrMissing())) {
                        hi = std::max(hi, value(ch, c.max[std::size_t(ch)]));
                        if (const double v = value(ch, c.min[std::size_t(ch)]); v < lo)
                            lo = std::floor(v / 5) * 5;
                    }
        }
        ranges_.emplace_back(lo, hi);
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

        // Nothing a strip draws reaches into its neighbours.
        p.setClipRect(QRect(area.left(), top, area.width(), bottom - top + 1));
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
        p.setClipping(false);
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

    // Time axis: ticks on round times of the operator's clock; the 24 h view adds the date
    // under the first tick and under each midnight.
    p.setPen(palette().color(QPalette::WindowText));
    const qint64 fromWall = endMs_ - spanMs_ + wallOffsetMs_;
    const int utcOffset = QDateTime::fromMSecsSinceEpoch(fromWall).toLocalTime().offsetFromUtc();
    const telemetry::TimeTicks ticks = telemetry::timeTicks(
        fromWall, endMs_ + wallOffsetMs_, std::max(2, area.width() / TickSpacingPx), utcOffset);
    const bool dates = spanMs_ > telemetry::History::RawSpanMs;
    bool dated = false;
    for (const qint64 wall : ticks.times) {
        const int x = area.left() + int((wall - fromWall) * (area.width() - 1) / spanMs_);
        p.drawLine(x, area.bottom(), x, area.bottom() + 3);
        QRect box(x - TickSpacingPx / 2, area.bottom() + 3, TickSpacingPx, BottomMargin - 3);
        box.moveLeft(std::clamp(box.left(), 0, width() - box.width()));
        p.drawText(box, Qt::AlignCenter, timeText(wall, ticks.stepMs < 60'000));
        const bool midnight =
            QDateTime::fromMSecsSinceEpoch(wall).toLocalTime().time() == QTime(0, 0);
        if (dates && (!dated || midnight)) {
            const QString date = dateText(wall);
            QRect under(0, box.bottom() + 1, fontMetrics().horizontalAdvance(date) + 6, DateLine);
            under.moveCenter(QPoint(x, under.center().y()));
            under.moveLeft(std::clamp(under.left(), 0, width() - under.width()));
            p.drawText(under, Qt::AlignCenter, date);
            dated = true;
        }
    }

    if (columnAt(cursorX_) >= 0) {
        p.setPen(QColor(255, 255, 255, 140));
        p.drawLine(cursorX_, area.top(), cursorX_, area.bottom());
    }
}

} // namespace tarn::ui
