#include "platformchoice.h"

#include <cstring>

namespace tarn::app {

QByteArray preferredPlatform(const std::function<QByteArray(const char*)>& environment, int argc,
                             const char* const* argv) {
    // Qt takes its options with one dash or two.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return {};
    // An empty variable is no choice: Qt ignores it too.
    if (!environment("QT_QPA_PLATFORM").isEmpty() || environment("DISPLAY").isEmpty())
        return {};
    const bool wayland =
        !environment("WAYLAND_DISPLAY").isEmpty() || environment("XDG_SESSION_TYPE") == "wayland";
    return wayland ? QByteArrayLiteral("xcb;wayland") : QByteArray();
}

} // namespace tarn::app
