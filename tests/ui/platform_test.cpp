// The display plugin the panel asks for in each kind of desktop session.

#include "platformchoice.h"

#include <QList>
#include <QMap>
#include <gtest/gtest.h>

TEST(PlatformChoice, XWaylandFirstOnlyWhenTheOperatorLeftTheChoiceOpen) {
    // The session's variables, then the options given; the panel's choice ("" leaves it to Qt).
    const std::pair<const char*, const char*> sessions[] = {
        {"XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=wayland-0 DISPLAY=:0", "xcb;wayland"},
        {"WAYLAND_DISPLAY=wayland-0 DISPLAY=:1", "xcb;wayland"},
        {"XDG_SESSION_TYPE=wayland DISPLAY=:1", "xcb;wayland"},
        {"XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=wayland-0 DISPLAY=", ""},
        {"XDG_SESSION_TYPE=x11 DISPLAY=:0", ""},
        {"WAYLAND_DISPLAY=w DISPLAY=:0 QT_QPA_PLATFORM=wayland", ""},
        {"WAYLAND_DISPLAY=w DISPLAY=:0 QT_QPA_PLATFORM=", "xcb;wayland"},
        {"WAYLAND_DISPLAY=w DISPLAY=:0 -platform wayland", ""},
        {"WAYLAND_DISPLAY=w DISPLAY=:0 --platform xcb", ""},
        {"WAYLAND_DISPLAY=w DISPLAY=:0 -platformx", "xcb;wayland"},
    };
    for (const auto& [session, choice] : sessions) {
        const QList<QByteArray> words = ("tarn-vq4400 " + QByteArray(session)).split(' ');
        QMap<QByteArray, QByteArray> vars;
        std::vector<const char*> argv;
        for (const QByteArray& w : words)
            w.contains('=') ? void(vars[w.left(w.indexOf('='))] = w.mid(w.indexOf('=') + 1))
                            : argv.push_back(w.constData());
        const auto env = [&](const char* name) { return vars.value(name); };
        EXPECT_EQ(tarn::app::preferredPlatform(env, int(argv.size()), argv.data()), choice)
            << session;
    }
}
