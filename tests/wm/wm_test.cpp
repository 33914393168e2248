#include "support/simprocess.h"
#include "x11session.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarn::testing;

// Readable failures: places and sizes in pixels.
void PrintTo(const QPoint& p, std::ostream* os) {
    *os << "(" << p.x() << ", " << p.y() << ")";
}
void PrintTo(const QSize& s, std::ostream* os) {
    *os << s.width() << " x " << s.height();
}
void PrintTo(const QRect& r, std::ostream* os) {
    *os << r.width() << " x " << r.height() << " at (" << r.x() << ", " << r.y() << ")";
}

namespace {

// Menu bar order: File, Com, Settings, Voltage, View; View's items without separators.
constexpr int ViewMenu = 4;
enum ViewItem { NormalSize = 0, SmallSize = 1, TinyWidget = 2, AlwaysOnTop = 3, ShowTestSpace = 4 };

// 4500/3000 twips: the frame's corner at (300, 200) pixels.
const QByteArray PlacedIni = "[Form]\nTop_Location= 3000\nLeft_Location= 4500\n";

class WindowManager : public ::testing::Test, private WithApplication {
protected:
    void SetUp() override {
        if (const QStringList missing = X11Session::missingTools(); !missing.isEmpty())
            GTEST_SKIP() << "needs " << missing.join(' ').toStdString()
                         << " (scripts/install-deps.sh)";
        x_.emplace();
        ASSERT_TRUE(x_->ready()) << "Xvfb with openbox did not come up";
        ASSERT_FALSE(sim_.endpoint().isEmpty());
        panel_.emplace(*x_, dir_.path());
        // COM1 is the simulator, so the display runs while the windows are moved about.
        panel_->writeIni("[COM]\nPortNumber= 1\n[Ports]\nCOM1=" + sim_.endpoint().toUtf8() + "\n" +
                         PlacedIni);
    }

    PanelOnX11& panel() { return *panel_; }
    const X11Session& x() { return *x_; }

    bool openTiny() {
        return panel().chooseMenuItem(ViewMenu, TinyWidget, [&] {
            return !panel().tinyId().isEmpty() && panel().mainId().isEmpty();
        });
    }
    // Escape in the tiny widget, as the operator leaves it; the main window's settled look.
    std::optional<X11Window> closeTinyWithEscape() {
        const QString tiny = panel().tinyId();
        if (tiny.isEmpty())
            return std::nullopt;
        x().xdotool({"windowactivate", "--sync", tiny});
        x().xdotool({"key", "Escape"});
        if (!pollUntil([&] { return !panel().mainId().isEmpty(); }))
            return std::nullopt;
        return x().settled(panel().mainId());
    }
    QPoint savedFormPlace() const {
        return {panel_->iniValue("Form", "Left_Location").trimmed().toInt(),
                panel_->iniValue("Form", "Top_Location").trimmed().toInt()};
    }

    QTemporaryDir dir_;
    SimProcess sim_{{}};
    std::optional<X11Session> x_;
    std::optional<PanelOnX11> panel_;
};

} // namespace

TEST_F(WindowManager, TinyWidgetRoundTripsKeepTheMainWindowsPlaceAndSize) {
    const auto first = panel().start();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->frame.topLeft(), QPoint(300, 200));
    for (int trip = 1; trip <= 3; ++trip) {
        ASSERT_TRUE(openTiny()) << "trip " << trip;
        const auto back = closeTinyWithEscape();
        ASSERT_TRUE(back) << "trip " << trip;
        EXPECT_EQ(back->frame, first->frame) << "trip " << trip;
        EXPECT_EQ(back->client.size(), first->client.size()) << "trip " << trip;
    }
    ASSERT_TRUE(panel().stop());
    EXPECT_EQ(savedFormPlace(), QPoint(4500, 3000));
}

// After any view, exit and start again must find the window, and the saved numbers, where they
// were: the saved place is the frame's corner, whatever the window showed at exit.
class SessionsAfterAView : public WindowManager, public ::testing::WithParamInterface<int> {};

TEST_P(SessionsAfterAView, LeaveTheWindowAndTheSavedPlaceUnchanged) {
    const auto first = panel().start();
    ASSERT_TRUE(first);
    const int view = GetParam();
    if (view == TinyWidget) {
        ASSERT_TRUE(openTiny());
    } else {
        const QString main = panel().mainId();
        const int before = x().window(main).client.height();
        const auto changed = [&] {
            return x().window(main).client.height() != before ||
                   (view == AlwaysOnTop && x().window(main).states.contains("_NET_WM_STATE_ABOVE"));
        };
        ASSERT_TRUE(panel().chooseMenuItem(ViewMenu, view, changed));
        ASSERT_TRUE(x().settled(main));
    }
    ASSERT_TRUE(panel().stop());
    const QPoint saved = savedFormPlace();
    EXPECT_EQ(saved, QPoint(4500, 3000));

    const auto again = panel().start();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->frame.topLeft(), first->frame.topLeft());
    EXPECT_EQ(again->client.width(), first->client.width());
    ASSERT_TRUE(panel().stop());
    EXPECT_EQ(savedFormPlace(), saved);
}

INSTANTIATE_TEST_SUITE_P(Views, SessionsAfterAView,
                         ::testing::Values(int(TinyWidget), int(SmallSize), int(ShowTestSpace),
                                           int(AlwaysOnTop)),
                         [](const auto& info) {
                             switch (info.param) {
                             case TinyWidget:
                                 return std::string("TinyWidget");
                             case SmallSize:
                                 return std::string("SmallSize");
                             case ShowTestSpace:
                                 return std::string("TestSpace");
                             default:
                                 return std::string("AlwaysOnTop");
                             }
                         });

TEST_F(WindowManager, TheTinyWidgetsPlaceIsSavedAtExitAndItStaysATaskBarFreeToolWindow) {
    ASSERT_TRUE(panel().start());
    ASSERT_TRUE(openTiny());
    const QString tiny = panel().tinyId();
    ASSERT_TRUE(x().settled(tiny));
    EXPECT_TRUE(x().window(tiny).states.contains("_NET_WM_STATE_SKIP_TASKBAR"));

    // A window manager that minimises it anyway gets it straight back.
    x().xdotool({"windowminimize", tiny});
    EXPECT_TRUE(pollUntil([&] { return !panel().tinyId().isEmpty(); }, 10000));

    x().xdotool({"windowmove", tiny, "640", "480"});
    ASSERT_TRUE(pollUntil([&] {
        const X11Window w = x().window(tiny);
        return w.framed && w.frame.topLeft() == QPoint(640, 480);
    }));
    ASSERT_TRUE(panel().stop());
    EXPECT_EQ(panel().iniValue("tiny_Form", "Left_Location"), "9600");
    EXPECT_EQ(panel().iniValue("tiny_Form", "Top_Location"), "7200");
}
