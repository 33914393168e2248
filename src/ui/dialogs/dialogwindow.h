#pragma once

#include <QSize>
#include <Qt>

class QString;
class QWidget;

namespace tarn::ui {

// A dialog's frame: caption with a close box, no minimise or maximise box.
constexpr Qt::WindowFlags dialogWindowFlags() {
    return Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowCloseButtonHint;
}

// The layouts were drawn for a narrower face than the substitutes installed here. Among the
// window's own labels, a grown single-line label pushes the label after it on the same row to
// the right; a wrapped label takes the lines it needs and pushes everything below it down.
// Returns the client size that holds the result: the design size, grown by what was pushed.
QSize makeRoom(QWidget& window, QSize designClientPx);

class PanelLabel;
// A new caption for a label that makeRoom may have moved: it stays where the room was made.
void setCaptionInPlace(PanelLabel& label, const QString& text);

// A caption for `label` that follows `anchor` on its row, however wide the anchor has grown;
// the window widens when the caption needs it.
void placeBeside(PanelLabel& label, const PanelLabel& anchor, const QString& text);

// Shows a dialog that may be hidden, minimised or behind other windows: restored, raised and
// active.
void bringUp(QWidget& dialog);

} // namespace tarn::ui
