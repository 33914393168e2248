#include "ui/shapes.h"

#include "ui/twips.h"

#include <QPainter>
#include <algorithm>

namespace tarn::ui {

Box::Box(const QColor& fill, const QColor& border, QWidget* parent)
    : QWidget(parent), fill_(fill), border_(border) {
    // It covers its whole rectangle: the values drawn on the display repaint the display
    // alone, not the window behind it as well.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Box::setColor(const QColor& color) {
    if (color == fill_)
        return;
    fill_ = color;
    update();
}

void Box::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), fill_);
    p.setPen(border_);
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

PanelLine::PanelLine(int x1, int y1, int x2, int y2, QWidget* parent) : QWidget(parent) {
    const int left = px(std::min(x1, x2));
    const int top = px(std::min(y1, y2));
    const int right = px(std::max(x1, x2));
    const int bottom = px(std::max(y1, y2));
    setGeometry(left, top, right - left + 1, bottom - top + 1);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void PanelLine::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::WindowText));
}

} // namespace tarn::ui
