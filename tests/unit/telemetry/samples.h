#pragma once

#include "telemetry/sample.h"

namespace tarn::telemetry::testing {

// A status frame as the amplifier would send it: operate on, 14 MHz, gain 4.
inline Sample frameAt(qint64 timeMs, int swrX10 = 15, int temperature = 40, int forward = 5,
                      std::uint8_t flags = Sample::Operate, int band = 5) {
    Sample s;
    s.timeMs = timeMs;
    s.flags = flags;
    s.band = std::uint8_t(band);
    s.gain = 4;
    s.raw = {std::uint8_t(forward), 1, std::uint8_t(swrX10), 140, 60, std::uint8_t(temperature)};
    return s;
}

} // namespace tarn::telemetry::testing
