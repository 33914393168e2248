#include "core/wayout.h"

#include "core/panel.h"

#include <QElapsedTimer>
#include <memory>

namespace tarn::core {

using Stage = ForceStandby::Stage;

ExitClock ExitClock::monotonic(std::function<bool()> interrupted) {
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    return {[timer] { return timer->elapsed(); }, std::move(interrupted)};
}

int WayOut::statusFor(const ExitResult& r) {
    if (r.standbyDue) {
        switch (r.stage) {
        case Stage::Confirmed:
            break;
        case Stage::Delivered:
        case Stage::NotConfirmed:
            return NotConfirmed;
        default:
            return NotSent;
        }
    }
    return r.closed ? Confirmed : NotSent;
}

QString WayOut::explain(const ExitResult& r) {
    const QString because = r.reason.isEmpty() ? QString() : QStringLiteral(": ") + r.reason;
    switch (statusFor(r)) {
    case NotSent:
        if (!r.standbyDue || r.stage == Stage::Confirmed)
            return QStringLiteral("tarn-vq4400: the line did not close cleanly: written bytes "
                                  "were not delivered");
        return QStringLiteral("tarn-vq4400: force standby could not be sent to the amplifier "
                              "before exit") +
               because;
    case NotConfirmed:
        return QStringLiteral("tarn-vq4400: force standby was sent, but the amplifier did not "
                              "confirm standby") +
               because;
    default:
        return {};
    }
}

int WayOut::leave(Way way) {
    if (left_)
        return status_;
    left_ = true;
    const ExitResult result = panel_.shutdownPort(clock_);
    status_ = statusFor(result);
    if (hooks_.record)
        hooks_.record(result);
    if (status_ != Confirmed && hooks_.tell)
        hooks_.tell(explain(result));
    if (way == Way::DisplayLost)
        return status_;
    if (hooks_.closeWindows)
        hooks_.closeWindows();
    if (hooks_.quit)
        hooks_.quit(status_);
    return status_;
}

} // namespace tarn::core
