#pragma once

#include "core/views.h"
#include "protocol/commands.h"
#include "ui/display.h"
#include "ui/framepacer.h"
#include "ui/frameplace.h"

#include <QWidget>
#include <array>

class QPushButton;

namespace tarn::core {
class Panel;
}

namespace tarn::ui {

class Announcer;
class Box;
class EscapePreview;
class Lamp;
class PanelLabel;

// The tiny widget, `tiny_Form`: a one-row tool window that stays above every other window and
// stands in for the main window. It opens at the stored place, and Escape or its close box
// hand its last place back to the panel, which brings the main window back.
class TinyWidget final : public QWidget, public core::TinyWindowView {
    Q_OBJECT

public:
    explicit TinyWidget(QWidget* parent = nullptr);
    ~TinyWidget() override;

    TinyWidget(const TinyWidget&) = delete;
    TinyWidget& operator=(const TinyWidget&) = delete;

    // Connects the three keys and the close to the panel. Call once.
    void attach(core::Panel& panel);

    // Paces status frames to the screen's refresh rate.
    FramePacer& pacer() { return pacer_; }

    // Tells the screen reader what the display shows change. Call once; it outlives the widget.
    void setAnnouncer(Announcer& announcer);

    // core::TinyWindowView; places are the outer frame's top-left corner in twips.
    void openAt(int leftTwips, int topTwips) override;
    void closeWindow() override;
    bool isShown() const override;
    bool currentPlace(int& leftTwips, int& topTwips) const override;
    void drawStatus(const protocol::StatusFields& fields) override;
    void showNoCommunication() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void build();
    // The window as designed, then its load: blank display, operate key off, grey lamps. Each
    // opening starts from here, as if the widget were built afresh.
    void load();
    void pressed(QPushButton* key, protocol::Command command);
    void drawNow(const protocol::StatusFields& fields);

    // Keeps the widget out of the task bar and pager where the window system allows it.
    void keepOutOfTaskBar();

    core::Panel* panel_ = nullptr;
    FramePlace frame_;
    EscapePreview* escape_ = nullptr;

    PanelDisplay display_;
    QPushButton* gainDown_ = nullptr;
    QPushButton* gainUp_ = nullptr;
    QPushButton* toggle_ = nullptr;
    FramePacer pacer_{*this, [this](const protocol::StatusFields& f) { drawNow(f); }};
};

} // namespace tarn::ui
