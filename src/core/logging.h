#pragma once

#include <QLoggingCategory>

namespace tarn::core {
// "tarn.core": start-up, shutdown, saves. "tarn.serial": what happens to the port, with the
// system's own reason, so a field report says why a port would not open.
Q_DECLARE_LOGGING_CATEGORY(lcCore)
Q_DECLARE_LOGGING_CATEGORY(lcLine)
} // namespace tarn::core
