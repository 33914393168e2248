#pragma once

#include "protocol/commands.h"
#include "protocol/framescanner.h"

#include <QString>

namespace tarn::serial {
class SerialPort;
}

namespace tarn::core {

// One force-standby frame followed until the amplifier itself says it is in standby. A frame
// goes through three stages: written (handed to the port), delivered (gone from this computer:
// the driver's queue empty, or acknowledged by a network peer) and confirmed (a status frame
// that answers a poll written after delivery shows Operate off). Only the last one proves it.
//
// Driven by step() with the time in milliseconds, so the exit's blocking wait and the tests
// run the same steps; it reads and writes the port itself and needs no event loop.
class ForceStandby {
public:
    enum class Stage {
        Idle,
        Written,
        Delivered,
        Confirmed,
        NotWritten,
        NotDelivered,
        NotConfirmed
    };

    static constexpr int DeliverMs = 2000;
    static constexpr int ConfirmMs = 1000;
    static constexpr int PollMs = 20;

    ForceStandby(const protocol::CommandFrames& frames, serial::SerialPort& port)
        : frames_(frames), port_(port) {}

    // Writes the frame at `nowMs`. `unansweredPolls` polls are already out: their answers show
    // the amplifier as it was before the frame and prove nothing.
    Stage begin(qint64 nowMs, int unansweredPolls);
    // Reads what arrived, polls every PollMs once the frame is delivered, and moves on.
    Stage step(qint64 nowMs);
    Stage stage() const { return stage_; }
    bool finished() const;
    // The wait was cut short (a second signal, the line lost): the stage reached so far fails
    // with `why`.
    void abandon(const QString& why);
    // How long the caller may wait for the line before the next step is due.
    int msUntilNextStep(qint64 nowMs) const;
    // Why a failed stage failed, for the operator or the terminal.
    QString failure() const { return failure_; }

private:
    void readAnswers();
    void fail(Stage stage, const QString& why);

    const protocol::CommandFrames& frames_;
    serial::SerialPort& port_;
    protocol::FrameScanner scanner_;
    Stage stage_ = Stage::Idle;
    qint64 writtenAt_ = 0;
    qint64 deliveredAt_ = 0;
    qint64 lastPollAt_ = 0;
    int toSkip_ = 0;
    bool standbySeen_ = false;
    QString failure_;
};

} // namespace tarn::core
