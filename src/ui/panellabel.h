#pragma once

#include <QHash>
#include <QLabel>
#include <QRect>
#include <QStaticText>
#include <optional>

namespace tarn::ui {

// Static text placed by its design rectangle in twips. An auto-size label grows when its text
// needs more room than the design size (the substitute fonts run wider than the originals),
// anchored by its alignment so right-aligned figures keep their right edge. It never shrinks
// below the design size, so nothing moves while values change.
class PanelLabel final : public QLabel {
    Q_OBJECT

public:
    PanelLabel(const QString& text, const QRect& designTwips, Qt::Alignment alignment,
               bool autoSize, QWidget* parent = nullptr);

    void setCaption(const QString& text);
    void setTextColor(const QColor& colour);
    void setAutoSize(bool autoSize);
    QRect designTwips() const { return design_; }
    // Where the label stands for its current text: its design box, grown from its anchor.
    QRect fittedGeometry() const;
    // The width the current text takes when drawn.
    int textWidth() const;
    // Where the current text's ink stands if the label stood at `place`; empty for no text.
    QRect inkAt(const QRect& place) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void fit();
    // A single line is laid out once per text and font and kept: the display's values come
    // back again and again, and laying out text is most of what drawing one costs. Wrapped or
    // multi-line text takes the label's own path.
    bool isSingleLine() const;
    const QStaticText& laidOut() const;
    int lineHeight() const;

    QRect design_;
    bool autoSize_;
    mutable QHash<QString, QStaticText> laidOut_;
    mutable std::optional<QStaticText> current_;
    mutable int lineHeight_ = -1;
    QColor textColor_;
};

} // namespace tarn::ui
