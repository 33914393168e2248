// The display plugin the panel asks for in each kind of desktop session.

#include "platformchoice.h"

#include <QMap>
#include <gtest/gtest.h>

namespace {

struct Session {
    QMap<QByteArray, QByteArray> env;
    std::vector<const char*> args{"tarn-vq4400"};
    QByteArray expected;
};

TEST(PlatformChoice, XWaylandFirstOnlyWhenTheOperatorLeftTheChoiceOpen) {
    const QByteArray both = "xcb;wayland";
    const Session sessions[] = {
        // GNOME or Plasma on Wayland with XWayland.
        {{{"XDG_SESSION_TYPE", "wayland"}, {"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}},
         {},
         both},
        {{{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":1"}}, {}, both},
        {{{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":1"}}, {}, both},
        // No XWayland: Qt's own choice.
        {{{"XDG_SESSION_TYPE", "wayland"}, {"WAYLAND_DISPLAY", "wayland-0"}}, {}, {}},
        {{{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ""}}, {}, {}},
        // An X11 session, or a terminal with only an X display.
        {{{"XDG_SESSION_TYPE", "x11"}, {"DISPLAY", ":0"}}, {}, {}},
        // The operator's choice wins; an empty variable is none.
        {{{"WAYLAND_DISPLAY", "w"}, {"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "wayland"}}, {}, {}},
        {{{"WAYLAND_DISPLAY", "w"}, {"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", ""}}, {}, both},
        {{{"WAYLAND_DISPLAY", "w"}, {"DISPLAY", ":0"}},
         {"tarn-vq4400", "-platform", "wayland"},
         {}},
        {{{"WAYLAND_DISPLAY", "w"}, {"DISPLAY", ":0"}}, {"tarn-vq4400", "--platform", "xcb"}, {}},
        {{{"WAYLAND_DISPLAY", "w"}, {"DISPLAY", ":0"}}, {"tarn-vq4400", "-platformx"}, both},
    };
    for (const Session& s : sessions) {
        const auto env = [&](const char* name) { return s.env.value(name); };
        EXPECT_EQ(tarn::app::preferredPlatform(env, int(s.args.size()), s.args.data()), s.expected)
            << s.env.keys().join(' ').constData() << " " << s.args.size();
    }
}

} // namespace
