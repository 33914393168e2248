#pragma once

#include "core/views.h"
#include "ui/dialogs/bootloaderdialogs.h"
#include "ui/dialogs/settingsdialogs.h"

#include <QObject>
#include <QString>
#include <functional>

namespace tarn::core {
class Panel;
}

namespace tarn::ui {

class MainWindow;

// The main window's secondary windows: the three settings dialogs, the firmware-update pair,
// and the Help menu's guide and About box. Owns one instance of each dialog and connects the
// six menu items to them. The main window, the panel and the operator view must outlive it.
class Dialogs final : public core::SecondaryWindows {
public:
    Dialogs(MainWindow& main, core::Panel& panel, core::OperatorView& operatorView);
    ~Dialogs() override;

    Dialogs(const Dialogs&) = delete;
    Dialogs& operator=(const Dialogs&) = delete;

    // Called when the wait dialog closes, after the port went to the bootloader client: it
    // must end the application at once, without the shutdown (no force standby, no save).
    // Defaults to leaving the event loop.
    std::function<void()> endApplication;
    // Hands the guide to the system's program for HTML files; false when it could not. The
    // default also answers false for a file that does not exist.
    std::function<bool(const QString& path)> openDocument;
    // Where the guide is looked for: the executable's directory by default.
    QString applicationDir;

    // The shutdown's share: closes the baud-rate, polling-rate and time-out dialogs, in that
    // order, each only if it is open.
    void closeAll() override;

    // Help menu.
    void menu_Guide_Click();
    void menu_About_Click();
    // The directory, one separator (added only when it does not already end in one),
    // "guide.html".
    static QString guidePath(const QString& directory);

    BaudRateDialog& baudRate() { return baudRate_; }
    PollingRateDialog& pollingRate() { return pollingRate_; }
    TimeOutDialog& timeOut() { return timeOut_; }
    RemoteFirmwareUpdateDialog& firmwareUpdate() { return firmwareUpdate_; }
    BootloaderWaitDialog& bootloaderWait() { return bootloaderWait_; }

private:
    core::OperatorView& operator_;
    BaudRateDialog baudRate_;
    PollingRateDialog pollingRate_;
    TimeOutDialog timeOut_;
    BootloaderWaitDialog bootloaderWait_;
    RemoteFirmwareUpdateDialog firmwareUpdate_;
    // Receiver of the menu connections, so that they end with this object.
    QObject connections_;
};

} // namespace tarn::ui
