#include "core/panel.h"

#include "protocol/hexecho.h"
#include "serial/serialport.h"
#include "settings/numbers.h"
#include "settings/settingsstore.h"

namespace tarn::core {

using protocol::DecodeResult;

Panel::Panel(PanelState& state, serial::SerialPort& port, settings::SettingsStore& store,
             PanelViews views)
    : state_(state), port_(port), store_(store), views_(views),
      timerPoll_(50, true, [this] { Timer_Poll_Timer(); }),
      timerTimeout_(200, false, [this] { Timer_Connection_Timeout_Timer(); }),
      timerReopen_(ReopenIntervalMs, false, [this] { Timer_Reopen_Timer(); }) {}

QString Panel::lineSettingsFor(int baudRate) {
    return QString::number(baudRate) + QStringLiteral(",n,8,1");
}

void Panel::Scan_Com_Ports() {
    for (int i = 1; i <= PanelState::Max_Com_Port; ++i) {
        views_.menu.setComItemDevice(i, port_.deviceName(i));
        bool failed = !port_.setPortNumber(i) || !port_.open();
        if (port_.isOpen() && !port_.close())
            failed = true;
        views_.menu.setComItemAvailable(i, !failed);
        if (!failed)
            views_.menu.setPlaceholderVisible(false);
    }
}

void Panel::menuCom_Click(int index) {
    state_.settings.PortNumber = index;
    if (index == 0) {
        views_.operatorView.showMessage(
            QStringLiteral("Exit the application and check the connection. Then try again."),
            style::Information, QStringLiteral("No Free Com Ports Found"));
        return;
    }
    Change_Com_Port();
    Save_All_to_ini_file();
}

void Panel::Open_Com_Port() {
    const int number = state_.settings.PortNumber;
    if (number <= 0) {
        views_.menu.setCloseComPortEnabled(false);
        return;
    }
    bool failed = false;
    if (port_.isOpen()) {
        failed = !port_.close();
        markClosed();
    }
    // A rejected number must not open the port on whatever number it held before.
    if (!port_.setPortNumber(number))
        failed = true;
    if (port_.isOpen())
        return;
    if (!failed)
        failed = !port_.open();
    if (failed) {
        views_.menu.setCloseComPortEnabled(false);
        return;
    }
    markOpened(number);
}

void Panel::uncheckComItems() {
    for (int i = 1; i <= PanelState::Max_Com_Port; ++i)
        views_.menu.setComItemChecked(i, false);
}

void Panel::Change_Com_Port() {
    uncheckComItems();
    if (port_.isOpen())
        port_.close();
    markClosed();

    const int number = state_.settings.PortNumber;
    const bool failed = !port_.setPortNumber(number) || !port_.open();
    if (failed) {
        port_.close();
        views_.menu.setCloseComPortEnabled(false);
        if (number > 0)
            views_.operatorView.showMessage(QStringLiteral("The Com Port is not available"));
        state_.settings.PortNumber = 0;
        return;
    }
    markOpened(number);
}

void Panel::menuCloseComPort_Click() {
    state_.settings.PortNumber = 0;
    Change_Com_Port();
    Save_All_to_ini_file();
}

void Panel::applyLineSettings(bool announce) {
    const QString settings = lineSettingsFor(state_.settings.BaudRate);
    if (!port_.isOpen()) {
        port_.setLineSettings(settings);
        return;
    }
    port_.close();
    if (announce)
        views_.operatorView.showMessage(QStringLiteral("COM settings ") + settings);
    port_.setLineSettings(settings);
    if (!port_.open()) {
        // The device vanished between close and open: say so, and keep the menu in step.
        markClosed();
        uncheckComItems();
        views_.menu.setCloseComPortEnabled(false);
        views_.operatorView.showMessage(QStringLiteral("The Com Port is not available"));
    }
}

void Panel::markOpened(int number) {
    openNumber_ = number;
    lost_ = false;
    timerReopen_.setEnabled(false);
    if (number <= PanelState::Max_Com_Port)
        views_.menu.setComItemChecked(number, true);
    views_.menu.setCloseComPortEnabled(true);
}

void Panel::markClosed() {
    if (openNumber_ != 0)
        for (auto* listener : listeners_)
            listener->lineSilent();
    openNumber_ = 0;
    lost_ = false;
    timerReopen_.setEnabled(false);
}

void Panel::noticeLostLine() {
    // The port closed itself under us (adapter pulled, port server gone). The time-out shows
    // the silence; here we only keep the menu honest and try to get the same port back.
    if (openNumber_ == 0 || lost_ || port_.isOpen())
        return;
    lost_ = true;
    if (openNumber_ <= PanelState::Max_Com_Port)
        views_.menu.setComItemChecked(openNumber_, false);
    timerReopen_.setEnabled(true);
}

void Panel::Timer_Reopen_Timer() {
    if (!lost_) {
        timerReopen_.setEnabled(false);
        return;
    }
    if (!port_.setPortNumber(openNumber_) || !port_.open())
        return;
    markOpened(openNumber_);
}

void Panel::Timer_Poll_Timer() {
    noticeLostLine();
    if (port_.isOpen()) {
        state_.Received_Chunk = port_.readAll();
        if (!state_.Received_Chunk.isEmpty()) {
            if (state_.Test_Space_Shown) {
                protocol::appendRawEcho(state_.hdlcEcho, state_.Received_Chunk,
                                        protocol::RawEchoLimit);
                views_.main.setRawEcho(state_.hdlcEcho);
            }
            Decode_Response();
            restartTimeout();
        }
    }
    if (port_.isOpen()) {
        if (state_.Test_Space_Cmd_Pending) {
            port_.write(state_.frames.Cmd_Test_Space);
            state_.Test_Space_Cmd_Pending = false;
        } else {
            port_.write(state_.frames.Cmd_Poll);
        }
    }
    timerPoll_.setInterval(state_.settings.Polling);
}

void Panel::restartTimeout() {
    timerTimeout_.setEnabled(false);
    timerTimeout_.setInterval(state_.settings.TimeOut);
    timerTimeout_.setEnabled(true);
}

void Panel::Decode_Response() {
    QString* echo = state_.Test_Space_Shown ? &state_.decodedEcho : nullptr;
    const DecodeResult r = protocol::Decode_Response(state_.Received_Chunk, state_.Rx_Byte, echo);
    if (echo)
        views_.main.setDecodedEcho(*echo);
    if (r.kind == DecodeResult::Kind::FirmwareReport)
        views_.main.setFirmwareCaption(r.firmwareCaption);
    else if (r.drawStatus())
        Update_Status_Display();
}

void Panel::Update_Status_Display() {
    for (auto* listener : listeners_)
        listener->statusDecoded(state_.Rx_Byte);
    const auto fields = protocol::statusFields(state_.Rx_Byte);
    if (views_.tiny.isShown())
        views_.tiny.drawStatus(fields);
    else
        views_.main.drawStatus(fields);
}

void Panel::Timer_Connection_Timeout_Timer() {
    for (auto* listener : listeners_)
        listener->lineSilent();
    if (views_.tiny.isShown())
        views_.tiny.showNoCommunication();
    else
        views_.main.showNoCommunication();
}

bool Panel::sendCommand(const QByteArray& frame, bool reportClosed) {
    if (!port_.isOpen()) {
        if (reportClosed)
            views_.operatorView.showMessage(QStringLiteral("Select a COM Port"));
        return false;
    }
    if (port_.write(frame))
        return true;
    noticeLostLine();
    views_.operatorView.showMessage(
        QStringLiteral("The command could not be sent. Check the connection to the amplifier."),
        style::Exclamation);
    return false;
}

bool Panel::Save_All_to_ini_file() {
    return saveSettings(true);
}

bool Panel::saveSettings(bool tellOperator) {
    state_.settings.Ports = state_.ports.entries();
    const bool saved = store_.Save_All_to_ini_file(state_.settings, views_.placement);
    if (saved) {
        saveFailureShown_ = false;
    } else if (!tellOperator) {
        qWarning("tarn-vq4400: the settings could not be saved to %s",
                 qPrintable(store_.writePath()));
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
    Save_All_to_ini_file();
}

void Panel::menuTinyWidget_Click() {
    const auto& s = state_.settings;
    views_.tiny.openAt(settings::clampedInt(settings::lenientNumber(s.Left_Location)),
                       settings::clampedInt(settings::lenientNumber(s.Top_Location)));
    views_.main.setWindowShown(false);
}

void Panel::tinyClosed(int leftTwips, int topTwips) {
    state_.settings.Top_Location = QString::number(topTwips);
    state_.settings.Left_Location = QString::number(leftTwips);
    views_.main.setWindowShown(true);
}

void Panel::applyBaudRate(std::optional<int> baudRate) {
    if (baudRate)
        state_.settings.BaudRate = *baudRate;
    applyLineSettings(false);
    Save_All_to_ini_file();
}

void Panel::applyPolling(std::optional<int> pollingMs) {
    if (pollingMs)
        state_.settings.Polling = *pollingMs;
    timerPoll_.setInterval(state_.settings.Polling);
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
        views_.operatorView.showMessage(QStringLiteral("Select a COM Port"));
        return false;
    }
    timerPoll_.setEnabled(false);
    timerTimeout_.setEnabled(false);
    port_.write(state_.frames.Cmd_Start_Bootloader);
    port_.close();
    markClosed();
    return true;
}

void Panel::shutdownPort() {
    if (state_.settings.Force_STBY == QLatin1String("Yes") && port_.isOpen())
        port_.write(state_.frames.Cmd_Force_STBY);
    // The widget is closed only after the save: the place it has now is the one to keep.
    if (int left = 0, top = 0; views_.tiny.isShown() && views_.tiny.currentPlace(left, top)) {
        state_.settings.Top_Location = QString::number(top);
        state_.settings.Left_Location = QString::number(left);
    }
    // No message box here: shutdown also runs for a kill or a logout, with nobody to close
    // the box, and a box left open would keep the panel from ever ending.
    saveSettings(false);
    if (port_.isOpen())
        port_.close();
    markClosed();
    timerPoll_.setEnabled(false);
    timerTimeout_.setEnabled(false);
}

} // namespace tarn::core
