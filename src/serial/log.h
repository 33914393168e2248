#pragma once

#include <QLoggingCategory>

namespace tarn::serial {
Q_DECLARE_LOGGING_CATEGORY(lcSerial)
}
