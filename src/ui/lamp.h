#pragma once

#include <QColor>
#include <QList>
#include <QPixmap>
#include <QRect>
#include <QWidget>
#include <array>
#include <vector>

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
    // Lit means any colour but the grey of a lamp that is off.
    bool isLit() const;
    // A lamp with a title tells a screen reader its state in its name ("Operate: on"); a bar's
    // segments have none, the bar speaks for them.
    void setTitle(const QString& title);
    QString title() const { return title_; }

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

    void nameState();

    Style style_;
    QColor color_;
    QString title_;
    std::array<Picture, 2> recent_;
    std::size_t older_ = 0;
};

// A row of segments that shows one value: the forward or the reflected power. The segments
// are its children, in index order; to a screen reader the bar is one value, the index of the
// highest segment lit ("Forward power: 6 of 14"), and the segments are not there. Like the
// display's values, it is read when asked, never sent at each frame.
class Bar final : public QWidget {
    Q_OBJECT

public:
    Bar(const QString& title, QWidget* parent = nullptr);

    // A new segment, placed in the bar's parent's coordinates until fit() is called.
    Lamp* addSegment(Lamp::Style style, const QColor& color, const QRect& placeInParent);
    // Shrinks the bar around its segments, which keep their place in the parent.
    void fit();
    // Reads the value again from the segments' colours; call after colouring them.
    void refresh();
    QString name() const;

    const std::vector<Lamp*>& segments() const { return segments_; }
    int value() const { return value_; }
    int maximum() const { return int(segments_.size()); }

private:
    QString title_;
    std::vector<Lamp*> segments_;
    int value_ = 0;
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
