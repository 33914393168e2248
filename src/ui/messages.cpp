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
    // Texts separate their lines with bare carriage returns, which a Qt label does not break
    // on; the text itself stays as given, only its display changes.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    auto box = std::make_unique<QMessageBox>(
        iconFor(style), title.isEmpty() ? QString::fromLatin1(ApplicationTitle) : title, shown,
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
