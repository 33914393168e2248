#pragma once

#include <QByteArray>
#include <functional>

namespace tarn::app {

// The display plugin for a desktop session, or empty to leave Qt's own choice. In a Wayland
// session that also offers an X display (XWayland), X11 comes first: there a window can be
// placed where the operator left it and the tiny widget can stay above the others, which a
// Wayland client cannot ask for. Wayland stays as the fallback. The operator's own choice (the
// QT_QPA_PLATFORM variable or a -platform option) always wins.
QByteArray preferredPlatform(const std::function<QByteArray(const char*)>& environment, int argc,
                             const char* const* argv);

} // namespace tarn::app
