#include "ui/dialogs/dialogwindow.h"

#include "ui/panellabel.h"
#include "ui/twips.h"

#include <QWidget>
#include <algorithm>

namespace tarn::ui {

namespace {

// How far makeRoom moved a label from its design place.
constexpr char ShiftProperty[] = "roomShift";

void shift(QWidget* w, QPoint by) {
    w->move(w->pos() + by);
    if (qobject_cast<PanelLabel*>(w))
        w->setProperty(ShiftProperty, w->property(ShiftProperty).toPoint() + by);
}

QRect designPx(const PanelLabel* l) {
    const QRect d = l->designTwips();
    return pxRect(d.x(), d.y(), d.width(), d.height());
}

bool sameRow(const QRect& a, const QRect& b) {
    return a.top() <= b.bottom() && b.top() <= a.bottom();
}

bool sameColumn(const QRect& a, const QRect& b) {
    return a.left() <= b.right() && b.left() <= a.right();
}

// How far the children reach; with `atDesign`, labels count at their design boxes.
QPoint reach(const QList<QWidget*>& children, bool atDesign) {
    QPoint far(0, 0);
    for (const QWidget* w : children) {
        const auto* l = qobject_cast<const PanelLabel*>(w);
        const QRect r = l && atDesign ? designPx(l) : w->geometry();
        far = QPoint(std::max(far.x(), r.right()), std::max(far.y(), r.bottom()));
    }
    return far;
}

} // namespace

QSize makeRoom(QWidget& window, QSize designClientPx) {
    const QList<QWidget*> children = window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    QList<PanelLabel*> labels = window.findChildren<PanelLabel*>(Qt::FindDirectChildrenOnly);
    const QPoint before = reach(children, true);

    // Rows first, left to right: a neighbour keeps its design gap to the label before it.
    std::sort(labels.begin(), labels.end(), [](const PanelLabel* a, const PanelLabel* b) {
        return a->designTwips().x() < b->designTwips().x();
    });
    for (const PanelLabel* a : labels) {
        for (PanelLabel* b : labels) {
            const QRect da = designPx(a);
            const QRect db = designPx(b);
            if (a == b || a->wordWrap() || !sameRow(da, db) || db.left() <= da.right())
                continue;
            const int wanted = a->geometry().right() + (db.left() - da.right());
            if (b->geometry().left() < wanted)
                shift(b, QPoint(wanted - b->geometry().left(), 0));
        }
    }

    // Then columns, top to bottom; pushes add up as they go.
    std::sort(labels.begin(), labels.end(), [](const PanelLabel* a, const PanelLabel* b) {
        return a->designTwips().y() < b->designTwips().y();
    });
    for (PanelLabel* l : labels) {
        if (!l->wordWrap())
            continue;
        const int grow = l->heightForWidth(l->width()) - l->height();
        if (grow <= 0)
            continue;
        const QRect old = l->geometry();
        l->resize(old.width(), old.height() + grow);
        for (QWidget* w : children) {
            if (w != l && w->y() > old.bottom() && sameColumn(old, w->geometry()))
                shift(w, QPoint(0, grow));
        }
    }

    const QPoint after = reach(children, false);
    return designClientPx +
           QSize(std::max(0, after.x() - before.x()), std::max(0, after.y() - before.y()));
}

void placeBeside(PanelLabel& label, const PanelLabel& anchor, const QString& text) {
    label.setCaption(text);
    label.move(anchor.geometry().right() + 1 + px(90), anchor.y());
    QWidget* window = label.window();
    const int need = label.text().isEmpty() ? 0 : label.geometry().right() + 1 + px(150);
    if (need > window->width()) {
        if (window->minimumWidth() == window->maximumWidth())
            window->setFixedWidth(need);
        else
            window->resize(need, window->height());
    }
}

void bringUp(QWidget& dialog) {
    // A minimised window stays minimised on show() and raise(): restore it first.
    if (dialog.isMinimized())
        dialog.setWindowState(dialog.windowState() & ~Qt::WindowMinimized);
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
}

void setCaptionInPlace(PanelLabel& label, const QString& text) {
    if (label.text() == text)
        return;
    label.setCaption(text); // fitted at its design place
    label.move(label.pos() + label.property(ShiftProperty).toPoint());
}

} // namespace tarn::ui
