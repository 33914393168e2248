// The real executable in Wayland sessions, against the simulator: weston (headless) with and
// without XWayland, and mutter, whose X window manager keeps windows above when asked.

#include "settings/inifile.h"
#include "support/appprocess.h"
#include "support/simprocess.h"
#include "support/xclients.h"

#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::testing;

namespace {
const QByteArray stored("[Form]\nTop_Location= 3000\nLeft_Location= 4500\n");

class WaylandSession : public ::testing::TestWithParam<bool>, private WithApplication {
protected:
    void SetUp() override {
        for (const char* tool : {"weston", "Xwayland", "xdotool", "xwininfo", "xprop"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << "needs " << tool << " (scripts/install-deps.sh)";
        // The session starts this, which tells the test the session's displays.
        write("tell", "#!/bin/sh\necho \"$$|$DISPLAY|$WAYLAND_DISPLAY|$XAUTHORITY\" >" +
                          dir.filePath("session").toUtf8() + "\nexec sleep 600\n");
        QFile::setPermissions(dir.filePath("tell"), QFile::ReadOwner | QFile::ExeOwner);
        write("weston.ini", "[autolaunch]\npath=" + dir.filePath("tell").toUtf8() + "\n");
        // The compositor's sockets, private (0700) as a login session's are.
        env.insert("XDG_RUNTIME_DIR", dir.path());
        env.insert("XDG_SESSION_TYPE", "wayland");
        env.insert("QT_QPA_PLATFORM", ""); // the panel's own choice
        env.insert("DISPLAY", "");
    }
    void TearDown() override {
        if (const int shell = session().value(0).toInt(); shell > 0)
            ::kill(shell, SIGTERM); // mutter ends with the program it started
        compositor.kill(), compositor.waitForFinished(5000);
    }
    void write(const char* name, const QByteArray& text) const {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly), f.write(text);
    }
    QStringList session() const {
        QFile f(dir.filePath("session"));
        return f.open(QIODevice::ReadOnly) ? QString(f.readAll()).trimmed().split('|')
                                           : QStringList();
    }

    // Starts the compositor and takes on the displays its session offers.
    bool startSession(const char* program, const QStringList& args) {
        compositor.setProcessEnvironment(env);
        compositor.start(program, args);
        if (!waitUntil([&] { return session().size() == 4; }, 15000))
            return false;
        for (const int i : {1, 2, 3})
            env.insert(QStringList{"", "DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY"}[i],
                       session()[i]);
        return true;
    }
    bool startWeston(bool xwayland) {
        return startSession("weston",
                            QStringList{"--config=" + dir.filePath("weston.ini"),
                                        "--backend=headless-backend.so", "--idle-time=0"} +
                                (xwayland ? QStringList{"--xwayland"} : QStringList()));
    }

    bool startPanel(const QByteArray& form) {
        app.writeIni("[COM]\nPortNumber= 1\n[Ports]\nCOM1=" + sim.endpoint().toUtf8() + "\n" +
                     form);
        const qsizetype polls = sim.receivedFrames().size();
        return app.start(true, env) &&
               waitUntil([&] { return sim.receivedFrames().size() >= polls + 3; }, 10000);
    }
    // Waits for the window of that title on the X display to show `what` in its xwininfo or
    // _NET_WM_STATE.
    bool xShows(const char* title, const QString& what) const {
        return waitUntil(
            [&] {
                const QString id = visibleWindow(env, title);
                return !id.isEmpty() && QRegularExpression(what)
                                            .match(runX(env, "xwininfo", {"-id", id}) +
                                                   runX(env, "xprop", {"-id", id, "_NET_WM_STATE"}))
                                            .hasMatch();
            },
            15000);
    }
    QString savedPlace() const {
        const auto ini = settings::IniFile::parse(app.ini());
        return ini.value("Form", "Top_Location") + ini.value("Form", "Left_Location");
    }

    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QProcess compositor;
    SimProcess sim{{"--drift", "600000"}};
    AppProcess app{dir.path()};
};

// With XWayland the windows are X11 clients and open where they were; natively nothing the
// compositor never told is stored (a first run stores none). Either way the panel polls and ends
// in standby, also when the compositor goes away (at once, and without saving).
TEST_P(WaylandSession, ThePanelPollsEndsInStandbyAndStoresOnlyPlacesItWasTold) {
    const bool x = GetParam();
    ASSERT_TRUE(startWeston(x));
    for (const QByteArray& form : {stored, QByteArray(), stored + "; compositor gone"}) {
        ASSERT_TRUE(startPanel(form.isEmpty() && x ? app.ini() : form)) << "no polls";
        // The frame at (300, 200) pixels, the client area a border and a title bar inside it.
        EXPECT_TRUE(
            !x ||
            xShows(MainTitle,
                   R"(Absolute upper-left X:\s+3[0-3]\d\s+Absolute upper-left Y:\s+2[0-7]\d)"))
            << "not an X client, or not in place";
        const qsizetype before = sim.receivedFrames().size();
        const bool gone = form.endsWith("gone");
        if (gone)
            compositor.kill();
        ASSERT_TRUE(gone ? app.waitForFinished(5000) : app.terminate(10000) && app.exitCode() == 0);
        EXPECT_TRUE(
            waitUntil([&] { return sim.receivedFrames().mid(before).contains("FB 03 02 05 FE"); }));
        EXPECT_EQ(savedPlace(), form.isEmpty() && !x ? "" : "30004500");
    }
}
INSTANTIATE_TEST_SUITE_P(XWaylandOrNot, WaylandSession, ::testing::Bool());

// weston's X window manager drops the request to stay above; mutter's keeps it.
TEST_F(WaylandSession, TheMainWindowAndTheTinyWidgetAskToStayAbove) {
    if (QStandardPaths::findExecutable("mutter").isEmpty())
        GTEST_SKIP() << "needs mutter";
    ASSERT_TRUE(startSession("dbus-run-session",
                             {"--", "mutter", "--headless", "--wayland", "--virtual-monitor",
                              "1280x1024", "--", dir.filePath("tell")}));
    ASSERT_TRUE(startPanel(stored + "AlwaysOnTop=Yes\n")) << "no polls";
    EXPECT_TRUE(xShows(MainTitle, "_NET_WM_STATE_ABOVE"));
    // The tiny widget, View's second item, chosen from the keyboard.
    runX(env, "xdotool", {"windowactivate", "--sync", visibleWindow(env, MainTitle)});
    runX(env, "xdotool",
         {"key", "--delay", "60", "alt", "Right", "Right", "Right", "Right", "Down", "Down", "Down",
          "Return"});
    EXPECT_TRUE(xShows(TinyTitle, "_NET_WM_STATE_ABOVE"));
}

} // namespace
