#include "core/panel.h"

#include "core/logging.h"

#include "protocol/hexecho.h"
#include "serial/serialport.h"
#include "settings/numbers.h"
#include "settings/settingsstore.h"

namespace tarn::core {

Panel::Panel(PanelState& state, serial::SerialPort& port, settings::SettingsStore& store,
             PanelViews views)
    : state_(state), port_(port), store_(store), views_(views),
      session_(state, port, views.menu, views.operatorView),
      poller_(state, port, session_, {views.main, views.tiny}),
      timerKeyDeadline_(KeyDeadlineMs, false, [this] { Timer_Key_Deadline_Timer(); }) {
    session_.onLineUp = [this] {
        poller_.forgetExchange();
        if (onLineChanged)
            onLineChanged();
    };
    session_.onLineDown = [this](bool waiting) {
        poller_.lineDown(waiting);
        if (onLineChanged)
            onLineChanged();
    };
}

void Panel::menuCom_Click(int index) {
    if (index == 0) {
        // The placeholder explains; it never changes the port or what is saved.
        views_.operatorView.showMessage(
            QStringLiteral("Exit the application and check the connection. Then try again."),
            style::Information, QStringLiteral("No Free Com Ports Found"));
        return;
    }
    state_.settings.PortNumber = index;
    session_.Change_Com_Port();
    Save_All_to_ini_file();
}

void Panel::menuCloseComPort_Click() {
    state_.settings.PortNumber = 0;
    session_.Change_Com_Port();
    Save_All_to_ini_file();
}

bool Panel::sendCommand(protocol::Command command, bool reportClosed) {
    if (leaving_)
        return false;
    if (!port_.isOpen()) {
        if (reportClosed)
            session_.reportNotOpen();
        return false;
    }
    // Bytes written now would wait in the line and leave at some later moment nobody expects.
    if (port_.bytesPending() > 0 || poller_.silentForMs() >= KeyDeadlineMs) {
        reportStall();
        return false;
    }
    // A line that takes bytes again ends the stall: the next one is told once more.
    stallReported_ = false;
    const bool pollOut = poller_.awaitingAnswer();
    if (poller_.write(command)) {
        if (!timerKeyDeadline_.isEnabled()) {
            pollOutAtKey_ = pollOut;
            framesAtKey_ = poller_.framesReceived();
            timerKeyDeadline_.setEnabled(true);
        }
        return true;
    }
    session_.checkLine();
    views_.operatorView.showMessage(
        session_.withReason(QStringLiteral(
            "The command could not be sent. Check the connection to the amplifier.")),
        style::Exclamation);
    return false;
}

bool Panel::sendStandby() {
    return !leaving_ && poller_.write(protocol::Command::Force_STBY);
}

void Panel::Timer_Key_Deadline_Timer() {
    timerKeyDeadline_.setEnabled(false);
    poller_.receiveNow();
    if (!port_.isOpen())
        return;
    // Bytes still here say it directly. A pseudo-terminal or a network peer's buffers take
    // bytes the amplifier never reads; there the sign is a poll that was out at the key and
    // has had no answer since.
    const bool unread = pollOutAtKey_ && poller_.framesReceived() == framesAtKey_;
    if (port_.bytesPending() == 0 && !unread)
        return;
    // Whatever waits to go out is given up, polls and keys alike; polls are asked again.
    qCWarning(lcLine) << "the amplifier is not reading: the waiting output was discarded";
    port_.discardOutput();
    session_.checkLine();
    reportStall();
}

void Panel::reportStall() {
    if (!std::exchange(stallReported_, true))
        views_.operatorView.showNotice(
            QStringLiteral("The amplifier is not reading: the command was not sent."));
}

bool Panel::Save_All_to_ini_file() {
    if (session_.isHandedOver())
        return false;
    return saveSettings(true);
}

bool Panel::saveSettings(bool tellOperator) {
    state_.settings.Ports = state_.ports.entries();
    const bool saved = store_.Save_All_to_ini_file(state_.settings, views_.placement);
    if (saved) {
        saveFailureShown_ = false;
    } else if (!tellOperator) {
        qCWarning(lcCore) << "the settings could not be saved to" << store_.writePath();
    } else if (!saveFailureShown_) {
        saveFailureShown_ = true;
        views_.operatorView.showMessage(QStringLiteral("The settings could not be saved to ") +
                                            store_.writePath(),
                                        style::Exclamation);
    }
    return saved;
}

void Panel::startup() {
    auto& s = state_.settings;
    s = settings::Settings{};
    state_.Test_Space_Shown = false;
    state_.Test_Space_Cmd_Pending = false;

    auto& w = views_.main;
    w.setHeightTwips(PanelState::Height_Normal);
    w.setWidthTwips(PanelState::Form_Width);
    const int left = w.screenLeftTwips() + (w.screenWidthTwips() - w.widthTwips()) / 2;
    const int top = w.screenTopTwips() + (w.screenHeightTwips() - w.heightTwips()) / 2;
    views_.placement.setLeft(left);
    views_.placement.setTop(top);
    s.Top_Location = settings::plainNumber(top + w.heightTwips() * 0.2);
    s.Left_Location = settings::plainNumber(left + w.widthTwips() * 0.2);

    w.blankDisplay();
    store_.loadPortMap(s);
    state_.ports = serial::PortMap(s.Ports);
    if (detectDevices)
        state_.ports.assignDetected(detectDevices());
    Scan_Com_Ports();
    if (store_.Ini_Has_Port_Number()) {
        store_.Load_All_from_ini_file(s, views_.placement);
        w.keepOnScreen();
    }
    applyLineSettings(true);
    Open_Com_Port();
    if (const QString problem = store_.loadProblem(); !problem.isEmpty())
        views_.operatorView.showMessage(problem, style::Exclamation);

    if (s.AlwaysOnTop == QLatin1String("Yes")) {
        w.setOnTop(true);
        w.setMenuChecked(MenuItem::AlwaysOnTop, true);
    } else {
        w.setMenuChecked(MenuItem::AlwaysOnTop, false);
        w.setOnTop(false);
    }
    w.setMenuChecked(MenuItem::ForceStbyOnExit, s.Force_STBY == QLatin1String("Yes"));
    const bool small = s.Size == QLatin1String("Small");
    w.setHeightTwips(small ? PanelState::Height_Small : PanelState::Height_Normal);
    w.setMenuChecked(MenuItem::SizeSmall, small);
    w.setMenuChecked(MenuItem::SizeNormal, !small);
}

void Panel::startupShown() {
    // The port is waited for in silence, as an adapter not plugged in yet; an address with a
    // fault in the file would be waited for forever.
    if (const QString refusal = session_.refusal(); !refusal.isEmpty())
        views_.operatorView.showMessage(refusal, style::Exclamation);
}

void Panel::menu_Size_Normal_Click() {
    views_.main.setHeightTwips(PanelState::Height_Normal);
    views_.main.setMenuChecked(MenuItem::SizeNormal, true);
    views_.main.setMenuChecked(MenuItem::SizeSmall, false);
    state_.settings.Size = QStringLiteral("Normal");
    Save_All_to_ini_file();
}

void Panel::menu_Size_Small_Click() {
    views_.main.setHeightTwips(PanelState::Height_Small);
    views_.main.setMenuChecked(MenuItem::SizeNormal, false);
    views_.main.setMenuChecked(MenuItem::SizeSmall, true);
    state_.settings.Size = QStringLiteral("Small");
    Save_All_to_ini_file();
}

void Panel::hideTestSpace(int height) {
    views_.main.setHeightTwips(height);
    state_.Test_Space_Shown = false;
    views_.main.setMenuChecked(MenuItem::ShowTestSpace, false);
}

void Panel::menuShow_test_space_Click() {
    if (state_.Test_Space_Shown) {
        hideTestSpace(PanelState::Height_Normal);
        return;
    }
    views_.main.setHeightTwips(PanelState::Height_Test_Space);
    state_.Test_Space_Shown = true;
    views_.main.setMenuChecked(MenuItem::ShowTestSpace, true);
    state_.Test_Space_Cmd_Pending = true;
}

void Panel::Command_Hide_test_space_Click() {
    hideTestSpace(PanelState::Height_Normal);
}

void Panel::mainEscape() {
    hideTestSpace(state_.settings.Size == QLatin1String("Small") ? PanelState::Height_Small
                                                                 : PanelState::Height_Normal);
}

void Panel::menuAlwaysOnTop_Click() {
    auto& s = state_.settings;
    if (s.AlwaysOnTop == QLatin1String("Yes")) {
        views_.main.setOnTop(false);
        views_.main.setMenuChecked(MenuItem::AlwaysOnTop, false);
        s.AlwaysOnTop = QStringLiteral("No");
    } else {
        views_.main.setOnTop(true);
        views_.main.setMenuChecked(MenuItem::AlwaysOnTop, true);
        s.AlwaysOnTop = QStringLiteral("Yes");
    }
    Save_All_to_ini_file();
}

void Panel::MenuForceSTBYonExit_Click() {
    // Driven by the item's own check mark: what the operator sees is what is toggled.
    const bool checked = views_.main.isMenuChecked(MenuItem::ForceStbyOnExit);
    views_.main.setMenuChecked(MenuItem::ForceStbyOnExit, !checked);
    state_.settings.Force_STBY = checked ? QStringLiteral("No") : QStringLiteral("Yes");
    if (onLineChanged)
        onLineChanged();
    Save_All_to_ini_file();
}

void Panel::menuTinyWidget_Click() {
    const auto& s = state_.settings;
    views_.tiny.openAt(settings::clampedInt(settings::lenientNumber(s.Left_Location)),
                       settings::clampedInt(settings::lenientNumber(s.Top_Location)));
    views_.main.setWindowShown(false);
}

void Panel::tinyClosed(std::optional<QPoint> placeTwips) {
    if (placeTwips) {
        state_.settings.Top_Location = QString::number(placeTwips->y());
        state_.settings.Left_Location = QString::number(placeTwips->x());
    }
    if (!session_.isHandedOver())
        views_.main.setWindowShown(true);
}

void Panel::applyBaudRate(std::optional<int> baudRate) {
    if (session_.isHandedOver())
        return;
    if (baudRate)
        state_.settings.BaudRate = *baudRate;
    applyLineSettings(false);
    Save_All_to_ini_file();
}

void Panel::applyPolling(std::optional<int> pollingMs) {
    if (session_.isHandedOver())
        return;
    if (pollingMs)
        state_.settings.Polling = *pollingMs;
    poller_.Timer_Poll().setInterval(state_.settings.Polling);
    Save_All_to_ini_file();
}

void Panel::applyTimeOut(std::optional<int> timeOutMs) {
    // The running count is left alone: the poll cycle uses the new value at its next re-arm.
    if (timeOutMs)
        state_.settings.TimeOut = *timeOutMs;
    Save_All_to_ini_file();
}

bool Panel::startBootloader() {
    if (!port_.isOpen()) {
        session_.reportNotOpen();
        return false;
    }
    poller_.stop();
    // The hand-over is claimed only once the start frame has left: otherwise the amplifier
    // never entered its bootloader and the panel must go on owning the line.
    const qint64 frameSize = state_.frames.frame(protocol::Command::Start_Bootloader).size();
    const bool written = poller_.write(protocol::Command::Start_Bootloader);
    if (!written || !port_.waitForWritten(ForceStandbyWaitMs)) {
        qCWarning(lcCore) << "the bootloader start could not be sent:" << port_.errorString();
        // Part of the frame may be on its way: what is left must never reach the amplifier
        // later, while the panel believes it is still in charge.
        const bool partlyLeft = written && port_.bytesPending() < frameSize;
        port_.discardOutput();
        session_.checkLine();
        poller_.resume();
        views_.operatorView.showMessage(
            session_.withReason(
                partlyLeft
                    ? QStringLiteral("The bootloader start could not be sent to the amplifier "
                                     "completely. The amplifier may be in its bootloader now; "
                                     "switch it off and on if it does not answer.")
                    : QStringLiteral("The bootloader start could not be sent to the amplifier. "
                                     "Check the connection and try again.")),
            style::Exclamation);
        return false;
    }
    session_.handOver();
    // Only the wait dialog may remain: a settings dialog's Apply or the tiny widget's Escape
    // would otherwise rewrite the settings or bring back a panel that no longer owns the line.
    if (secondary_)
        secondary_->closeAll();
    if (views_.tiny.isShown())
        views_.tiny.closeWindow();
    return true;
}

ExitResult Panel::shutdownPort(const ExitClock& clock) {
    leaving_ = true;
    poller_.stop();
    timerKeyDeadline_.setEnabled(false);
    ExitResult result;
    // Force standby goes first: a slow disk or a kill during the save must not hold back the
    // one frame that makes the amplifier safe. A port the panel waits for counts as well: the
    // amplifier is still out there, unsafe, and the operator must hear that nothing was sent.
    ForceStandby standby(state_.frames, port_);
    result.standbyDue = state_.settings.Force_STBY == QLatin1String("Yes") &&
                        (port_.isOpen() || session_.isWaiting());
    if (result.standbyDue)
        standby.begin(clock.now(), poller_.unansweredPolls());
    // The widget is closed only after the save: the place it has now is the one to keep.
    if (int left = 0, top = 0; views_.tiny.isShown() && views_.tiny.currentPlace(left, top)) {
        state_.settings.Top_Location = QString::number(top);
        state_.settings.Left_Location = QString::number(left);
    }
    // No message box here: shutdown also runs for a kill or a logout, with nobody to close
    // the box, and a box left open would keep the panel from ever ending.
    saveSettings(false);
    while (result.standbyDue && !standby.finished()) {
        if (clock.interrupted && clock.interrupted()) {
            standby.abandon(QStringLiteral("the wait was cut short by a second signal"));
            break;
        }
        port_.waitForReadyRead(standby.msUntilNextStep(clock.now()));
        standby.step(clock.now());
    }
    result.stage = standby.stage();
    result.reason = standby.failure();
    if (result.standbyDue && result.stage != ForceStandby::Stage::Confirmed)
        qCWarning(lcCore) << "force standby:" << result.reason;
    result.closed = !port_.isOpen() || port_.close();
    session_.closeForGood();
    return result;
}

} // namespace tarn::core
