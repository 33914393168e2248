#include "ui/panellabel.h"

#include "ui/accessibility.h"
#include "ui/colours.h"
#include "ui/twips.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <algorithm>
#include <cmath>

namespace tarn::ui {

PanelLabel::PanelLabel(const QString& text, const QRect& designTwips, Qt::Alignment alignment,
                       bool autoSize, QWidget* parent)
    : QLabel(parent), design_(designTwips), autoSize_(autoSize) {
    // Some captions carry the amplifier's own bytes: never let them be read as markup.
    setTextFormat(Qt::PlainText);
    // The display's values change with nearly every frame. A screen reader reads them when
    // asked (its accessible name is the text, see installAccessibility()); a label without an
    // accessible name of its own would also tell the accessibility bus of every new value,
    // which costs the panel more than drawing it.
    installAccessibility();
    setAccessibleName(QStringLiteral("text"));
    setText(text);
    setAlignment(alignment | Qt::AlignTop);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(pxRect(design_.x(), design_.y(), design_.width(), design_.height()));
    fit();
}

namespace {
// Enough for every value a meter shows over a session's usual range.
constexpr qsizetype LaidOutKept = 256;
} // namespace

void PanelLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        laidOut_.clear();
        current_.reset();
        lineHeight_ = -1;
    }
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fit();
}

bool PanelLabel::isSingleLine() const {
    return !wordWrap() && !text().contains(QLatin1Char('\n'));
}

const QStaticText& PanelLabel::laidOut() const {
    // Placing, spacing and painting a new value each ask for its layout: the last one answers
    // without a lookup.
    const QString shown = text();
    if (current_ && current_->text() == shown)
        return *current_;
    auto it = laidOut_.constFind(shown);
    if (it == laidOut_.cend()) {
        if (laidOut_.size() >= LaidOutKept)
            laidOut_.clear();
        QStaticText t(shown);
        t.setTextFormat(Qt::PlainText);
        t.setPerformanceHint(QStaticText::AggressiveCaching);
        t.prepare(QTransform(), font());
        it = laidOut_.insert(shown, t);
    }
    current_ = *it;
    return *current_;
}

int PanelLabel::lineHeight() const {
    if (lineHeight_ < 0)
        lineHeight_ = fontMetrics()
                          .boundingRect(QRect(0, 0, 2000, 2000), int(Qt::AlignLeft | Qt::AlignTop),
                                        QStringLiteral("0"))
                          .height();
    return lineHeight_;
}

int PanelLabel::textWidth() const {
    if (text().isEmpty())
        return 0;
    if (!isSingleLine())
        return fontMetrics().horizontalAdvance(text());
    return int(std::ceil(laidOut().size().width()));
}

QRect PanelLabel::inkAt(const QRect& place) const {
    if (text().isEmpty())
        return {};
    return QStyle::alignedRect(Qt::LeftToRight, alignment(), QSize(textWidth(), place.height()),
                               place);
}

QSize PanelLabel::sizeHint() const {
    if (!isSingleLine())
        return QLabel::sizeHint();
    // The label's own margin only narrows its repaints (see fit), so it is not part of the need.
    return QSize(textWidth(), lineHeight());
}

QSize PanelLabel::minimumSizeHint() const {
    return isSingleLine() ? sizeHint() : QLabel::minimumSizeHint();
}

void PanelLabel::paintEvent(QPaintEvent* event) {
    if (!isSingleLine()) {
        QLabel::paintEvent(event);
        return;
    }
    if (text().isEmpty())
        return;
    QPainter p(this);
    // The palette comes back with the colour group of the label's state (disabled, active or
    // not): asking for it once is enough, and each time asks whether the window is active.
    p.setPen(palette().color(foregroundRole()));
    const QRect ink = QStyle::alignedRect(layoutDirection(), alignment(),
                                          QSize(textWidth(), lineHeight()), contentsRect());
    p.drawStaticText(ink.topLeft(), laidOut());
}

void PanelLabel::setCaption(const QString& text) {
    if (text == this->text())
        return;
    setText(text);
    fit();
    // An empty label shows nothing. Hidden, it is also left out when a value it overlaps is
    // repainted (the "No Communication" text lies across both rows of values).
    if (!autoFillBackground())
        setVisible(!text.isEmpty());
}

void PanelLabel::setTextColor(const QColor& colour) {
    // Reading the colour back from the palette asks whether the window is active; a value's
    // colour is set on every frame.
    if (colour == textColor_)
        return;
    textColor_ = colour;
    setPalette(withText(palette(), colour));
}

void PanelLabel::setAutoSize(bool autoSize) {
    autoSize_ = autoSize;
    fit();
}

QRect PanelLabel::fittedGeometry() const {
    const QRect design = pxRect(design_.x(), design_.y(), design_.width(), design_.height());
    if (!autoSize_)
        return geometry();
    const QSize need = sizeHint();
    const int w = std::max(design.width(), need.width());
    const int h = std::max(design.height(), need.height());
    int x = design.x();
    if (alignment() & Qt::AlignRight)
        x = design.x() + design.width() - w;
    else if (alignment() & Qt::AlignHCenter)
        x = design.x() + (design.width() - w) / 2;
    return QRect(x, design.y(), w, h);
}

void PanelLabel::fit() {
    if (!autoSize_)
        return;
    // A value changes on nearly every frame. Setting even an unchanged geometry makes the parent
    // work out again which of its children hide the others; and a label whose size may vary
    // asks its parent for a new layout with every text. Only a real change is applied, and the
    // size is fixed so that a new text asks for nothing.
    const bool single = isSingleLine();
    if (!single && !contentsMargins().isNull())
        setContentsMargins({}); // the label's own size hint counts them
    const QRect g = fittedGeometry();
    if (minimumSize() != g.size() || maximumSize() != g.size())
        setFixedSize(g.size());
    if (pos() != g.topLeft())
        move(g.topLeft());
    // A single line is drawn at the top. A new text repaints the label's contents, so the empty
    // part below the line is left out of them: that is less to paint and to send to the
    // screen for every value.
    const QMargins below(0, 0, 0, single ? std::max(0, g.height() - lineHeight()) : 0);
    if (contentsMargins() != below)
        setContentsMargins(below);
}

} // namespace tarn::ui
