#include "ui/display.h"

#include "ui/colours.h"
#include "ui/lamp.h"
#include "ui/panellabel.h"
#include "ui/shapes.h"

#include <QPushButton>

namespace tarn::ui {

void PanelDisplay::blankValues() const {
    for (PanelLabel* l : {band, gain, swrText, swr, voltage, current, temperature})
        l->setCaption(QString());
}

void PanelDisplay::greyLamps() const {
    for (Lamp* l : {oper, protection, tx})
        l->setColor(colours::Off);
    for (Lamp* l : otherLamps)
        l->setColor(colours::Off);
    for (Lamp* l : forward)
        l->setColor(colours::Off);
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
}

void PanelDisplay::draw(const protocol::StatusFields& f) const {
    noCommunication->setCaption(QString());
    lcd->setColor(colours::DisplayBlue);
    protection->setColor(toColor(f.protectionLamp()));
    if (const QColor legend = toColor(f.protectionLegend());
        protectionLegend->palette().color(QPalette::WindowText) != legend)
        protectionLegend->setPalette(withText(protectionLegend->palette(), legend));
    oper->setColor(toColor(f.operLamp()));
    tx->setColor(toColor(f.txLamp()));
    for (std::size_t i = 0; i < forward.size(); ++i)
        forward[i]->setColor(toColor(f.forward[i]));
    band->setCaption(f.band);
    gain->setCaption(f.gain);
    swrText->setCaption(QStringLiteral("SWR"));
    swr->setCaption(f.swr);
    voltage->setCaption(f.voltage);
    current->setCaption(f.current);
    temperature->setCaption(f.temperature);
    setKeysEnabled(true);
}

} // namespace tarn::ui
