#pragma once

#include "protocol/status.h"

#include <QString>
#include <array>
#include <vector>

class QPushButton;

namespace tarn::ui {

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
    // Lamps only one window has; they go grey with the others.
    std::vector<Lamp*> otherLamps;
    std::vector<QPushButton*> keys;

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

} // namespace tarn::ui
