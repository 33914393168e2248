// The display plugin the panel asks for in each kind of desktop session.

#include "platformchoice.h"

#include <QList>
#include <gtest/gtest.h>

TEST(PlatformChoice, XWaylandFirstOnlyWhenTheOperatorLeftTheChoiceOpen) {
    // The session's variables, the options given, the panel's choice ("" leaves it to Qt).
    const char* const sessions[][3] = {
        {"XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=wayland-0 DISPLAY=:0", "", "xcb;wayland"},
        {"WAYLAND_DISPLAY=wayland-0 DISPLAY=:1", "", "xcb;wayland"},
        {"XDG_SESSION_TYPE=wayland DISPLAY=:1", "", "xcb;wayland"},
        {"XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=wayland-0 DISPLAY=", "", ""},
        {"XDG_SESSION_TYPE=x11 DISPLAY=:0", "", ""},
        {"WAYLAND_DISPLAY=w DISPLAY=:0 QT_QPA_PLATFORM=wayland", "", ""},
        {"WAYLAND_DISPLAY=w DISPLAY=:0 QT_QPA_PLATFORM=", "", "xcb;wayland"},
        {"WAYLAND_DISPLAY=w DISPLAY=:0", "-platform wayland", ""},
        {"WAYLAND_DISPLAY=w DISPLAY=:0", "--platform xcb", ""},
        {"WAYLAND_DISPLAY=w DISPLAY=:0", "-platformx", "xcb;wayland"},
    };
    for (const auto& [variables, options, choice] : sessions) {
        const auto env = [&](const char* name) {
            for (const QByteArray& v : QByteArray(variables).split(' '))
                if (v.startsWith(QByteArray(name) + '='))
                    return v.mid(v.indexOf('=') + 1);
            return QByteArray();
        };
        const QList<QByteArray> args = ("tarn-vq4400 " + QByteArray(options)).trimmed().split(' ');
        std::vector<const char*> argv;
        for (const QByteArray& a : args)
            argv.push_back(a.constData());
        EXPECT_EQ(tarn::app::preferredPlatform(env, int(argv.size()), argv.data()), choice)
            << variables << " " << options;
    }
}
