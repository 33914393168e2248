#include "core/forcestandby.h"

#include "protocol/status.h"
#include "serial/serialport.h"

#include <algorithm>

namespace tarn::core {

using Stage = ForceStandby::Stage;

ForceStandby::Stage ForceStandby::begin(qint64 nowMs, int unansweredPolls) {
    scanner_.reset();
    toSkip_ = std::max(0, unansweredPolls);
    standbySeen_ = false;
    failure_.clear();
    writtenAt_ = nowMs;
    if (!port_.isOpen()) {
        fail(Stage::NotWritten, QStringLiteral("the line is not open"));
        return stage_;
    }
    if (!port_.write(frames_.frame(protocol::Command::Force_STBY))) {
        fail(Stage::NotWritten, port_.errorString());
        return stage_;
    }
    stage_ = Stage::Written;
    return step(nowMs);
}

bool ForceStandby::finished() const {
    return stage_ != Stage::Written && stage_ != Stage::Delivered;
}

void ForceStandby::fail(Stage stage, const QString& why) {
    stage_ = stage;
    failure_ = why;
}

void ForceStandby::abandon(const QString& why) {
    if (!finished())
        fail(stage_ == Stage::Written ? Stage::NotDelivered : Stage::NotConfirmed, why);
}

void ForceStandby::readAnswers() {
    const QByteArray bytes = port_.readAll();
    if (bytes.isEmpty())
        return;
    // Within one read the last answer is the newest: an answer held back behind it (a
    // peer that batches) must not speak for the amplifier's present state.
    std::optional<bool> operate;
    for (const QByteArray& body : scanner_.feed(bytes)) {
        if (!protocol::FrameScanner::isStatus(body))
            continue;
        if (toSkip_ > 0) {
            --toSkip_;
            continue;
        }
        if (stage_ != Stage::Delivered)
            continue;
        protocol::RxBytes rx;
        rx.set(0, std::uint8_t(body[0]));
        operate = protocol::statusValues(rx).Operate;
    }
    if (operate)
        standbySeen_ = !*operate;
}

ForceStandby::Stage ForceStandby::step(qint64 nowMs) {
    if (finished())
        return stage_;
    if (!port_.isOpen()) {
        abandon(port_.errorString().isEmpty() ? QStringLiteral("the line was lost")
                                              : port_.errorString());
        return stage_;
    }
    // Reading also moves on what a serial link still holds for the driver.
    readAnswers();
    if (stage_ == Stage::Written) {
        if (port_.bytesUndelivered() > 0) {
            if (nowMs - writtenAt_ >= DeliverMs)
                fail(Stage::NotDelivered,
                     QStringLiteral("it did not leave within %1 s").arg(DeliverMs / 1000));
            return stage_;
        }
        stage_ = Stage::Delivered;
        deliveredAt_ = nowMs;
        lastPollAt_ = nowMs - PollMs;
    }
    if (standbySeen_) {
        stage_ = Stage::Confirmed;
        return stage_;
    }
    if (nowMs - deliveredAt_ >= ConfirmMs) {
        fail(Stage::NotConfirmed, QStringLiteral("the amplifier did not report standby within %1 s")
                                      .arg(ConfirmMs / 1000));
        return stage_;
    }
    // Polls do not pile up behind a line that stopped taking bytes.
    if (nowMs - lastPollAt_ >= PollMs && port_.bytesPending() == 0) {
        port_.write(frames_.frame(protocol::Command::Poll));
        lastPollAt_ = nowMs;
    }
    return stage_;
}

int ForceStandby::msUntilNextStep(qint64 nowMs) const {
    if (finished())
        return 0;
    if (stage_ == Stage::Written)
        return 2;
    return int(std::clamp<qint64>(lastPollAt_ + PollMs - nowMs, 1, PollMs));
}

} // namespace tarn::core
