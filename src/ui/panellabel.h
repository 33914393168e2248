#pragma once

#include <QLabel>
#include <QRect>

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
    void setAutoSize(bool autoSize);
    QRect designTwips() const { return design_; }
    // Where the label stands for its current text: its design box, grown from its anchor.
    QRect fittedGeometry() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void fit();

    QRect design_;
    bool autoSize_;
};

} // namespace tarn::ui
