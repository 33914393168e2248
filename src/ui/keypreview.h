#pragma once

#include <QObject>
#include <QWidget>
#include <functional>

namespace tarn::ui {

// Sees the Escape key before whichever control of `window` has the focus, and hands it to
// `onEscape` instead. Keys for other windows (menus, message boxes, the other panel window)
// pass untouched.
class EscapePreview final : public QObject {
    Q_OBJECT

public:
    EscapePreview(QWidget& window, std::function<void()> onEscape);
    ~EscapePreview() override;

    EscapePreview(const EscapePreview&) = delete;
    EscapePreview& operator=(const EscapePreview&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& window_;
    std::function<void()> onEscape_;
};

} // namespace tarn::ui
