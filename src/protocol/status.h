#pragma once

#include "protocol/decoder.h"

#include <QLocale>
#include <QString>
#include <array>
#include <cstdint>

namespace tarn::protocol {

// Colours as 0xRRGGBB, the values the front panel uses.
using Rgb = std::uint32_t;
namespace colour {
inline constexpr Rgb Green = 0x00FF00;
inline constexpr Rgb Red = 0xFF0000;
inline constexpr Rgb LightYellow = 0xFFFF80;
inline constexpr Rgb Grey = 0x808080;
inline constexpr Rgb Black = 0x000000;
inline constexpr Rgb DarkBlue = 0x0000C0;
} // namespace colour

inline constexpr int ForwardSegments = 14;
inline constexpr int ReflectedSegments = 5;

using ForwardBar = std::array<Rgb, ForwardSegments>;
using ReflectedBar = std::array<Rgb, ReflectedSegments>;

// Level 0 to 14 lights that many segments (green to 11, red above); 15 lights only the last.
ForwardBar forwardBar(int level);
// The bar has five segments; a level above five lights all of them.
ReflectedBar reflectedBar(int level);

QString bandText(int bandCode);

// Everything the display shows for one status frame, derived from slots 0 to 6.
struct StatusFields {
    bool Protection_Active = false;
    bool Operate = false;
    bool Auto_Band = false;
    bool Transmit = false;
    int Band_Code = 0;
    int Gain_Step = 0;
    int Fwd_Level = 0;
    int Rev_Level = 0;
    int SWR_x10 = 0;
    int Voltage_Raw = 0;
    int Current_Raw = 0;

    QString band;
    QString gain;
    QString swr;
    QString voltage;
    QString current;
    QString temperature;
    ForwardBar forward{};
    ReflectedBar reflected{};

    Rgb protectionLamp() const { return Protection_Active ? colour::Red : colour::Grey; }
    Rgb protectionLegend() const { return Protection_Active ? colour::Red : colour::Black; }
    Rgb operLamp() const { return Operate ? colour::Green : colour::Grey; }
    Rgb autoLamp() const { return Auto_Band ? colour::Green : colour::Grey; }
    Rgb txLamp() const { return Transmit ? colour::Green : colour::Grey; }
};

// The flags, codes and raw values alone: what a recorder needs, without the texts.
StatusFields statusValues(const RxBytes& rx);
// Everything, texts included. `locale` supplies the decimal separator, as the operator's
// settings do.
StatusFields statusFields(const RxBytes& rx, const QLocale& locale = QLocale());
// The same with the separator itself: asking the system locale for it is a query each time.
StatusFields statusFields(const RxBytes& rx, const QString& decimalPoint);

} // namespace tarn::protocol
