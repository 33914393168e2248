#pragma once

#include "protocol/status.h"

#include <QColor>
#include <QPalette>

namespace tarn::ui {

inline QColor toColor(protocol::Rgb rgb) {
    return QColor(QRgb(rgb));
}

// A palette whose text is `colour`, for labels that change their text colour.
inline QPalette withText(QPalette pal, const QColor& colour) {
    pal.setColor(QPalette::WindowText, colour);
    return pal;
}

namespace colours {
inline const QColor DisplayBlue = toColor(protocol::colour::DarkBlue);
inline const QColor Blank = toColor(protocol::colour::Black);
inline const QColor Off = toColor(protocol::colour::Grey);
inline const QColor Green = toColor(protocol::colour::Green);
inline const QColor Red = toColor(protocol::colour::Red);
inline const QColor Yellow = QColor(255, 255, 0);
inline const QColor LightYellow = toColor(protocol::colour::LightYellow);
inline const QColor DisplayText = Qt::white;
inline const QColor Rim = QColor(192, 192, 192);
inline const QColor KeyPlate = QColor(224, 224, 224);
} // namespace colours

} // namespace tarn::ui
