#include "core/portsession.h"

#include "core/logging.h"
#include "serial/serialport.h"

namespace tarn::core {

Q_LOGGING_CATEGORY(lcCore, "tarn.core", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLine, "tarn.serial", QtInfoMsg)

namespace {
QString lineSettingsFor(int baudRate) {
    return QString::number(baudRate) + QStringLiteral(",n,8,1");
}
const QString notAvailable = QStringLiteral("The Com Port is not available");
} // namespace

PortSession::PortSession(PanelState& state, serial::SerialPort& port, ComMenuView& menu,
                         OperatorView& operatorView)
    : state_(state), port_(port), menu_(menu), operator_(operatorView),
      timerReopen_(ReopenIntervalMs, false, [this] { Timer_Reopen_Timer(); }) {}

void PortSession::Scan_Com_Ports() {
    for (int i = 1; i <= PanelState::Max_Com_Port; ++i) {
        menu_.setComItemDevice(i, port_.deviceName(i));
        bool failed = false;
        // A port server is offered without a connection: the scan never waits on the network.
        if (!port_.isNetwork(i)) {
            failed = !port_.setPortNumber(i) || !port_.open();
            if (port_.isOpen() && !port_.close())
                failed = true;
        }
        menu_.setComItemAvailable(i, !failed);
        if (!failed)
            menu_.setPlaceholderVisible(false);
    }
}

bool PortSession::isOpen() const {
    return port_.isOpen();
}

bool PortSession::openPort(int number) {
    if (handedOver_)
        return false;
    if (!port_.setPortNumber(number))
        return false;
    if (port_.open())
        return true;
    if (!port_.isConnecting() && isNewFailure())
        qCWarning(lcLine) << "port" << number << port_.deviceName(number)
                          << "could not be opened:" << *reported_;
    return false;
}

void PortSession::Open_Com_Port() {
    const int number = state_.settings.PortNumber;
    if (number <= 0 || handedOver_) {
        menu_.setCloseComPortEnabled(false);
        return;
    }
    bool failed = false;
    if (port_.isOpen()) {
        failed = !port_.close();
        markClosed();
    }
    // A rejected number must not open the port on whatever number it held before.
    if (!port_.setPortNumber(number)) {
        menu_.setCloseComPortEnabled(false);
        return;
    }
    if (port_.isOpen())
        return;
    if (!failed && openPort(number)) {
        markOpened(number);
        return;
    }
    // Absent or busy now is not absent for good: the operator chose it, so wait for it.
    startWaiting(number);
}

void PortSession::uncheckComItems() {
    for (int i = 1; i <= PanelState::Max_Com_Port; ++i)
        menu_.setComItemChecked(i, false);
}

void PortSession::Change_Com_Port() {
    uncheckComItems();
    if (port_.isOpen())
        port_.close();
    markClosed();

    const int number = state_.settings.PortNumber;
    if (openPort(number)) {
        markOpened(number);
        return;
    }
    if (number > 0 && port_.isConnecting()) {
        startWaiting(number);
        return;
    }
    port_.close();
    menu_.setCloseComPortEnabled(false);
    if (number > 0 && !handedOver_)
        operator_.showMessage(withReason(notAvailable));
    state_.settings.PortNumber = 0;
}

void PortSession::applyLineSettings(bool announce) {
    const QString settings = lineSettingsFor(state_.settings.BaudRate);
    if (!port_.isOpen()) {
        port_.setLineSettings(settings);
        return;
    }
    const int number = openNumber_ != 0 ? openNumber_ : port_.portNumber();
    port_.close();
    if (announce)
        operator_.showMessage(QStringLiteral("COM settings ") + settings);
    port_.setLineSettings(settings);
    if (openPort(number)) {
        markOpened(number);
        return;
    }
    // The device vanished between close and open: say so, and keep trying as after an unplug.
    const bool connecting = port_.isConnecting();
    startWaiting(number);
    if (!connecting)
        operator_.showMessage(withReason(notAvailable));
}

void PortSession::markOpened(int number) {
    openNumber_ = number;
    waiting_ = false;
    timerReopen_.setEnabled(false);
    if (number <= PanelState::Max_Com_Port)
        menu_.setComItemChecked(number, true);
    menu_.setCloseComPortEnabled(true);
    if (std::exchange(reported_, std::nullopt))
        qCInfo(lcLine) << "port" << number << port_.deviceName(number) << "is back";
    else
        qCDebug(lcLine) << "port" << number << port_.deviceName(number) << "open";
    if (onLineUp)
        onLineUp();
}

void PortSession::markClosed() {
    const bool wasUp = openNumber_ != 0;
    openNumber_ = 0;
    waiting_ = false;
    reported_.reset();
    timerReopen_.setEnabled(false);
    if (wasUp && onLineDown)
        onLineDown(false);
}

void PortSession::startWaiting(int number) {
    const bool wasUp = openNumber_ != 0 && !waiting_;
    openNumber_ = number;
    waiting_ = true;
    if (number >= 1 && number <= PanelState::Max_Com_Port) {
        menu_.setComItemAvailable(number, true);
        menu_.setPlaceholderVisible(false);
        menu_.setComItemChecked(number, true);
    }
    menu_.setCloseComPortEnabled(true);
    timerReopen_.setEnabled(true);
    // A reopen that failed has said why already.
    if (wasUp && isNewFailure())
        qCWarning(lcLine) << "port" << number << "lost:" << *reported_;
    if (onLineDown)
        onLineDown(true);
}

void PortSession::checkLine() {
    if (handedOver_ || openNumber_ == 0)
        return;
    if (!waiting_ && !port_.isOpen()) {
        // The port closed itself under us (adapter pulled, port server gone).
        startWaiting(openNumber_);
    } else if (waiting_ && port_.isOpen()) {
        // A network connection made in the background: use it from this tick on.
        markOpened(openNumber_);
    }
}

void PortSession::Timer_Reopen_Timer() {
    if (!waiting_ || handedOver_) {
        timerReopen_.setEnabled(false);
        return;
    }
    if (openPort(openNumber_))
        markOpened(openNumber_);
}

void PortSession::handOver() {
    if (port_.isOpen())
        port_.close();
    markClosed();
    handedOver_ = true;
    uncheckComItems();
    menu_.setCloseComPortEnabled(false);
}

void PortSession::closeForGood() {
    if (port_.isOpen())
        port_.close();
    markClosed();
}

bool PortSession::reportNotOpen() {
    if (port_.isOpen())
        return false;
    operator_.showMessage(waiting_ ? withReason(notAvailable)
                                   : QStringLiteral("Select a COM Port"));
    return true;
}

bool PortSession::isNewFailure() {
    if (reported_ == port_.errorString())
        return false;
    reported_ = port_.errorString();
    return true;
}

QString PortSession::refusal() const {
    const QString why = waiting_ ? state_.ports.refusal(openNumber_) : QString();
    return why.isEmpty() ? why : notAvailable + QStringLiteral("\n\n") + why;
}

QString PortSession::withReason(const QString& text) const {
    const QString reason = port_.errorString();
    if (reason.isEmpty() || reason == QLatin1String("Unknown error"))
        return text;
    return text + QStringLiteral("\n\n") + reason;
}

} // namespace tarn::core
