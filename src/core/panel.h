#pragma once

#include "core/classictimer.h"
#include "core/panelstate.h"
#include "core/statuslistener.h"
#include "core/views.h"
#include "serial/portmap.h"

#include <functional>
#include <optional>
#include <vector>

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

// The panel's behaviour behind the windows: the port and its menu, the poll cycle, the
// connection time-out, decoding and drawing, commands and saves.
class Panel {
public:
    static constexpr int ReopenIntervalMs = 1000;

    Panel(PanelState& state, serial::SerialPort& port, settings::SettingsStore& store,
          PanelViews views);

    // The serial devices the system reports; start-up gives new ones COM numbers.
    std::function<QList<serial::DetectedDevice>()> detectDevices;

    // Listeners outlive the panel.
    void addStatusListener(StatusListener& listener) { listeners_.push_back(&listener); }

    PanelState& state() { return state_; }
    serial::SerialPort& port() { return port_; }

    ClassicTimer& Timer_Poll() { return timerPoll_; }
    ClassicTimer& Timer_Connection_Timeout() { return timerTimeout_; }
    ClassicTimer& Timer_Reopen() { return timerReopen_; }

    // Ports.
    void Scan_Com_Ports();
    void menuCom_Click(int index);
    void Open_Com_Port();
    void Change_Com_Port();
    void menuCloseComPort_Click();
    // "BaudRate,n,8,1" to the port; an open port is closed and opened again on it.
    void applyLineSettings(bool announce);
    // True while a port that went away is being reopened by itself.
    bool isReopening() const { return lost_; }

    // Ticks.
    void Timer_Poll_Timer();
    void Timer_Connection_Timeout_Timer();
    void Timer_Reopen_Timer();

    // Operator keys: one click, one frame. A closed port is reported when `reportClosed`.
    bool sendCommand(const QByteArray& frame, bool reportClosed);

    bool Save_All_to_ini_file();

    // The main window's load: defaults, size and place, blank display, port scan, settings,
    // line settings, port, stacking, check marks and size mode. `Rx_Byte` and the frames are
    // ready from the state's construction.
    void startup();
    // The main window's unload up to closing the other windows: force standby when asked and
    // the port is open, save, close the port, timers off.
    void shutdownPort();

    // View and Settings menu items, the "Hide test" button and Escape on the main window.
    void menu_Size_Normal_Click();
    void menu_Size_Small_Click();
    void menuShow_test_space_Click();
    void Command_Hide_test_space_Click();
    void mainEscape();
    void menuAlwaysOnTop_Click();
    void MenuForceSTBYonExit_Click();
    void menuTinyWidget_Click();
    // The tiny widget was closed at this place; the main window comes back.
    void tinyClosed(int leftTwips, int topTwips);

    // Settings dialogs. A choice of nullopt (nothing selected) keeps the current value but
    // still applies and saves it.
    void applyBaudRate(std::optional<int> baudRate);
    void applyPolling(std::optional<int> pollingMs);
    void applyTimeOut(std::optional<int> timeOutMs);

    // Hands the line to the amplifier's bootloader: both timers stop before the start frame is
    // written, then the port is closed so the external client can open it. With no open port
    // nothing is sent and nothing changes ("Select a COM Port"); returns whether it started.
    bool startBootloader();

    static QString lineSettingsFor(int baudRate);

private:
    void Decode_Response();
    void Update_Status_Display();
    void restartTimeout();
    void noticeLostLine();
    void markOpened(int number);
    void markClosed();
    void hideTestSpace(int height);
    void uncheckComItems();
    // A failure is shown to the operator when `tellOperator`, otherwise only logged.
    bool saveSettings(bool tellOperator);

    PanelState& state_;
    serial::SerialPort& port_;
    settings::SettingsStore& store_;
    PanelViews views_;

    ClassicTimer timerPoll_;
    ClassicTimer timerTimeout_;
    ClassicTimer timerReopen_;

    std::vector<StatusListener*> listeners_;
    int openNumber_ = 0; // the number the last port operation opened, 0 when none
    bool lost_ = false;
    bool saveFailureShown_ = false;
};

} // namespace tarn::core
