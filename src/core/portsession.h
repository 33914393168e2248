#pragma once

#include "core/classictimer.h"
#include "core/panelstate.h"
#include "core/views.h"

#include <functional>
#include <optional>

namespace tarn::serial {
class SerialPort;
}

namespace tarn::core {

// The panel's hold on its one port: opening, switching and closing it, noticing a line that
// went away and getting it back, and keeping the Com menu in step with all of it.
//
// A port the panel was told to use but cannot have right now (unplugged, not there yet at
// start-up, a port server still connecting or gone, a reopen after a baud change that failed)
// is "waiting": its item stays checked and the panel tries it again once a second until it
// opens or the operator picks another. After the firmware hand-over the port belongs to the
// bootloader client until the program ends, and nothing opens it again.
class PortSession {
public:
    static constexpr int ReopenIntervalMs = 1000;

    PortSession(PanelState& state, serial::SerialPort& port, ComMenuView& menu,
                OperatorView& operatorView);

    // Called whenever the line stops being usable: closed, handed over, or lost and now
    // `waiting` to come back.
    std::function<void(bool waiting)> onLineDown;
    // Called whenever a port has just been opened (the poller starts afresh).
    std::function<void()> onLineUp;

    ClassicTimer& Timer_Reopen() { return timerReopen_; }

    void Scan_Com_Ports();
    // Start-up: opens the configured port silently; an absent one is waited for.
    void Open_Com_Port();
    // The operator's choice: opens `PortNumber`, or says why it cannot and sets it to 0.
    void Change_Com_Port();
    // "BaudRate,n,8,1" to the port; an open port is closed and opened again on it.
    void applyLineSettings(bool announce);
    void Timer_Reopen_Timer();

    // Looks at the port once a tick: a line that closed under us becomes a waiting one, and a
    // network connection made in the background is taken up at once.
    void checkLine();

    bool isOpen() const;
    bool isWaiting() const { return waiting_; }
    bool isHandedOver() const { return handedOver_; }
    // The port is closed and stays so: the external firmware client owns it now.
    void handOver();
    // Closes the port at exit; nothing is reopened afterwards.
    void closeForGood();

    // Tells the operator why nothing can be sent right now; false when the port is open.
    bool reportNotOpen();
    // `text`, and after an empty line the port's own reason for its last failure, if any.
    QString withReason(const QString& text) const;
    // What to tell the operator when the port waited for can never open as the file has it (a
    // port server address with a fault in it): no waiting mends that. Empty otherwise.
    QString refusal() const;

private:
    bool openPort(int number);
    // Whether the port's failure differs from the one logged last; remembers it.
    bool isNewFailure();
    void markOpened(int number);
    void markClosed();
    void startWaiting(int number);
    void uncheckComItems();

    PanelState& state_;
    serial::SerialPort& port_;
    ComMenuView& menu_;
    OperatorView& operator_;
    ClassicTimer timerReopen_;

    int openNumber_ = 0; // the port the panel holds or waits for, 0 when none
    bool waiting_ = false;
    bool handedOver_ = false;
    // The failure last logged for the port in hand, so that one which stays away is logged as
    // it goes and as its reason changes, not at every attempt. Nothing once it is open.
    std::optional<QString> reported_;
};

} // namespace tarn::core
