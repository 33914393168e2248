#pragma once

#include "core/announcements.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

namespace tarn::ui {

// Teaches Qt's accessibility layer the panel's own widgets: a titled lamp is an indicator,
// checked while lit; a bar is one value without children; a panel label's name is its text;
// the main window's client area shows a screen reader only the controls it shows; an alert
// speaks its name when it appears. Bars and labels are read when asked and send nothing as
// their values change. Safe to call more than once.
void installAccessibility();

// Draws the style's focus frame around `rect` of `widget` while it has the focus, also where the
// style shows one only after a Tab: who works from the keyboard must see where Space acts.
void drawKeyboardFocus(QWidget& widget, const QRect& rect);

// The main window's client area. Controls it has hidden (the test space while the window's
// edge cuts it off) and its decorations are not in the accessible tree.
class PanelClient final : public QWidget {
    Q_OBJECT

public:
    explicit PanelClient(QWidget* parent = nullptr);
};

// An object with the alert role and no picture: each announcement is its name, and it appears
// anew, which screen readers read out. Qt 6.4 has no announcement call of its own.
class AlertSpot final : public QWidget {
    Q_OBJECT

public:
    explicit AlertSpot(QWidget* parent);
    void say(const QString& text);
};

// Tells the screen reader what changed on the amplifier, through an alert on each panel
// window; the policy (what, and how often) is core::Announcements.
class Announcer final : public QObject {
    Q_OBJECT

public:
    // `clock` gives monotonic milliseconds.
    explicit Announcer(std::function<qint64()> clock = {});

    // Gives `window` an alert of its own; announcements go to the windows shown.
    void addWindow(QWidget& window);

    void status(const protocol::StatusFields& f);
    void silent();
    void alarmLine(const QString& text);

    // Says what is due and waits for what comes due next; the timer's handler.
    void flush();
    // The last thing said; "" before the first.
    QString lastSaid() const { return lastSaid_; }
    int saidCount() const { return saidCount_; }

private:
    void schedule();

    core::Announcements policy_;
    std::function<qint64()> clock_;
    QTimer timer_;
    std::vector<QPointer<AlertSpot>> alerts_;
    QString lastSaid_;
    int saidCount_ = 0;
};

} // namespace tarn::ui
