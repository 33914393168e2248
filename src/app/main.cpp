// Builds the panel and runs the event loop.
#include "guardian/guardian.h"
#include "panelapp.h"
#include "platformchoice.h"
#include "ui/fonts.h"
#include "ui/icons.h"
#include "unixsignals.h"

#include <QApplication>
#include <cstdlib>
#include <memory>
#include <utility>

namespace {
// The panel an exit handler may still reach. The display plugin ends the process with exit()
// when the display connection breaks; only a handler registered with the C library runs then,
// and it can take no argument.
tarn::app::PanelApplication* livePanel = nullptr;

extern "C" void onProcessExit() {
    if (livePanel == nullptr)
        return;
    tarn::app::PanelApplication* panel = std::exchange(livePanel, nullptr);
    // Force standby went out (or could not) while the stack below still stands; a failure
    // replaces the plugin's status with the panel's own.
    if (const int status = panel->displayLost(); status != 0)
        std::_Exit(status);
}

// Keeps livePanel pointing at a panel that exists.
struct LivePanel {
    explicit LivePanel(tarn::app::PanelApplication& panel) {
        livePanel = &panel;
        std::atexit(onProcessExit);
    }
    ~LivePanel() { livePanel = nullptr; }
};
} // namespace

int main(int argc, char* argv[]) {
    // Forked before any thread exists. It writes force standby should this process die without
    // its shutdown (killed, crashed, ended by a display library's _exit).
    const std::unique_ptr<tarn::guardian::Guardian> guardian = tarn::guardian::Guardian::start();

    // The panel repaints a few small lamps and figures many times a second. Through X shared
    // memory each picture first waits for the X server to finish reading the one before (a
    // round trip that wakes both programs); through the socket it does not, and a few kilobytes
    // cost less to send than that wait. An operator's own choice stands.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
    const QByteArray platform =
        tarn::app::preferredPlatform([](const char* name) { return qgetenv(name); }, argc, argv);
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform);
    QApplication app(argc, argv);
    // The choice was the panel's alone: the firmware client it starts gets the session as the
    // operator has it.
    if (!platform.isEmpty())
        qunsetenv("QT_QPA_PLATFORM");
    app.setApplicationName(QStringLiteral("tarn-vq4400"));
    app.setQuitOnLastWindowClosed(false);
    tarn::ui::installFontSubstitutions();
    app.setWindowIcon(tarn::ui::applicationIcon());

    using tarn::core::Way;
    tarn::app::PanelApplication panel(guardian.get());
    const LivePanel live(panel);
    // A desktop logout or a kill runs the same shutdown as File > Exit.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app,
                     [&] { panel.shutdown(Way::SessionEnd); });
    const tarn::app::TerminationSignals terminationSignals(
        [&](int) { panel.shutdown(Way::Signal); });

    panel.start();
    // A way out taken during start-up (a signal while its message box was open) has ended the
    // program already: a fresh event loop would keep a window alive that nothing can close.
    const int code = panel.hasLeft() ? 0 : app.exec();
    panel.shutdown(Way::Window);
    return code != 0 ? code : panel.exitCode();
}
