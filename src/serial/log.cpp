#include "serial/log.h"

namespace tarn::serial {
Q_LOGGING_CATEGORY(lcSerial, "tarn.serial")
}
