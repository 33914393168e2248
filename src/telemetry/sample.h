#pragma once

#include "protocol/decoder.h"

#include <QtGlobal>
#include <array>
#include <cstdint>
#include <optional>

namespace tarn::telemetry {

// The quantities a plot line or a min/max bucket follows, as raw status bytes.
enum class Channel : std::uint8_t { Forward, Reflected, Swr, Voltage, Current, Temperature };
inline constexpr std::size_t ChannelCount = 6;
inline constexpr std::array<Channel, ChannelCount> AllChannels{
    Channel::Forward, Channel::Reflected, Channel::Swr,
    Channel::Voltage, Channel::Current,   Channel::Temperature};

// Physical value of a raw reading: bar level, SWR, volts, amperes or degrees Celsius.
double physical(Channel channel, int raw);

// One decoded status frame at the time it arrived. Kept to 16 bytes: an hour at a 10 ms poll
// is 360 000 of them.
struct Sample {
    // Marks the history adds, in the low four bits the amplifier leaves unused.
    enum Mark : std::uint8_t {
        AfterGap = 0x01,   // first frame after a silence or a closed port
        BandChange = 0x02, // band differs from the previous frame's
        TripStart = 0x04,  // protection just tripped
    };
    enum Flag : std::uint8_t {
        Protection = 0x80,
        Operate = 0x40,
        AutoBand = 0x20,
        Transmit = 0x10,
    };

    static constexpr std::uint8_t MarkBits = 0x0F;

    qint64 timeMs = 0;         // milliseconds since the epoch, UTC
    std::uint8_t flags = 0;    // Flag bits, and Mark bits once in the history
    std::uint8_t band : 4 = 0; // band code 0 to 15
    std::uint8_t gain : 4 = 0; // gain step 0 to 15; above 8 has no value
    std::array<std::uint8_t, ChannelCount> raw{};

    int value(Channel c) const { return raw[std::size_t(c)]; }
    bool has(Flag f) const { return flags & f; }
    bool marked(Mark m) const { return flags & m; }
    // SWR_x10 of 0 is the amplifier's "-.-": no reading.
    std::optional<double> swr() const;
    double voltage() const { return physical(Channel::Voltage, value(Channel::Voltage)); }
    double current() const { return physical(Channel::Current, value(Channel::Current)); }
    int temperature() const { return value(Channel::Temperature); }
};
static_assert(sizeof(Sample) == 16);

Sample sampleFrom(const protocol::RxBytes& rx, qint64 timeMs);

// One moment read from two clocks. The monotonic one orders and spaces the record, so a clock
// set back or forward changes neither; the wall clock only labels (plot times, CSV times).
struct Stamp {
    qint64 monoMs = 0;
    qint64 wallMs = 0;

    qint64 wallOffsetMs() const { return wallMs - monoMs; }
};

// Both clocks now. The monotonic one counts a suspended machine's sleep where the system can,
// so the history's spans stay true across a suspend.
Stamp systemStamp();

} // namespace tarn::telemetry
