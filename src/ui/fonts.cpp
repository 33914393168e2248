#include "ui/fonts.h"

#include <QStringList>

namespace tarn::ui {

void installFontSubstitutions() {
    const QStringList sans = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                              QStringLiteral("DejaVu Sans"),     QStringLiteral("Noto Sans"),
                              QStringLiteral("FreeSans"),        QStringLiteral("Helvetica"),
                              QStringLiteral("Sans Serif")};
    // The scale figures are tiny; a narrow face keeps "1000" inside its 18-pixel slot.
    QStringList narrow = {QStringLiteral("Liberation Sans Narrow"),
                          QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Arial Narrow")};
    narrow += sans;
    // Replacing rather than inserting keeps repeated calls (one per test) from growing lists.
    QFont::removeSubstitutions(fontname::MsSansSerif);
    QFont::removeSubstitutions(fontname::Arial);
    QFont::removeSubstitutions(fontname::SmallFonts);
    QFont::insertSubstitutions(fontname::MsSansSerif, sans);
    QFont::insertSubstitutions(fontname::Arial, sans);
    QFont::insertSubstitutions(fontname::SmallFonts, narrow);
}

QFont panelFont(const QString& family, qreal pointSize, bool bold) {
    QFont f(family);
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(pointSize);
    f.setBold(bold);
    return f;
}

QFont defaultPanelFont() {
    return panelFont(fontname::MsSansSerif, 8.25);
}

} // namespace tarn::ui
