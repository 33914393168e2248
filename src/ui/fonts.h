#pragma once

#include <QFont>
#include <QString>

namespace tarn::ui {

// The layouts name classic Windows faces. They are mapped once, before any window is built, to
// the closest installed sans-serif families.
void installFontSubstitutions();

namespace fontname {
inline const QString MsSansSerif = QStringLiteral("MS Sans Serif");
inline const QString SmallFonts = QStringLiteral("Small Fonts");
inline const QString Arial = QStringLiteral("Arial");
} // namespace fontname

QFont panelFont(const QString& family, qreal pointSize, bool bold = false);
// "MS Sans Serif" 8.25 pt regular, the windows' own font.
QFont defaultPanelFont();

} // namespace tarn::ui
