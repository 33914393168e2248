// The real executable in Wayland sessions, against the simulator: weston (headless) with and
// without XWayland, and mutter, whose X window manager keeps windows above when asked.

#include "settings/inifile.h"
#include "support/appprocess.h"
#include "support/simprocess.h"
#include "support/xclients.h"

#include <QDir>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::testing;

namespace {
const QByteArray forceStandby("FB 03 02 05 FE");
const QByteArray stored("[Form]\nTop_Location= 3000\nLeft_Location= 4500\n");

class WaylandSession : public ::testing::Test, private WithApplication {
protected:
    void SetUp() override {
        for (const char* tool : {"weston", "Xwayland", "xdotool", "xwininfo", "xprop"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << "needs " << tool << " (scripts/install-deps.sh)";
        if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                           "/platforms/libqwayland-generic.so"))
            GTEST_SKIP() << "needs qt6-wayland (scripts/install-deps.sh)";
        // The compositor's sockets, private as a login session's are.
        QDir().mkpath(dir.filePath("run"));
        QFile::setPermissions(dir.filePath("run"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert("XDG_RUNTIME_DIR", dir.filePath("run"));
        env.insert("XDG_SESSION_TYPE", "wayland");
        env.insert("QT_QPA_PLATFORM", ""); // the panel's own choice
        env.insert("DISPLAY", "");
    }
    void TearDown() override {
        if (const int shell = session().value(0).toInt(); shell > 0)
            ::kill(shell, SIGTERM); // mutter ends with the command it runs
        compositor.kill();
        compositor.waitForFinished(5000);
    }
    // What the shell that mutter runs wrote: its pid and the session's displays.
    QStringList session() const {
        QFile f(dir.filePath("session"));
        return f.open(QIODevice::ReadOnly) ? QString(f.readAll()).trimmed().split(' ')
                                           : QStringList{"0"};
    }

    bool startWeston(bool xwayland) {
        compositor.setProcessEnvironment(env);
        compositor.setProcessChannelMode(QProcess::MergedChannels);
        compositor.start("weston", QStringList{"--backend=headless-backend.so", "--socket=tarn-wl",
                                               "--idle-time=0"} +
                                       (xwayland ? QStringList{"--xwayland"} : QStringList{}));
        env.insert("WAYLAND_DISPLAY", "tarn-wl");
        static const QRegularExpression listening("xserver listening on display (:\\d+)");
        QString log;
        return waitUntil(
            [&] {
                const auto m = listening.match(log += compositor.readAll());
                if (m.hasMatch())
                    env.insert("DISPLAY", m.captured(1));
                return QFile::exists(dir.filePath("run/tarn-wl")) && (!xwayland || m.hasMatch());
            },
            10000);
    }
    bool startMutter() {
        compositor.setProcessEnvironment(env);
        compositor.start("dbus-run-session", {"--", "mutter", "--headless", "--wayland",
                                              "--virtual-monitor", "1280x1024", "--", "sh", "-c",
                                              "echo $$ $DISPLAY $WAYLAND_DISPLAY $XAUTHORITY >" +
                                                  dir.filePath("session") + "; exec sleep 600"});
        if (!waitUntil([&] { return session().size() == 4; }, 15000))
            return false;
        for (const int i : {1, 2, 3})
            env.insert(QStringList{"", "DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY"}[i],
                       session()[i]);
        return true;
    }

    void writeIni(const QByteArray& form) {
        app.writeIni("[COM]\nPortNumber= 1\n[Ports]\nCOM1=" + sim.endpoint().toUtf8() + "\n" +
                     form);
    }
    bool startPanel() {
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
    QString saved(const char* key) const {
        return settings::IniFile::parse(app.ini()).value("Form", key);
    }

    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QProcess compositor;
    SimProcess sim{{"--drift", "600000"}};
    AppProcess app{dir.path()};
};

TEST_F(WaylandSession, WithXWaylandTheWindowsAreX11ClientsAndOpenWhereTheyWere) {
    ASSERT_TRUE(startWeston(true));
    writeIni(stored);
    for (int run = 0; run < 2; ++run) { // the second one from what the first one saved
        ASSERT_TRUE(startPanel()) << "no polls";
        // The frame at (300, 200) pixels, the client area a border and a title bar inside it.
        EXPECT_TRUE(xShows(
            MainTitle, R"(Absolute upper-left X:\s+3[0-3]\d\s+Absolute upper-left Y:\s+2[0-7]\d)"))
            << "not an X client, or not in place";
        ASSERT_TRUE(app.terminate(10000));
        EXPECT_EQ(app.exitCode(), 0);
        EXPECT_EQ(saved("Top_Location") + saved("Left_Location"), "30004500");
    }
}

TEST_F(WaylandSession, NativelyItPollsEndsInStandbyAndStoresNoPlaceItWasNeverTold) {
    ASSERT_TRUE(startWeston(false));
    for (const int run : {0, 1, 2}) { // a first run (no place stored), then the compositor gone
        const QByteArray form = run == 1 ? QByteArray() : stored;
        writeIni(form);
        ASSERT_TRUE(startPanel()) << "no polls";
        const qsizetype before = sim.receivedFrames().size();
        if (run == 2)
            compositor.kill();
        ASSERT_TRUE(run == 2 ? app.waitForFinished(5000) : app.terminate(10000)) << run;
        EXPECT_TRUE(
            waitUntil([&] { return sim.receivedFrames().mid(before).contains(forceStandby); }));
        EXPECT_EQ(saved("Top_Location") + saved("Left_Location"), form.isEmpty() ? "" : "30004500");
    }
}

// weston's X window manager drops the request to stay above; mutter's keeps it.
TEST_F(WaylandSession, TheMainWindowAndTheTinyWidgetAskToStayAbove) {
    if (QStandardPaths::findExecutable("mutter").isEmpty())
        GTEST_SKIP() << "needs mutter";
    ASSERT_TRUE(startMutter());
    writeIni(stored + "AlwaysOnTop=Yes\n");
    ASSERT_TRUE(startPanel()) << "no polls";
    EXPECT_TRUE(xShows(MainTitle, "_NET_WM_STATE_ABOVE"));
    // The tiny widget, View's second item, chosen from the keyboard.
    runX(env, "xdotool", {"windowactivate", "--sync", visibleWindow(env, MainTitle)});
    runX(env, "xdotool",
         {"key", "--delay", "60", "alt", "Right", "Right", "Right", "Right", "Down", "Down", "Down",
          "Return"});
    EXPECT_TRUE(xShows(TinyTitle, "_NET_WM_STATE_ABOVE"));
}

} // namespace
