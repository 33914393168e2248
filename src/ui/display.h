#pragma once

#include "protocol/status.h"

#include <QPushButton>
#include <QString>
#include <array>
#include <vector>

namespace tarn::ui {

class Announcer;
class Bar;
class Box;
class Lamp;
class PanelLabel;

// The display both panel windows share: the blue screen with its value labels, the
// "No Communication" text, the protection legend, the protection, operate and transmit lamps,
// the forward bar and the amplifier keys. Each window adds what only it has.
struct PanelDisplay {
    Box* lcd = nullptr;
    PanelLabel* band = nullptr;
    PanelLabel* gain = nullptr;
    PanelLabel* swrText = nullptr;
    PanelLabel* swr = nullptr;
    PanelLabel* voltage = nullptr;
    PanelLabel* current = nullptr;
    PanelLabel* temperature = nullptr;
    PanelLabel* noCommunication = nullptr;
    PanelLabel* protectionLegend = nullptr;
    Lamp* protection = nullptr;
    Lamp* oper = nullptr;
    Lamp* tx = nullptr;
    std::array<Lamp*, protocol::ForwardSegments> forward{};
    Bar* forwardBar = nullptr;
    // Lamps and bars only one window has; they go grey with the others.
    std::vector<Lamp*> otherLamps;
    std::vector<Bar*> otherBars;
    std::vector<QPushButton*> keys;
    // Hears of the state changes the display draws and of silence; may be null.
    Announcer* announcer = nullptr;

    // The lamps both windows have, named for a screen reader.
    void nameLamps() const;

    void blankValues() const;
    void greyLamps() const;
    void setKeysEnabled(bool enabled) const;
    // Silence from the amplifier: black screen, keys off, no values, grey lamps.
    void showNoCommunication(const QString& text) const;
    // Everything both windows show of a status frame.
    void draw(const protocol::StatusFields& f) const;
    // A value that grew past its design box (a wide face, SWR 25.5) pushes the caption or value
    // on its left further left, so the two never run together.
    void keepRowsApart() const;
};

// An amplifier key. It draws its focus frame whenever it has the focus, not only after a Tab
// as some styles do: an operator who works by keyboard must see where Space will press.
class PanelKey final : public QPushButton {
    Q_OBJECT

public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// An amplifier key's name for a screen reader, by its layout name: "Gain down" for
// `Command_Gain_Down`; "" for any other control.
QString keyName(const QString& objectName);

} // namespace tarn::ui
