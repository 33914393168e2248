#pragma once

#include <QColor>
#include <QWidget>

namespace tarn::ui {

// An opaque rectangle with a one-pixel border: the display background and the tiny widget's
// gain-key plate. Its fill is the colour the display logic switches.
class Box final : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor)

public:
    Box(const QColor& fill, const QColor& border, QWidget* parent = nullptr);

    QColor color() const { return fill_; }
    void setColor(const QColor& color);
    QColor borderColor() const { return border_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill_;
    QColor border_;
};

// A one-pixel line in the window-text colour, horizontal or vertical, given by its end points
// in twips.
class PanelLine final : public QWidget {
    Q_OBJECT

public:
    PanelLine(int x1, int y1, int x2, int y2, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tarn::ui
