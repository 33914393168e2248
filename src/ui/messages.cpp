#include "ui/messages.h"

#include <QApplication>
#include <QGridLayout>
#include <QSpacerItem>

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
    // The window manager cuts a title longer than the box is wide; a long title ("No Free Com
    // Ports Found" over a one-line text) widens the box. Title bars use a bolder, larger face
    // than the box, and hold the close box and the icon as well.
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
        const int titleWidth =
            box->fontMetrics().horizontalAdvance(box->windowTitle()) * 5 / 4 + 120;
        grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    return box;
}

QWidget* MessageBoxOperator::parentFor(QWidget* owner) {
    // A box belongs to the window that asked for it, so it never shows behind that window.
    if (QWidget* active = QApplication::activeWindow(); active && active->isVisible())
        return active;
    return owner && owner->isVisible() ? owner : nullptr;
}

void MessageBoxOperator::showMessage(const QString& text, int style, const QString& title) {
    // While the tiny widget stands in for the main window, the box must come up beside it
    // (and above it: the widget stays on top); a dialog's box belongs to the dialog.
    QWidget* parent = parentFor(owner_.data());
    // The nested event loop keeps the poll and time-out timers running while the box is open.
    // The owner may go away while the box is open; the guard keeps us from deleting it twice.
    const QPointer<QMessageBox> box = build(text, style, title, parent).release();
    box->exec();
    delete box.data();
}

} // namespace tarn::ui

namespace tarn::ui {

void MessageBoxOperator::showNotice(const QString& text) {
    if (notice_) {
        notice_->setText(text);
        return;
    }
    notice_ = build(text, core::style::Exclamation, {}, parentFor(owner_.data())).release();
    notice_->setObjectName(QStringLiteral("operator_notice"));
    notice_->setModal(false);
    notice_->setWindowModality(Qt::NonModal);
    notice_->setAttribute(Qt::WA_DeleteOnClose);
    notice_->show();
}

} // namespace tarn::ui
