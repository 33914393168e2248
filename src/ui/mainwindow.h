#pragma once

#include "core/views.h"
#include "settings/settings.h"
#include "ui/display.h"
#include "ui/framepacer.h"
#include "ui/frameplace.h"

#include <QHash>
#include <QMainWindow>
#include <QMargins>
#include <array>
#include <functional>
#include <optional>
#include <vector>

class QAction;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace tarn::core {
class Panel;
}

namespace tarn::ui {

class Announcer;
class Bar;
class Box;
class EscapePreview;
class Lamp;
class PanelLabel;

// The panel's main window, `main_Form`: the amplifier's display, its six keys, the grille, the
// name plate, the test space and the menus. Every control carries its layout name as its
// objectName; members of a control array are named `Name_<index>` and carry an "index"
// property. What the controls show is decided by the panel; this class only draws it.
class MainWindow final : public QMainWindow,
                         public core::MainWindowView,
                         public core::ComMenuView,
                         public settings::WindowPlacement {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Connects every key, menu item and Escape to the panel's handlers. Call once; the panel
    // must outlive the window's last event.
    void attach(core::Panel& panel);

    // Runs the shutdown when the operator leaves by File > Exit or the title-bar close box.
    // The window closes afterwards; a close is never cancelled.
    std::function<void()> onUnload;

    // Any menu item (including separators and the top-level menus' own actions) by its layout
    // name, for items whose handlers live elsewhere. Null for unknown names.
    QAction* action(const QString& name) const;

    // Paces status frames to the screen's refresh rate.
    FramePacer& pacer() { return pacer_; }

    // Tells the screen reader what the display shows change. Call once; it outlives the window.
    void setAnnouncer(Announcer& announcer);

    // core::MainWindowView
    void setWidthTwips(int width) override;
    void setHeightTwips(int height) override;
    int widthTwips() const override;
    int heightTwips() const override;
    int screenWidthTwips() const override;
    int screenHeightTwips() const override;
    int screenLeftTwips() const override;
    int screenTopTwips() const override;
    void setOnTop(bool onTop) override;
    void setMenuChecked(core::MenuItem item, bool checked) override;
    bool isMenuChecked(core::MenuItem item) const override;
    void setWindowShown(bool shown) override;
    void keepOnScreen() override;

    void drawStatus(const protocol::StatusFields& fields) override;
    void showNoCommunication() override;
    void blankDisplay() override;
    void setFirmwareCaption(const QString& caption) override;
    void setRawEcho(const QString& text) override;
    void setDecodedEcho(const QString& text) override;

    // core::ComMenuView
    void setComItemAvailable(int index, bool available) override;
    void setComItemDevice(int index, const QString& device) override;
    void setComItemChecked(int index, bool checked) override;
    void setPlaceholderVisible(bool visible) override;
    void setCloseComPortEnabled(bool enabled) override;

    // settings::WindowPlacement: the outer frame's place in twips.
    bool isNormalState() const override;
    int top() const override;
    int left() const override;
    void setTop(int twips) override;
    void setLeft(int twips) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildDisplay(QWidget* client);
    void buildKeys(QWidget* client);
    void buildTestSpace(QWidget* client);
    void buildMenus();
    QAction* addItem(QMenu* menu, const QString& name, const QString& caption,
                     bool checkable = false);
    QAction* addSeparator(QMenu* menu, const QString& name);
    QMenu* addMenu(const QString& name, const QString& caption);
    QAction* checkAction(core::MenuItem item) const;

    void drawNow(const protocol::StatusFields& fields);
    void showEchoes();
    QMargins frameMargins() const;
    void applyOuterSize();
    void frameReported();
    static constexpr int ComItems = 17; // the placeholder and COM 1 to 16

    core::Panel* panel_ = nullptr;
    EscapePreview* escape_ = nullptr;
    bool closing_ = false;

    int outerWidthTwips_;
    int outerHeightTwips_;
    QMargins appliedMargins_;
    FramePlace frame_;

    PanelDisplay display_;
    PanelLabel* firmware_ = nullptr;
    // Only the main window has the automatic-band lamp and the reflected bar.
    Lamp* auto_ = nullptr;
    std::array<Lamp*, 5> reflected_{};
    Bar* reflectedBar_ = nullptr;
    // The test space's controls, which the smaller heights cut off.
    std::vector<QWidget*> testSpace_;

    QPushButton* gainDown_ = nullptr;
    QPushButton* gainUp_ = nullptr;
    QPushButton* toggle_ = nullptr;
    QPushButton* bandDown_ = nullptr;
    QPushButton* autoBand_ = nullptr;
    QPushButton* bandUp_ = nullptr;
    QPushButton* hideTest_ = nullptr;

    QPlainTextEdit* raw_ = nullptr;
    QPlainTextEdit* decoded_ = nullptr;

    // The traffic echo changes with every answer; like the display, it is shown at most once
    // per screen refresh, the newest text.
    std::optional<QString> rawEcho_;
    std::optional<QString> decodedEcho_;
    FramePacer pacer_{*this, [this](const protocol::StatusFields& f) { drawNow(f); },
                      [this] { showEchoes(); }};

    QHash<QString, QAction*> actions_;
    std::array<QAction*, ComItems> com_{};
};

} // namespace tarn::ui
