#pragma once

#include "protocol/status.h"

#include <QString>

namespace tarn::core {

// A window that mirrors the amplifier's display.
class DisplayView {
public:
    virtual ~DisplayView() = default;
    virtual void drawStatus(const protocol::StatusFields& fields) = 0;
    // Silence from the amplifier: blank display, grey lamps, keys off, "No Communication".
    virtual void showNoCommunication() = 0;
};

class MainView : public DisplayView {
public:
    // The start-up state: blank display, grey lamps, keys off.
    virtual void blankDisplay() = 0;
    virtual void setFirmwareCaption(const QString& caption) = 0;
    // The test-space boxes; the view shows the newest bytes (caret at the end).
    virtual void setRawEcho(const QString& text) = 0;
    virtual void setDecodedEcho(const QString& text) = 0;
};

class TinyView : public DisplayView {
public:
    virtual bool isShown() const = 0;
};

// The main window's menu items that carry a check mark.
enum class MenuItem { SizeNormal, SizeSmall, AlwaysOnTop, ShowTestSpace, ForceStbyOnExit };

// The main window as a whole: its geometry, stacking, visibility and check marks. Sizes and
// places are in twips (15 twips = 1 logical pixel), heights are outer heights.
class MainWindowView : public MainView {
public:
    virtual void setWidthTwips(int width) = 0;
    virtual void setHeightTwips(int height) = 0;
    virtual int widthTwips() const = 0;
    virtual int heightTwips() const = 0;
    // The part of the screen the window is on that windows may use (without the desktop's
    // panels), in twips.
    virtual int screenWidthTwips() const = 0;
    virtual int screenHeightTwips() const = 0;
    // Its top-left corner: a panel at the top or left edge moves it off (0, 0).
    virtual int screenLeftTwips() const { return 0; }
    virtual int screenTopTwips() const { return 0; }
    // Topmost or not, without moving, resizing or activating the window.
    virtual void setOnTop(bool onTop) = 0;
    virtual void setMenuChecked(MenuItem item, bool checked) = 0;
    virtual bool isMenuChecked(MenuItem item) const = 0;
    virtual void setWindowShown(bool shown) = 0;
    // A stored position wholly outside every screen is moved onto the nearest one.
    virtual void keepOnScreen() = 0;
};

// The tiny widget window: opened at a place, closed by the operator (Escape or its close box),
// which hands its last place back to the panel.
class TinyWindowView : public TinyView {
public:
    virtual void openAt(int leftTwips, int topTwips) = 0;
    virtual void closeWindow() = 0;
    // Where the open widget's outer frame is now; false when it is not open.
    virtual bool currentPlace(int& leftTwips, int& topTwips) const {
        (void)leftTwips;
        (void)topTwips;
        return false;
    }
};

// The non-modal windows that shutdown closes: settings dialogs and the tiny widget.
class SecondaryWindows {
public:
    virtual ~SecondaryWindows() = default;
    virtual void closeAll() = 0;
};

// The Com menu: items 1 to 16 (0 is the "No Free Com Ports Found" placeholder) and the
// close-port item.
class ComMenuView {
public:
    virtual ~ComMenuView() = default;
    virtual void setComItemAvailable(int index, bool available) = 0;
    virtual void setComItemDevice(int index, const QString& device) = 0;
    virtual void setComItemChecked(int index, bool checked) = 0;
    virtual void setPlaceholderVisible(bool visible) = 0;
    virtual void setCloseComPortEnabled(bool enabled) = 0;
};

// Message boxes. Styles: 0 OK only, 48 OK with an exclamation icon, 64 OK with an
// information icon. An empty title shows the application's title.
class OperatorView {
public:
    virtual ~OperatorView() = default;
    virtual void showMessage(const QString& text, int style = 0, const QString& title = {}) = 0;
    // Tells without waiting for an answer: the panel goes on and nothing blocks the operator.
    virtual void showNotice(const QString& text) = 0;
};

namespace style {
inline constexpr int Ok = 0;
inline constexpr int Exclamation = 48;
inline constexpr int Information = 64;
} // namespace style

} // namespace tarn::core
