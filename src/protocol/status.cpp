#include "protocol/status.h"

#include <QStringBuilder>

namespace tarn::protocol {

ForwardBar forwardBar(int level) {
    ForwardBar bar;
    bar.fill(colour::Grey);
    if (level == 15) {
        bar[13] = colour::Red;
        return bar;
    }
    for (int i = 0; i < ForwardSegments && i < level; ++i)
        bar[std::size_t(i)] = i < 11 ? colour::Green : colour::Red;
    return bar;
}

ReflectedBar reflectedBar(int level) {
    ReflectedBar bar;
    for (int i = 0; i < ReflectedSegments; ++i)
        bar[std::size_t(i)] = i < level ? colour::LightYellow : colour::Grey;
    return bar;
}

QString bandText(int bandCode) {
    static const char* const bands[] = {"1.8 MHz", "3.5 MHz", "7 MHz",  "10 MHz",
                                        "14 MHz",  "18 MHz",  "21 MHz", "24 MHz",
                                        "28 MHz",  "50 MHz",  "All MHz"};
    if (bandCode >= 1 && bandCode <= 11)
        return QString::fromLatin1(bands[bandCode - 1]);
    return QStringLiteral("?? MHz");
}

namespace {

// The amplifier's own display shows the digits 0 to 9 whatever the language; only the decimal
// separator is the operator's. QLocale would also bring the locale's digits (Arabic-Indic
// under an Arabic locale), so the number is put together here.
QString tenths(int tenthsValue, const QString& point) {
    return QString::number(tenthsValue / 10) % point % QChar(u'0' + tenthsValue % 10);
}

} // namespace

StatusFields statusValues(const RxBytes& rx) {
    StatusFields f;
    const int flags = rx.value(0);
    f.Protection_Active = flags & 0x80;
    f.Operate = flags & 0x40;
    f.Auto_Band = flags & 0x20;
    f.Transmit = flags & 0x10;
    f.Band_Code = rx.value(1) & 0x0F;
    f.Gain_Step = (rx.value(1) & 0xF0) / 16;
    f.Fwd_Level = rx.value(2) & 0x0F;
    f.Rev_Level = (rx.value(2) & 0xF0) / 16;
    f.SWR_x10 = rx.value(3);
    f.Voltage_Raw = rx.value(4);
    f.Current_Raw = rx.value(5);
    return f;
}

StatusFields statusFields(const RxBytes& rx, const QLocale& locale) {
    return statusFields(rx, locale.decimalPoint());
}

StatusFields statusFields(const RxBytes& rx, const QString& point) {
    StatusFields f = statusValues(rx);
    f.band = bandText(f.Band_Code);
    f.gain = QStringLiteral("G") +
             (f.Gain_Step > 8 ? QStringLiteral("?") : QString::number(f.Gain_Step));
    f.swr = f.SWR_x10 > 0 ? tenths(f.SWR_x10, point) : QStringLiteral("-.-");
    // Volts are the raw value / 2.5 and amperes / 5: whole tenths, no rounding needed.
    f.voltage = tenths(f.Voltage_Raw * 4, point) + QLatin1Char('V');
    f.current = tenths(f.Current_Raw * 2, point) + QLatin1Char('A');
    f.temperature = rx.text(6) + QStringLiteral(" °C");
    f.forward = forwardBar(f.Fwd_Level);
    f.reflected = reflectedBar(f.Rev_Level);
    return f;
}

} // namespace tarn::protocol
