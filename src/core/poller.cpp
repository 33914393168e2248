#include "core/poller.h"

#include "core/portsession.h"
#include "protocol/hexecho.h"
#include "serial/serialport.h"

#include <algorithm>
#include <optional>

namespace tarn::core {

using protocol::Command;
using protocol::DecodeResult;
using protocol::FrameScanner;

Poller::Poller(PanelState& state, serial::SerialPort& port, PortSession& session,
               DisplayRoute display)
    : state_(state), port_(port), session_(session), display_(display),
      timerPoll_(50, true, [this] { Timer_Poll_Timer(); }),
      timerTimeout_(200, false, [this] { Timer_Connection_Timeout_Timer(); }),
      timerGap_(GapMsWithoutTimeOut, false, [this] { tellSilent(); }) {}

void Poller::Timer_Poll_Timer() {
    session_.checkLine();
    if (port_.isOpen())
        receive();
    if (port_.isOpen())
        sendNextRequest();
    ticksSilent_ = awaiting_ ? ticksSilent_ + 1 : 0;
    timerPoll_.setInterval(state_.settings.Polling);
}

void Poller::receiveNow() {
    session_.checkLine();
    if (port_.isOpen())
        receive();
}

void Poller::receive() {
    state_.Received_Chunk = port_.readAll();
    const QByteArray& chunk = state_.Received_Chunk;
    if (chunk.isEmpty())
        return;
    if (state_.Test_Space_Shown) {
        protocol::appendRawEcho(state_.hdlcEcho, chunk, protocol::RawEchoLimit);
        display_.main.setRawEcho(state_.hdlcEcho);
    }

    // The slots and the echo treat the read as one frame, as the amplifier's tools expect;
    // the display follows the newest whole status frame, wherever the reads cut the stream.
    QString* echo = state_.Test_Space_Shown ? &state_.decodedEcho : nullptr;
    const DecodeResult r = protocol::Decode_Response(chunk, state_.Rx_Byte, echo);
    if (echo)
        display_.main.setDecodedEcho(*echo);
    if (r.kind == DecodeResult::Kind::FirmwareReport)
        display_.main.setFirmwareCaption(r.firmwareCaption);

    std::optional<protocol::RxBytes> newest;
    bool alive = false;
    for (const QByteArray& body : scanner_.feed(chunk)) {
        awaiting_ = false;
        retryTicks_ = FirstRetryTicks;
        ticksSilent_ = 0;
        ++framesReceived_;
        const bool firmware = FrameScanner::isFirmwareReport(body);
        if (!firmware && !FrameScanner::isStatus(body))
            continue;
        alive = true;
        unanswered_ = std::max(0, unanswered_ - 1);
        if (firmware) {
            if (r.kind != DecodeResult::Kind::FirmwareReport)
                display_.main.setFirmwareCaption(FrameScanner::firmwareCaption(body));
        } else {
            protocol::RxBytes rx;
            for (int i = 0; i < protocol::RxBytes::Count; ++i)
                rx.set(i, std::uint8_t(body[i]));
            for (auto* listener : listeners_)
                listener->statusDecoded(rx);
            newest = rx;
        }
    }
    if (newest)
        draw(*newest);
    if (alive)
        restartTimeout();
}

void Poller::draw(const protocol::RxBytes& rx) {
    const auto fields = protocol::statusFields(rx, decimalPoint_);
    if (display_.tiny.isShown())
        display_.tiny.drawStatus(fields);
    else
        display_.main.drawStatus(fields);
}

bool Poller::mayPoll() {
    // Bytes still on their way out mean the peer is not reading: another poll would only wait
    // behind them and reach the amplifier long after it could be useful.
    if (port_.bytesPending() > 0)
        return false;
    if (!awaiting_)
        return true;
    if (++ticksUnanswered_ < retryTicks_)
        return false;
    const int polling = std::max(1, state_.settings.Polling);
    const int cap = std::max(FirstRetryTicks, MaxRetryMs / polling);
    retryTicks_ = std::min(retryTicks_ * 2, cap);
    return true;
}

void Poller::sendNextRequest() {
    if (!mayPoll())
        return;
    const bool testSpace = state_.Test_Space_Cmd_Pending;
    const bool written = write(testSpace ? Command::Test_Space : Command::Poll);
    if (testSpace)
        state_.Test_Space_Cmd_Pending = false;
    if (written) {
        ++unanswered_;
        awaiting_ = true;
        ticksUnanswered_ = 0;
    }
}

bool Poller::write(Command command) {
    return port_.isOpen() && port_.write(state_.frames.frame(command));
}

void Poller::restartTimeout() {
    timerTimeout_.setEnabled(false);
    timerTimeout_.setInterval(state_.settings.TimeOut);
    timerTimeout_.setEnabled(true);
    timerGap_.setEnabled(false);
    timerGap_.setEnabled(state_.settings.TimeOut == 0);
}

void Poller::tellSilent() {
    for (auto* listener : listeners_)
        listener->lineSilent();
}

void Poller::Timer_Connection_Timeout_Timer() {
    tellSilent();
    if (display_.tiny.isShown())
        display_.tiny.showNoCommunication();
    else
        display_.main.showNoCommunication();
}

void Poller::stop() {
    timerPoll_.setEnabled(false);
    timerTimeout_.setEnabled(false);
    timerGap_.setEnabled(false);
}

void Poller::resume() {
    timerPoll_.setEnabled(true);
    restartTimeout();
}

void Poller::forgetExchange() {
    scanner_.reset();
    awaiting_ = false;
    unanswered_ = 0;
    ticksSilent_ = 0;
    ticksUnanswered_ = 0;
    retryTicks_ = FirstRetryTicks;
}

void Poller::lineDown(bool waiting) {
    forgetExchange();
    for (auto* listener : listeners_) {
        listener->lineSilent();
        if (!waiting)
            listener->lineClosed();
    }
    // A port the panel waits for is silent like a lost line: say so after the time-out, even
    // when nothing was ever received from it.
    if (waiting && !timerTimeout_.isEnabled() && timerPoll_.isEnabled()) {
        timerTimeout_.setInterval(state_.settings.TimeOut);
        timerTimeout_.setEnabled(true);
    }
    if (waiting && timerPoll_.isEnabled() && state_.settings.TimeOut == 0)
        timerGap_.setEnabled(true);
}

} // namespace tarn::core
