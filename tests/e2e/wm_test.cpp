// The real executable under a real window manager: a private Xvfb with openbox, the windows
// driven with xdotool and measured with xwininfo and xprop as an operator's desktop sees them.
// The offscreen platform of the other tests has no frames, so placement faults only show here.

#include "settings/inifile.h"
#include "support/appprocess.h"
#include "support/simprocess.h"
#include "support/xclients.h"

#include <QElapsedTimer>
#include <QRect>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <utility>

using namespace tarn;
using namespace tarn::testing;

namespace {
// View menu items, separators not counted; the View menu is the menu bar's fifth.
enum ViewItem { SmallSize = 1, TinyWidget = 2, AlwaysOnTop = 3, ShowTestSpace = 4 };

// Checks every `pauseMs` until `done` holds; X clients are slow on a loaded machine.
bool eventually(const std::function<bool()>& done, int timeoutMs = 20000, int pauseMs = 50) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs)
        runFor(pauseMs);
    return done();
}

struct X11Window {
    QRect client, frame; // in root coordinates; the frame from _NET_FRAME_EXTENTS
    bool framed = false; // mapped, with the frame the window manager reported
    QString states;      // _NET_WM_STATE
};

class Desktop : public ::testing::TestWithParam<int>, private WithApplication {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "openbox", "xdotool", "xwininfo", "xprop"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << "needs " << tool << " (scripts/install-deps.sh)";
        // -displayfd 1: the server takes a free display number and prints it.
        xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
        ASSERT_TRUE(eventually([&] { return xvfb.canReadLine(); }));
        env.insert("DISPLAY", ":" + QString::fromLatin1(xvfb.readLine()).trimmed());
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        openbox.setProcessEnvironment(env);
        panel.setProcessEnvironment(env);
        panel.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        openbox.start("openbox", {"--sm-disable"});
        ASSERT_TRUE(eventually([&] { return x("xprop", {"-root"}).contains("_NET_SUPPORTING"); }));
        // COM1 is the simulator, so the display runs while the windows are moved about; the
        // main window's frame has its corner at (300, 200) pixels.
        app.writeIni("[COM]\nPortNumber= 1\n[Ports]\nCOM1=" + sim.endpoint().toUtf8() +
                     "\n[Form]\nTop_Location= 3000\nLeft_Location= 4500\n");
    }
    void TearDown() override {
        for (QProcess* p : {&panel, &openbox, &xvfb}) {
            p->terminate();
            if (!p->waitForFinished(5000))
                p->kill();
        }
    }

    QString x(const char* program, const QStringList& args) const {
        return runX(env, program, args);
    }
    QString mainId() const { return visibleWindow(env, MainTitle); }
    QString tinyId() const { return visibleWindow(env, TinyTitle); }
    X11Window window(const QString& id) const {
        static const QRegularExpression numbers(
            R"(upper-left X:\s+(-?\d+).*?upper-left Y:\s+(-?\d+).*?Width: (\d+).*?Height: (\d+))",
            QRegularExpression::DotMatchesEverythingOption);
        static const QRegularExpression extents(R"(\(CARDINAL\) = (\d+), (\d+), (\d+), (\d+))");
        const QString info = x("xwininfo", {"-id", id});
        const QString props = x("xprop", {"-id", id, "_NET_FRAME_EXTENTS", "_NET_WM_STATE"});
        const auto c = numbers.match(info), e = extents.match(props);
        const auto n = [](const auto& m, int i) { return m.captured(i).toInt(); };
        const QRect client(n(c, 1), n(c, 2), n(c, 3), n(c, 4));
        return {client, client.adjusted(-n(e, 1), -n(e, 3), n(e, 2), n(e, 4)),
                e.hasMatch() && info.contains("IsViewable"), props};
    }
    // The window once it is framed and has stopped moving: the same in two looks apart.
    std::optional<X11Window> settled(const QString& id) const {
        X11Window last, now = window(id);
        const auto still = [&] {
            last = std::exchange(now, window(id));
            return now.framed && now.frame == last.frame && now.client == last.client;
        };
        return eventually(still, 20000, 150) ? std::optional(now) : std::nullopt;
    }

    // Starts the panel and waits for its main window to settle.
    std::optional<X11Window> start() {
        panel.start(app.exePath(), {});
        if (!eventually([&] { return !mainId().isEmpty(); }))
            return std::nullopt;
        return settled(mainId());
    }
    // SIGTERM: the panel's own shutdown, save included.
    bool stop() {
        panel.terminate();
        return panel.waitForFinished(20000) && panel.exitStatus() == QProcess::NormalExit;
    }
    QPoint saved(const char* section) const {
        const auto ini = settings::IniFile::parse(app.ini());
        return {ini.value(section, "Left_Location").toInt(),
                ini.value(section, "Top_Location").toInt()};
    }

    // A View menu item with the keyboard, as an operator without a mouse would choose it: Alt,
    // arrows, Return. Tried again if a key got lost on the way.
    bool chooseViewItem(int item, const std::function<bool()>& done) {
        for (int attempt = 0; attempt < 3 && !mainId().isEmpty(); ++attempt) {
            x("xdotool", {"windowactivate", "--sync", mainId()});
            x("xdotool", {"key", "--clearmodifiers", "alt"});
            x("xdotool", QStringList{"key", "--delay", "60"} + QStringList(4, "Right") +
                             QStringList(item + 1, "Down") + QStringList{"Return"});
            if (eventually(done, 8000))
                return true;
            x("xdotool", {"key", "Escape", "Escape", "Escape"});
        }
        return false;
    }
    bool openTiny() {
        return chooseViewItem(TinyWidget,
                              [&] { return !tinyId().isEmpty() && mainId().isEmpty(); });
    }

    QTemporaryDir dir;
    SimProcess sim{{}};
    AppProcess app{dir.path()};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QProcess xvfb, openbox, panel;
};
} // namespace

// After any view, exit and start again find the window, and the saved numbers, where they were:
// the saved place is the frame's corner, whatever the window showed at exit. Escape in the tiny
// widget brings the main window back as it was; the widget stays out of the task bar, and its
// own place is saved at exit.
TEST_P(Desktop, AViewLeavesTheWindowAndTheSavedPlaceUnchangedAcrossSessions) {
    const auto first = start();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->frame.topLeft(), QPoint(300, 200));
    const int view = GetParam();
    const QString main = mainId();
    QPoint tinyPlace; // in twips
    if (view == TinyWidget) {
        ASSERT_TRUE(openTiny());
        x("xdotool", {"windowactivate", "--sync", tinyId()});
        x("xdotool", {"key", "Escape"});
        ASSERT_TRUE(eventually([&] { return !mainId().isEmpty(); }));
        const auto back = settled(mainId());
        ASSERT_TRUE(back);
        EXPECT_EQ(back->frame, first->frame);
        EXPECT_EQ(back->client.size(), first->client.size());
        ASSERT_TRUE(openTiny());
        const QString tiny = tinyId();
        ASSERT_TRUE(settled(tiny));
        EXPECT_TRUE(window(tiny).states.contains("_NET_WM_STATE_SKIP_TASKBAR"));
        // Where the window manager puts the frame depends on the gravity Qt asked for; the
        // place saved is the frame's, wherever it is.
        ASSERT_TRUE(eventually([&] {
            x("xdotool", {"windowmove", tiny, "640", "480"});
            const X11Window w = window(tiny);
            return w.client.topLeft() == QPoint(640, 480) || w.frame.topLeft() == QPoint(640, 480);
        }));
        const auto moved = settled(tiny);
        ASSERT_TRUE(moved);
        tinyPlace = moved->frame.topLeft() * 15;
    } else {
        const int before = first->client.height();
        ASSERT_TRUE(chooseViewItem(view, [&] {
            const X11Window w = window(main);
            return w.client.height() != before || w.states.contains("_NET_WM_STATE_ABOVE");
        }));
        ASSERT_TRUE(settled(main));
    }
    ASSERT_TRUE(stop());
    EXPECT_EQ(saved("Form"), QPoint(4500, 3000));
    EXPECT_TRUE(view != TinyWidget || saved("tiny_Form") == tinyPlace);
    const auto again = start();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->frame.topLeft(), first->frame.topLeft());
    EXPECT_EQ(again->client.width(), first->client.width());
    ASSERT_TRUE(stop());
    EXPECT_EQ(saved("Form"), QPoint(4500, 3000));
}

INSTANTIATE_TEST_SUITE_P(Views, Desktop,
                         ::testing::Values(TinyWidget, SmallSize, ShowTestSpace, AlwaysOnTop));
