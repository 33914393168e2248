#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace tarn::ui {

// The panel's layouts are drawn in twips; Qt works in logical pixels and scales those on
// high-DPI screens itself, so a fixed ratio keeps every place and size right.
inline constexpr int TwipsPerPixel = 15;

// Nearest pixel, so that a size such as 4600 twips (306.7 px) does not lose a pixel.
constexpr int px(int twips) {
    return twips >= 0 ? (twips + TwipsPerPixel / 2) / TwipsPerPixel
                      : -((-twips + TwipsPerPixel / 2) / TwipsPerPixel);
}
constexpr int twips(int pixels) {
    return pixels * TwipsPerPixel;
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
