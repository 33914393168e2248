#include "ui/messages.h"

#include <QApplication>

namespace tarn::ui {

MessageBoxOperator::MessageBoxOperator(QWidget* owner) : owner_(owner) {}

QMessageBox::Icon MessageBoxOperator::iconFor(int style) {
    switch (style) {
    case core::style::Exclamation:
        return QMessageBox::Warning;
    case core::style::Information:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

std::unique_ptr<QMessageBox> MessageBoxOperator::build(const QString& text, int style,
                                                       const QString& title, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(
        iconFor(style), title.isEmpty() ? QString::fromLatin1(ApplicationTitle) : title, text,
        QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("operator_message"));
    return box;
}

void MessageBoxOperator::showMessage(const QString& text, int style, const QString& title) {
    // While the tiny widget stands in for the main window, the box must come up beside it
    // (and above it: the widget stays on top).
    QWidget* parent = owner_ && owner_->isVisible() ? owner_.data() : QApplication::activeWindow();
    // The nested event loop keeps the poll and time-out timers running while the box is open.
    // The owner may go away while the box is open; the guard keeps us from deleting it twice.
    const QPointer<QMessageBox> box = build(text, style, title, parent).release();
    box->exec();
    delete box.data();
}

} // namespace tarn::ui
