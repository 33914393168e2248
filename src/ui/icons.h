#pragma once

#include <QIcon>
#include <QPixmap>

namespace tarn::ui {

// The application's icon: a small dark-blue display with a green power bar, at 16 and 32
// pixels.
QIcon applicationIcon();
QPixmap applicationPixmap(int size);

enum class Arrow { Up, Down };

inline constexpr int ArrowWidth = 16;
inline constexpr int ArrowHeight = 11;

// The arrow keys' face: a solid dark triangle on a transparent ground, 16 x 11 pixels.
QPixmap arrowPixmap(Arrow direction);

} // namespace tarn::ui
