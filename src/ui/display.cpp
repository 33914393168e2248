#include "ui/display.h"

#include "ui/accessibility.h"
#include "ui/colours.h"
#include "ui/lamp.h"
#include "ui/panellabel.h"
#include "ui/shapes.h"

#include <QHash>
#include <QPushButton>

namespace tarn::ui {

void PanelDisplay::blankValues() const {
    for (PanelLabel* l : {band, gain, swrText, swr, voltage, current, temperature})
        l->setCaption(QString());
}

void PanelKey::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    drawKeyboardFocus(*this, rect().adjusted(2, 2, -2, -2));
}

QString keyName(const QString& objectName) {
    static const QHash<QString, QString> names = {
        {QStringLiteral("Command_Gain_Down"), QStringLiteral("Gain down")},
        {QStringLiteral("Command_Gain_Up"), QStringLiteral("Gain up")},
        {QStringLiteral("Command_Toggle_OPER_STBY"), QStringLiteral("Operate/Standby")},
        {QStringLiteral("Command_Band_Down"), QStringLiteral("Band down")},
        {QStringLiteral("Command_Auto_Band"), QStringLiteral("Automatic band")},
        {QStringLiteral("Command_Band_Up"), QStringLiteral("Band up")}};
    return names.value(objectName);
}

void PanelDisplay::nameLamps() const {
    oper->setTitle(QStringLiteral("Operate"));
    protection->setTitle(QStringLiteral("Protection"));
    tx->setTitle(QStringLiteral("Transmit"));
}

void PanelDisplay::greyLamps() const {
    for (Lamp* l : {oper, protection, tx})
        l->setColor(colours::Off);
    for (Lamp* l : otherLamps)
        l->setColor(colours::Off);
    for (Lamp* l : forward)
        l->setColor(colours::Off);
    forwardBar->refresh();
    for (Bar* b : otherBars)
        b->refresh();
}

void PanelDisplay::setKeysEnabled(bool enabled) const {
    for (QPushButton* k : keys)
        k->setEnabled(enabled);
}

void PanelDisplay::showNoCommunication(const QString& text) const {
    lcd->setColor(colours::Blank);
    setKeysEnabled(false);
    blankValues();
    noCommunication->setCaption(text);
    greyLamps();
    if (announcer)
        announcer->silent();
}

namespace {

// Puts `left` at its own place, or further left if its text would run into `right`'s.
void keepApart(PanelLabel* left, const PanelLabel* right) {
    constexpr int GapPx = 4;
    const QRect home = left->fittedGeometry();
    const QRect a = left->inkAt(home);
    const QRect b = right->inkAt(right->geometry());
    int x = home.x();
    if (!a.isEmpty() && !b.isEmpty() && a.right() + GapPx >= b.left())
        x -= a.right() + GapPx + 1 - b.left();
    if (x != left->x())
        left->move(x, left->y());
}

} // namespace

void PanelDisplay::keepRowsApart() const {
    // Right to left, so a label that moved is itself kept clear of the one before it.
    keepApart(current, temperature);
    keepApart(voltage, current);
    keepApart(swrText, swr);
    keepApart(gain, swrText);
    keepApart(band, gain);
}

void PanelDisplay::draw(const protocol::StatusFields& f) const {
    noCommunication->setCaption(QString());
    lcd->setColor(colours::DisplayBlue);
    protection->setColor(toColor(f.protectionLamp()));
    protectionLegend->setTextColor(toColor(f.protectionLegend()));
    oper->setColor(toColor(f.operLamp()));
    tx->setColor(toColor(f.txLamp()));
    for (std::size_t i = 0; i < forward.size(); ++i)
        forward[i]->setColor(toColor(f.forward[i]));
    forwardBar->refresh();
    band->setCaption(f.band);
    gain->setCaption(f.gain);
    swrText->setCaption(QStringLiteral("SWR"));
    swr->setCaption(f.swr);
    voltage->setCaption(f.voltage);
    current->setCaption(f.current);
    temperature->setCaption(f.temperature);
    keepRowsApart();
    setKeysEnabled(true);
    if (announcer)
        announcer->status(f);
}

} // namespace tarn::ui
