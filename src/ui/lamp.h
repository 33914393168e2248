#pragma once

#include <QColor>
#include <QList>
#include <QPixmap>
#include <QRect>
#include <QWidget>
#include <array>

namespace tarn::ui {

// One lamp or bar segment. On the main window it is a round lamp with a light-grey rim on a
// white ground; on the tiny widget a plain square in the lamp colour.
class Lamp final : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor)

public:
    enum class Style { Round, Square };

    Lamp(Style style, const QColor& color, QWidget* parent = nullptr);

    QColor color() const { return color_; }
    void setColor(const QColor& color);
    Style style() const { return style_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // A bar segment goes back and forth between two colours on nearly every frame. The two
    // pictures it showed last are kept (shared with the picture cache, not copied), so that
    // repaint needs neither the cache's text key nor a lookup.
    struct Picture {
        QRgb color = 0;
        QRgb ground = 0;
        QSize size;
        qreal ratio = 0;
        QPixmap pixmap;
    };
    const QPixmap& picture(QRgb ground, qreal ratio);

    Style style_;
    QColor color_;
    std::array<Picture, 2> recent_;
    std::size_t older_ = 0;
};

// The ventilation grille under the main window's keys: 218 small circles in five rows. It is
// pure decoration, so one widget paints them all.
class Grille final : public QWidget {
    Q_OBJECT

public:
    explicit Grille(QWidget* parent = nullptr);

    // Each circle's place and size in twips, relative to the window's client area.
    static QList<QRect> circlesTwips();
    // The rectangle, in twips, that holds every circle.
    static QRect boundsTwips();

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tarn::ui
