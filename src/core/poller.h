#pragma once

#include "core/classictimer.h"
#include "core/panelstate.h"
#include "core/statuslistener.h"
#include "core/views.h"
#include "protocol/commands.h"
#include "protocol/framescanner.h"

#include <QLocale>
#include <QString>
#include <vector>

namespace tarn::serial {
class SerialPort;
}

namespace tarn::core {

class PortSession;

// The windows the poller draws into: the tiny widget while it is shown, the main window
// otherwise.
struct DisplayRoute {
    MainView& main;
    TinyView& tiny;
};

// The poll cycle and the only writer to the port. Each tick reads what arrived, decodes it,
// and asks for the next status; operator keys and force standby are written at once and so
// always go out ahead of any poll not yet written.
//
// Polls never pile up. A tick sends no poll while an earlier write has not left the computer
// (a peer that stopped reading, flow control held), nor while the previous poll is unanswered
// (a line too slow for the polling rate), so the display never falls behind the amplifier.
// An unanswered poll is repeated after a few ticks, then at a slowly growing interval of at most
// a second, so a lost frame costs one poll and a silent amplifier is still asked.
//
// Only a whole frame the decoder accepts is a sign of life: noise, a wrong line speed or a
// device's banner must not keep an old state on screen as if the amplifier had sent it.
class Poller {
public:
    static constexpr int FirstRetryTicks = 3;
    static constexpr int MaxRetryMs = 1000;
    // With the time-out off the display is never reset, yet a silence this long is still a
    // gap for the listeners.
    static constexpr int GapMsWithoutTimeOut = 500;

    Poller(PanelState& state, serial::SerialPort& port, PortSession& session, DisplayRoute display);

    void addStatusListener(StatusListener& listener) { listeners_.push_back(&listener); }

    ClassicTimer& Timer_Poll() { return timerPoll_; }
    ClassicTimer& Timer_Connection_Timeout() { return timerTimeout_; }
    ClassicTimer& Timer_Gap() { return timerGap_; }
    void Timer_Poll_Timer();
    void Timer_Connection_Timeout_Timer();

    // Writes one command frame now; false when it could not be queued on the port.
    bool write(protocol::Command command);
    // Both timers off: nothing more goes out on the poller's own account.
    void stop();
    // Both timers on again after a stop: polls go out, and a silence is reported.
    void resume();
    // The line just opened: a half-received frame and any poll still awaited belonged to the
    // old one.
    void forgetExchange();
    // The line went down: the same, and a gap for the listeners.
    void lineDown(bool waiting);

    // True while a poll is out and no answer has come back yet.
    bool awaitingAnswer() const { return awaiting_; }
    // Polls written whose answers have not come back (a lost answer counts until the line
    // changes): their answers, when they come, show the amplifier as it was when they left.
    int unansweredPolls() const { return unanswered_; }
    // Whole frames received since the line opened: a count that moves while the amplifier
    // answers.
    qint64 framesReceived() const { return framesReceived_; }
    // How long a poll has been out without any frame coming back, in milliseconds as the poll
    // ticks count it; 0 while nothing is awaited.
    qint64 silentForMs() const { return awaiting_ ? ticksSilent_ * state_.settings.Polling : 0; }
    // Reads and decodes what arrived without asking for more: an early look between ticks.
    void receiveNow();

private:
    void receive();
    void sendNextRequest();
    bool mayPoll();
    void restartTimeout();
    void tellSilent();
    void draw(const protocol::RxBytes& rx);

    PanelState& state_;
    serial::SerialPort& port_;
    PortSession& session_;
    DisplayRoute display_;
    std::vector<StatusListener*> listeners_;
    protocol::FrameScanner scanner_;
    // The operator's decimal separator, as the locale had it when the panel started: the
    // system locale answers each request for it with a fresh query, and a frame needs it.
    QString decimalPoint_ = QLocale().decimalPoint();

    ClassicTimer timerPoll_;
    ClassicTimer timerTimeout_;
    ClassicTimer timerGap_;

    bool awaiting_ = false;
    int unanswered_ = 0;
    qint64 framesReceived_ = 0;
    int ticksUnanswered_ = 0;
    qint64 ticksSilent_ = 0;
    int retryTicks_ = FirstRetryTicks;
};

} // namespace tarn::core
