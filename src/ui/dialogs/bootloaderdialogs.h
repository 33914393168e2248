#pragma once

#include "core/classictimer.h"

#include <QWidget>
#include <functional>

class QPushButton;

namespace tarn::core {
class MainWindowView;
class Panel;
} // namespace tarn::core
namespace tarn::settings {
class WindowPlacement;
}

namespace tarn::ui {

class PanelLabel;

// `Bootlouder_Timeout_form`: shown once the amplifier's bootloader runs and the port is free.
// It names the port for the PC client and counts down the seconds the operator has to start
// it. The panel has stopped all of its own traffic by then, so however this window is closed
// (Close, Escape or its close box) the application ends at once, without the shutdown.
class BootloaderWaitDialog final : public QWidget {
    Q_OBJECT

public:
    static constexpr int CountdownSeconds = 30;
    // Not 1000: the operator gets a little more than the thirty seconds shown.
    static constexpr int TickMs = 1080;

    BootloaderWaitDialog(core::Panel& panel, const settings::WindowPlacement& anchor,
                         std::function<void()> endApplication);
    ~BootloaderWaitDialog() override;

    BootloaderWaitDialog(const BootloaderWaitDialog&) = delete;
    BootloaderWaitDialog& operator=(const BootloaderWaitDialog&) = delete;

    // Loads the dialog (count, place, port) and shows it.
    void open();

    int Bootloader_Countdown() const { return countdown_; }
    core::ClassicTimer& Timer1() { return timer_; }
    void Timer1_Timer();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    core::Panel& panel_;
    const settings::WindowPlacement& anchor_;
    std::function<void()> endApplication_;
    int countdown_ = CountdownSeconds;
    core::ClassicTimer timer_;

    PanelLabel* timeoutLabel_ = nullptr;
    PanelLabel* portLabel_ = nullptr;
    PanelLabel* deviceLabel_ = nullptr;
};

// `Remote_Firmware_Update_Form`: warns the operator, names the port for the PC client and,
// on Start, hands the line over to the amplifier's bootloader and the wait dialog.
class RemoteFirmwareUpdateDialog final : public QWidget {
    Q_OBJECT

public:
    RemoteFirmwareUpdateDialog(core::Panel& panel, core::MainWindowView& main,
                               const settings::WindowPlacement& anchor, BootloaderWaitDialog& wait);
    ~RemoteFirmwareUpdateDialog() override;

    RemoteFirmwareUpdateDialog(const RemoteFirmwareUpdateDialog&) = delete;
    RemoteFirmwareUpdateDialog& operator=(const RemoteFirmwareUpdateDialog&) = delete;

    // The menu item: loads the dialog when it is closed, then brings it up.
    void open();

private:
    void start();

    core::Panel& panel_;
    core::MainWindowView& main_;
    const settings::WindowPlacement& anchor_;
    BootloaderWaitDialog& wait_;

    PanelLabel* portLabel_ = nullptr;
    PanelLabel* deviceLabel_ = nullptr;
    QPushButton* start_ = nullptr;
};

} // namespace tarn::ui
