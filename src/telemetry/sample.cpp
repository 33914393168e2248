#include "telemetry/sample.h"

#include "protocol/status.h"

#include <QDateTime>
#include <chrono>
#include <ctime>

namespace tarn::telemetry {

double physical(Channel channel, int raw) {
    switch (channel) {
    case Channel::Swr:
        return raw / 10.0;
    case Channel::Voltage:
        return raw / 2.5;
    case Channel::Current:
        return raw / 5.0;
    case Channel::Forward:
    case Channel::Reflected:
    case Channel::Temperature:
        break;
    }
    return raw;
}

std::optional<double> Sample::swr() const {
    const int x10 = value(Channel::Swr);
    if (x10 == 0)
        return std::nullopt;
    return x10 / 10.0;
}

Sample sampleFrom(const protocol::RxBytes& rx, qint64 timeMs) {
    const protocol::StatusFields f = protocol::statusValues(rx);
    Sample s;
    s.timeMs = timeMs;
    s.flags = std::uint8_t(
        (f.Protection_Active ? Sample::Protection : 0) | (f.Operate ? Sample::Operate : 0) |
        (f.Auto_Band ? Sample::AutoBand : 0) | (f.Transmit ? Sample::Transmit : 0));
    s.band = std::uint8_t(f.Band_Code);
    s.gain = std::uint8_t(f.Gain_Step);
    const auto set = [&s](Channel c, int v) { s.raw[std::size_t(c)] = std::uint8_t(v); };
    set(Channel::Forward, f.Fwd_Level);
    set(Channel::Reflected, f.Rev_Level);
    set(Channel::Swr, f.SWR_x10);
    set(Channel::Voltage, f.Voltage_Raw);
    set(Channel::Current, f.Current_Raw);
    // The display joins the temperature as text; the number is the slot itself.
    set(Channel::Temperature, rx.value(6));
    return s;
}

Stamp systemStamp() {
    qint64 mono = 0;
#ifdef CLOCK_BOOTTIME
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    mono = qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
#else
    mono = std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
               .count();
#endif
    return {mono, QDateTime::currentMSecsSinceEpoch()};
}

} // namespace tarn::telemetry
