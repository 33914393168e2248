#include "ui/panellabel.h"

#include "ui/twips.h"

#include <QEvent>
#include <algorithm>

namespace tarn::ui {

PanelLabel::PanelLabel(const QString& text, const QRect& designTwips, Qt::Alignment alignment,
                       bool autoSize, QWidget* parent)
    : QLabel(parent), design_(designTwips), autoSize_(autoSize) {
    // Some captions carry the amplifier's own bytes: never let them be read as markup.
    setTextFormat(Qt::PlainText);
    setText(text);
    setAlignment(alignment | Qt::AlignTop);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(pxRect(design_.x(), design_.y(), design_.width(), design_.height()));
    fit();
}

void PanelLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fit();
}

void PanelLabel::setCaption(const QString& text) {
    if (text == this->text())
        return;
    setText(text);
    fit();
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
    if (autoSize_)
        setGeometry(fittedGeometry());
}

} // namespace tarn::ui
