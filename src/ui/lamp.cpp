#include "ui/lamp.h"

#include "ui/colours.h"
#include "ui/twips.h"

#include <QAccessible>
#include <QPainter>
#include <QPixmapCache>

namespace tarn::ui {

namespace {
const QColor RimGrey(192, 192, 192);
const QColor GrilleFill(64, 64, 64);

constexpr int GrilleLeft = 180;
constexpr int GrilleTop = 2970;
constexpr int GrillePitch = 180;
constexpr int GrilleRowPitch = 150;
constexpr int GrilleCircle = 150;
constexpr int GrilleRows = 5;
} // namespace

Lamp::Lamp(Style style, const QColor& color, QWidget* parent)
    : QWidget(parent), style_(style), color_(color) {
    // A lamp covers its whole rectangle, so a change of colour repaints the lamp alone and not
    // the window behind it.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Lamp::setColor(const QColor& color) {
    if (color == color_)
        return;
    const bool wasLit = isLit();
    color_ = color;
    update();
    if (wasLit != isLit() && !title_.isEmpty()) {
        nameState();
        QAccessible::State changed;
        changed.checked = true;
        QAccessibleStateChangeEvent event(this, changed);
        QAccessible::updateAccessibility(&event);
    }
}

bool Lamp::isLit() const {
    return color_ != colours::Off;
}

void Lamp::setTitle(const QString& title) {
    title_ = title;
    nameState();
}

void Lamp::nameState() {
    setAccessibleName(title_ + (isLit() ? QStringLiteral(": on") : QStringLiteral(": off")));
}

Bar::Bar(const QString& title, QWidget* parent) : QWidget(parent), title_(title) {
    // The segments cover the bar; the gaps between them show the window behind.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

Lamp* Bar::addSegment(Lamp::Style style, const QColor& color, const QRect& placeInParent) {
    auto* l = new Lamp(style, color, this);
    l->setGeometry(placeInParent.translated(-pos()));
    segments_.push_back(l);
    return l;
}

void Bar::fit() {
    QRect bounds;
    for (const Lamp* l : segments_)
        bounds |= l->geometry();
    for (Lamp* l : segments_)
        l->move(l->pos() - bounds.topLeft());
    setGeometry(bounds.translated(pos()));
    refresh();
}

void Bar::refresh() {
    value_ = 0;
    for (std::size_t i = 0; i < segments_.size(); ++i)
        if (segments_[i]->isLit())
            value_ = int(i) + 1;
}

QString Bar::name() const {
    return QStringLiteral("%1: %2 of %3").arg(title_).arg(value_).arg(maximum());
}

namespace {

// A round lamp drawn once per colour, size and pixel ratio: the bars change colour on nearly
// every frame, and drawing a picture is much cheaper than stroking two antialiased ellipses.
QPixmap roundLamp(const QColor& color, const QColor& ground, QSize size, qreal ratio) {
    const QString key = QStringLiteral("tarn-lamp-%1-%2-%3x%4-%5")
                            .arg(color.rgba(), 0, 16)
                            .arg(ground.rgba(), 0, 16)
                            .arg(size.width())
                            .arg(size.height())
                            .arg(ratio);
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap))
        return pixmap;
    pixmap = QPixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(ground);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // A 2-pixel pen centred one pixel inside the edge keeps the whole rim within the widget.
    const QRectF circle = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(1, 1, -1, -1);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(circle);
    p.setBrush(color);
    p.setPen(QPen(RimGrey, 2));
    p.drawEllipse(circle);
    p.end();
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

} // namespace

const QPixmap& Lamp::picture(QRgb ground, qreal ratio) {
    const QRgb color = color_.rgba();
    for (const Picture& r : recent_)
        if (r.color == color && r.ground == ground && r.size == size() && r.ratio == ratio &&
            !r.pixmap.isNull())
            return r.pixmap;
    Picture& r = recent_[older_];
    older_ = 1 - older_;
    r = {color, ground, size(), ratio, roundLamp(color_, QColor::fromRgba(ground), size(), ratio)};
    return r.pixmap;
}

void Lamp::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (style_ == Style::Square) {
        p.fillRect(rect(), color_);
        return;
    }
    // The corners show the window behind, so the picture is opaque like the lamp.
    const QWidget* behind = parentWidget() ? parentWidget() : this;
    p.drawPixmap(
        0, 0,
        picture(behind->palette().color(behind->backgroundRole()).rgba(), devicePixelRatioF()));
}

Grille::Grille(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QList<QRect> Grille::circlesTwips() {
    QList<QRect> circles;
    for (int row = 0; row < GrilleRows; ++row) {
        // Odd rows sit half a pitch to the right and hold one circle less.
        const bool shifted = row % 2 == 1;
        const int first = GrilleLeft + (shifted ? GrillePitch / 2 : 0);
        const int count = shifted ? 43 : 44;
        for (int i = 0; i < count; ++i)
            circles << QRect(first + i * GrillePitch, GrilleTop + row * GrilleRowPitch,
                             GrilleCircle, GrilleCircle);
    }
    return circles;
}

QRect Grille::boundsTwips() {
    QRect bounds;
    for (const QRect& c : circlesTwips())
        bounds = bounds.united(c);
    return bounds;
}

void Grille::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPoint origin = pxPoint(boundsTwips().left(), boundsTwips().top());
    for (const QRect& c : circlesTwips()) {
        const QRectF r = QRectF(pxRect(c.x(), c.y(), c.width(), c.height()).translated(-origin))
                             .adjusted(0.5, 0.5, -0.5, -0.5);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(r);
        p.setPen(QPen(RimGrey, 1));
        p.setBrush(GrilleFill);
        p.drawEllipse(r);
    }
}

} // namespace tarn::ui
