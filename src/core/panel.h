#pragma once

#include "core/classictimer.h"
#include "core/panelstate.h"
#include "core/poller.h"
#include "core/portsession.h"
#include "core/statuslistener.h"
#include "core/views.h"
#include "core/wayout.h"
#include "serial/portmap.h"

#include <QPoint>
#include <functional>
#include <optional>

namespace tarn::serial {
class SerialPort;
}
namespace tarn::settings {
class SettingsStore;
class WindowPlacement;
} // namespace tarn::settings

namespace tarn::core {

// The windows the panel talks to; all of them outlive the panel.
struct PanelViews {
    MainWindowView& main;
    TinyWindowView& tiny;
    ComMenuView& menu;
    OperatorView& operatorView;
    settings::WindowPlacement& placement;
};

// The panel's behaviour behind the windows: the start-up and shutdown order, the menus that
// change settings, and the saves. The port is kept by a PortSession, the traffic by a Poller.
class Panel {
public:
    static constexpr int ReopenIntervalMs = PortSession::ReopenIntervalMs;
    // How long the exit waits for force standby to leave the computer.
    static constexpr int ForceStandbyWaitMs = ForceStandby::DeliverMs;
    // A key that has not left the computer by then is given up: the operator stopped expecting
    // it long ago, and it must not reach the amplifier at some later moment.
    static constexpr int KeyDeadlineMs = 500;

    Panel(PanelState& state, serial::SerialPort& port, settings::SettingsStore& store,
          PanelViews views);

    // Called whenever the line came up or went down, or force standby on exit was switched.
    std::function<void()> onLineChanged;

    // The serial devices the system reports; start-up gives new ones COM numbers.
    std::function<QList<serial::DetectedDevice>()> detectDevices;

    // Closed when the line is handed to the firmware client; outlives the panel.
    void setSecondaryWindows(SecondaryWindows& windows) { secondary_ = &windows; }
    // Listeners outlive the panel.
    void addStatusListener(StatusListener& listener) { poller_.addStatusListener(listener); }

    PanelState& state() { return state_; }
    serial::SerialPort& port() { return port_; }
    PortSession& session() { return session_; }
    Poller& poller() { return poller_; }

    ClassicTimer& Timer_Poll() { return poller_.Timer_Poll(); }
    ClassicTimer& Timer_Connection_Timeout() { return poller_.Timer_Connection_Timeout(); }
    ClassicTimer& Timer_Reopen() { return session_.Timer_Reopen(); }
    ClassicTimer& Timer_Key_Deadline() { return timerKeyDeadline_; }

    // Ports.
    void Scan_Com_Ports() { session_.Scan_Com_Ports(); }
    void menuCom_Click(int index);
    void Open_Com_Port() { session_.Open_Com_Port(); }
    void Change_Com_Port() { session_.Change_Com_Port(); }
    void menuCloseComPort_Click();
    void applyLineSettings(bool announce) { session_.applyLineSettings(announce); }
    // True while the panel waits for its port to come back.
    bool isReopening() const { return session_.isWaiting(); }

    // Ticks.
    void Timer_Poll_Timer() { poller_.Timer_Poll_Timer(); }
    void Timer_Connection_Timeout_Timer() { poller_.Timer_Connection_Timeout_Timer(); }
    void Timer_Reopen_Timer() { session_.Timer_Reopen_Timer(); }
    // A key written KeyDeadlineMs ago: still not gone means the amplifier is not reading.
    void Timer_Key_Deadline_Timer();

    // Operator keys: one click, one frame, sent now or refused: refused at once on a line that
    // holds bytes or has not answered for KeyDeadlineMs, given up if it has not left within
    // KeyDeadlineMs. A closed port is reported when `reportClosed`. Nothing is sent once the
    // way out has begun.
    bool sendCommand(protocol::Command command, bool reportClosed);
    // Force standby on the panel's own account (an alarm): no key, so never refused for a
    // stalled line, only not sent once the way out has begun (which sends its own).
    bool sendStandby();

    bool Save_All_to_ini_file();

    // The main window's load: defaults, size and place, blank display, port scan, settings,
    // line settings, port, stacking, check marks and size mode. `Rx_Byte` and the frames are
    // ready from the state's construction.
    void startup();
    // The main window is up: what the operator must hear about the port, with the window behind.
    void startupShown();
    // The main window's unload up to closing the other windows: timers off and keys refused,
    // force standby when asked and a line is up, save, wait until the amplifier confirms
    // standby, close the port. Blocks for at most the delivery and confirmation bounds.
    ExitResult shutdownPort(const ExitClock& clock = ExitClock::monotonic());

    // View and Settings menu items, the "Hide test" button and Escape on the main window.
    void menu_Size_Normal_Click();
    void menu_Size_Small_Click();
    void menuShow_test_space_Click();
    void Command_Hide_test_space_Click();
    void mainEscape();
    void menuAlwaysOnTop_Click();
    void MenuForceSTBYonExit_Click();
    void menuTinyWidget_Click();
    // The tiny widget was closed, at this place (twips) when the window system reported one;
    // the main window comes back.
    void tinyClosed(std::optional<QPoint> placeTwips);

    // Settings dialogs. A choice of nullopt (nothing selected) keeps the current value but
    // still applies and saves it.
    void applyBaudRate(std::optional<int> baudRate);
    void applyPolling(std::optional<int> pollingMs);
    void applyTimeOut(std::optional<int> timeOutMs);

    // Hands the line to the amplifier's bootloader: both timers stop before the start frame is
    // written, then the port is closed for good so the external client can open it. With no
    // open port, or a start frame that could not be written, nothing is handed over: the
    // operator is told and the panel goes on; returns whether the hand-over happened.
    bool startBootloader();
    bool isHandedOver() const { return session_.isHandedOver(); }

private:
    void hideTestSpace(int height);
    // Once per stall, without a box: the operator goes on working.
    void reportStall();
    // A failure is shown to the operator when `tellOperator`, otherwise only logged.
    bool saveSettings(bool tellOperator);

    PanelState& state_;
    serial::SerialPort& port_;
    settings::SettingsStore& store_;
    PanelViews views_;
    PortSession session_;
    Poller poller_;

    SecondaryWindows* secondary_ = nullptr;
    ClassicTimer timerKeyDeadline_;
    bool saveFailureShown_ = false;
    bool stallReported_ = false;
    // At the first key of a deadline: whether a poll was out, and how many frames had come.
    bool pollOutAtKey_ = false;
    qint64 framesAtKey_ = 0;
    bool leaving_ = false;
};

} // namespace tarn::core
