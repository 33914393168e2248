#pragma once

#include "protocol/decoder.h"

namespace tarn::core {

// Whoever follows the amplifier's state beyond the display: the history, the alarms, the log.
class StatusListener {
public:
    virtual ~StatusListener() = default;
    // One complete status frame was decoded; `rx` holds its eight body bytes.
    virtual void statusDecoded(const protocol::RxBytes& rx) = 0;
    // The amplifier fell silent for the time-out, or the port closed: a gap in the record.
    virtual void lineSilent() = 0;
    // The operator closed the port or it went to the bootloader: no frame is expected now.
    virtual void lineClosed() {}
};

} // namespace tarn::core
