#include "ui/icons.h"

#include <QPainter>
#include <QPolygonF>

namespace tarn::ui {

QPixmap applicationPixmap(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    const qreal u = size / 16.0;
    // Case, display, and a bar of green segments with one red at the top end.
    p.fillRect(QRectF(0, 2 * u, 16 * u, 12 * u), QColor(64, 64, 64));
    p.fillRect(QRectF(1 * u, 3 * u, 14 * u, 10 * u), QColor(0, 0, 192));
    for (int i = 0; i < 6; ++i) {
        const QColor c = i < 5 ? QColor(0, 255, 0) : QColor(255, 0, 0);
        p.fillRect(QRectF((2 + 2 * i) * u, 8 * u, 1.5 * u, 3 * u), c);
    }
    p.fillRect(QRectF(2 * u, 5 * u, 6 * u, 1.5 * u), Qt::white);
    return pm;
}

QIcon applicationIcon() {
    QIcon icon;
    icon.addPixmap(applicationPixmap(16));
    icon.addPixmap(applicationPixmap(32));
    return icon;
}

QPixmap arrowPixmap(Arrow direction) {
    QPixmap pm(ArrowWidth, ArrowHeight);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(32, 32, 32));
    // Whole-pixel corners keep the edges crisp at this size.
    const QPolygonF up{{QPointF(1, 9), QPointF(15, 9), QPointF(8, 2)}};
    const QPolygonF down{{QPointF(1, 2), QPointF(15, 2), QPointF(8, 9)}};
    p.drawPolygon(direction == Arrow::Up ? up : down);
    return pm;
}

} // namespace tarn::ui
