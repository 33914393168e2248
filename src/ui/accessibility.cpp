#include "ui/accessibility.h"

#include "ui/lamp.h"

#include <QAccessibleWidget>
#include <QElapsedTimer>
#include <QLabel>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <algorithm>

namespace tarn::ui {

namespace {

class LampAccessible final : public QAccessibleWidget {
public:
    explicit LampAccessible(Lamp* lamp) : QAccessibleWidget(lamp, QAccessible::Indicator) {}
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = static_cast<const Lamp*>(widget())->isLit();
        return s;
    }
};

// A panel label's name is its text as it is now, read when asked.
class LabelAccessible final : public QAccessibleWidget {
public:
    explicit LabelAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? static_cast<const QLabel*>(widget())->text()
                                      : QAccessibleWidget::text(t);
    }
};

class BarAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit BarAccessible(Bar* bar) : QAccessibleWidget(bar, QAccessible::ProgressBar) {}
    const Bar* bar() const { return static_cast<const Bar*>(widget()); }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? bar()->name() : QAccessibleWidget::text(t);
    }

    // The segments say nothing the value does not.
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QVariant currentValue() const override { return bar()->value(); }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return bar()->maximum(); }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }
};

// The grille, the display's ground and the panel's lines say nothing a screen reader could use.
bool isDecoration(const QWidget* w) {
    return w->inherits("tarn::ui::Grille") || w->inherits("tarn::ui::Box") ||
           w->inherits("tarn::ui::PanelLine");
}

class ClientAccessible final : public QAccessibleWidget {
public:
    explicit ClientAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::Client) {}

    QList<QWidget*> shown() const {
        QList<QWidget*> out;
        for (QObject* o : widget()->children())
            if (auto* w = qobject_cast<QWidget*>(o);
                w && !w->isWindow() && !w->isHidden() && !isDecoration(w))
                out << w;
        return out;
    }
    int childCount() const override { return int(shown().size()); }
    QAccessibleInterface* child(int index) const override {
        const QList<QWidget*> s = shown();
        return index >= 0 && index < s.size() ? QAccessible::queryAccessibleInterface(s[index])
                                              : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* c) const override {
        return c ? int(shown().indexOf(qobject_cast<QWidget*>(c->object()))) : -1;
    }
};

QAccessibleInterface* panelInterfaces(const QString& key, QObject* object) {
    if (key == QLatin1String("tarn::ui::Lamp"))
        return new LampAccessible(static_cast<Lamp*>(object));
    if (key == QLatin1String("tarn::ui::PanelLabel"))
        return new LabelAccessible(static_cast<QLabel*>(object));
    if (key == QLatin1String("tarn::ui::Bar"))
        return new BarAccessible(static_cast<Bar*>(object));
    if (key == QLatin1String("tarn::ui::PanelClient"))
        return new ClientAccessible(static_cast<QWidget*>(object));
    if (key == QLatin1String("tarn::ui::AlertSpot"))
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::AlertMessage);
    return nullptr;
}

} // namespace

void installAccessibility() {
    // The factory list is the process's; adding ours twice would only ask it twice.
    static const bool installed = [] {
        QAccessible::installFactory(&panelInterfaces);
        return true;
    }();
    (void)installed;
}

PanelClient::PanelClient(QWidget* parent) : QWidget(parent) {
    installAccessibility();
}

AlertSpot::AlertSpot(QWidget* parent) : QWidget(parent) {
    installAccessibility();
    // One pixel in the corner, painting nothing: seen by the accessibility layer only.
    setGeometry(0, 0, 1, 1);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

void AlertSpot::say(const QString& text) {
    // Screen readers speak an alert when it appears: it goes and comes back with its new text.
    hide();
    setAccessibleName(text);
    show();
}

Announcer::Announcer(std::function<qint64()> clock) : clock_(std::move(clock)) {
    if (!clock_) {
        auto started = std::make_shared<QElapsedTimer>();
        started->start();
        clock_ = [started] { return started->elapsed(); };
    }
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &Announcer::flush);
}

void Announcer::addWindow(QWidget& window) {
    alerts_.emplace_back(new AlertSpot(&window));
}

void Announcer::status(const protocol::StatusFields& f) {
    policy_.status(f);
    schedule();
}

void Announcer::silent() {
    policy_.silent();
    schedule();
}

void Announcer::alarmLine(const QString& text) {
    policy_.alarmLine(text);
    schedule();
}

void Announcer::flush() {
    const QString text = policy_.take(clock_());
    if (!text.isEmpty()) {
        lastSaid_ = text;
        ++saidCount_;
        // The window in use speaks; with none shown (a firmware update), every one does.
        const bool anyShown = std::ranges::any_of(
            alerts_, [](const auto& a) { return a && a->window()->isVisible(); });
        for (const QPointer<AlertSpot>& a : alerts_)
            if (a && (!anyShown || a->window()->isVisible()))
                a->say(text);
    }
    schedule();
}

void Announcer::schedule() {
    const std::optional<qint64> due = policy_.nextDue();
    if (!due) {
        timer_.stop();
        return;
    }
    const qint64 wait = std::clamp<qint64>(*due - clock_(), 0, core::Announcements::MinGapMs);
    // A timer already set for the same moment is left alone: frames come every few
    // milliseconds, and restarting it each time costs as much as it saves.
    if (!timer_.isActive() || timer_.remainingTime() > wait)
        timer_.start(int(wait));
}

void drawKeyboardFocus(QWidget& widget, const QRect& rect) {
    if (!widget.hasFocus())
        return;
    QStylePainter p(&widget);
    QStyleOptionFocusRect focus;
    focus.initFrom(&widget);
    focus.state |= QStyle::State_KeyboardFocusChange;
    focus.rect = rect;
    p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
}

} // namespace tarn::ui
