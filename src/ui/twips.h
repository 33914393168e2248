#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <algorithm>
#include <limits>

namespace tarn::ui {

// The panel's layouts are drawn in twips; Qt works in logical pixels and scales those on
// high-DPI screens itself, so a fixed ratio keeps every place and size right.
inline constexpr int TwipsPerPixel = 15;

// Nearest pixel, so that a size such as 4600 twips (306.7 px) does not lose a pixel. Worked in
// 64 bits: a position read from a hand-edited file may be any int, the smallest one included.
constexpr int px(int twips) {
    const long long t = twips;
    return int(t >= 0 ? (t + TwipsPerPixel / 2) / TwipsPerPixel
                      : -((-t + TwipsPerPixel / 2) / TwipsPerPixel));
}
// Saturates instead of overflowing for pixel values beyond any screen.
constexpr int twips(int pixels) {
    const long long t = static_cast<long long>(pixels) * TwipsPerPixel;
    return int(
        std::clamp<long long>(t, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

inline QRect pxRect(int left, int top, int width, int height) {
    return QRect(px(left), px(top), px(width), px(height));
}
inline QSize pxSize(int width, int height) {
    return QSize(px(width), px(height));
}
inline QPoint pxPoint(int left, int top) {
    return QPoint(px(left), px(top));
}

inline QRect twipsRect(const QRect& r) {
    return QRect(twips(r.x()), twips(r.y()), twips(r.width()), twips(r.height()));
}

} // namespace tarn::ui
