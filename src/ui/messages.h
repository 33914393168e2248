#pragma once

#include "core/views.h"

#include <QMessageBox>
#include <QPointer>
#include <memory>

namespace tarn::ui {

inline constexpr char ApplicationTitle[] = "tarn-vq4400";

// The operator's message boxes: OK only, with no icon (style 0), an exclamation (48) or an
// information icon (64). Other styles show no icon.
class MessageBoxOperator final : public core::OperatorView {
public:
    // The box centres on `owner` while it is visible, otherwise on the active window.
    explicit MessageBoxOperator(QWidget* owner = nullptr);

    void showMessage(const QString& text, int style, const QString& title) override;
    // A box that does not hold the operator up; a newer notice replaces the text of one open.
    void showNotice(const QString& text) override;

    // The box as it would be shown, for callers that want it without running it.
    static std::unique_ptr<QMessageBox> build(const QString& text, int style, const QString& title,
                                              QWidget* parent);
    static QMessageBox::Icon iconFor(int style);
    // Whose box it is: the window the operator works in (a dialog that asked), else the owner
    // while it is shown, else none.
    static QWidget* parentFor(QWidget* owner);

private:
    QPointer<QWidget> owner_;
    QPointer<QMessageBox> notice_;
};

} // namespace tarn::ui
