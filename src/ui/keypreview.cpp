#include "ui/keypreview.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace tarn::ui {

EscapePreview::EscapePreview(QWidget& window, std::function<void()> onEscape)
    : QObject(&window), window_(window), onEscape_(std::move(onEscape)) {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

EscapePreview::~EscapePreview() {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

bool EscapePreview::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Escape)
        return false;
    if (static_cast<QWidget*>(watched)->window() != &window_)
        return false;
    // A menu bar the keyboard walks (after Alt or F10) is left with Escape first, as everywhere.
    if (watched->inherits("QMenuBar"))
        return false;
    if (onEscape_)
        onEscape_();
    return true;
}

} // namespace tarn::ui
